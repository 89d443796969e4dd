#include "document/kwchild.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QImage>
#include <QLayout>
#include <QMdiArea>
#include <QMenu>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "document/kwdialogs.h"
#include "document/kwpaths.h"
#include "document/optiondlg.h"
#include "platform/sysutils.h"
#include "procdef/multiuserini.h"
#include "ui/messages.h"

bool TKWChild::WriteResume = true;

namespace {

const char* const kReadFailed = "画像の読み込みに失敗しました。\r\n";

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

std::string fourDigits(int n) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%4.4d", n);
  return buf;
}

// A menu item with a caption of its own for an action.
QAction* proxyAction(QAction* target, const QString& text, QObject* parent) {
  auto* p = new QAction(text, parent);
  QObject::connect(p, &QAction::triggered, target, &QAction::trigger);
  QObject::connect(target, &QAction::changed, p, [p, target] { p->setEnabled(target->isEnabled()); });
  p->setEnabled(target->isEnabled());
  return p;
}

// The hourglass while a step that may take long runs (undo all, reading
// swapped images back).
struct TBusyCursor {
  TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;
};

// The clipboard's picture as a bitmap; false when it holds none.
bool clipboardBitmap(TBitmap& out) {
  const QMimeData* md = QGuiApplication::clipboard()->mimeData();
  if (!md || !md->hasImage()) return false;
  QImage img = qvariant_cast<QImage>(md->imageData());
  if (img.isNull()) return false;
  QImageToBitmap(img, out);
  return true;
}

}  // namespace

std::string FileNameOnly(const std::string& path) { return ExtractFileName(path); }

