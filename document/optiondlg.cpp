#include "document/optiondlg.h"

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QGroupBox>
#include <QGuiApplication>
#include <QScreen>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <thread>

#include "document/intedit.h"
#include "document/kwpaths.h"
#include "image/kwbitmap.h"
#include "image/kwimage.h"
#include "platform/inifile.h"
#include "platform/types.h"
#include "procdef/kwparallel.h"
#include "procdef/multiuserini.h"
#include "ui/messages.h"

int UndoLimitOption = 10;
std::string ResumeFormat = ".bmp";
bool RefreshOnScript = false;
bool ReadmeAlpha = true;

namespace {
const char* const kSec = "Option";
const char* const kFormats[3] = {".bmp", ".jpg", ".png"};

int formatIndex(const std::string& f) {
  for (int i = 0; i < 3; ++i)
    if (SameText(f, kFormats[i])) return i;
  return 0;
}
}  // namespace

void LoadUserOptions(const TMemIniFile& ini) {
  JPEGQuality = ini.ReadInteger(kSec, "JPEG_Quality", 50);
  ResumeFormat = ini.ReadString(kSec, "ResumeFormat", ".bmp");
  ResizeMode = uint8_t(ini.ReadInteger(kSec, "ResizeMode", 1));
  UndoLimitOption = ini.ReadInteger(kSec, "UndoLimit", 10);
  DiskUndo = ini.ReadInteger(kSec, "DiskUndo", 3);
  RefreshOnScript = ini.ReadBool(kSec, "RefreshOnScript", false);
  ReadmeAlpha = ini.ReadBool(kSec, "ReadmeAlpha", true);
  NormalAlphaBlending = ini.ReadBool(kSec, "NormalAlphaBlending", true);
  CheckerBackground = ini.ReadBool(kSec, "CheckerBackground", false);
  KWSetThreadOption(ini.ReadInteger(kSec, "Threads", 0));
  // A format the program cannot write would lose every resumed document.
  ResumeFormat = kFormats[formatIndex(ResumeFormat)];
  if (JPEGQuality < 1) JPEGQuality = 1;
  if (JPEGQuality > 100) JPEGQuality = 100;
  if (ResizeMode > 1) ResizeMode = 1;
}

