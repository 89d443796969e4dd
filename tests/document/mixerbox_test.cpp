// The mixer box with real documents and the standard package's mixers:
// choosing documents (busy counting, thumbnails), the position page (fields,
// dragging, hiding, centring), previews with and without clipping, applying
// as an undoable step, enabling, and bad input.
#include <QLayout>
#include <QMenu>
#include <QMouseEvent>

#include "doc_test_support.h"
#include "document/kwchild.h"
#include "host/filterbox.h"
#include "host/mixerbox.h"
#include "platform/canvas.h"
#include "proclib/kwavrg.h"
#include "proclib/kwdiffer.h"
#include "ui/editright.h"

static ::testing::Environment* const kQtEnv = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

using namespace kwlib;

namespace {

// A panel as packages make them: docks into the site on Regist.
struct TestPanel {
  QWidget* widget = new QWidget;
  TMixerInfo info;
  TestPanel(TKWBasicMixer* m, const char* caption) {
    widget->setWindowTitle(caption);
    info.Name = m->Name;
    info.Mixer = m;
    info.Panel = widget;
    info.Regist = [this](QWidget* site, const TMixerActiveProc&, const TNotifyEvent&) {
      widget->setParent(site);
      if (site->layout()) site->layout()->addWidget(widget);
    };
  }
};

void Solid(TBitmap& b, int w, int h, uint32_t px) {
  b.SetPixelFormat(pf32bit);
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.Row32(y)[x] = px;
}

uint32_t AbsDiff(uint32_t b, uint32_t f) {
  uint32_t r = b & 0xFF000000u;
  for (int s = 0; s < 24; s += 8) {
    int d = int((b >> s) & 0xFF) - int((f >> s) & 0xFF);
    r |= uint32_t(d < 0 ? -d : d) << s;
  }
  return r;
}

uint32_t PreviewPixel(TMixerBox& box, int x, int y) {
  return box.imPreview->Picture().pixel(x, y) & 0xFFFFFFu;
}

void Mouse(QWidget* w, QEvent::Type t, QPoint p, Qt::MouseButton b, Qt::MouseButtons held,
           Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QMouseEvent e(t, QPointF(p), w->mapToGlobal(QPointF(p)), b, held, mods);
  QApplication::sendEvent(w, &e);
}

struct MixerBoxFixture : ::testing::Test {
  TempDataDir data;
  MessageRecorder msgs;
  TKWDifferPack differPack;
  TAveragePack averagePack;
  std::unique_ptr<TKWDiffer> differ = TKWProcessor::Create<TKWDiffer>(&differPack);
  std::unique_ptr<TAverageMixer> average = TKWProcessor::Create<TAverageMixer>(&averagePack);
  std::unique_ptr<TMixerBox> box;
  std::unique_ptr<TestPanel> p1, p2;
  TKWChild *bg = nullptr, *fg = nullptr, *other = nullptr;
  TKWChild* active = nullptr;
  std::vector<std::string> errors;

  TKWChild* makeDoc(int w, int h, uint32_t seed, const char* name) {
    auto* d = new TKWChild;
    TBitmap b;
    FillPattern(b, w, h, seed, 7);
    d->SetImage(b, name, "新規作成");
    return d;
  }
  void SetUp() override {
    TKWChild::WriteResume = false;
    IsLoadComplete = true;
    differ->Name = "Differ";
    differ->Caption = "差分";
    average->Name = "Average";
    average->Caption = "平均値による合成";
    box = std::make_unique<TMixerBox>();
    box->OnError = [this](const std::string& m) { errors.push_back(m); };
    box->ActiveDocument = [this]() -> TKWDocument* { return active; };
    p1 = std::make_unique<TestPanel>(average.get(), "平均");
    p2 = std::make_unique<TestPanel>(differ.get(), "差分");
    box->AddMixer(&p1->info);
    box->AddMixer(&p2->info);
    bg = makeDoc(200, 200, 1, "back.bmp");
    fg = makeDoc(100, 50, 2, "fore.bmp");
    other = makeDoc(80, 60, 3, "other.bmp");
  }
  void TearDown() override {
    box.reset();
    delete bg;
    delete fg;
    delete other;
    TKWChild::WriteResume = true;
  }
  void chooseBoth() {
    active = bg;
    box->bbtBGImageClick();
    active = fg;
    box->bbtFGImageClick();
  }
};

}  // namespace

