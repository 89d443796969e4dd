// The generator box with real documents and the standard package's pure
// colour and gradation generators: pages and the current generator, new
// images (sizes from the edits, fallbacks, names), generating into the
// current document (its own size or the edits'), previews (hidden box,
// generators that cannot preview), failures, settings across restarts.
#include <QLayout>

#include "doc_test_support.h"
#include "document/kwchild.h"
#include "host/generatorbox.h"
#include "platform/canvas.h"
#include "image/kwimage.h"
#include "procdef/multiuserini.h"
#include "proclib/kwgrad.h"
#include "proclib/kwgradform.h"
#include "proclib/kwpurclrform.h"
#include "proclib/kwpurclr.h"

static ::testing::Environment* const kQtEnv = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

using namespace kwlib;

namespace {

// A panel as packages make them: docks into the site on Regist and keeps
// the host's callbacks.
struct TestPanel {
  QWidget* widget = new QWidget;
  TGeneratorInfo info;
  TGeneratorActiveProc setGenerator;
  TNotifyEvent exec;
  TestPanel(TKWBasicGenerator* g, const char* caption) {
    widget->setWindowTitle(caption);
    info.Name = g->Name;
    info.Generator = g;
    info.Panel = widget;
    info.Regist = [this](QWidget* site, const TGeneratorActiveProc& a, const TNotifyEvent& e) {
      setGenerator = a;
      exec = e;
      widget->setParent(site);
      if (site->layout()) site->layout()->addWidget(widget);
    };
  }
};

// A generator that cannot preview and fails when asked to.
class TFailingGenerator : public TKWBasicGenerator {
 public:
  bool CanPreview() override { return false; }
  void Generator(TBitmap* b) override {
    ++runs;
    if (fail) throw Exception("生成できません");
    b->Canvas().Brush.Color = 0x00FF00;
    b->Canvas().FillRect(Rect(0, 0, b->Width(), b->Height()));
  }
  bool fail = true;
  int runs = 0;
};

struct NewDoc {
  int w, h;
  uint32_t pixel;
  std::string name, op;
};

struct GeneratorBoxFixture : ::testing::Test {
  TempDataDir data;
  MessageRecorder msgs;
  TPureColorPack purePack;
  TKWGradationPack gradPack;
  std::unique_ptr<TKWPureColor> pure = TKWProcessor::Create<TKWPureColor>(&purePack);
  std::unique_ptr<TKWGradation> grad = TKWProcessor::Create<TKWGradation>(&gradPack);
  std::unique_ptr<TFailingGenerator> failing = TKWProcessor::Create<TFailingGenerator>();
  std::unique_ptr<TGeneratorBox> box;
  std::unique_ptr<TestPanel> p1, p2, p3;
  std::vector<NewDoc> made;
  std::vector<std::string> errors;
  std::vector<TProgressStage> stages;
  TKWChild* active = nullptr;

  std::unique_ptr<TGeneratorBox> makeBox() {
    auto b = std::make_unique<TGeneratorBox>(nullptr, data.path("KW.ini"));
    b->OnError = [this](const std::string& m) { errors.push_back(m); };
    b->ActiveDocument = [this]() -> TKWDocument* { return active; };
    b->NewDocument = [this](const TBitmap& bmp, const std::string& name, const std::string& op) {
      made.push_back({bmp.Width(), bmp.Height(), bmp.Width() > 0 ? bmp.Row32(0)[0] & 0xFFFFFFu : 0, name, op});
    };
    return b;
  }
  void SetUp() override {
    TKWChild::WriteResume = false;
    IsLoadComplete = true;
    pure->Name = "PureColor", pure->Caption = "純色";
    grad->Name = "Gradation", grad->Caption = "グラデーション";
    failing->Name = "Failing", failing->Caption = "失敗";
    failing->OnProgress = [this](TKWProcessor*, TProgressStage s, uint8_t, bool, TRect&, const std::string&) {
      stages.push_back(s);
    };
    box = makeBox();
    p1 = std::make_unique<TestPanel>(pure.get(), "純色");
    p2 = std::make_unique<TestPanel>(grad.get(), "グラデーション");
    box->AddGenerator(&p1->info);
    box->AddGenerator(&p2->info);
  }
  void TearDown() override {
    box.reset();
    delete active;
    TKWChild::WriteResume = true;
  }
  TKWChild* makeDoc(int w, int h) {
    auto* d = new TKWChild;
    TBitmap b;
    FillPattern(b, w, h, 5, 7);
    d->SetImage(b, "doc.bmp", "新規作成");
    return d;
  }
  void addFailing() {
    p3 = std::make_unique<TestPanel>(failing.get(), "失敗");
    box->AddGenerator(&p3->info);
    box->SetCurrentGenerator(failing.get());
  }
};

}  // namespace

