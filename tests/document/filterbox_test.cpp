#include <QLayout>
#include <QPushButton>

#include "doc_test_support.h"
#include <QFile>

#include "document/kwchild.h"
#include "document/kwparent.h"
#include "host/prcmgr.h"
#include "host/filterbox.h"

namespace {

// Whether thumbnail pixel (x, y) of a 2:1 reduction is one of the four
// source pixels it stands for (nearest-pixel stretching).
bool FromBlock(const TBitmap& thumb, const TBitmap& src, int x, int y) {
  const uint32_t t = thumb.PixelBGRA(x, y) & 0xFFFFFF;
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i < 2; ++i)
      if ((src.PixelBGRA(2 * x + i, 2 * y + j) & 0xFFFFFF) == t) return true;
  return false;
}

// A panel as packages make them: docks into the site on Regist and keeps
// the host's callbacks.
struct TestPanel {
  QWidget* widget = new QWidget;
  TFilterInfo info;
  TFilterActiveProc setFilter;
  TNotifyEvent exec;
  TestPanel(TKWBasicFilter* f, const char* caption) {
    widget->setWindowTitle(caption);
    info.Name = f->Name;
    info.Filter = f;
    info.Panel = widget;
    info.Regist = [this](QWidget* site, const TFilterActiveProc& s, const TNotifyEvent& e) {
      setFilter = s;
      exec = e;
      widget->setParent(site);
      if (site->layout()) site->layout()->addWidget(widget);
      widget->show();
    };
  }
};

struct FilterBoxFixture : ::testing::Test {
  TempDataDir data;
  MessageRecorder msgs;
  TInvertFilter invert;
  TWidenFilter widen;
  std::unique_ptr<TFilterBox> box;
  std::unique_ptr<TestPanel> p1, p2;
  TKWChild* doc = nullptr;
  void SetUp() override {
    TKWChild::WriteResume = false;
    IsLoadComplete = true;
    invert.Init();
    widen.Init();
    box = std::make_unique<TFilterBox>();
    p1 = std::make_unique<TestPanel>(&invert, "反転テスト");
    p2 = std::make_unique<TestPanel>(&widen, "拡幅テスト");
    box->AddFilter(&p1->info);
    box->AddFilter(&p2->info);
    doc = new TKWChild;
    TBitmap b;
    FillPattern(b, 240, 180, 4);
    doc->SetImage(b, "New", "新規作成");
  }
  void TearDown() override {
    box.reset();
    delete doc;
    TKWChild::WriteResume = true;
  }
};

}  // namespace

TEST_F(FilterBoxFixture, PanelsBecomePagesAndTheLastAddedFilterIsCurrent) {
  EXPECT_EQ(box->PageCount(), 2);
  EXPECT_EQ(box->PageControl()->tabText(0).toStdString(), "反転テスト");
  EXPECT_EQ(box->PageControl()->tabText(1).toStdString(), "拡幅テスト");
  EXPECT_EQ(box->windowTitle().toStdString(), "フィルタ");
  // Selecting the page of a filter makes it current.
  box->PageControl()->setCurrentIndex(0);
  EXPECT_EQ(box->CurrentFilter(), &invert);
  box->PageControl()->setCurrentIndex(1);
  EXPECT_EQ(box->CurrentFilter(), &widen);
  // The user cannot close the box.
  box->show();
  EXPECT_FALSE(box->close());
  box->AllowClose = true;
  EXPECT_TRUE(box->close());
}

TEST_F(FilterBoxFixture, PreviewAndApplyThroughTheDocument) {
  box->PageControl()->setCurrentIndex(0);
  box->SetTarget(doc);
  // The thumbnail is the image shrunk to 120 x 90 (every second pixel here).
  EXPECT_EQ(box->PreviewSource().Width(), 120);
  EXPECT_TRUE(FromBlock(box->PreviewSource(), *doc->CurrentImage(), 10, 20));
  EXPECT_TRUE(FromBlock(box->PreviewSource(), *doc->CurrentImage(), 119, 89));
  // The preview shows the thumbnail through the filter.
  const QImage& pv = box->imPreview->Picture();
  EXPECT_EQ(pv.pixel(10, 20) & 0xFFFFFF, (box->PreviewSource().PixelBGRA(10, 20) ^ 0xFFFFFF));

  const int updatesBefore = invert.UpdateParamCalls;
  TKWBitmap* before = doc->CurrentImage();
  box->bbtDoFilter->click();
  EXPECT_NE(doc->CurrentImage(), before);
  EXPECT_EQ(doc->CurrentImage()->Prev, before);
  EXPECT_EQ(doc->CurrentImage()->PixelBGRA(3, 3) & 0xFFFFFF, (before->PixelBGRA(3, 3) ^ 0xFFFFFF));
  EXPECT_GT(invert.UpdateParamCalls, updatesBefore);  // the panel is read first
  EXPECT_TRUE(doc->Modified);
  EXPECT_FALSE(doc->Busy);
  EXPECT_EQ(doc->imiImage->Log().size(), 1u);
  EXPECT_EQ(doc->CurrentImage()->OperationName, "反転テスト");
  // The thumbnail follows the new image.
  EXPECT_TRUE(FromBlock(box->PreviewSource(), *doc->CurrentImage(), 10, 20));

  // A panel's own apply callback goes the same way.
  p1->exec(nullptr);
  EXPECT_EQ(doc->CurrentImage()->PixelBGRA(3, 3), before->PixelBGRA(3, 3));
}