TKWChild::TKWChild(QWidget* parent) : QMdiSubWindow(parent) {
  setAttribute(Qt::WA_DeleteOnClose);
  setObjectName("KWChild");
  imiImage = new TKWImage;
  imiImage->setObjectName("imiImage");
  sbxImage = new QScrollArea;
  sbxImage->setFrameShape(QFrame::NoFrame);
  // A picture smaller than the window sits in its middle.
  sbxImage->setAlignment(Qt::AlignCenter);
  sbxImage->setWidgetResizable(false);
  sbxImage->setBackgroundRole(QPalette::Dark);
  sbxImage->setWidget(imiImage);
  sbxImage->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(sbxImage, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& p) { pmChild->exec(sbxImage->mapToGlobal(p)); });
  setWidget(sbxImage);
  sbxImage->viewport()->installEventFilter(this);
  imiImage->OnClick = [this] {
    if (QMdiArea* a = mdiArea()) a->setActiveSubWindow(this);
  };

  actUndo = makeAction("actUndo", "元に戻す(&U)", QKeySequence("Ctrl+Z"), [this] { actUndoExecute(); });
  actRedo = makeAction("actRedo", "やり直し(&R)", QKeySequence("Ctrl+R"), [this] { actRedoExecute(); });
  actUndoAll = makeAction("actUndoAll", "最初に戻す(&S)", {}, [this] { actUndoAllExecute(); });
  actCopy = makeAction("actCopy", "コピー(&C)", QKeySequence("Ctrl+C"), [this] { actCopyExecute(); });
  actPaste = makeAction("actPaste", "貼り付け(&P)", QKeySequence("Ctrl+V"), [this] { actPasteExecute(); });
  actOpen = makeAction("actOpen", "開く(&O)...", {}, [this] { actOpenExecute(); });
  actSaveAs = makeAction("actSaveAs", "名前を付けて保存(&S)...", QKeySequence("Ctrl+S"),
                         [this] { actSaveAsExecute(); });
  actACShow = makeAction("actACShow", "表示(&B)", {}, [this] { actACShowExecute(); });
  // Checked while the view shows the alpha channel.
  actACShow->setCheckable(true);
  actACDisable = makeAction("actACDisable", "無効化(&D)", QKeySequence("Shift+F5"),
                            [this] { actACDisableExecute(); });
  actACInvert = makeAction("actACInvert", "反転(&N)", QKeySequence("Ctrl+Shift+F5"),
                           [this] { actACInvertExecute(); });
  actACCreateFromImage = makeAction("actACCreateFromImage", "画像から作成(&I)", QKeySequence("F5"),
                                    [this] { actACCreateFromImageExecute(); });
  actACCreateValue = makeAction("actACCreateValue", "一定値で作成(&V)", QKeySequence("Ctrl+F5"),
                                [this] { actACCreateValueExecute(); });
  actACCreateHarf = makeAction("actACCreateHarf", "半分の値で作成(&H)", {},
                               [this] { actACCreateHarfExecute(); });
  actACLoad = makeAction("actACLoad", "ファイルから作成(&L)...", {}, [this] { actACLoadExecute(); });
  actACSave = makeAction("actACSave", "ファイルに保存(&S)...", {}, [this] { actACSaveExecute(); });
  actACCopy = makeAction("actACCopy", "コピー(&C)", {}, [this] { actACCopyExecute(); });
  actACPaste = makeAction("actACPaste", "貼り付け(&P)", {}, [this] { actACPasteExecute(); });
  actLogCreate = makeAction("actLogCreate", "スクリプトを出力(&O)", {}, [this] { actLogCreateExecute(); });
  // Ctrl+F8 belongs to the log's clear command; the "show all" zoom command
  // is reached through the menu (one key cannot run two commands).
  actLogClear = makeAction("actLogClear", "クリア(&C)", QKeySequence("Ctrl+F8"),
                           [this] { actLogClearExecute(); });
  actZoomIn = makeAction("actZoomIn", "拡大(&U)", QKeySequence("Ctrl+Ins"), [this] {
    imiImage->ZoomIn();
    UpdateCaption();
    FitWindow(false);
  });
  actZoomOut = makeAction("actZoomOut", "縮小(&D)", QKeySequence("Ctrl+Del"), [this] {
    imiImage->ZoomOut();
    UpdateCaption();
    FitWindow(false);
  });
  actFreeZoom = makeAction("actFreeZoom", "任意倍率(&F)...", QKeySequence("Shift+F8"),
                           [this] { actFreeZoomExecute(); });
  actZoomClient = makeAction("actZoomClient", "全体を表示(&A)", {}, [this] { actZoomClientExecute(); });
  actZoom025 = makeAction("actZoom025", "25%(1)", {}, [this] { zoomTo(0.25); });
  actZoom050 = makeAction("actZoom050", "50%(&2)", {}, [this] { zoomTo(0.5); });
  actZoom100 = makeAction("actZoom100", "100%(&3)", QKeySequence("F8"), [this] { zoomTo(1); });
  actZoom200 = makeAction("actZoom200", "200%(&4)", {}, [this] { zoomTo(2); });
  actZoom400 = makeAction("actZoom400", "400%(&5)", {}, [this] { zoomTo(4); });

  actRelease = new QAction("ミキサーから外す(&M)", this);
  actRelease->setObjectName("actRelease");
  connect(actRelease, &QAction::triggered, this, [this] {
    if (ReleaseHolder) runGuarded(ReleaseHolder);
  });

  miEdit = new QMenu("編集(&E)", this);
  miEdit->addActions({actUndo, actRedo, actUndoAll});
  miEdit->addSeparator();
  miEdit->addActions({actCopy, actPaste});
  miEdit->addSeparator();
  miEdit->addAction(actOpen);
  miEdit->addSeparator();
  miEdit->addAction(actRelease);
  miAlpha = new QMenu("アルファチャンネル(&A)", this);
  miAlpha->addAction(actACShow);
  miAlpha->addSeparator();
  miAlpha->addActions({actACDisable, actACInvert});
  miAlpha->addSeparator();
  miAlpha->addActions({actACCreateFromImage, actACCreateValue, actACCreateHarf});
  miAlpha->addSeparator();
  miAlpha->addActions({actACLoad, actACSave});
  miAlpha->addSeparator();
  miAlpha->addActions({actACCopy, actACPaste});
  miLog = new QMenu("ログ(&L)", this);
  miLog->addActions({actLogCreate, actLogClear});
  miZoom = new QMenu("ズーム(&Z)", this);
  miZoom->addActions({actZoomIn, actZoomOut, actFreeZoom, actZoomClient});
  miZoom->addSeparator();
  miZoom->addAction(proxyAction(actZoom025, " 25%(&1)", this));
  miZoom->addAction(proxyAction(actZoom050, " 50%(&2)", this));
  miZoom->addActions({actZoom100, actZoom200, actZoom400});

  pmChild = new QMenu(this);
  pmChild->addActions({actUndo, actRedo, actUndoAll});
  pmChild->addSeparator();
  pmChild->addActions({actCopy, actPaste});
  pmChild->addSeparator();
  pmChild->addActions({actOpen, actSaveAs});
  pmChild->addSeparator();
  QMenu* pmAlpha = pmChild->addMenu("アルファチャンネル");
  pmAlpha->addAction(actACShow);
  pmAlpha->addSeparator();
  pmAlpha->addActions({actACDisable, actACInvert});
  pmAlpha->addSeparator();
  pmAlpha->addAction(actACCreateFromImage);
  pmAlpha->addAction(proxyAction(actACCreateValue, "一定値で作成(&V)...", this));
  pmAlpha->addAction(actACCreateHarf);
  pmAlpha->addSeparator();
  pmAlpha->addActions({actACLoad, actACSave});
  pmAlpha->addSeparator();
  pmAlpha->addActions({actACCopy, actACPaste});
  QMenu* pmZoom = pmChild->addMenu("ズーム");
  pmZoom->addActions({actZoomIn, actZoomOut, actFreeZoom, actZoomClient});
  pmZoom->addSeparator();
  pmZoom->addActions({actZoom025, actZoom050, actZoom100, actZoom200, actZoom400});
  pmChild->addSeparator();
  pmChild->addActions({actLogCreate, actLogClear});
  pmChild->addSeparator();
  pmChild->addAction(actRelease);

  const QMargins m = contentsMargins();
  FrameWidth = m.left() + m.right();
  FrameHeight = m.top() + m.bottom();
  normalFlags_ = windowFlags();
  // Ctrl+W belongs to the main window's close command (one key, one
  // command); the system menu keeps its other close key.
  if (QMenu* sys = systemMenu())
    for (QAction* a : sys->actions()) {
      QList<QKeySequence> keys = a->shortcuts();
      if (keys.removeAll(QKeySequence("Ctrl+W")) > 0) a->setShortcuts(keys);
    }
  UpdateActions();
}

