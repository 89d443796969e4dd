#include "host/mixerbox.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

#include "host/filterbox.h"
#include "image/kwimage.h"
#include "platform/canvas.h"
#include "platform/sysutils.h"
#include "ui/docking.h"
#include "ui/editright.h"
#include "ui/messages.h"

namespace {

// src stretched (nearest pixel) over a w x h 32-bit bitmap.
void StretchInto(const TBitmap& src, TBitmap& dst, int w, int h) {
  dst.SetPixelFormat(pf32bit);
  dst.SetSize(std::max(w, 0), std::max(h, 0));
  TCanvas& c = dst.Canvas();
  c.CopyMode = cmSrcCopy;
  c.Brush.Color = clWhite;
  c.FillRect(Rect(0, 0, dst.Width(), dst.Height()));
  if (!src.Empty()) c.StretchDraw(Rect(0, 0, dst.Width(), dst.Height()), src);
}

int RoundInt(long double v) { return int(std::clamp<int64_t>(Round(v), INT32_MIN, INT32_MAX)); }

// The position page: mouse callbacks of its own area.
class TPositionPage : public QWidget {
 public:
  using QWidget::QWidget;
  std::function<void(QMouseEvent*)> OnMouseMove, OnMouseUp;

 protected:
  void mouseMoveEvent(QMouseEvent* e) override {
    if (OnMouseMove) OnMouseMove(e);
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (OnMouseUp) OnMouseUp(e);
  }
};

QPoint Pt(QMouseEvent* e) { return e->position().toPoint(); }

}  // namespace

// ---- TMixerThumb ----

TMixerThumb::TMixerThumb(QWidget* parent) : QWidget(parent) {}

void TMixerThumb::SetPicture(const TBitmap& bmp) {
  picture_ = BitmapToQImage(bmp, false);
  update();
}

void TMixerThumb::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  if (!picture_.isNull()) p.drawImage(0, 0, picture_);
  if (!isEnabled()) p.fillRect(rect(), QColor(255, 255, 255, 128));
}

void TMixerThumb::mousePressEvent(QMouseEvent* e) {
  if (OnMouseDown) OnMouseDown(e);
}
void TMixerThumb::mouseMoveEvent(QMouseEvent* e) {
  if (OnMouseMove) OnMouseMove(e);
}
void TMixerThumb::mouseReleaseEvent(QMouseEvent* e) {
  if (OnMouseUp) OnMouseUp(e);
}

// ---- TMixerBox ----