TEST_F(MixerBoxFixture, WindowPagesAndTheLastMixerCurrent) {
  EXPECT_EQ(box->windowTitle().toStdString(), "ミキサー");
  EXPECT_EQ(box->PageCount(), 2);
  EXPECT_EQ(box->PageControl()->tabText(0).toStdString(), "平均");
  EXPECT_EQ(box->PageControl()->tabText(1).toStdString(), "差分");
  EXPECT_EQ(box->CurrentMixer(), differ.get());
  EXPECT_EQ(box->pcMixerControl->tabText(0).toStdString(), "実行");
  EXPECT_EQ(box->pcMixerControl->tabText(1).toStdString(), "相対位置");
  EXPECT_EQ(box->cbClipMode->text().toStdString(), "重ならない部分を捨てる");
  EXPECT_FALSE(box->cbClipMode->isChecked());
  EXPECT_EQ(box->actDoMixer->shortcut(), QKeySequence("F4"));
  // Nothing chosen: everything but the background button waits.
  EXPECT_TRUE(box->bbtBGImage->isEnabled());
  EXPECT_FALSE(box->bbtFGImage->isEnabled());
  EXPECT_FALSE(box->stFGImage->isEnabled());
  EXPECT_FALSE(box->actDoMixer->isEnabled());
  EXPECT_FALSE(box->actPreview->isEnabled());
  EXPECT_FALSE(box->imPreview->isEnabled());
  EXPECT_FALSE(box->edrPosX->isEnabled());
  // The box cannot be closed until the program allows it.
  box->close();
  EXPECT_FALSE(box->isHidden() && box->AllowClose);
  // The mixers' hooks reach the chosen documents.
  EXPECT_EQ(differ->GetBGImage(), nullptr);
  chooseBoth();
  EXPECT_EQ(differ->GetBGImage(), bg->CurrentImage());
  EXPECT_EQ(average->GetFGImage(), fg->CurrentImage());
  // Selecting a page makes its mixer current.
  box->PageControl()->setCurrentIndex(0);
  EXPECT_EQ(box->CurrentMixer(), average.get());
}

TEST_F(MixerBoxFixture, ChoosingCountsBusyAndKeepsChosenDocumentsOpen) {
  active = nullptr;
  box->bbtBGImageClick();  // no active document: nothing
  EXPECT_EQ(box->BackgroundDoc(), nullptr);
  EXPECT_FALSE(box->bbtFGImage->isEnabled());

  active = bg;
  box->bbtBGImageClick();
  EXPECT_EQ(box->BackgroundDoc(), bg);
  EXPECT_TRUE(bg->Busy);
  EXPECT_TRUE(box->bbtFGImage->isEnabled());
  EXPECT_EQ(box->stBGImage->text().toStdString(), "back.bmp");
  EXPECT_TRUE(box->bbtBGImage->text().isEmpty());
  // A chosen document refuses to close from its title bar.
  EXPECT_FALSE(bg->CloseQuery());
  EXPECT_FALSE(bg->windowFlags() & Qt::WindowCloseButtonHint);

  // The same document as foreground as well: protected until both roles go.
  active = bg;
  box->bbtFGImageClick();
  EXPECT_EQ(bg->BusyCount, 2);
  active = fg;
  box->bbtFGImageClick();
  EXPECT_EQ(bg->BusyCount, 1);
  EXPECT_TRUE(bg->Busy);
  EXPECT_EQ(fg->BusyCount, 1);
  active = other;
  box->bbtBGImageClick();
  EXPECT_FALSE(bg->Busy);
  EXPECT_TRUE(bg->CloseQuery());
  EXPECT_TRUE(other->Busy);
  EXPECT_EQ(box->BackgroundDoc(), other);
  // Giving the box up lets go of both.
  box.reset();
  EXPECT_FALSE(other->Busy);
  EXPECT_FALSE(fg->Busy);
}