TKWChild::~TKWChild() {
  if (!ClosedByUser && WriteResume) WriteResumeEntry();
  // The menus go first, so that no menu bar they are merged into keeps them.
  delete miEdit;
  delete miAlpha;
  delete miLog;
  delete miZoom;
  miEdit = miAlpha = miLog = miZoom = nullptr;
}

QAction* TKWChild::makeAction(const char* name, const QString& caption, const QKeySequence& key,
                              std::function<void()> handler) {
  auto* a = new QAction(caption, this);
  a->setObjectName(name);
  connect(a, &QAction::triggered, this, [this, handler] { runGuarded(handler); });
  actions_ << a;
  keys_ << key;
  return a;
}

void TKWChild::SetShortcutsActive(bool active) {
  if (active == shortcutsActive_) return;
  shortcutsActive_ = active;
  for (qsizetype i = 0; i < actions_.size(); ++i)
    if (!keys_[i].isEmpty()) actions_[i]->setShortcut(active ? keys_[i] : QKeySequence());
}

QKeySequence TKWChild::ShortcutOf(const QAction* action) const {
  const qsizetype i = actions_.indexOf(const_cast<QAction*>(action));
  return i < 0 ? QKeySequence() : keys_[i];
}

void TKWChild::runGuarded(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    ShowError(e.what());
  }
  UpdateActions();
}

void TKWChild::UpdateActions() {
  TKWBitmap* img = imiImage->Image();
  actUndo->setEnabled(img->Prev != nullptr);
  actUndoAll->setEnabled(img->Prev != nullptr);
  actRedo->setEnabled(img->Next != nullptr);
  actOpen->setEnabled(OpenDialog != nullptr);
  for (QAction* a : {actACCopy, actACSave, actACDisable, actACInvert, actACShow})
    a->setEnabled(img->HasAlpha);
  actRelease->setEnabled(bool(ReleaseHolder));
  UpdateCaption();
}

void TKWChild::SetHolder(const std::string& H, std::function<void()> Release) {
  Holder = H;
  ReleaseHolder = H.empty() ? nullptr : std::move(Release);
  UpdateActions();
}

void TKWChild::refreshSteps() {
  FitWindow(false);
  UpdateCaption();
  SetModified(true);
}