TMixerBox::TMixerBox(QWidget* parent)
    : TKWProcBox("ミキサー", "TMixerBox", parent),
      backgroundThumb_(std::make_unique<TBitmap>()),
      foregroundThumb_(std::make_unique<TBitmap>()) {
  for (TBitmap* t : {backgroundThumb_.get(), foregroundThumb_.get()}) {
    t->SetPixelFormat(pf32bit);
    t->SetSize(kThumbWidth, kThumbHeight);
  }
  setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
  setMinimumSize(300, 500);

  actPreview = new QAction("プレビュー", this);
  actPreview->setObjectName("actPreview");
  actPreview->setEnabled(false);
  connect(actPreview, &QAction::triggered, this, [this] { Preview(); });
  actDoMixer = new QAction("適用", this);
  actDoMixer->setObjectName("actDoMixer");
  actDoMixer->setShortcut(QKeySequence("F4"));
  actDoMixer->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  actDoMixer->setEnabled(false);
  connect(actDoMixer, &QAction::triggered, this, [this] { bbtDoMixerClick(actDoMixer); });
  addAction(actDoMixer);

  // ---- page "実行": preview, buttons, clipping, the two documents ----
  pcMixerControl = new QTabWidget;
  pcMixerControl->setObjectName("pcMixerControl");
  pcMixerControl->setMinimumHeight(225);
  tsMixerExec = new QWidget;
  tsMixerExec->setObjectName("tsMixerExec");
  auto* exec = new QGridLayout(tsMixerExec);
  exec->setContentsMargins(6, 6, 6, 6);
  exec->setHorizontalSpacing(8);
  exec->setVerticalSpacing(4);
  imPreview = new TPreviewImage(tsMixerExec);
  imPreview->setObjectName("imPreview");
  imPreview->setEnabled(false);
  imPreview->OnClick = [this] { Preview(); };
  btPreview = new QPushButton(actPreview->text(), tsMixerExec);
  btPreview->setObjectName("btPreview");
  btPreview->setEnabled(false);
  connect(btPreview, &QPushButton::clicked, actPreview, &QAction::trigger);
  bbtDoMixer = new QPushButton("適用", tsMixerExec);
  bbtDoMixer->setObjectName("bbtDoMixer");
  bbtDoMixer->setEnabled(false);
  bbtDoMixer->setToolTip("適用 (F4)");
  connect(bbtDoMixer, &QPushButton::clicked, this, [this] { bbtDoMixerClick(bbtDoMixer); });
  cbClipMode = new QCheckBox("重ならない部分を捨てる", tsMixerExec);
  cbClipMode->setObjectName("cbClipMode");
  auto* side = new QVBoxLayout;
  side->setSpacing(4);
  side->addWidget(btPreview);
  side->addWidget(bbtDoMixer);
  side->addWidget(cbClipMode);
  side->addStretch(1);
  exec->addWidget(imPreview, 0, 0, Qt::AlignTop | Qt::AlignLeft);
  exec->addLayout(side, 0, 1);
  stBGImage = new QLabel("背景画像", tsMixerExec);
  stBGImage->setObjectName("stBGImage");
  stFGImage = new QLabel("前景画像", tsMixerExec);
  stFGImage->setObjectName("stFGImage");
  stFGImage->setEnabled(false);
  auto makeChooser = [this](const char* name) {
    auto* b = new QToolButton(tsMixerExec);
    b->setObjectName(name);
    b->setText("選択");
    b->setIconSize(QSize(kThumbWidth, kThumbHeight));
    b->setFixedSize(kThumbWidth + 8, kThumbHeight + 8);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return b;
  };
  bbtBGImage = makeChooser("bbtBGImage");
  bbtFGImage = makeChooser("bbtFGImage");
  bbtFGImage->setEnabled(false);
  connect(bbtBGImage, &QToolButton::clicked, this, [this] { bbtBGImageClick(); });
  connect(bbtFGImage, &QToolButton::clicked, this, [this] { bbtFGImageClick(); });
  for (QLabel* l : {stBGImage, stFGImage}) {
    // A long file name is cut rather than widening the box.
    l->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  }
  exec->addWidget(stBGImage, 1, 0);
  exec->addWidget(stFGImage, 1, 1);
  exec->addWidget(bbtBGImage, 2, 0, Qt::AlignLeft);
  exec->addWidget(bbtFGImage, 2, 1, Qt::AlignLeft);
  exec->setRowStretch(3, 1);
  exec->setColumnStretch(0, 1);
  exec->setColumnStretch(1, 1);
  pcMixerControl->addTab(tsMixerExec, "実行");

  // ---- page "相対位置": the thumbnails and the position fields ----
  auto* pos = new TPositionPage;
  tsMixerPos = pos;
  tsMixerPos->setObjectName("tsMixerPos");
  tsMixerPos->setMouseTracking(true);
  imBGImage = new TMixerThumb(tsMixerPos);
  imBGImage->setObjectName("imBGImage");
  imBGImage->setGeometry(12, 12, kPreviewWidth, kPreviewHeight);
  imBGImage->setMouseTracking(true);
  imFGImage = new TMixerThumb(tsMixerPos);
  imFGImage->setObjectName("imFGImage");
  imFGImage->setGeometry(12, 12, kPreviewWidth, kPreviewHeight);
  imFGImage->raise();
  auto* lbX = new QLabel("X", tsMixerPos);
  auto* lbY = new QLabel("Y", tsMixerPos);
  edrPosX = new TEditRight(tsMixerPos);
  edrPosX->setObjectName("edrPosX");
  edrPosY = new TEditRight(tsMixerPos);
  edrPosY->setObjectName("edrPosY");
  const int fx = 12 + kPreviewWidth + 24;
  lbX->setGeometry(fx, 14, 16, 22);
  lbY->setGeometry(fx, 44, 16, 22);
  edrPosX->setGeometry(fx + 18, 14, 64, 24);
  edrPosY->setGeometry(fx + 18, 44, 64, 24);
  for (TEditRight* e : {edrPosX, edrPosY}) {
    e->setText("0");
    e->KeyFilter = [](char16_t& k) { return IntKey(k); };
  }
  connect(edrPosX, &QLineEdit::textChanged, this, [this] { edrPosChange(true); });
  connect(edrPosY, &QLineEdit::textChanged, this, [this] { edrPosChange(false); });
  for (QWidget* w : {static_cast<QWidget*>(imBGImage), static_cast<QWidget*>(imFGImage),
                     static_cast<QWidget*>(edrPosX), static_cast<QWidget*>(edrPosY)})
    w->setEnabled(false);
  tsMixerPos->setMinimumSize(fx + 18 + 64 + 12, 12 + kPreviewHeight + 12);

  // Mouse on the position page.
  imFGImage->OnMouseDown = [this](QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
      grabX_ = Pt(e).x();
      grabY_ = Pt(e).y();
    }
    // The right button hides the foreground to show the background under it.
    imFGImage->setVisible(e->button() != Qt::RightButton);
  };
  imFGImage->OnMouseMove = [this](QMouseEvent* e) {
    if (e->buttons() & Qt::LeftButton) {
      const QPoint p = imFGImage->mapToParent(Pt(e));
      SetPositionFromView(p.x() - grabX_, p.y() - grabY_);
      imFGImage->show();
    }
  };
  auto centreOn = [this](QMouseEvent* e, QPoint p) {
    if (e->button() != Qt::LeftButton) return;
    if (e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) return;
    if (!imFGImage->isEnabled()) return;
    SetPositionFromView(p.x() - imFGImage->width() / 2, p.y() - imFGImage->height() / 2);
  };
  pos->OnMouseMove = [this](QMouseEvent*) { imFGImage->show(); };
  pos->OnMouseUp = [centreOn](QMouseEvent* e) { centreOn(e, Pt(e)); };
  imBGImage->OnMouseMove = [this](QMouseEvent*) { imFGImage->show(); };
  imBGImage->OnMouseUp = [this, centreOn](QMouseEvent* e) { centreOn(e, imBGImage->mapToParent(Pt(e))); };
  pcMixerControl->addTab(tsMixerPos, "相対位置");
  // At least 225 high, and never less than both pages need.
  pcMixerControl->setMinimumHeight(std::max(225, pcMixerControl->minimumSizeHint().height()));

  // ---- the control pages above the panel pages ----
  spCtrlSize = new QSplitter(Qt::Vertical);
  spCtrlSize->setObjectName("spCtrlSize");
  spCtrlSize->setChildrenCollapsible(false);
  spCtrlSize->addWidget(pcMixerControl);
  spCtrlSize->addWidget(PageControl());
  spCtrlSize->setStretchFactor(0, 0);
  spCtrlSize->setStretchFactor(1, 1);
  spCtrlSize->setSizes({225, 275});
  setWidget(spCtrlSize);
  PageControl()->setObjectName("pcMixerBox");

  connect(this, &TKWProcBox::PageActivated, this, &TMixerBox::pcMixerBoxChange);
  connect(this, &QDockWidget::topLevelChanged, this, [this](bool) { applyOpacity(); });

  StretchInto(TBitmap(), *backgroundThumb_, kThumbWidth, kThumbHeight);
  StretchInto(TBitmap(), *foregroundThumb_, kThumbWidth, kThumbHeight);
}