TKWOptionDlg::TKWOptionDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("KWOptionDlg");
  setWindowTitle("オプション");
  setMinimumWidth(520);
  auto* root = new QVBoxLayout(this);
  auto* pages = new QTabWidget(this);
  root->addWidget(pages);

  // アンドゥ回数
  {
    auto* page = new QWidget;
    auto* lay = new QVBoxLayout(page);
    actUnlimitedUndo = new QAction("無制限", this);
    actUnlimitedUndo->setCheckable(true);
    cbUnlimitedUndo = new QCheckBox("無制限", page);
    cbUnlimitedUndo->setObjectName("cbUnlimitedUndo");
    connect(cbUnlimitedUndo, &QCheckBox::toggled, actUnlimitedUndo, &QAction::setChecked);
    connect(actUnlimitedUndo, &QAction::toggled, this, [this] { updateEnabling(); });
    lay->addWidget(new QLabel("アンドゥバッファの深さ", page));
    auto* row1 = new QHBoxLayout;
    edrUndoLimit = new TIntEdit(0, 0x7fffffff, page);
    edrUndoLimit->setObjectName("edrUndoLimit");
    row1->addWidget(edrUndoLimit);
    row1->addWidget(new QLabel("段まで保持し", page));
    row1->addWidget(cbUnlimitedUndo);
    row1->addStretch(1);
    lay->addLayout(row1);
    auto* row2 = new QHBoxLayout;
    edrOnMemLim = new TIntEdit(0, 0x7fffffff, page);
    edrOnMemLim->setObjectName("edrOnMemLim");
    row2->addWidget(edrOnMemLim);
    row2->addWidget(new QLabel("段を超えたら", page));
    row2->addWidget(new QLabel("ディスクに退避", page));
    row2->addStretch(1);
    lay->addLayout(row2);
    lay->addStretch(1);
    pages->addTab(page, "アンドゥ回数");
  }
  // JPEGの品質
  {
    auto* page = new QWidget;
    auto* lay = new QVBoxLayout(page);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel("JPEG保存の品質(1-99)", page));
    edrJPEGQuality = new TIntEdit(1, 99, page);
    edrJPEGQuality->setObjectName("edrJPEGQuality");
    row->addWidget(edrJPEGQuality);
    row->addStretch(1);
    lay->addLayout(row);
    lay->addStretch(1);
    pages->addTab(page, "JPEGの品質");
  }
  // レジューム
  {
    auto* page = new QWidget;
    auto* lay = new QVBoxLayout(page);
    auto* box = new QGroupBox("レジュームファイルの形式", page);
    box->setObjectName("rgResumeFormat");
    auto* bl = new QVBoxLayout(box);
    const char* items[3] = {"Bitmap", "JPEG", "PNG"};
    for (int i = 0; i < 3; ++i) {
      rgResumeFormat[i] = new QRadioButton(items[i], box);
      bl->addWidget(rgResumeFormat[i]);
    }
    lay->addWidget(box);
    lay->addStretch(1);
    pages->addTab(page, "レジューム");
  }
  // サイズ変更
  {
    auto* page = new QWidget;
    auto* lay = new QVBoxLayout(page);
    auto* box = new QGroupBox("自動サイズ変更の方法", page);
    box->setObjectName("rgResizeMode");
    auto* bl = new QVBoxLayout(box);
    rgResizeMode[0] = new QRadioButton("並べる", box);
    rgResizeMode[1] = new QRadioButton("拡大・縮小", box);
    bl->addWidget(rgResizeMode[0]);
    bl->addWidget(rgResizeMode[1]);
    lay->addWidget(box);
    lay->addStretch(1);
    pages->addTab(page, "サイズ変更");
  }
  // その他
  {
    auto* page = new QWidget;
    auto* lay = new QVBoxLayout(page);
    cbRefreshOnScrExec = new QCheckBox("スクリプト実行中、変更された画像を再描画する", page);
    cbRefreshOnScrExec->setObjectName("cbRefreshOnScrExec");
    cbReadmeAlpha = new QCheckBox("Readme表示を半透明にする(ウィンドウの合成に対応したデスクトップのみ)", page);
    cbReadmeAlpha->setObjectName("cbReadmeAlpha");
    // Only a desktop that composes windows shows them translucent; where the
    // toolkit cannot ask for it at all the box stays visible but disabled.
    if (!TranslucentWindowsPossible()) {
      cbReadmeAlpha->setEnabled(false);
      cbReadmeAlpha->setToolTip("この環境ではウィンドウを半透明にできないため、この設定は使われません。");
    }
    cbCheckerBackground = new QCheckBox("透明な部分を市松模様の上に表示する", page);
    cbCheckerBackground->setObjectName("cbCheckerBackground");
    cbAlphaMode = new QCheckBox("アルファチャネルの動作を一般のソフトに合わせる", page);
    cbAlphaMode->setObjectName("cbAlphaMode");
    lay->addWidget(cbRefreshOnScrExec);
    lay->addWidget(cbReadmeAlpha);
    lay->addWidget(cbAlphaMode);
    lay->addWidget(cbCheckerBackground);
    lay->addStretch(1);
    pages->addTab(page, "その他");
  }
  // 並列処理
  {
    auto* page = new QWidget;
    auto* lay = new QVBoxLayout(page);
    lay->addWidget(new QLabel("画像処理に使うスレッドの数", page));
    auto* row = new QHBoxLayout;
    edrThreads = new TIntEdit(1, 256, page);
    edrThreads->setObjectName("edrThreads");
    row->addWidget(edrThreads);
    cbAllCores = new QCheckBox(
        QString("すべてのコア (%1)").arg(std::max(1u, std::thread::hardware_concurrency())), page);
    cbAllCores->setObjectName("cbAllCores");
    connect(cbAllCores, &QCheckBox::toggled, this, [this] { updateEnabling(); });
    row->addWidget(cbAllCores);
    row->addStretch(1);
    lay->addLayout(row);
    lay->addWidget(new QLabel("結果はスレッドの数によらず同じです。", page));
    lay->addStretch(1);
    pages->addTab(page, "並列処理");
  }
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton("OK", QDialogButtonBox::AcceptRole);
  buttons->addButton("キャンセル", QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  root->addWidget(buttons);

  TMultiUserIni ini(KWSettingsFile());
  LoadUserOptions(ini);
}