// ---- operations of other parts ----

void TKWChild::ApplyFilter(TKWBasicFilter* Filter, bool UpdateParams) {
  imiImage->ApplyFilter(Filter, UpdateParams);
  refreshSteps();
}

void TKWChild::ApplyMixer(TBitmap* Foreground, TKWBasicMixer* Mixer, bool UpdateParams,
                          const TMixOrigin& Placement) {
  imiImage->ApplyMixer(Foreground, Mixer, UpdateParams, Placement);
  refreshSteps();
}

void TKWChild::ApplyGenerator(TKWBasicGenerator* Generator, bool UpdateParams, int Width,
                              int Height) {
  imiImage->ApplyGenerator(Generator, UpdateParams, Width, Height);
  refreshSteps();
}

void TKWChild::SetBusy(bool B) {
  if (B) {
    ++BusyCount;
    Busy = true;
  } else {
    if (--BusyCount < 1) {
      BusyCount = 0;
      Busy = false;
    }
  }
  // No close box and no system menu while busy (the close query refuses as
  // well); afterwards the window gets back the flags it was created with.
  const Qt::WindowFlags want =
      Busy ? (normalFlags_ & Qt::WindowType_Mask) | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowMinimizeButtonHint
           : normalFlags_;
  if (windowFlags() != want) {
    const bool vis = isVisible();
    setWindowFlags(want);
    if (vis) show();
  }
}

void TKWChild::LoadDocument(const std::string& FileName) {
  // Read first: a file that cannot be read leaves the document as it was.
  imiImage->LoadFromFile(FileName);
  imiImage->Image()->FileName = FileNameOnly(FileName);
  imiImage->SetZoomRate(1.0f);
  FitWindow(true);
  UpdateCaption();
  SetModified(false);
  imiImage->update();
}

bool TKWChild::OpenInto(const std::string& FileName) {
  std::unique_ptr<TKWBitmap> New;
  try {
    New = TKWBitmap::CreateFromFile(FileName);
  } catch (const std::exception& e) {
    ShowError(std::string(kReadFailed) + e.what());
    return false;
  }
  New->FileName = FileNameOnly(FileName);
  imiImage->AddLog("OpenToImage CurrentImage " + quoted(FileName));
  imiImage->Image()->CombineAlpha(*New);
  imiImage->AppendImage(New.release());
  imiImage->Image()->OperationName = "開く";
  FitWindow(false);
  UpdateCaption();
  SetModified(true);
  return true;
}

namespace {
// A name whose extension has no writer would write nothing: say so instead.
void CheckWritableExtension(const std::string& FileName) {
  std::string ext = UpperCase(ExtractFileExt(FileName));
  if (ext != ".BMP" && ext != ".JPG" && ext != ".JPEG" && ext != ".PNG")
    throw EInOutError("この形式では保存できません。\r\n" + FileName +
                      "\r\n(拡張子 .bmp .jpg .jpeg .png のいずれかを付けてください)");
}
}  // namespace

void TKWChild::SaveDocument(const std::string& FileName) {
  CheckWritableExtension(FileName);
  imiImage->SaveToFile(FileName);
  imiImage->Image()->FileName = FileNameOnly(FileName);
  imiImage->AddLog("SaveImage CurrentImage " + quoted(FileName));
  UpdateCaption();
  SetModified(false);
}

void TKWChild::SetImage(const TBitmap& Bitmap, const std::string& FileName,
                        const std::string& OperationName) {
  imiImage->SetZoomRate(1.0f);
  imiImage->CopyImage(Bitmap);
  imiImage->Image()->FileName = FileName;
  imiImage->Image()->OperationName = OperationName;
  FitWindow(true);
  UpdateCaption();
  SetModified(false);
}

