#include "document/kwparent.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenuBar>
#include <QActionGroup>
#include <QScreen>
#include <QWindow>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSessionManager>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

#include <cmath>
#include <cstring>
#include <cstdio>
#include <fstream>

#include "document/kwchild.h"
#include "document/kwpaths.h"
#include "document/optiondlg.h"
#include "host/filterbox.h"
#include "image/compressedstore.h"
#include "imageio/spi.h"
#include "imageio/versions.h"
#include "platform/sysutils.h"
#include "procdef/multiuserini.h"
#include "ui/aboutbox.h"
#include "ui/messages.h"

#include <sys/resource.h>

#include <cerrno>

namespace {

const char* const kOpenFilter =
    "画像ファイル|*.bmp;*.jpg;*.jpeg;*.png|ビットマップ(*.bmp)|*.bmp|JPEG(*.jpg; *.jpeg)|*.jpg;*.jpeg|"
    "PNG(*.png)|*.png|すべてのファイル(*.*)|*.*";
const char* const kSaveFilter =
    "扱えるファイル(*.bmp; *.jpg; *.jpeg; *.png)|*.bmp;*.jpg;*.jpeg;*.png|ビットマップ(*.bmp)|*.bmp|"
    "JPEG(*.jpg; *.jpeg)|*.jpg;*.jpeg|PNG(*.png)|*.png|すべてのファイル(*.*)|*.*";

std::string fmt4(const char* prefix, int n) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s%4.4d", prefix, n);
  return buf;
}

// Available physical memory and available memory including swap, in bytes
// (from the kernel's memory summary).
void MemoryStatus(double& virt, double& phys) {
  virt = phys = 0;
  std::ifstream f("/proc/meminfo");
  std::string key;
  double kb;
  std::string unit;
  double swapFree = 0;
  while (f >> key >> kb) {
    std::getline(f, unit);
    if (key == "MemAvailable:") phys = kb * 1024;
    if (key == "SwapFree:") swapFree = kb * 1024;
  }
  virt = phys + swapFree;
}

}  // namespace