TMixerBox::~TMixerBox() {
  alive_.reset();
  release(TRole::Background);
  release(TRole::Foreground);
  currentMixer_ = nullptr;
  panels_.clear();
}

void TMixerBox::showError(const std::string& msg) {
  if (OnError)
    OnError(msg);
  else
    ShowError(msg);
}

void TMixerBox::applyOpacity() { setWindowOpacity(isFloating() ? 224.0 / 255.0 : 1.0); }

void TMixerBox::AddMixer(TMixerInfo* MixerInfo) {
  if (!MixerInfo) return;
  QWidget* page = nullptr;
  if (MixerInfo->Regist) {
    // Each page scrolls, as the filter box's do.
    auto* scroller = new QScrollArea;
    scroller->setWidgetResizable(true);
    scroller->setFrameShape(QFrame::NoFrame);
    auto* site = new QWidget;
    auto* lay = new QVBoxLayout(site);
    lay->setContentsMargins(0, 0, 0, 0);
    scroller->setWidget(site);
    page = scroller;
    const int pageIndex = PageControl()->addTab(scroller, QString());
    std::weak_ptr<int> alive = alive_;
    MixerInfo->Regist(
        site,
        [this, alive](TKWBasicMixer* m) {
          if (!alive.expired()) SetCurrentMixer(m);
        },
        [this, alive](QObject* sender) {
          if (!alive.expired()) bbtDoMixerClick(sender);
        });
    if (MixerInfo->Panel && MixerInfo->Panel->parentWidget() != site) KWDockInto(MixerInfo->Panel, site);
    if (MixerInfo->Panel) PageControl()->setTabText(pageIndex, MixerInfo->Panel->windowTitle());
  }
  const std::string caption =
      MixerInfo->Panel ? MixerInfo->Panel->windowTitle().toStdString() : MixerInfo->Name;
  panels_.push_back({caption, MixerInfo->Panel, MixerInfo, page});
  // Select the neighbouring page backwards (wrapping around).
  QTabWidget* pc = PageControl();
  if (pc->count() > 1) pc->setCurrentIndex((pc->currentIndex() - 1 + pc->count()) % pc->count());
  if (TKWBasicMixer* m = MixerInfo->Mixer) {
    std::weak_ptr<int> alive = alive_;
    m->OnGetFGImage = [this, alive](TKWProcessor*, TBitmap*& img) {
      img = alive.expired() ? nullptr : image(foregroundDoc_);
    };
    m->OnGetBGImage = [this, alive](TKWProcessor*, TBitmap*& img) {
      img = alive.expired() ? nullptr : image(backgroundDoc_);
    };
    m->OnUpdatePreview = [this, alive](TKWProcessor*, TKWBasicMixer* mx) {
      if (!alive.expired()) PreviewMixer(mx);
    };
    SetCurrentMixer(m);
  }
}