bool TKWChild::PasteFromClipboard(bool AsNew) {
  TBitmap B;
  bool haveBitmap = false;
  try {
    haveBitmap = clipboardBitmap(B);
  } catch (const std::exception& e) {
    ShowError(e.what());
    return false;
  }
  if (haveBitmap) {
    if (!AsNew) {
      auto New = std::make_unique<TKWBitmap>();
      New->CopyImage(B);
      if (NormalAlphaBlending) New->HasAlpha = HasAnyAlpha(*New);
      imiImage->Image()->CombineAlpha(*New);
      TKWBitmap* n = New.release();
      imiImage->AppendImage(n);
      imiImage->AddLog("PasteToImage CurrentImage");
      n->OperationName = "貼り付け";
      FitWindow(false);
      n->FileName = "from Clipboard";
      UpdateCaption();
    } else {
      SetImage(B, "New (Clipboard)", "新規作成");
    }
    SetModified(true);
    return true;
  }
  const QMimeData* md = QGuiApplication::clipboard()->mimeData();
  if (md && md->hasText() && OnPasteText) OnPasteText(md->text().toStdString());
  return false;
}

void TKWChild::alphaStep(const std::function<void(TKWBitmap&)>& change, const std::string& logLine,
                         const std::string& label) {
  auto New = std::make_unique<TKWBitmap>();
  New->CopyImage(*imiImage->Image());
  New->FileName = imiImage->Image()->FileName;
  TKWBitmap* n = New.release();
  imiImage->AppendImage(n);
  change(*n);
  imiImage->AddLog(logLine);
  n->OperationName = label;
  imiImage->Refresh();
  UpdateCaption();
  SetModified(true);
}

void TKWChild::CreateAlphaByValue(uint8_t Value) {
  alphaStep([Value](TKWBitmap& b) { b.FillAlpha(Value); },
            "CreateAlphaChannelByValue CurrentImage " + std::to_string(Value), "AC初期化");
}

bool TKWChild::LoadAlpha(const std::string& FileName) {
  std::unique_ptr<TKWBitmap> S;
  try {
    S = TKWBitmap::CreateFromFile(FileName);
  } catch (const std::exception& e) {
    ShowError(std::string(kReadFailed) + e.what());
    return false;
  }
  alphaStep([&S](TKWBitmap& b) { b.AlphaFromImage(*S); },
            "LoadToAlphaChannel CurrentImage " + quoted(FileName), "ACへロード");
  return true;
}

void TKWChild::SaveAlpha(const std::string& FileName) {
  CheckWritableExtension(FileName);
  TKWBitmap tmp;
  imiImage->Image()->AlphaToGray(tmp);
  // The gray picture is written as a 24-bit image (BMP, PNG) or JPEG.
  tmp.SetPixelFormat(pf32bit);
  tmp.HasAlpha = false;
  static_cast<const TKWBitmap&>(tmp).SaveToFile(FileName);
  imiImage->AddLog("SaveAlphaChannel CurrentImage " + quoted(FileName));
}

void TKWChild::SetModified(bool M) {
  Modified = M;
  if (M) {
    if (OnImageChange) OnImageChange(this, imiImage->Image());
    if (OnModified) OnModified(this);
  }
  UpdateActions();
}

void TKWChild::CloseDocument() {
  ClosedByUser = true;
  close();
}

void TKWChild::ImageChanged() {
  imiImage->Refresh();
  const QMargins m = contentsMargins();
  FrameWidth = m.left() + m.right();
  FrameHeight = m.top() + m.bottom();
  setMaximumSize(QSize(imiImage->width() + FrameWidth, imiImage->height() + FrameHeight)
                     .expandedTo(MinimumWindowSize()));
  UpdateCaption();
  SetModified(false);
}

std::string TKWChild::CaptionText() const {
  TKWBitmap* img = imiImage->Image();
  char zoom[64];
  std::snprintf(zoom, sizeof zoom, "%.0f", double(imiImage->ZoomRate()) * 100.0);
  std::string caption = img->FileName + " - " + zoom + "%  |  " + img->OperationName;
  if (imiImage->ShowingAlpha()) caption += "  [アルファチャンネル表示]";
  if (!Holder.empty()) caption += "  [" + Holder + "]";
  return caption;
}

void TKWChild::UpdateCaption() {
  setWindowTitle(QString::fromStdString(CaptionText()));
  actACShow->setChecked(imiImage->ShowingAlpha());
}

QSize TKWChild::MinimumWindowSize() const {
  // The caption, the window icon and the three title bar buttons.
  const int button = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
  const QFontMetrics fm(QApplication::font("QMdiSubWindowTitleBar"));
  QSize least(fm.horizontalAdvance(QString::fromStdString(CaptionText())) + 4 * button + FrameWidth + 16,
              120 + FrameHeight);
  least = least.expandedTo(QSize(200, 0));
  if (const QMdiArea* area = mdiArea()) least = least.boundedTo(area->viewport()->size());
  return least;
}