TKWParent::TKWParent(QWidget* parent)
    : QMainWindow(parent),
      dlgOpen(TKWFileDialog::Open, "画像を開く", kOpenFilter),
      dlgSave(TKWFileDialog::Save, "画像を保存", kSaveFilter),
      dlgACOpen(TKWFileDialog::Open, "画像をアルファチャンネルに開く", "ビットマップ(*.bmp)|*.bmp"),
      dlgACSave(TKWFileDialog::Save, "アルファチャンネルを保存", "ビットマップ(*.bmp)|*.bmp") {
  setObjectName("TKWParent");
  // The window's thread runs one step below normal priority, once per process.
  static const bool lowered = [] {
    errno = 0;
    int nice = getpriority(PRIO_PROCESS, 0);
    return errno == 0 && nice < 19 && setpriority(PRIO_PROCESS, 0, nice + 1) == 0;
  }();
  (void)lowered;
  setWindowTitle("Varoka");
  dlgOpen.MultiSelect = true;
  dlgOpen.FileMustExist = true;
  dlgOpen.AddPluginFormats = true;
  // One plug-in list per process: loaded once, used by every image reader.
  if (!TSPIs::Instance()) SPIs = std::make_unique<TSPIs>(spsSusieDir | spsAppDir);
  dlgACOpen.FileMustExist = true;
  ScriptFolder = KWScriptDir();
  ScrollBarWidth = ScrollBarHeight = style()->pixelMetric(QStyle::PM_ScrollBarExtent);

  // The tool windows at the right reach down to the status bar; the script
  // editor below the documents gets the height it asks for.
  setCorner(Qt::BottomRightCorner, Qt::RightDockWidgetArea);
  mdi_ = new QMdiArea(this);
  mdi_->setObjectName("mdiClient");
  mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(mdi_);
  connect(mdi_, &QMdiArea::subWindowActivated, this, &TKWParent::subWindowActivated);
  setAcceptDrops(true);

  auto act = [this](const char* name, const QString& caption, const QKeySequence& key,
                    std::function<void()> f) {
    auto* a = new QAction(caption, this);
    a->setObjectName(name);
    if (!key.isEmpty()) a->setShortcut(key);
    if (f)
      connect(a, &QAction::triggered, this, [f] {
        try {
          f();
        } catch (const std::exception& e) {
          ShowError(e.what());
        }
      });
    return a;
  };
  actNew = act("actNew", "新規ウィンドウ(&N)", QKeySequence("Ctrl+N"), [this] { actNewExecute(); });
  actOpen = act("actOpen", "開く(&O)...", QKeySequence("Ctrl+O"), [this] { actOpenExecute(); });
  // Acts on the active document.
  miSaveAs = act("miSaveAs", "名前を付けて保存(&S)...", QKeySequence("Ctrl+S"), [this] {
    if (TKWChild* c = ActiveChild()) c->actSaveAsExecute();
  });
  actClone = act("actClone", "複製(&C)", QKeySequence("F2"), [this] { actCloneExecute(); });
  miOption = act("miOption", "オプション(&O)...", {}, [this] { miOptionClick(); });
  miExit = act("miExit", "終了(&X)", {}, [this] { close(); });
  actDoFilter = act("actDoFilter", "適用(&Z)", QKeySequence("F3"), [this] {
    if (filterBox_) filterBox_->bbtDoFilterClick(actDoFilter);
  });
  actDoMixer = act("actDoMixer", "適用(&Z)", QKeySequence("F4"), [this] {
    if (DoMixer) DoMixer();
  });
  actGenerateNew = act("actGenerateNew", "新規画像(&N)", {}, nullptr);
  actGenerateCur = act("actGenerateCur", "現在の画像(&A)", {}, nullptr);
  miReadme = act("miReadme", "Readmeを表示(&R)...", {}, [this] { ShowHelpFile("Readme.txt"); });
  miProcRef = act("miProcRef", "プロセッサリファレンスを表示(&P)....", {},
                  [this] { ShowHelpFile("KWProc.txt"); });
  miScriptRef = act("miScriptRef", "スクリプトリファレンスを表示(&S)...", {},
                    [this] { ShowHelpFile("KWScript.txt"); });
  miAbout = act("miAbout", "バージョン情報(&A)...", {}, [this] { miAboutClick(); });

  miFile = menuBar()->addMenu("ファイル(&F)");
  miFile->setObjectName("miFile");
  miFile->addActions({actNew, actOpen, miSaveAs, actClone});
  miFile->addSeparator();
  miFile->addAction(miOption);
  miFile->addSeparator();
  miFile->addAction(miExit);
  miFilter = menuBar()->addMenu("フィルタ(&N)");
  miFilter->setObjectName("miFilter");
  miFilter->addAction(actDoFilter);
  miFilter->addSeparator();
  miMixer = menuBar()->addMenu("ミキサー(&M)");
  miMixer->setObjectName("miMixer");
  miMixer->addAction(actDoMixer);
  miMixer->addSeparator();
  miGenerator = menuBar()->addMenu("ジェネレータ(&G)");
  miGenerator->setObjectName("miGenerator");
  miGenerator->addActions({actGenerateNew, actGenerateCur});
  miGenerator->addSeparator();
  miScript = menuBar()->addMenu("スクリプト(&S)");
  miScript->setObjectName("miScript");
  actCascade = act("actCascade", "重ねて表示(&C)", {}, [this] { mdi_->cascadeSubWindows(); });
  actTile = act("actTile", "並べて表示(&T)", {}, [this] { mdi_->tileSubWindows(); });
  actArrange = act("actArrange", "アイコンの整列(&A)", {}, [this] { ArrangeIcons(); });
  // Closing asks the document as its close box does (a held or busy
  // document says why it stays).
  actCloseChild = act("actCloseChild", "閉じる(&L)", QKeySequence("Ctrl+W"), [this] {
    if (QMdiSubWindow* w = mdi_->activeSubWindow()) w->close();
  });
  miWindow = menuBar()->addMenu("ウィンドウ(&W)");
  miWindow->setObjectName("miWindow");
  connect(miWindow, &QMenu::aboutToShow, this, &TKWParent::UpdateWindowMenu);
  UpdateWindowMenu();
  miHelp = menuBar()->addMenu("ヘルプ(&H)");
  miHelp->setObjectName("miHelp");
  miHelp->addActions({miReadme, miProcRef, miScriptRef});
  miHelp->addSeparator();
  miHelp->addAction(miAbout);

  lbStatus = new QLabel(" Ready ", this);
  lbStatus->setObjectName("lbStatus");
  lbStatus->setMinimumWidth(140);
  stImageInfo = new QLabel(this);
  stImageInfo->setObjectName("stImageInfo");
  pbProgress = new QProgressBar(this);
  pbProgress->setObjectName("pbProgress");
  pbProgress->setRange(0, 10000);
  pbProgress->setTextVisible(false);
  pbProgress->setMaximumWidth(160);
  statusBar()->addWidget(lbStatus);
  statusBar()->addWidget(pbProgress);
  statusBar()->addWidget(stImageInfo, 1);

  filterBox_ = new TFilterBox(this);
  filterBox_->BindApplyAction(actDoFilter);
  addDockWidget(Qt::RightDockWidgetArea, filterBox_);
  AddToolWindow(filterBox_, "pcTool");

  optionDlg_ = new TKWOptionDlg(this);
  {
    TMultiUserIni ini(KWSettingsFile());
    InitChildSizeByZoom = ini.ReadBool("Options", "InitChildSizeByZoom", true);
  }
  SetProgressSink([this](int v) { SetProgressValue(v); });
  // A history image whose swap file could not be written comes back into
  // memory and is reported at once, not only at the next step.
  SetSwapFailureNotifier([] {
    QMetaObject::invokeMethod(qApp, [] { TKWBitmap::CollectSwapResults(); }, Qt::QueuedConnection);
  });
  connect(qApp, &QGuiApplication::commitDataRequest, this,
          [this](QSessionManager&) { WriteRestartEntry(); });
  RemoveRestartEntry();
  updateActions();
  // First start: most of the screen, centred; a stored placement replaces
  // it when the window is first shown.
  const QRect avail = AvailableScreenArea(QRect());
  const QSize share(avail.width() * 9 / 10, avail.height() * 9 / 10);
  setGeometry(FitToScreen(QRect(avail.center() - QPoint(share.width() / 2, share.height() / 2), share)));
}