void TMixerBox::SetCurrentMixer(TKWBasicMixer* Mixer) {
  currentMixer_ = Mixer;
  selectChange();
  UpdateActions();
}

void TMixerBox::selectChange() {
  if (!currentMixer_ || !backgroundDoc_ || !foregroundDoc_) return;
  try {
    currentMixer_->OnSelectChange(image(foregroundDoc_), image(backgroundDoc_));
  } catch (const std::exception& e) {
    showError(e.what());
  }
}

void TMixerBox::PreviewMixer(TKWBasicMixer* Mixer) {
  TKWBasicMixer* saved = currentMixer_;
  currentMixer_ = Mixer;
  selectChange();
  Preview();
  SetCurrentMixer(saved);
}

// ---- choosing documents ----

void TMixerBox::release(TRole role) {
  TKWDocument*& doc = role == TRole::Background ? backgroundDoc_ : foregroundDoc_;
  QPointer<QWidget>& win = role == TRole::Background ? backgroundWin_ : foregroundWin_;
  TKWDocument* old = doc && win ? doc : nullptr;
  if (old) {
    if (!released_) doc->SetBusy(false);
    doc->SetImageChangeHook(nullptr);
    QObject::disconnect(win, &QObject::destroyed, this, nullptr);
  }
  doc = nullptr;
  win = nullptr;
  if (old) updateHolder(old);
}

void TMixerBox::updateHolder(TKWDocument* doc) {
  const bool bg = doc == backgroundDoc_, fg = doc == foregroundDoc_;
  std::function<void()> letGo;
  if (bg || fg) {
    std::weak_ptr<int> alive = alive_;
    letGo = [this, alive, doc] {
      if (!alive.expired()) ReleaseDocument(doc);
    };
  }
  doc->SetHolder(bg && fg ? "ミキサーの背景画像と前景画像"
                 : bg     ? "ミキサーの背景画像"
                 : fg     ? "ミキサーの前景画像"
                          : "",
                 letGo);
}

void TMixerBox::ReleaseDocument(TKWDocument* doc) {
  if (!doc) return;
  for (TRole role : {TRole::Background, TRole::Foreground}) {
    const bool bg = role == TRole::Background;
    if ((bg ? backgroundDoc_ : foregroundDoc_) != doc) continue;
    release(role);
    QToolButton* b = bg ? bbtBGImage : bbtFGImage;
    b->setIcon(QIcon());
    b->setText("選択");
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QLabel* st = bg ? stBGImage : stFGImage;
    st->setText(bg ? "背景画像" : "前景画像");
    st->setToolTip(QString());
  }
  UpdateActions();
}