void TKWChild::SetZoom(double Z) { imiImage->SetZoomRate(static_cast<float>(Z)); }

void TKWChild::zoomTo(double z) {
  SetZoom(z);
  UpdateCaption();
  FitWindow(false);
}

void TKWChild::FitWindow(bool Fit) {
  QScrollBar* hb = sbxImage->horizontalScrollBar();
  QScrollBar* vb = sbxImage->verticalScrollBar();
  const QSize vp = sbxImage->viewport()->size();
  const int oldW = std::max(1, imiImage->property("kwLastW").toInt());
  const int oldH = std::max(1, imiImage->property("kwLastH").toInt());
  const double fx = (hb->value() + vp.width() / 2.0) / oldW;
  const double fy = (vb->value() + vp.height() / 2.0) / oldH;

  const QMargins m = contentsMargins();
  FrameWidth = m.left() + m.right();
  FrameHeight = m.top() + m.bottom();
  QSize view = imiImage->size();
  const bool maximized = isMaximized();
  // Never smaller than a window whose caption can be read.
  const QSize least = MinimumWindowSize();
  auto limit = [&] {
    if (!maximized)
      setMaximumSize(QSize(view.width() + FrameWidth, view.height() + FrameHeight).expandedTo(least));
  };
  limit();

  QPoint pos = this->pos();
  double zoom = 1.0;
  QSize imageSize = view;
  QSize windowSize(view.width() + FrameWidth, view.height() + FrameHeight);
  if (OnFitWindow) OnFitWindow(this, pos, Fit, zoom, imageSize, windowSize);
  if (!maximized && pos != this->pos()) move(pos);

  sbxImage->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  sbxImage->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  if (Fit) {
    if (zoom > 0) imiImage->SetZoomRate(static_cast<float>(zoom));
    view = imiImage->size();
    if (!maximized) {
      limit();
      resize(maximumSize());
    }
  } else if (!maximized) {
    resize(windowSize.expandedTo(least).boundedTo(maximumSize()));
  }
  sbxImage->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  sbxImage->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  // The view gets its new size now, so that the scroll ranges below are
  // the new ones.
  if (layout()) layout()->activate();

  // Keep the point that was at the centre of the window there.
  const int newW = imiImage->width();
  const int newH = imiImage->height();
  const QSize vp2 = sbxImage->viewport()->size();
  if (hb->maximum() > 0) hb->setValue(int(Round(newW * fx - vp2.width() / 2.0)));
  if (vb->maximum() > 0) vb->setValue(int(Round(newH * fy - vp2.height() / 2.0)));
  imiImage->setProperty("kwLastW", newW);
  imiImage->setProperty("kwLastH", newH);
}

bool TKWChild::CloseQuery() {
  if (Busy) {
    // Say why the window stays, instead of ignoring the close.
    const std::string& name = imiImage->Image()->FileName;
    if (Holder.empty() || !ReleaseHolder) {
      ShowMessageBox(TMsgKind::Warning, name + "は処理中のため閉じられません。");
      return false;
    }
    // Held by the mixer box: the user may let it go here and close.
    if (ShowMessageBox(TMsgKind::Question, name + "は" + Holder + "として選ばれているため閉じられません。\n" +
                                               "ミキサーから外して閉じますか?") != TMsgResult::Yes)
      return false;
    ReleaseHolder();
    if (Busy) return false;
  }
  if (!Modified) return true;
  const std::string text = imiImage->Image()->FileName + "は変更されています。\n\r" +
                           "この画像を保存しますか?";
  switch (ShowMessageBox(TMsgKind::Question, text, "", true)) {
    case TMsgResult::Cancel:
      return false;
    case TMsgResult::Yes:
      try {
        actSaveAsExecute();
      } catch (const std::exception& e) {
        ShowError(e.what());
      }
      return !Modified;
    default:
      return true;
  }
}

void TKWChild::closeEvent(QCloseEvent* e) {
  if (!CloseQuery()) {
    e->ignore();
    return;
  }
  imiImage->ClearLog();
  ClosedByUser = true;
  QMdiSubWindow::closeEvent(e);
}