TKWParent::~TKWParent() {
  SetProgressSink(nullptr);
  SetSwapFailureNotifier(nullptr);
  // Documents still open write their resume entries while they go.
  for (TKWChild* c : Children()) delete c;
}

// ---- progress and status ----

void TKWParent::ProcessorProgress(TKWProcessor*, TProgressStage Stage, uint8_t, bool, TRect& R,
                                  const std::string& Msg) {
  switch (Stage) {
    case TProgressStage::psStarting:
      lbStatus->setText(QString::fromStdString(Msg));
      pbProgress->setValue(0);
      QApplication::setOverrideCursor(Qt::WaitCursor);
      statusBar()->repaint();
      break;
    case TProgressStage::psRunning:
      pbProgress->setValue(R.Left);
      break;
    case TProgressStage::psEnding:
      lbStatus->setText(" Ready ");
      pbProgress->setValue(0);
      while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
      break;
  }
}

void TKWParent::SetProgressValue(int value) { pbProgress->setValue(value); }

TKWChild* TKWParent::ActiveChild() const {
  return qobject_cast<TKWChild*>(mdi_->activeSubWindow());
}

QList<TKWChild*> TKWParent::Children() const {
  QList<TKWChild*> out;
  for (QMdiSubWindow* w : mdi_->subWindowList())
    if (auto* c = qobject_cast<TKWChild*>(w)) out << c;
  return out;
}

void TKWParent::UpdateStatus() {
  TKWChild* doc = ActiveChild();
  if (!doc) {
    if (filterBox_) filterBox_->SetTarget(nullptr);
    stImageInfo->clear();
    return;
  }
  if (filterBox_) filterBox_->SetTarget(doc);
  doc->OnModified = [this](TKWChild*) { UpdateStatus(); };
  TKWBitmap* img = doc->CurrentImage();
  const double bytes = double(img->Width()) * img->Height() * 4;
  double v, p;
  MemoryStatus(v, p);
  QString text;
  if (bytes < 0x180000)
    text = QString::asprintf(" %d x %d pixel - %.0fKB", img->Width(), img->Height(), bytes / 1024) +
           QString("を消費") + QString::asprintf(" - %.0f(%.0f)MB", v / 1048576, p / 1048576) +
           QString("の空き");
  else
    text = QString::asprintf(" %d x %d pixel - %.1fMB", img->Width(), img->Height(), bytes / 1048576) +
           QString("を消費") + QString::asprintf(" - %.0f(%.0f)MB", v / 1048576, p / 1048576) +
           QString("の空き");
  stImageInfo->setText(text);
}