TEST_F(MixerBoxFixture, ThumbnailsAndTheForegroundAtTheBackgroundsScale) {
  chooseBoth();
  // The glyph is the image stretched to 90 x 60.
  TBitmap want;
  want.SetPixelFormat(pf32bit);
  want.SetSize(90, 60);
  want.Canvas().StretchDraw(Rect(0, 0, 90, 60), *bg->CurrentImage());
  EXPECT_EQ(0, std::memcmp(box->BackgroundThumb().Bits(), want.Bits(), want.ByteSize()));
  EXPECT_EQ(box->ScaleX(), 120.0 / 200);
  EXPECT_EQ(box->ScaleY(), 90.0 / 200);
  EXPECT_EQ(box->imFGImage->size(), QSize(60, 23));  // 100 x 0.6; 50 x 0.45 (a double a little above) -> 23
  EXPECT_EQ(box->imFGImage->pos(), box->imBGImage->pos());
  EXPECT_TRUE(box->actDoMixer->isEnabled());
  EXPECT_TRUE(box->edrPosY->isEnabled());
  // A new background resets the position and redraws the foreground at its scale.
  box->SetPosition(30, 40);
  active = other;  // 80 x 60
  box->bbtBGImageClick();
  EXPECT_EQ(box->PosX(), 0);
  EXPECT_EQ(box->PosY(), 0);
  EXPECT_EQ(box->edrPosX->text(), "0");
  EXPECT_EQ(box->imFGImage->size(), QSize(150, 75));
}