void TKWOptionDlg::updateEnabling() {
  // The depth edit (and its up-down buttons) only count without "無制限".
  edrUndoLimit->setEnabled(!actUnlimitedUndo->isChecked());
  edrThreads->setEnabled(!cbAllCores->isChecked());
}

void TKWOptionDlg::FillControls() {
  cbUnlimitedUndo->setChecked(UndoLimitOption < 0);
  actUnlimitedUndo->setChecked(UndoLimitOption < 0);
  if (UndoLimitOption >= 0) edrUndoLimit->setText(QString::number(UndoLimitOption));
  edrOnMemLim->setText(QString::number(DiskUndo));
  edrJPEGQuality->setText(QString::number(JPEGQuality));
  rgResumeFormat[formatIndex(ResumeFormat)]->setChecked(true);
  rgResizeMode[ResizeMode == 0 ? 0 : 1]->setChecked(true);
  cbRefreshOnScrExec->setChecked(RefreshOnScript);
  cbReadmeAlpha->setChecked(ReadmeAlpha);
  cbAlphaMode->setChecked(NormalAlphaBlending);
  cbCheckerBackground->setChecked(CheckerBackground);
  cbAllCores->setChecked(KWThreadOption() <= 0);
  edrThreads->setText(QString::number(KWThreadOption() > 0 ? KWThreadOption() : KWThreadCount()));
  updateEnabling();
}

void TKWOptionDlg::StoreControls() {
  // Written when ini goes out of scope, also after a conversion error.
  TMultiUserIni ini(KWSettingsFile());
  int q = edrJPEGQuality->Value();  // raises EConvertError
  JPEGQuality = std::clamp(q, 1, 99);
  ini.WriteInteger(kSec, "JPEG_Quality", JPEGQuality);
  int fi = 0;
  for (int i = 0; i < 3; ++i)
    if (rgResumeFormat[i]->isChecked()) fi = i;
  ResumeFormat = kFormats[fi];
  ini.WriteString(kSec, "ResumeFormat", ResumeFormat);
  ResizeMode = rgResizeMode[0]->isChecked() ? 0 : 1;
  ini.WriteInteger(kSec, "ResizeMode", ResizeMode);
  if (cbUnlimitedUndo->isChecked())
    UndoLimitOption = -1;
  else
    UndoLimitOption = std::max(0, edrUndoLimit->Value());
  ini.WriteInteger(kSec, "UndoLimit", UndoLimitOption);
  DiskUndo = std::max(0, edrOnMemLim->Value());
  ini.WriteInteger(kSec, "DiskUndo", DiskUndo);
  RefreshOnScript = cbRefreshOnScrExec->isChecked();
  ini.WriteBool(kSec, "RefreshOnScript", RefreshOnScript);
  ReadmeAlpha = cbReadmeAlpha->isChecked();
  ini.WriteBool(kSec, "ReadmeAlpha", ReadmeAlpha);
  NormalAlphaBlending = cbAlphaMode->isChecked();
  ini.WriteBool(kSec, "NormalAlphaBlending", NormalAlphaBlending);
  CheckerBackground = cbCheckerBackground->isChecked();
  ini.WriteBool(kSec, "CheckerBackground", CheckerBackground);
  const int threads = cbAllCores->isChecked() ? 0 : std::clamp(edrThreads->Value(), 1, 256);
  KWSetThreadOption(threads);
  ini.WriteInteger(kSec, "Threads", threads);
}