void TMixerBox::documentGone(TRole role) {
  // The window is being destroyed: nothing of it may be called any more.
  if (role == TRole::Background) {
    backgroundDoc_ = nullptr;
    backgroundWin_ = nullptr;
    stBGImage->setText("背景画像");
  } else {
    foregroundDoc_ = nullptr;
    foregroundWin_ = nullptr;
    stFGImage->setText("前景画像");
  }
  UpdateActions();
}

void TMixerBox::bbtBGImageClick() { choose(TRole::Background); }
void TMixerBox::bbtFGImageClick() { choose(TRole::Foreground); }

void TMixerBox::choose(TRole role) {
  TKWDocument* doc = ActiveDocument ? ActiveDocument() : nullptr;
  if (!doc) return;
  const bool bg = role == TRole::Background;
  release(role);
  (bg ? backgroundDoc_ : foregroundDoc_) = doc;
  QWidget* win = doc->DocumentWindow();
  (bg ? backgroundWin_ : foregroundWin_) = win;
  if (!released_) doc->SetBusy(true);
  updateHolder(doc);
  std::weak_ptr<int> alive = alive_;
  doc->SetImageChangeHook([this, alive, role](TKWBitmap* img) {
    if (!alive.expired()) imageChanged(role, img);
  });
  if (win) {
    connect(win, &QObject::destroyed, this, [this, role] { documentGone(role); });
    win->setFocus();
  }
  TKWBitmap* img = doc->CurrentImage();
  if (bg) {
    drawBackgroundPreview(*img);
    drawGlyph(role, *img);
    // The position page: the background over the whole thumbnail.
    TBitmap t;
    StretchInto(*img, t, imBGImage->width(), imBGImage->height());
    imBGImage->SetPicture(t);
    scaleX_ = img->Width() > 0 ? double(imBGImage->width()) / img->Width() : 1.0;
    scaleY_ = img->Height() > 0 ? double(imBGImage->height()) / img->Height() : 1.0;
    if (foregroundDoc_) {
      sizeForegroundThumb();
      drawForegroundThumb(*foregroundDoc_->CurrentImage());
    }
  } else {
    drawGlyph(role, *img);
    sizeForegroundThumb();
    drawForegroundThumb(*img);
  }
  SetPosition(0, 0);
  if (currentMixer_) {
    try {
      currentMixer_->OnSelectChange(image(foregroundDoc_), image(backgroundDoc_));
    } catch (const std::exception& e) {
      showError(e.what());
    }
  }
  if (backgroundDoc_ && foregroundDoc_) Preview();
  if (bg) {
    bbtFGImage->setEnabled(true);
    stFGImage->setEnabled(true);
  } else {
    for (QWidget* w : {static_cast<QWidget*>(bbtDoMixer), static_cast<QWidget*>(btPreview),
                       static_cast<QWidget*>(imPreview), static_cast<QWidget*>(imBGImage),
                       static_cast<QWidget*>(imFGImage), static_cast<QWidget*>(edrPosX),
                       static_cast<QWidget*>(edrPosY)})
      w->setEnabled(true);
  }
  UpdateActions();
}

void TMixerBox::drawGlyph(TRole role, const TBitmap& img) {
  const bool bg = role == TRole::Background;
  TBitmap& thumb = bg ? *backgroundThumb_ : *foregroundThumb_;
  StretchInto(img, thumb, kThumbWidth, kThumbHeight);
  QToolButton* b = bg ? bbtBGImage : bbtFGImage;
  b->setIcon(QIcon(QPixmap::fromImage(BitmapToQImage(thumb, false))));
  b->setText(QString());
  b->setToolButtonStyle(Qt::ToolButtonIconOnly);
  TKWDocument* doc = bg ? backgroundDoc_ : foregroundDoc_;
  QLabel* st = bg ? stBGImage : stFGImage;
  const QString name = QString::fromStdString(doc ? doc->CurrentImage()->FileName : std::string());
  st->setText(name);
  st->setToolTip(name);
}