void TKWParent::updateActions() {
  const bool any = !mdi_->subWindowList().isEmpty();
  actDoFilter->setEnabled(any);
  miFilter->menuAction()->setEnabled(any);
  const bool mix = MixerEnabled ? MixerEnabled() : any;
  actDoMixer->setEnabled(mix);
  miMixer->menuAction()->setEnabled(mix);
  miSaveAs->setEnabled(ActiveChild() != nullptr);
  actClone->setEnabled(ActiveChild() != nullptr);
  for (QAction* a : {actCascade, actTile, actArrange}) a->setEnabled(any);
  actCloseChild->setEnabled(mdi_->activeSubWindow() != nullptr);
}

void TKWParent::UpdateWindowMenu() {
  for (QAction* a : windowItems_) delete a;
  windowItems_.clear();
  miWindow->clear();
  miWindow->addActions({actCascade, actTile, actArrange});
  miWindow->addSeparator();
  miWindow->addAction(actCloseChild);
  const QList<TKWChild*> docs = Children();
  if (docs.isEmpty()) return;
  windowItems_ << miWindow->addSeparator();
  auto* group = new QActionGroup(miWindow);
  group->setExclusive(true);
  TKWChild* active = ActiveChild();
  int n = 0;
  for (TKWChild* c : docs) {
    ++n;
    QString name = QString::fromStdString(c->CurrentImage()->FileName);
    name.replace('&', "&&");
    auto* a = new QAction(n <= 9 ? QString("&%1 %2").arg(n).arg(name) : name, miWindow);
    a->setCheckable(true);
    a->setChecked(c == active);
    a->setActionGroup(group);
    QPointer<TKWChild> doc = c;
    connect(a, &QAction::triggered, this, [this, doc] {
      if (!doc) return;
      if (doc->isMinimized()) doc->showNormal();
      mdi_->setActiveSubWindow(doc);
    });
    miWindow->addAction(a);
    windowItems_ << a;
  }
}

void TKWParent::ArrangeIcons() {
  const QRect area = mdi_->viewport()->rect();
  int x = 0, y = area.bottom() + 1;
  int rowHeight = 0;
  for (QMdiSubWindow* w : mdi_->subWindowList(QMdiArea::CreationOrder)) {
    if (!w->isMinimized()) continue;
    const QSize s = w->size();
    if (x > 0 && x + s.width() > area.width()) {
      x = 0;
      y -= rowHeight;
      rowHeight = 0;
    }
    if (rowHeight == 0) rowHeight = s.height();
    w->move(x, y - s.height());
    x += s.width();
  }
}

QRect TKWParent::FitToScreen(const QRect& rect) const {
  // Frame extents: the window's own once it has been shown, a usual title
  // bar and border before.
  QMargins frame(geometry().left() - frameGeometry().left(), geometry().top() - frameGeometry().top(),
                 frameGeometry().right() - geometry().right(),
                 frameGeometry().bottom() - geometry().bottom());
  if (!windowHandle() || !windowHandle()->isVisible()) frame = QMargins(4, 30, 4, 4);
  return FitOnScreen(rect, frame);
}

void TKWParent::keepOnScreen() {
  if (isMaximized() || isFullScreen() || isMinimized()) return;
  const QRect fit = FitToScreen(geometry());
  if (fit != geometry()) setGeometry(fit);
}

void TKWParent::subWindowActivated(QMdiSubWindow* w) {
  // The active document's menus stand between File and Filter.
  for (const QPointer<QAction>& a : mergedMenus_)
    if (a) menuBar()->removeAction(a);
  mergedMenus_.clear();
  // Only the active document's shortcuts are in force.
  // (A document being destroyed no longer casts to TKWChild: its keys go
  // with it.)
  auto* active = qobject_cast<TKWChild*>(w);
  if (auto* previous = qobject_cast<TKWChild*>(shortcutOwner_.data()); previous && previous != active)
    previous->SetShortcutsActive(false);
  shortcutOwner_ = w;
  if (active) active->SetShortcutsActive(true);
  if (auto* c = active) {
    for (QMenu* m : {c->miEdit, c->miAlpha, c->miLog, c->miZoom}) {
      menuBar()->insertAction(miFilter->menuAction(), m->menuAction());
      mergedMenus_ << m->menuAction();
    }
  }
  updateActions();
  UpdateStatus();
}

// ---- documents ----