QRect AvailableScreenArea(const QRect& rect) {
  QScreen* best = nullptr;
  int bestArea = 0;
  if (rect.isValid())
    for (QScreen* s : QGuiApplication::screens()) {
      const QRect i = s->geometry().intersected(rect);
      const int a = i.isValid() ? i.width() * i.height() : 0;
      if (a > bestArea) {
        bestArea = a;
        best = s;
      }
    }
  if (!best) best = QGuiApplication::primaryScreen();
  return best ? best->availableGeometry() : rect;
}

QRect FitOnScreen(const QRect& rect, const QMargins& frame) {
  const QRect room = AvailableScreenArea(rect.marginsAdded(frame)).marginsRemoved(frame);
  if (!room.isValid()) return rect;
  const QSize size = rect.size().boundedTo(room.size());
  const int x = std::clamp(rect.left(), room.left(), std::max(room.left(), room.right() + 1 - size.width()));
  const int y = std::clamp(rect.top(), room.top(), std::max(room.top(), room.bottom() + 1 - size.height()));
  return QRect(QPoint(x, y), size);
}

bool TranslucentWindowsPossible() {
  const QString p = QGuiApplication::platformName();
  return p == "xcb" || p == "windows" || p == "cocoa";
}

bool TKWOptionDlg::Execute() {
  FillControls();
  if (exec() != QDialog::Accepted) return false;
  try {
    StoreControls();
  } catch (const Exception& e) {
    ShowError(e.Message());
    return false;
  }
  return true;
}

// ---- tool window placement ----

namespace {
constexpr int alTop = 1;
constexpr int alBottom = 2;
constexpr int alLeft = 3;
constexpr int alRight = 4;

int alignOf(Qt::DockWidgetArea a) {
  switch (a) {
    case Qt::LeftDockWidgetArea: return alLeft;
    case Qt::RightDockWidgetArea: return alRight;
    case Qt::TopDockWidgetArea: return alTop;
    case Qt::BottomDockWidgetArea: return alBottom;
    default: return 0;
  }
}

const char* siteOf(Qt::DockWidgetArea a) {
  switch (a) {
    case Qt::LeftDockWidgetArea: return "rdsxLeft";
    case Qt::TopDockWidgetArea: return "rdsxTop";
    case Qt::BottomDockWidgetArea: return "rdsxBottom";
    default: return "rdsxRight";
  }
}

Qt::DockWidgetArea areaOfSite(const std::string& site) {
  if (SameText(site, "rdsxLeft")) return Qt::LeftDockWidgetArea;
  if (SameText(site, "rdsxRight") || SameText(site, "pcTool")) return Qt::RightDockWidgetArea;
  if (SameText(site, "rdsxBottom")) return Qt::BottomDockWidgetArea;
  if (SameText(site, "rdsxTop")) return Qt::TopDockWidgetArea;
  return Qt::NoDockWidgetArea;
}
}  // namespace

void SavePlacement(QDockWidget* w, TMemIniFile& ini) {
  const std::string sec = w->objectName().toStdString();
  auto* main = qobject_cast<QMainWindow*>(w->parentWidget());
  Qt::DockWidgetArea area = main ? main->dockWidgetArea(w) : Qt::NoDockWidgetArea;
  const bool docked = !w->isFloating() && area != Qt::NoDockWidgetArea;
  ini.WriteBool(sec, "Visible", w->isVisible());
  QRect g = w->geometry();
  if (w->isFloating()) g = w->frameGeometry();
  ini.WriteInteger(sec, "Left", g.left());
  ini.WriteInteger(sec, "Top", g.top());
  ini.WriteInteger(sec, "Width", g.width());
  ini.WriteInteger(sec, "Height", g.height());
  ini.WriteInteger(sec, "Align", docked ? alignOf(area) : 0);
  ini.WriteInteger(sec, "DockLine", 0);
  ini.WriteBool(sec, "AnchorTop", true);
  ini.WriteBool(sec, "AnchorLeft", true);
  ini.WriteBool(sec, "AnchorRight", false);
  ini.WriteBool(sec, "AnchorBottom", false);
  ini.WriteBool(sec, "Docking", docked);
  ini.WriteString(sec, "DockSite",
                  w->property("kwToolPage").toBool() && docked ? std::string("pcTool") : siteOf(area));
  const QSize undock = w->property("kwUndockSize").toSize();
  ini.WriteInteger(sec, "UndockWidth", w->isFloating() ? g.width() : (undock.isValid() ? undock.width() : g.width()));
  ini.WriteInteger(sec, "UndockHeight", w->isFloating() ? g.height() : (undock.isValid() ? undock.height() : g.height()));
  ini.WriteInteger(sec, "LRDockWidth", docked ? g.width() : w->width());
  ini.WriteInteger(sec, "TBDockHeight", docked ? g.height() : w->height());
}