void TMixerBox::sizeForegroundThumb() {
  TBitmap* fg = image(foregroundDoc_);
  if (!fg) return;
  const int w = std::clamp(RoundInt((long double)fg->Width() * scaleX_), 0, 1 << 14);
  const int h = std::clamp(RoundInt((long double)fg->Height() * scaleY_), 0, 1 << 14);
  imFGImage->resize(w, h);
}

void TMixerBox::drawForegroundThumb(const TBitmap& img) {
  TBitmap t;
  StretchInto(img, t, imFGImage->width(), imFGImage->height());
  imFGImage->SetPicture(t);
}

void TMixerBox::drawBackgroundPreview(const TBitmap& img) {
  TBitmap t;
  StretchInto(img, t, kPreviewWidth, kPreviewHeight);
  imPreview->SetPicture(t);
}

void TMixerBox::imageChanged(TRole role, TKWBitmap* Image) {
  if (!Image) return;
  drawGlyph(role, *Image);
  if (role == TRole::Background) {
    TBitmap t;
    StretchInto(*Image, t, imBGImage->width(), imBGImage->height());
    imBGImage->SetPicture(t);
  } else {
    drawForegroundThumb(*Image);
  }
  UpdateActions();
  if (btPreview->isEnabled()) Preview();
}

// ---- position ----

void TMixerBox::SetPosition(int X, int Y) {
  positionHandlers_ = false;
  imFGImage->move(RoundInt((long double)X * scaleX_) + imBGImage->x(),
                  RoundInt((long double)Y * scaleY_) + imBGImage->y());
  edrPosX->setText(QString::number(X));
  edrPosY->setText(QString::number(Y));
  posX_ = X;
  posY_ = Y;
  positionHandlers_ = true;
  UpdateActions();
}

void TMixerBox::SetPositionFromView(int VX, int VY) {
  SetPosition(RoundInt((long double)(VX - imBGImage->x()) / scaleX_),
              RoundInt((long double)(VY - imBGImage->y()) / scaleY_));
}

void TMixerBox::edrPosChange(bool x) {
  if (!positionHandlers_) return;
  TEditRight* e = x ? edrPosX : edrPosY;
  if (e->hasSelectedText()) return;
  bool ok = false;
  const int v = e->text().toInt(&ok);
  if (!ok) return;
  if (x)
    SetPosition(v, posY_);
  else
    SetPosition(posX_, v);
}

// ---- preview and apply ----

void TMixerBox::Preview() {
  TKWBitmap* bgImg = backgroundDoc_ ? backgroundDoc_->CurrentImage() : nullptr;
  TKWBitmap* fgImg = foregroundDoc_ ? foregroundDoc_->CurrentImage() : nullptr;
  if (!bgImg || !fgImg || !currentMixer_ || !currentMixer_->CanPreview()) return;
  const TMixOrigin placement{posX_, posY_, cbClipMode->isChecked()};
  TRect foreRect, backRect;
  if (!TKWBitmap::GetMixArea(*bgImg, *fgImg, placement, foreRect, backRect)) return;
  // An overlap without area has nothing to show (and nothing to scale by).
  if (backRect.Width() <= 0 || backRect.Height() <= 0 || bgImg->Empty()) return;
  TBitmap bgPart, fgPart, result;
  for (TBitmap* b : {&bgPart, &fgPart, &result}) b->SetPixelFormat(pf32bit);
  result.SetSize(kPreviewWidth, kPreviewHeight);
  result.Canvas().CopyMode = cmSrcCopy;
  float sx, sy;
  TPoint at;
  if (placement.Clipping) {
    sx = float(kPreviewWidth) / float(backRect.Width());
    sy = float(kPreviewHeight) / float(backRect.Height());
  } else {
    sx = float(kPreviewWidth) / float(bgImg->Width());
    sy = float(kPreviewHeight) / float(bgImg->Height());
    at = TPoint{RoundInt((long double)backRect.Left * sx), RoundInt((long double)backRect.Top * sy)};
    result.Canvas().StretchDraw(Rect(0, 0, kPreviewWidth, kPreviewHeight), *bgImg);
  }
  // The parts, scaled; rounding may reach one pixel past the picture, which
  // is cut off so that the mixer writes inside it.
  at.X = std::clamp(at.X, 0, kPreviewWidth);
  at.Y = std::clamp(at.Y, 0, kPreviewHeight);
  const int w = std::min(RoundInt((long double)backRect.Width() * sx), kPreviewWidth - at.X);
  const int h = std::min(RoundInt((long double)backRect.Height() * sy), kPreviewHeight - at.Y);
  bgPart.SetSize(w, h);
  fgPart.SetSize(w, h);
  bgPart.Canvas().CopyMode = cmSrcCopy;
  fgPart.Canvas().CopyMode = cmSrcCopy;
  const int fullW = RoundInt((long double)backRect.Width() * sx);
  const int fullH = RoundInt((long double)backRect.Height() * sy);
  bgPart.Canvas().CopyRect(Rect(0, 0, fullW, fullH), bgImg->Canvas(), backRect);
  fgPart.Canvas().CopyRect(Rect(0, 0, fullW, fullH), fgImg->Canvas(), foreRect);
  try {
    currentMixer_->UpdateParam();
    currentMixer_->ExecMixer(&bgPart, &fgPart, &result, at);
  } catch (const ENoMixArea&) {
    return;
  } catch (const std::exception& e) {
    showError(e.what());
    return;
  }
  imPreview->SetPicture(result);
}