TKWChild* TKWParent::CreateChild() {
  auto* c = new TKWChild;
  c->OnFitWindow = [this](TKWChild* s, QPoint& pos, bool& fit, double& zoom, QSize& is, QSize& ws) {
    FitChild(s, pos, fit, zoom, is, ws);
  };
  c->OnModified = [this](TKWChild*) { UpdateStatus(); };
  c->OnLogCreate = [this](TKWChild* d, const TKWLog& log) {
    if (ShowLog) ShowLog(d, log);
  };
  c->OnPasteText = [this](const std::string& t) {
    if (InsertText) InsertText(t);
  };
  c->CurrentImage()->SetUndoLimit(UndoLimitOption);
  c->OpenDialog = &dlgOpen;
  c->ACOpenDialog = &dlgACOpen;
  c->SaveDialog = &dlgSave;
  c->ACSaveDialog = &dlgACSave;
  TKWDocument* asDoc = c;
  connect(c, &QObject::destroyed, this, [this, asDoc] {
    if (filterBox_ && filterBox_->Target() == asDoc) filterBox_->SetTarget(nullptr);
    if (closing_) return;
    QMetaObject::invokeMethod(this, [this] {
      updateActions();
      UpdateStatus();
    }, Qt::QueuedConnection);
  });
  mdi_->addSubWindow(c);
  c->show();
  updateActions();
  return c;
}

void TKWParent::FitChild(TKWChild*, QPoint& Position, bool& Fit, double& Zoom, QSize& ImageSize,
                         QSize& WindowSize) {
  const int clientW = mdi_->viewport()->width();
  const int clientH = mdi_->viewport()->height();
  // A window being fitted that sits where little of the client area is left
  // for it (the area places new windows beside the others) starts again
  // near the top left corner, one title bar further in for each document.
  if (Fit && (Position.x() < 0 || Position.y() < 0 || Position.x() > clientW / 2 ||
              Position.y() > clientH / 2)) {
    const int step = style()->pixelMetric(QStyle::PM_TitleBarHeight);
    const int k = std::max<int>(0, int(mdi_->subWindowList().size()) - 1) % 8;
    Position = QPoint(k * step, k * step);
  }
  const int L = Position.x(), T = Position.y();
  const int IW = std::max(1, ImageSize.width()), IH = std::max(1, ImageSize.height());
  const int freeW = clientW - L - WindowSize.width();
  const int freeH = clientH - T - WindowSize.height();
  if (InitChildSizeByZoom && Fit) {
    if (freeW >= 0 && freeH >= 0) {
      Zoom = 1;
    } else {
      const double zx = double(clientW - L - WindowSize.width() + IW - ScrollBarWidth - 8) / IW;
      const double zy = double(clientH - T - WindowSize.height() + IH - ScrollBarHeight - 8) / IH;
      Zoom = std::min(zx, zy);
      // A window too small for any picture still shows one.
      if (!(Zoom > 0)) Zoom = 1.0 / std::max(IW, IH);
    }
  }
  if (freeW < 0) WindowSize.setWidth(std::max(64, clientW - L - ScrollBarWidth - 4));
  if (freeH < 0) WindowSize.setHeight(std::max(48, clientH - T - ScrollBarHeight - 4));
  // The computed zoom is used only when fitting was asked for: a window
  // refitted after a zoom command keeps the zoom the user chose.
  Fit = InitChildSizeByZoom && Fit;
}