TEST_F(GeneratorBoxFixture, WindowPagesAndCurrentGenerator) {
  EXPECT_EQ(box->windowTitle().toStdString(), "ジェネレータ");
  EXPECT_EQ(box->PageCount(), 2);
  EXPECT_EQ(box->PageControl()->tabText(0).toStdString(), "純色");
  EXPECT_EQ(box->PageControl()->tabText(1).toStdString(), "グラデーション");
  EXPECT_EQ(box->edrWidth->text(), "640");
  EXPECT_EQ(box->edrHeight->text(), "480");
  EXPECT_EQ(box->edrWidth->maxLength(), 4);
  EXPECT_FALSE(box->cbUseSrcSize->isChecked());
  EXPECT_EQ(box->bbtCreate->text().toStdString(), "新規画像作成");
  EXPECT_EQ(box->bbtToCurrent->text().toStdString(), "現在の画像へ");
  // The page selected backwards after the second registration shows the
  // gradation, which is current.
  EXPECT_EQ(box->PageControl()->currentIndex(), 1);
  EXPECT_EQ(box->CurrentGenerator(), grad.get());
  box->PageControl()->setCurrentIndex(0);
  EXPECT_EQ(box->CurrentGenerator(), pure.get());
  // The panel's activation reaches the box.
  p2->setGenerator(grad.get());
  EXPECT_EQ(box->CurrentGenerator(), grad.get());
  // The box cannot be closed until the program allows it.
  box->show();
  box->close();
  EXPECT_TRUE(box->isVisible());
}

TEST_F(GeneratorBoxFixture, NewImagesTakeTheEditsSizeWithFallbacks) {
  box->SetCurrentGenerator(pure.get());
  purePack.Red = 300, purePack.Green = 1, purePack.Blue = 2;
  box->edrWidth->setText("33");
  box->edrHeight->setText("21");
  box->actGenerateExecute();
  ASSERT_EQ(made.size(), 1u);
  EXPECT_EQ(made[0].w, 33);
  EXPECT_EQ(made[0].h, 21);
  EXPECT_EQ(made[0].pixel, 0x2C0202u);  // red 44, green 1 + 1, blue 2
  EXPECT_EQ(made[0].name, "New");
  EXPECT_EQ(made[0].op, "純色");
  box->edrWidth->setText("abc");
  box->edrHeight->setText("");
  box->bbtCreate->click();
  ASSERT_EQ(made.size(), 2u);
  EXPECT_EQ(made[1].w, 640);
  EXPECT_EQ(made[1].h, 480);
  // The size edits count even with the source size checked.
  box->cbUseSrcSize->setChecked(true);
  active = makeDoc(50, 40);
  box->edrWidth->setText("12");
  box->edrHeight->setText("8");
  box->actGenerateExecute();
  EXPECT_EQ(made.back().w, 12);
  EXPECT_EQ(made.back().h, 8);
  // A panel's menu action activates its panel, then generates into a new
  // document.
  p2->setGenerator(grad.get());
  p2->exec(nullptr);
  EXPECT_EQ(made.back().op, "グラデーション");
  // Sizes below one are refused with a message, no document.
  box->edrWidth->setText("0");
  const size_t n = made.size();
  box->actGenerateExecute();
  EXPECT_EQ(made.size(), n);
  EXPECT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors.empty() || errors[0].find("0 x 8") != std::string::npos);
}