void RestorePlacement(QDockWidget* w, QMainWindow* main, TMemIniFile& ini,
                      const std::string& defaultDockSite) {
  const std::string sec = w->objectName().toStdString();
  QRect g = w->geometry();
  const bool visible = ini.ReadBool(sec, "Visible", true);
  const int left = ini.ReadInteger(sec, "Left", g.left());
  const int top = ini.ReadInteger(sec, "Top", g.top());
  const int uw = ini.ReadInteger(sec, "UndockWidth", ini.ReadInteger(sec, "Width", g.width()));
  const int uh = ini.ReadInteger(sec, "UndockHeight", ini.ReadInteger(sec, "Height", g.height()));
  // A window without stored sizes docks at the size it prefers.
  const int lrw = ini.ReadInteger(sec, "LRDockWidth", w->sizeHint().width());
  const bool docking = ini.ReadBool(sec, "Docking", true);
  const std::string site = ini.ReadString(sec, "DockSite", defaultDockSite);
  w->setProperty("kwUndockSize", QSize(uw, uh));
  Qt::DockWidgetArea area = areaOfSite(site);
  if (docking && area != Qt::NoDockWidgetArea && main) {
    // A window already docked there stays where it is (docking it again
    // would take it out of its tabs and stack it under the others).
    const bool move = w->isFloating() || main->dockWidgetArea(w) != area;
    w->setFloating(false);
    if (move) main->addDockWidget(area, w);
    // The tool box's pages: windows docked there share one tabbed area.
    const bool toolPage = SameText(site, "pcTool");
    w->setProperty("kwToolPage", toolPage);
    if (toolPage && (move || main->tabifiedDockWidgets(w).isEmpty())) {
      for (QDockWidget* other : main->findChildren<QDockWidget*>()) {
        if (other != w && other->property("kwToolPage").toBool() && !other->isFloating() &&
            main->dockWidgetArea(other) == area) {
          main->tabifyDockWidget(other, w);
          break;
        }
      }
    }
    const bool vertical = area == Qt::TopDockWidgetArea || area == Qt::BottomDockWidgetArea;
    const int tbh = ini.ReadInteger(sec, "TBDockHeight", w->sizeHint().height());
    // A docked window leaves the documents at least half the main window
    // (sizes stored with a larger main window).
    if (!vertical && lrw > 0) main->resizeDocks({w}, {std::min(lrw, main->width() / 2)}, Qt::Horizontal);
    if (vertical && tbh > 0) main->resizeDocks({w}, {std::min(tbh, main->height() / 2)}, Qt::Vertical);
  } else {
    if (main && main->dockWidgetArea(w) == Qt::NoDockWidgetArea)
      main->addDockWidget(Qt::RightDockWidgetArea, w);
    w->setFloating(true);
    // A floating window comes back on this screen, whatever screen it was
    // stored on.
    w->setGeometry(FitOnScreen(QRect(left, top, std::max(uw, w->minimumWidth()),
                                     std::max(uh, w->minimumHeight())),
                               QMargins(4, 30, 4, 4)));
  }
  w->setVisible(visible);
}