void TKWParent::openFilesRec(const QStringList& names, int& files, QStringList& visited) {
  for (const QString& name : names) {
    QFileInfo fi(name);
    if (fi.isDir()) {
      // A folder that links back into itself is opened once.
      const QString canon = fi.canonicalFilePath();
      if (visited.contains(canon)) continue;
      visited << canon;
      QDir dir(name);
      QStringList entries;
      for (const QString& e :
           dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
        entries << dir.filePath(e);
      openFilesRec(entries, files, visited);
      continue;
    }
    ++files;
    if (fi.suffix().compare("kws", Qt::CaseInsensitive) == 0) {
      if (OpenScriptFile) OpenScriptFile(name.toStdString());
      continue;
    }
    TKWChild* c = CreateChild();
    try {
      c->LoadDocument(name.toStdString());
    } catch (...) {
      // Unreadable: the window goes again, silently.
      c->ClosedByUser = true;
      delete c;
    }
  }
}

void TKWParent::OpenFiles(const QStringList& names) {
  int files = 0;
  QStringList visited;
  openFilesRec(names, files, visited);
  if (files > 0) UpdateStatus();
}

void TKWParent::actNewExecute() {
  TKWChild* c = CreateChild();
  if (!c->PasteFromClipboard(true)) {
    std::unique_ptr<TKWBitmap> logo = LoadLogo();
    c->SetImage(*logo, "New", "新規作成");
  }
  UpdateStatus();
}

void TKWParent::actCloneExecute() {
  TKWChild* src = ActiveChild();
  if (!src) return;
  TKWChild* c = CreateChild();
  c->SetImage(*src->CurrentImage(), "New", "複製");
  UpdateStatus();
}

void TKWParent::actOpenExecute() {
  if (dlgOpen.Execute(this)) OpenFiles(dlgOpen.Files);
}

void TKWParent::miOptionClick() {
  if (!optionDlg_->Execute()) return;
  for (TKWChild* c : Children()) c->CurrentImage()->SetUndoLimit(UndoLimitOption);
}

void TKWParent::ShowHelpFile(const std::string& fileName) {
  const QString path = QString::fromStdString(ExecutableDir() + fileName);
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    ShowError(fileName + " が見つかりません。");
    return;
  }
  QByteArray data = f.readAll();
  auto* w = new QWidget(this, Qt::Window);
  w->setAttribute(Qt::WA_DeleteOnClose);
  w->setObjectName("ReadmeWindow");
  w->setWindowTitle(QString::fromStdString(fileName));
  auto* lay = new QVBoxLayout(w);
  lay->setContentsMargins(0, 0, 0, 0);
  auto* text = new QPlainTextEdit(w);
  text->setReadOnly(true);
  // The texts line up their tables in columns: a fixed-pitch font whose
  // Japanese letters are two columns wide.
  QFont font;
  font.setFamilies({"IPAGothic", "Noto Sans Mono CJK JP", "monospace"});
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  text->setFont(font);
  text->setPlainText(QString::fromUtf8(data));
  lay->addWidget(text);
  w->resize(640, 480);
  if (ReadmeAlpha) w->setWindowOpacity(160.0 / 255.0);
  w->show();
}

void TKWParent::miAboutClick() {
  QImage picture;
  if (std::unique_ptr<TKWBitmap> logo = LoadLogo()) {
    picture = QImage(logo->Width(), logo->Height(), QImage::Format_RGB32);
    for (int y = 0; y < logo->Height(); ++y)
      std::memcpy(picture.scanLine(y), logo->ScanLine(y), size_t(logo->Width()) * 4);
  }
  QStringList libraries{QString("Qt ") + qVersion()};
  for (const auto& [name, version] : KWImageLibraryVersions())
    libraries << QString::fromStdString(name + " " + version);
  TKWAboutBox box(this, picture, KW_VERSION, libraries, KW_LICENSE_LINE);
  box.exec();
}

// ---- resume ----

void TKWParent::LoadResume() {
  const std::string R = KWResumeDir();
  ForceDirectories(R);
  const bool wasComplete = IsLoadComplete;
  IsLoadComplete = false;
  {
    TMultiUserIni ini(R + "Resume.ini");
    const int last = ini.ReadInteger("FileList", "ImageIndex", 0);
    for (int i = 0; i <= last && i < 100000; ++i) {
      const std::string S = ini.ReadString("FileList", fmt4("Image", i), "");
      if (S.empty()) continue;
      const std::string P = R + S + ResumeFormat;
      if (!FileExists(P)) continue;
      TKWChild* c = CreateChild();
      try {
        c->imiImage->LoadFromFile(P);
      } catch (const std::exception& e) {
        if (getenv("KW_DEBUG_RESUME")) fprintf(stderr, "resume %s: %s\n", P.c_str(), e.what());
        // A damaged resume image is dropped with its entry.
        c->ClosedByUser = true;
        delete c;
        ini.EraseSection(S);
        DeleteFile(P);
        continue;
      }
      c->sbxImage->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      c->sbxImage->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      TKWBitmap* img = c->CurrentImage();
      img->FileName = ini.ReadString(S, "Title", "New");
      c->SetZoom(ini.ReadFloat(S, "Zoom", c->imiImage->ZoomRate()));
      const QRect g = c->geometry();
      const int l = ini.ReadInteger(S, "Left", g.left());
      const int t = ini.ReadInteger(S, "Top", g.top());
      const int w = ini.ReadInteger(S, "Width", g.width());
      const int h = ini.ReadInteger(S, "Height", g.height());
      img->HasAlpha = ini.ReadBool(S, "AC_Enabled", img->HasAlpha);
      c->sbxImage->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
      c->sbxImage->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
      img->OperationName = "レジューム";
      c->ImageChanged();
      c->setGeometry(l, t, w, h);
      UpdateStatus();
      c->Modified = ini.ReadBool(S, "Modified", false);
      ini.EraseSection(S);
      DeleteFile(P);
    }
    bool scriptsKept = false;
    const int lastScript = ini.ReadInteger("FileList", "ScriptIndex", 0);
    for (int i = 0; i <= lastScript && i < 100000; ++i) {
      const std::string S = ini.ReadString("FileList", fmt4("Script", i), "");
      if (S.empty()) continue;
      const std::string P = R + S;
      if (!FileExists(P)) continue;
      if (!ResumeScript) {
        // Without a script editor the scripts wait for the next start.
        scriptsKept = true;
        continue;
      }
      ResumeScript(P, ini.ReadString(S, "Title", "New"));
      DeleteFile(P);
      ini.EraseSection(S);
    }
    if (!scriptsKept) {
      ini.EraseSection("FileList");
    } else {
      ini.DeleteKey("FileList", "ImageIndex");
      for (int i = 0; i <= last && i < 100000; ++i) ini.DeleteKey("FileList", fmt4("Image", i));
    }
  }
  IsLoadComplete = true;
  (void)wasComplete;
  BuildScriptMenu();
  // Now that processors react again, the filter box previews the active document.
  UpdateStatus();
}