TEST_F(GeneratorBoxFixture, IntoTheCurrentDocumentAsAnUndoableStep) {
  box->SetCurrentGenerator(pure.get());
  purePack.Red = 10, purePack.Green = 20, purePack.Blue = 30;
  // No document: nothing happens.
  box->bbtToCurrentClick();
  EXPECT_TRUE(errors.empty());
  active = makeDoc(50, 40);
  const uint32_t before = active->CurrentImage()->Row32(0)[0];
  box->edrWidth->setText("7");
  box->edrHeight->setText("5");
  box->bbtToCurrentClick();
  EXPECT_EQ(active->CurrentImage()->Width(), 7);
  EXPECT_EQ(active->CurrentImage()->Height(), 5);
  EXPECT_EQ(active->CurrentImage()->Row32(4)[6] & 0xFFFFFFu, 0x0A141Eu);
  // With the source size checked the document keeps its size.
  box->cbUseSrcSize->setChecked(true);
  box->bbtToCurrentClick();
  EXPECT_EQ(active->CurrentImage()->Width(), 7);
  EXPECT_EQ(active->CurrentImage()->Height(), 5);
  ASSERT_TRUE(active->imiImage->Undo());
  ASSERT_TRUE(active->imiImage->Undo());
  EXPECT_EQ(active->CurrentImage()->Width(), 50);
  EXPECT_EQ(active->CurrentImage()->Row32(0)[0], before);
  // A busy count is not left behind.
  EXPECT_FALSE(active->Busy);
}

TEST_F(GeneratorBoxFixture, PreviewOnlyWhenVisibleAndPreviewable) {
  box->SetCurrentGenerator(pure.get());
  purePack.Red = 1, purePack.Green = 2, purePack.Blue = 3;
  box->actPreviewExecute();
  // Hidden: the preview stays white.
  EXPECT_EQ(box->imPreview->Picture().pixel(5, 5) & 0xFFFFFFu, 0xFFFFFFu);
  box->show();  // showing previews
  EXPECT_EQ(box->imPreview->Picture().pixel(5, 5) & 0xFFFFFFu, 0x010203u);
  EXPECT_EQ(box->PreviewBitmap().Width(), 120);
  EXPECT_EQ(box->PreviewBitmap().Height(), 90);
  // A generator's own request (its panel changed) previews the current one.
  purePack.Red = 200;
  pure->UpdatePrevImg();
  EXPECT_EQ(box->imPreview->Picture().pixel(119, 89) & 0xFFFFFFu, 0xC80203u);
  EXPECT_TRUE(box->actPreview->isEnabled());
  // A generator that cannot preview disables the preview and its image.
  addFailing();
  EXPECT_FALSE(box->actPreview->isEnabled());
  EXPECT_FALSE(box->imPreview->isEnabled());
  EXPECT_FALSE(box->btPreview->isEnabled());
  box->actPreviewExecute();
  EXPECT_EQ(failing->runs, 0);
  box->hide();
  purePack.Red = 0;
  box->SetCurrentGenerator(pure.get());
  EXPECT_EQ(box->imPreview->Picture().pixel(5, 5) & 0xFFFFFFu, 0xC80203u);
}