TEST_F(MixerBoxFixture, PositionFieldsDraggingHidingAndCentring) {
  chooseBoth();
  const QPoint origin = box->imBGImage->pos();
  box->edrPosX->setText("-20");
  EXPECT_EQ(box->PosX(), -20);
  EXPECT_EQ(box->imFGImage->x(), origin.x() - 12);  // 20 x 0.6 to the left
  box->edrPosX->setText("-");
  EXPECT_EQ(box->PosX(), -20);
  EXPECT_EQ(box->imFGImage->x(), origin.x() - 12);
  box->edrPosY->setText("40");
  EXPECT_EQ(box->PosY(), 40);
  EXPECT_EQ(box->imFGImage->y(), origin.y() + 18);
  EXPECT_EQ(box->PosX(), -20);

  // Dragging by the point where the button went down.
  box->SetPosition(0, 0);
  Mouse(box->imFGImage, QEvent::MouseButtonPress, QPoint(10, 5), Qt::LeftButton, Qt::LeftButton);
  Mouse(box->imFGImage, QEvent::MouseMove, QPoint(40, 23), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(box->PosX(), 50);  // 30 thumbnail pixels / 0.6
  EXPECT_EQ(box->PosY(), 40);  // 18 / 0.45
  EXPECT_EQ(box->edrPosX->text(), "50");
  // The right button hides the foreground; moving over the background shows it.
  Mouse(box->imFGImage, QEvent::MouseButtonPress, QPoint(1, 1), Qt::RightButton, Qt::RightButton);
  EXPECT_TRUE(box->imFGImage->isHidden());
  Mouse(box->imBGImage, QEvent::MouseMove, QPoint(3, 3), Qt::NoButton, Qt::NoButton);
  EXPECT_FALSE(box->imFGImage->isHidden());
  // A click on the background centres the foreground on the point.
  Mouse(box->imBGImage, QEvent::MouseButtonRelease, QPoint(60, 45), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(box->imFGImage->x(), origin.x() + 60 - 30);
  EXPECT_EQ(box->PosX(), 50);  // (60 - 30) / 0.6
  EXPECT_EQ(box->PosY(), 76);  // (45 - 11) / 0.45 = 75.6
  // Not with a shift key held.
  Mouse(box->imBGImage, QEvent::MouseButtonRelease, QPoint(0, 0), Qt::LeftButton, Qt::NoButton,
        Qt::ShiftModifier);
  EXPECT_EQ(box->PosX(), 50);
  // Outside the background thumbnail, on the page itself.
  Mouse(box->tsMixerPos, QEvent::MouseButtonRelease, origin + QPoint(120 + 30, 0), Qt::LeftButton,
        Qt::NoButton);
  EXPECT_EQ(box->PosX(), 200);
  EXPECT_FALSE(box->actDoMixer->isEnabled() && box->PosX() > 200);
}

TEST_F(MixerBoxFixture, ApplyingNeedsAnOverlapAndTheMenuFollows) {
  QMenu menu;
  QAction mainAction;
  mainAction.setShortcut(QKeySequence("F4"));
  box->BindApplyAction(&mainAction, &menu);
  EXPECT_TRUE(box->actDoMixer->shortcut().isEmpty());  // one owner of F4
  EXPECT_FALSE(mainAction.isEnabled());
  chooseBoth();
  EXPECT_TRUE(mainAction.isEnabled());
  EXPECT_TRUE(menu.menuAction()->isEnabled());
  box->SetPosition(200, 0);  // touches the edge: an overlap of width 0
  EXPECT_TRUE(box->actDoMixer->isEnabled());
  box->SetPosition(201, 0);
  EXPECT_FALSE(box->actDoMixer->isEnabled());
  EXPECT_FALSE(box->actPreview->isEnabled());
  EXPECT_FALSE(mainAction.isEnabled());
  EXPECT_FALSE(menu.menuAction()->isEnabled());
  box->SetPosition(-100, -50);
  EXPECT_TRUE(box->actDoMixer->isEnabled());
  box->SetPosition(-101, 0);
  EXPECT_FALSE(box->actDoMixer->isEnabled());
  // Applied anyway (a stale state): no change, no message.
  TKWBitmap* before = bg->CurrentImage();
  box->bbtDoMixerClick();
  EXPECT_EQ(bg->CurrentImage(), before);
  EXPECT_EQ(before->Prev, nullptr);
  EXPECT_TRUE(errors.empty());
  EXPECT_TRUE(msgs.shown.empty());
}

TEST_F(MixerBoxFixture, PreviewWithAndWithoutClipping) {
  TBitmap b, f;
  Solid(b, 200, 200, 0x00102030u);
  Solid(f, 100, 200, 0x00305070u);
  bg->SetImage(b, "b", "x");
  fg->SetImage(f, "f", "x");
  chooseBoth();
  box->SetPosition(100, 0);  // the right half of the background
  box->Preview();
  const uint32_t diff = AbsDiff(0x102030u, 0x305070u);
  for (int y = 0; y < 90; y += 7) {
    EXPECT_EQ(PreviewPixel(*box, 10, y), 0x102030u);
    EXPECT_EQ(PreviewPixel(*box, 59, y), 0x102030u);
    EXPECT_EQ(PreviewPixel(*box, 60, y), diff);
    EXPECT_EQ(PreviewPixel(*box, 119, y), diff);
  }
  // Clipped: only the overlap, stretched over the whole preview.
  box->cbClipMode->setChecked(true);
  box->SetPosition(150, 120);
  box->Preview();
  for (int y = 0; y < 90; y += 5)
    for (int x = 0; x < 120; x += 5) ASSERT_EQ(PreviewPixel(*box, x, y), diff) << x << "," << y;
  // No overlap: the preview stays as it was.
  box->SetPosition(500, 0);
  box->Preview();
  EXPECT_EQ(PreviewPixel(*box, 0, 0), diff);
  EXPECT_TRUE(errors.empty());
}

TEST_F(MixerBoxFixture, MixAtANegativeOriginThroughTheDocumentAndUndo) {
  const TBitmap& b0 = *bg->CurrentImage();
  TBitmap original;
  original.Assign(b0);
  TBitmap fore;
  fore.Assign(*fg->CurrentImage());
  chooseBoth();
  box->SetPosition(-30, 10);
  box->bbtDoMixerClick();
  TKWBitmap* mixed = bg->CurrentImage();
  ASSERT_NE(mixed, nullptr);
  ASSERT_EQ(mixed->Width(), 200);
  ASSERT_EQ(mixed->Height(), 200);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 200; ++x) {
      const bool in = x < 70 && y >= 10 && y < 60;
      const uint32_t want = in ? AbsDiff(original.Row32(y)[x], fore.Row32(y - 10)[x + 30]) : original.Row32(y)[x];
      ASSERT_EQ(mixed->Row32(y)[x], want) << x << "," << y;
    }
  EXPECT_EQ(mixed->OperationName, "差分");
  // The thumbnails follow the new image.
  TBitmap thumb;
  thumb.SetPixelFormat(pf32bit);
  thumb.SetSize(90, 60);
  thumb.Canvas().StretchDraw(Rect(0, 0, 90, 60), *mixed);
  EXPECT_EQ(0, std::memcmp(box->BackgroundThumb().Bits(), thumb.Bits(), thumb.ByteSize()));
  // The log carries the placement.
  auto* pack = dynamic_cast<TKWMixerPack*>(bg->imiImage->Log().back().get());
  ASSERT_NE(pack, nullptr);
  EXPECT_EQ(pack->OriginX, -30);
  EXPECT_EQ(pack->Flag, 0);

  // Undo restores the old image, and the thumbnails follow it.
  bg->actUndoExecute();
  EXPECT_EQ(0, std::memcmp(bg->CurrentImage()->Bits(), original.Bits(), original.ByteSize()));
  thumb.Canvas().StretchDraw(Rect(0, 0, 90, 60), original);
  EXPECT_EQ(0, std::memcmp(box->BackgroundThumb().Bits(), thumb.Bits(), thumb.ByteSize()));

  // Clipped: the overlap alone.
  box->cbClipMode->setChecked(true);
  box->bbtDoMixerClick();
  mixed = bg->CurrentImage();
  ASSERT_EQ(mixed->Width(), 70);
  ASSERT_EQ(mixed->Height(), 50);
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 70; ++x)
      ASSERT_EQ(mixed->Row32(y)[x], AbsDiff(original.Row32(y + 10)[x], fore.Row32(y)[x + 30]));
  EXPECT_EQ(dynamic_cast<TKWMixerPack*>(bg->imiImage->Log().back().get())->Flag, 1);
  bg->actUndoExecute();
  EXPECT_EQ(bg->CurrentImage()->Width(), 200);
  EXPECT_EQ(0, std::memcmp(bg->CurrentImage()->Bits(), original.Bits(), original.ByteSize()));
  EXPECT_TRUE(errors.empty());
}