bool TMixerBox::CanApply() const {
  TKWBitmap* bgImg = backgroundDoc_ ? backgroundDoc_->CurrentImage() : nullptr;
  TKWBitmap* fgImg = foregroundDoc_ ? foregroundDoc_->CurrentImage() : nullptr;
  if (!bgImg || !fgImg || !currentMixer_) return false;
  TRect f, b;
  return TKWBitmap::GetMixArea(*bgImg, *fgImg, TMixOrigin{posX_, posY_, false}, f, b);
}

void TMixerBox::UpdateActions() {
  const bool can = CanApply();
  actDoMixer->setEnabled(can);
  bbtDoMixer->setEnabled(can);
  actPreview->setEnabled(currentMixer_ && currentMixer_->CanPreview() && bbtDoMixer->isEnabled());
  btPreview->setEnabled(actPreview->isEnabled());
  if (boundAction_) boundAction_->setEnabled(can);
  if (boundMenu_) boundMenu_->menuAction()->setEnabled(can);
}

void TMixerBox::BindApplyAction(QAction* action, QMenu* menu) {
  boundAction_ = action;
  boundMenu_ = menu;
  // F4 belongs to the main window's action then (it also reaches a floating
  // box); the same key on both would make it ambiguous inside the box.
  if (action && action->shortcut() == actDoMixer->shortcut()) actDoMixer->setShortcut(QKeySequence());
  UpdateActions();
}

void TMixerBox::bbtDoMixerClick(QObject*) {
  TKWDocument* bg = backgroundDoc_;
  TKWDocument* fg = foregroundDoc_;
  if (!bg || !fg || !currentMixer_) return;
  const TMixOrigin placement{posX_, posY_, cbClipMode->isChecked()};
  try {
    bg->ApplyMixer(fg->CurrentImage(), currentMixer_, true, placement);
  } catch (const std::exception& e) {
    showError(e.what());
    return;
  }
  if (backgroundDoc_ != bg) return;  // the document went during the step
  TKWBitmap* img = bg->CurrentImage();
  drawBackgroundPreview(*img);
  drawGlyph(TRole::Background, *img);
  UpdateActions();
}

void TMixerBox::pcMixerBoxChange(int index) {
  QWidget* page = PageControl()->widget(index);
  for (const PanelEntry& p : panels_) {
    if (!page || p.page != page) continue;
    if (p.info && p.info->Mixer) SetCurrentMixer(p.info->Mixer);
    if (backgroundDoc_ && foregroundDoc_) Preview();
    return;
  }
}

// ---- window ----

void TMixerBox::closeEvent(QCloseEvent* e) {
  if (!AllowClose) {
    e->ignore();
    return;
  }
  TKWProcBox::closeEvent(e);
}

void TMixerBox::showEvent(QShowEvent* e) {
  TKWProcBox::showEvent(e);
  applyOpacity();
}

void TMixerBox::ProgramClosing(bool closing) {
  if (closing == released_) return;
  released_ = closing;
  for (auto [doc, win] : {std::pair{backgroundDoc_, backgroundWin_.data()},
                          std::pair{foregroundDoc_, foregroundWin_.data()}})
    if (doc && win) doc->SetBusy(!closing);
}