void TKWParent::SetScriptActions(const QList<QAction*>& actions) {
  scriptActions_ = actions;
  BuildScriptMenu();
}

void TKWParent::BuildScriptMenu() {
  miScript->clear();
  for (QAction* a : scriptActions_) {
    if (a)
      miScript->addAction(a);
    else
      miScript->addSeparator();
  }
  std::vector<TSearchRec> recs = FindFiles(ScriptFolder + "*.kws");
  bool first = true;
  for (const TSearchRec& r : recs) {
    if (r.Directory) continue;
    if (first && !scriptActions_.isEmpty()) miScript->addSeparator();
    first = false;
    const std::string caption = ChangeFileExt(r.Name, "");
    QAction* a = miScript->addAction(QString::fromStdString(caption));
    // The file as listed (its extension may be spelled in any case).
    const std::string file = ScriptFolder + r.Name;
    connect(a, &QAction::triggered, this, [this, file] {
      if (RunScriptFile) RunScriptFile(file);
    });
  }
}

std::string TKWParent::RestartEntryFile() {
  QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  return (dir + "/autostart/varoka-resume.desktop").toStdString();
}

void TKWParent::WriteRestartEntry() {
  const QString file = QString::fromStdString(RestartEntryFile());
  QDir().mkpath(QFileInfo(file).path());
  QFile f(file);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
  const QString exe = QCoreApplication::applicationFilePath();
  f.write(("[Desktop Entry]\nType=Application\nName=Varoka\nExec=\"" + exe +
           "\"\nX-GNOME-Autostart-enabled=true\n")
              .toUtf8());
}

void TKWParent::RemoveRestartEntry() { QFile::remove(QString::fromStdString(RestartEntryFile())); }

// ---- placement, tool windows, closing ----

void TKWParent::AddToolWindow(QDockWidget* window, const std::string& defaultDockSite) {
  // Pages of the tool box share one tabbed area from the start, so that the
  // window is never laid out for all of them one above the other.
  if (SameText(defaultDockSite, "pcTool") && dockWidgetArea(window) != Qt::NoDockWidgetArea)
    for (const ToolWindow& t : toolWindows_)
      if (SameText(t.defaultSite, "pcTool") && dockWidgetArea(t.window) == dockWidgetArea(window)) {
        tabifyDockWidget(t.window, window);
        break;
      }
  toolWindows_.push_back({window, defaultDockSite});
}

void TKWParent::RestoreToolWindows() {
  TMultiUserIni ini(KWSettingsFile());
  // Tool box, script editor, generator, mixer, filter: the reverse of adding.
  static const std::pair<const char*, const char*> kShowing[] = {
      {"TToolBox", "Tool Box"},         {"TScriptEditor", "Script Editor"},
      {"TGeneratorBox", "Generator Box"}, {"TMixerBox", "Mixer Box"},
      {"TFilterBox", "Filter Box"}};
  for (auto it = toolWindows_.rbegin(); it != toolWindows_.rend(); ++it) {
    if (StartupState)
      for (const auto& [object, name] : kShowing)
        if (it->window->objectName() == object) StartupState(std::string("Showing ") + name + " ...");
    RestorePlacement(it->window, this, ini, it->defaultSite);
  }
  // The filter box is the page in front.
  if (filterBox_ && !filterBox_->isFloating()) filterBox_->raise();
  dlgOpen.Filter = QString::fromStdString(ini.ReadString("Option", "FileFilter", kOpenFilter));
}