void TKWChild::contextMenuEvent(QContextMenuEvent* e) { QMdiSubWindow::contextMenuEvent(e); }

bool TKWChild::eventFilter(QObject* watched, QEvent* e) {
  if (watched == sbxImage->viewport() && e->type() == QEvent::Wheel) {
    auto* w = static_cast<QWheelEvent*>(e);
    if (w->modifiers() & Qt::ControlModifier) {
      // One step per notch; fine-grained wheels add up to a notch.
      wheelDelta_ += w->angleDelta().y();
      const int steps = wheelDelta_ / QWheelEvent::DefaultDeltasPerStep;
      wheelDelta_ -= steps * QWheelEvent::DefaultDeltasPerStep;
      if (steps != 0) runGuarded([this, steps, w] { ZoomAbout(steps, w->position().toPoint()); });
      return true;
    }
  }
  return QMdiSubWindow::eventFilter(watched, e);
}

void TKWChild::ZoomAbout(int steps, const QPoint& p) {
  QWidget* vp = sbxImage->viewport();
  const QPoint at = imiImage->mapFrom(vp, p);
  const double fx = std::clamp(double(at.x()) / std::max(1, imiImage->width()), 0.0, 1.0);
  const double fy = std::clamp(double(at.y()) / std::max(1, imiImage->height()), 0.0, 1.0);
  const QPoint global = vp->mapToGlobal(p);
  const float before = imiImage->ZoomRate();
  for (int i = 0; i < std::abs(steps); ++i) {
    // The wheel stays within 1/64 and 64 times.
    const double next = steps > 0 ? double(imiImage->ZoomRate()) * ZoomStep
                                  : double(imiImage->ZoomRate()) / ZoomStep;
    if (next > 64.0 || next < 1.0 / 64.0) break;
    if (steps > 0)
      imiImage->ZoomIn();
    else
      imiImage->ZoomOut();
  }
  if (imiImage->ZoomRate() == before) return;
  UpdateCaption();
  FitWindow(false);
  // The image point that was under the pointer is under it again.
  const QPoint now = vp->mapFromGlobal(global);
  QScrollBar* hb = sbxImage->horizontalScrollBar();
  QScrollBar* vb = sbxImage->verticalScrollBar();
  if (hb->maximum() > 0) hb->setValue(int(Round(fx * imiImage->width() - now.x())));
  if (vb->maximum() > 0) vb->setValue(int(Round(fy * imiImage->height() - now.y())));
  imiImage->setProperty("kwLastW", imiImage->width());
  imiImage->setProperty("kwLastH", imiImage->height());
}

// ---- action handlers ----

void TKWChild::actUndoExecute() {
  TBusyCursor busy;
  if (!imiImage->Undo()) return;
  imiImage->AddLog("Undo CurrentImage");
  refreshSteps();
}

void TKWChild::actRedoExecute() {
  TBusyCursor busy;
  if (!imiImage->Redo()) return;
  imiImage->AddLog("Redo CurrentImage");
  refreshSteps();
}

void TKWChild::actUndoAllExecute() {
  if (!imiImage->Image()->Prev) return;
  // Each step may read a swapped image back: the window shows it is busy.
  TBusyCursor busy;
  while (imiImage->Undo()) {
  }
  imiImage->AddLog("Undo CurrentImage");
  FitWindow(false);
  UpdateCaption();
}

void TKWChild::actCopyExecute() {
  TKWBitmap* img = imiImage->Image();
  QGuiApplication::clipboard()->setImage(BitmapToQImage(*img, img->HasAlpha));
  imiImage->AddLog("CopyFromImage CurrentImage");
}

void TKWChild::actPasteExecute() { PasteFromClipboard(false); }

void TKWChild::actOpenExecute() {
  if (!OpenDialog) return;
  const bool multi = OpenDialog->MultiSelect;
  OpenDialog->MultiSelect = false;
  const bool ok = OpenDialog->Execute(this);
  OpenDialog->MultiSelect = multi;
  if (ok) OpenInto(OpenDialog->FileName().toStdString());
}

void TKWChild::actSaveAsExecute() {
  if (!SaveDialog) return;
  SaveDialog->Title = QString::fromStdString("画像を保存 - " + imiImage->Image()->FileName);
  if (SaveDialog->Execute(this)) SaveDocument(SaveDialog->FileName().toStdString());
}