TEST_F(MixerBoxFixture, WeightedAverageWithZeroWeightsReportsAndChangesNothing) {
  chooseBoth();
  box->PageControl()->setCurrentIndex(0);
  ASSERT_EQ(box->CurrentMixer(), average.get());
  averagePack.Mode = 1;
  averagePack.BGWait = 0;
  averagePack.FGWait = 0;
  errors.clear();
  TKWBitmap* before = bg->CurrentImage();
  bg->Modified = false;
  box->bbtDoMixerClick();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], EDivByZero().what());
  EXPECT_EQ(bg->CurrentImage(), before);
  EXPECT_EQ(before->Next, nullptr);
  EXPECT_FALSE(bg->Modified);
  // The preview reports it the same way.
  box->Preview();
  EXPECT_EQ(errors.size(), 2u);
  // Valid weights work again.
  averagePack.FGWait = 3;
  averagePack.BGWait = 1;
  box->bbtDoMixerClick();
  EXPECT_NE(bg->CurrentImage(), before);
  EXPECT_EQ(errors.size(), 2u);
}

TEST_F(MixerBoxFixture, ADocumentThatGoesIsDropped) {
  chooseBoth();
  delete fg;
  fg = nullptr;
  EXPECT_EQ(box->ForegroundDoc(), nullptr);
  EXPECT_FALSE(box->actDoMixer->isEnabled());
  box->bbtDoMixerClick();  // nothing to do, nothing breaks
  box->Preview();
  EXPECT_TRUE(errors.empty());
}