TEST_F(GeneratorBoxFixture, FailingGeneratorsCreateNothingAndChangeNothing) {
  addFailing();
  box->actGenerateExecute();
  EXPECT_TRUE(made.empty());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "生成できません");
  // Progress was started and is ended again.
  ASSERT_FALSE(stages.empty());
  EXPECT_EQ(stages.front(), TProgressStage::psStarting);
  EXPECT_EQ(stages.back(), TProgressStage::psEnding);
  active = makeDoc(30, 20);
  const uint32_t before = active->CurrentImage()->Row32(3)[3];
  box->bbtToCurrentClick();
  EXPECT_EQ(failing->runs, 2);
  // Into the current image the failure is shown as well.
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[1], "生成できません");
  EXPECT_EQ(active->CurrentImage()->Width(), 30);
  EXPECT_EQ(active->CurrentImage()->Row32(3)[3], before);
  EXPECT_FALSE(active->Busy);
  failing->fail = false;
  box->bbtToCurrentClick();
  EXPECT_EQ(active->CurrentImage()->Width(), 640);
}

TEST_F(GeneratorBoxFixture, SizeSettingsSurviveARestart) {
  box->edrWidth->setText("800");
  box->edrHeight->setText("abc");
  box->cbUseSrcSize->setChecked(true);
  box->show();
  box->ProgramClosing();
  EXPECT_TRUE(box->AllowClose);
  EXPECT_EQ(box->CurrentGenerator(), nullptr);
  // Closing the program stops the box from generating.
  box->actGenerateExecute();
  EXPECT_TRUE(made.empty());
  box->close();
  EXPECT_FALSE(box->isVisible());
  auto again = makeBox();
  EXPECT_EQ(again->edrWidth->text(), "800");
  EXPECT_EQ(again->edrHeight->text(), "abc");
  EXPECT_TRUE(again->cbUseSrcSize->isChecked());
  TMultiUserIni ini(data.path("KW.ini"));
  EXPECT_EQ(ini.ReadString("GeneratorBox", "ImageWidth", ""), "800");
}

TEST(GeneratorBoxPanels, MenuActionOfARealPanelActivatesAndCreatesANewImage) {
  TempDataDir data;
  IsLoadComplete = true;
  TPureColorPack purePack;
  TKWGradationPack gradPack;
  auto* pure = new TKWPureColorForm(&purePack, nullptr);
  auto* grad = new TKWGradationForm(&gradPack, nullptr);
  std::vector<NewDoc> made;
  {
    TGeneratorBox box;
    box.NewDocument = [&](const TBitmap& b, const std::string& name, const std::string& op) {
      made.push_back({b.Width(), b.Height(), b.Row32(0)[0] & 0xFFFFFFu, name, op});
    };
    box.AddGenerator(pure->GetInfo());
    box.AddGenerator(grad->GetInfo());
    box.show();
    EXPECT_EQ(box.PageControl()->tabText(0).toStdString(), "純色");
    EXPECT_EQ(box.CurrentGenerator(), grad->GetProcessor());
    // The pure colour's menu entry: its panel becomes current and its
    // fields are read for the new image.
    pure->edrGreen->setText("128");
    pure->MenuActions()[0]->trigger();
    EXPECT_EQ(box.CurrentGenerator(), pure->GetProcessor());
    EXPECT_EQ(box.PageControl()->currentIndex(), 0);
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0].name, "New");
    EXPECT_EQ(made[0].op, "純色");
    EXPECT_EQ(made[0].pixel, 0x008000u);
    EXPECT_EQ(made[0].w, 640);
    // Choosing the gradation's page makes it current and previews it.
    box.PageControl()->setCurrentIndex(1);
    EXPECT_EQ(box.CurrentGenerator(), grad->GetProcessor());
    EXPECT_EQ(box.imPreview->Picture().pixel(0, 0) & 0xFFFFFFu, 0u);
    EXPECT_EQ(box.imPreview->Picture().pixel(119, 0) & 0xFF, uint32_t(255 * (119 * 17) / 2048));
    box.ProgramClosing();
    // The package lets its panels go before the windows that hold them.
    delete pure;
    delete grad;
  }
}