void TKWChild::actACShowExecute() { imiImage->ToggleAlpha(); }

void TKWChild::actACDisableExecute() {
  if (!imiImage->Image()->HasAlpha) return;
  alphaStep([](TKWBitmap& b) { b.HasAlpha = false; }, "DisableAlphaChannel CurrentImage",
            "AC無効化");
}

void TKWChild::actACInvertExecute() {
  alphaStep([](TKWBitmap& b) { b.InvertAlpha(); }, "InvertAlphaChannel CurrentImage", "AC反転");
}

void TKWChild::actACCreateFromImageExecute() {
  alphaStep([](TKWBitmap& b) { b.AlphaFromImage(b); }, "CreateAlphaChannelFromImage CurrentImage",
            "AC作成");
}

void TKWChild::actACCreateValueExecute() {
  if (ACValueDlg().Execute()) CreateAlphaByValue(uint8_t(ACValueDlg().Value & 0xFF));
}

void TKWChild::actACCreateHarfExecute() {
  alphaStep([](TKWBitmap& b) { b.FillAlpha(128); }, "CreateAlphaChannelByValue CurrentImage 128",
            "AC初期化");
}

void TKWChild::actACLoadExecute() {
  if (!OpenDialog) return;
  const bool multi = OpenDialog->MultiSelect;
  OpenDialog->MultiSelect = false;
  const bool ok = OpenDialog->Execute(this);
  OpenDialog->MultiSelect = multi;
  if (ok) LoadAlpha(OpenDialog->FileName().toStdString());
}

void TKWChild::actACSaveExecute() {
  if (!SaveDialog) return;
  if (SaveDialog->Execute(this)) SaveAlpha(SaveDialog->FileName().toStdString());
}

void TKWChild::actACCopyExecute() {
  TBitmap gray;
  imiImage->Image()->AlphaToGray(gray);
  QGuiApplication::clipboard()->setImage(BitmapToQImage(gray, false));
  imiImage->AddLog("CopyFromAlphaChannel CurrentImage");
}

void TKWChild::actACPasteExecute() {
  TBitmap B;
  if (!clipboardBitmap(B)) return;
  B.SetPixelFormat(pf32bit);
  alphaStep([&B](TKWBitmap& b) { b.AlphaFromImage(B); }, "PasteToAlphaChannel CurrentImage",
            "ACへ貼り付け");
}

void TKWChild::actLogCreateExecute() {
  if (OnLogCreate) OnLogCreate(this, imiImage->Log());
}

void TKWChild::actLogClearExecute() { imiImage->ClearLog(); }

void TKWChild::actFreeZoomExecute() {
  double z = imiImage->ZoomRate();
  if (!ZoomDlg().Execute(z)) return;
  zoomTo(z);
}

void TKWChild::actZoomClientExecute() {
  FitWindow(true);
  UpdateCaption();
}

// ---- resume ----

void TKWChild::WriteResumeEntry() {
  try {
    const std::string R = KWResumeDir();
    ForceDirectories(R);
    int N = 0;
    while (FileExists(R + fourDigits(N) + ResumeFormat)) ++N;
    const std::string key = fourDigits(N);
    TKWBitmap* img = imiImage->Image();
    // The image first: an entry without its picture would be skipped anyway.
    static_cast<const TKWBitmap*>(img)->SaveToFile(R + key + ResumeFormat);
    TMultiUserIni ini(R + "Resume.ini");
    // Never lower the index: entries below it would not be read back.
    ini.WriteInteger("FileList", "ImageIndex",
                     std::max(N, ini.ReadInteger("FileList", "ImageIndex", 0)));
    ini.WriteString("FileList", "Image" + key, key);
    ini.WriteString(key, "Title", img->FileName);
    const QRect g = geometry();
    ini.WriteInteger(key, "Left", g.left());
    ini.WriteInteger(key, "Top", g.top());
    ini.WriteInteger(key, "Width", g.width());
    ini.WriteInteger(key, "Height", g.height());
    ini.WriteFloat(key, "Zoom", imiImage->ZoomRate());
    ini.WriteBool(key, "AC_Enabled", img->HasAlpha);
    ini.WriteBool(key, "Modified", Modified);
  } catch (...) {
  }
}