TEST_F(FilterBoxFixture, ResizingFilterPreviewsIntoTheThumbnailSizeAndAppliesItsSize) {
  box->PageControl()->setCurrentIndex(1);
  box->SetTarget(doc);
  EXPECT_EQ(box->imPreview->Picture().size(), QSize(120, 90));
  box->bbtDoFilterClick();
  EXPECT_EQ(doc->CurrentImage()->Width(), 480);
}

TEST_F(FilterBoxFixture, PreviewOfAnotherPanelKeepsTheCurrentFilter) {
  box->PageControl()->setCurrentIndex(1);
  box->SetTarget(doc);
  invert.UpdatePrevImg();
  EXPECT_EQ(box->CurrentFilter(), &widen);
  EXPECT_EQ(box->imPreview->Picture().pixel(5, 5) & 0xFFFFFF,
            (box->PreviewSource().PixelBGRA(5, 5) ^ 0xFFFFFF));
}

TEST_F(FilterBoxFixture, FailingFilterShowsItsMessageAndKeepsTheImage) {
  box->PageControl()->setCurrentIndex(0);
  box->SetTarget(doc);
  invert.Fail = true;
  std::vector<TProgressStage> stages;
  invert.SetProgress([&](TKWProcessor*, TProgressStage st, uint8_t, bool, TRect&, const std::string&) {
    stages.push_back(st);
  });
  msgs.shown.clear();
  TKWBitmap* before = doc->CurrentImage();
  box->bbtDoFilterClick();
  EXPECT_EQ(doc->CurrentImage(), before);
  EXPECT_FALSE(doc->Busy);
  ASSERT_FALSE(msgs.shown.empty());
  EXPECT_EQ(msgs.shown.back().second, "テストフィルタの失敗");
  // The failed run's progress display is ended (status text and cursor reset).
  ASSERT_FALSE(stages.empty());
  EXPECT_EQ(stages.front(), TProgressStage::psStarting);
  EXPECT_EQ(stages.back(), TProgressStage::psEnding);
}

TEST_F(FilterBoxFixture, WithoutTargetNothingIsAppliedAndNoImageIsOffered) {
  box->SetTarget(nullptr);
  EXPECT_EQ(invert.GetCurrentImage(), nullptr);
  box->bbtDoFilterClick();
  box->SetTarget(doc);
  EXPECT_EQ(invert.GetCurrentImage(), doc->CurrentImage());
}

TEST(FilterBoxLifetime, FiltersOutlivingTheBoxNoLongerCallIntoIt) {
  TInvertFilter f;
  f.Init();
  TFilterActiveProc setFilter;
  TFilterInfo info;
  info.Name = "x";
  info.Filter = &f;
  info.Regist = [&](QWidget*, const TFilterActiveProc& s, const TNotifyEvent&) { setFilter = s; };
  {
    TFilterBox box;
    box.AddFilter(&info);
    EXPECT_EQ(box.CurrentFilter(), &f);
  }
  EXPECT_EQ(f.GetCurrentImage(), nullptr);
  f.UpdatePrevImg();
  setFilter(&f);  // a panel calling back after the box has gone
}

// The filter box with the test package loaded through the processor manager,
// inside a main window: F3 applies the package's filter to the active document.
TEST(FilterBoxWithPackage, AppliesAFilterOfTheTestPackage) {
  TempDataDir data;
  MessageRecorder msgs;
  TKWChild::WriteResume = false;
  const std::string dir = data.path("ProcLib");
  ASSERT_TRUE(ForceDirectories(dir));
  ASSERT_TRUE(QFile::copy(TESTPKG_DIR "testpkgA.so", QString::fromStdString(dir + "/testpkgA.so")));
  {
    TKWParent main;
    TKWProcessorManager mgr;
    TFilterBox* box = main.FilterBox();
    box->SetManager(&mgr);
    mgr.Hooks.FilterMenu = main.miFilter;
    mgr.Hooks.AddFilter = [box](TFilterInfo* i) { box->AddFilter(i); };
    mgr.Hooks.Progress = [&main](TKWProcessor* s, TProgressStage st, uint8_t p, bool r, TRect& rc,
                                 const std::string& m) { main.ProcessorProgress(s, st, p, r, rc, m); };
    mgr.LoadProcessors(dir);
    ASSERT_GE(box->PageCount(), 1);
    box->PageControl()->setCurrentIndex(0);
    IsLoadComplete = true;
    main.show();

    const std::string f = data.path("p.bmp");
    WritePatternBmp(f, 64, 48, 9);
    main.OpenFiles({QString::fromStdString(f)});
    TKWChild* doc = main.ActiveChild();
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(box->Target(), doc);
    TKWBitmap* before = doc->CurrentImage();
    EXPECT_TRUE(main.actDoFilter->isEnabled());
    main.actDoFilter->trigger();
    ASSERT_NE(doc->CurrentImage(), before);
    EXPECT_EQ(doc->CurrentImage()->PixelBGRA(10, 10) & 0xFFFFFF,
              (before->PixelBGRA(10, 10) ^ 0xFFFFFF));
    EXPECT_EQ(doc->CurrentImage()->OperationName, box->CurrentFilter()->Caption);
    EXPECT_EQ(main.lbStatus->text().toStdString(), " Ready ");
    EXPECT_EQ(main.pbProgress->value(), 0);
    doc->actUndo->trigger();
    EXPECT_EQ(doc->CurrentImage(), before);
    EXPECT_TRUE(msgs.shown.empty());
    for (TKWChild* c : main.Children()) {
      c->ClosedByUser = true;
      delete c;
    }
    mgr.UnloadPackages();
  }
  TKWChild::WriteResume = true;
}