void TKWParent::readPlacement() {
  TMultiUserIni ini(KWSettingsFile());
  const QRect g = normalGeometry();
  const int state = ini.ReadInteger("MainWindow", "WindowState", 0);
  int l = ini.ReadInteger("MainWindow", "NormalLeft", g.left());
  int t = ini.ReadInteger("MainWindow", "NormalTop", g.top());
  int r = ini.ReadInteger("MainWindow", "NormalRight", g.right() + 1);
  int b = ini.ReadInteger("MainWindow", "NormalBottom", g.bottom() + 1);
  // A placement stored on a larger screen is brought onto this one.
  if (r - l >= 200 && b - t >= 150) setGeometry(FitToScreen(QRect(l, t, r - l, b - t)));
  if (state == 2) setWindowState(windowState() | Qt::WindowMaximized);
  const double steps = ini.ReadInteger("Option", "ZoomSteps", 2);
  ZoomStep = std::pow(2.0, 1.0 / (steps > 0 ? steps : 2));
}

void TKWParent::writePlacement() {
  TMultiUserIni ini(KWSettingsFile());
  const int state = isMinimized() ? 1 : isMaximized() ? 2 : 0;
  ini.WriteInteger("MainWindow", "WindowState", state);
  ini.WriteInteger("MainWindow", "MinimizeLeft", pos().x());
  ini.WriteInteger("MainWindow", "MiniMizeTop", pos().y());
  ini.WriteInteger("MainWindow", "MaximizeLeft", 0);
  ini.WriteInteger("MainWindow", "MaximizeTop", 0);
  const QRect g = normalGeometry();
  ini.WriteInteger("MainWindow", "NormalLeft", g.left());
  ini.WriteInteger("MainWindow", "NormalTop", g.top());
  ini.WriteInteger("MainWindow", "NormalRight", g.right() + 1);
  ini.WriteInteger("MainWindow", "NormalBottom", g.bottom() + 1);
  ini.WriteString("Option", "FileFilter", dlgOpen.Filter.toStdString());
}

void TKWParent::SaveSettings() {
  writePlacement();
  TMultiUserIni ini(KWSettingsFile());
  for (const ToolWindow& t : toolWindows_) SavePlacement(t.window, ini);
}

bool TKWParent::QueryCloseChildren() {
  for (TKWChild* c : Children()) {
    mdi_->setActiveSubWindow(c);
    if (!c->CloseQuery()) return false;
  }
  return true;
}

void TKWParent::showEvent(QShowEvent* e) {
  if (firstShow_) {
    firstShow_ = false;
    readPlacement();
    RestoreToolWindows();
  }
  QMainWindow::showEvent(e);
  if (!resumeQueued_) {
    resumeQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
          keepOnScreen();
          if (StartupState) StartupState("Loading Resume Data ...");
          LoadResume();
          if (StartupDone) StartupDone();
        },
        Qt::QueuedConnection);
  }
}

void TKWParent::EndSession() {
  endingSession_ = true;
  close();
  endingSession_ = false;
}

void TKWParent::closeEvent(QCloseEvent* e) {
  if (OnCloseQuery) OnCloseQuery(true);
  if (!endingSession_ && !QueryCloseChildren()) {
    if (OnCloseQuery) OnCloseQuery(false);
    e->ignore();
    return;
  }
  closing_ = true;
  if (filterBox_) filterBox_->AllowClose = true;
  if (OnClosing) OnClosing();
  SaveSettings();
  // Documents open now write their resume entries as they are destroyed.
  if (filterBox_) filterBox_->SetTarget(nullptr);
  for (TKWChild* c : Children()) delete c;
  QMainWindow::closeEvent(e);
}

namespace {
QStringList droppedFiles(const QMimeData* md) {
  QStringList names;
  if (!md || !md->hasUrls()) return names;
  for (const QUrl& u : md->urls())
    if (u.isLocalFile()) names << u.toLocalFile();
  return names;
}
}  // namespace

void TKWParent::dragEnterEvent(QDragEnterEvent* e) {
  if (!droppedFiles(e->mimeData()).isEmpty()) e->acceptProposedAction();
}

void TKWParent::dropEvent(QDropEvent* e) {
  const QStringList names = droppedFiles(e->mimeData());
  if (names.isEmpty()) return;
  e->acceptProposedAction();
  OpenFiles(names);
}
