#include "host/generatorbox.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "platform/canvas.h"
#include "procdef/multiuserini.h"
#include "ui/docking.h"
#include "ui/messages.h"

namespace {

const char* const kSection = "GeneratorBox";

// The number of a size edit; def when its text is none.
int SizeOfText(const QString& text, int def) {
  bool ok = false;
  const int v = text.trimmed().toInt(&ok);
  return ok ? v : def;
}

}  // namespace

TGeneratorBox::TGeneratorBox(QWidget* parent, const std::string& SettingsFile)
    : TKWProcBox("ジェネレータ", "TGeneratorBox", parent),
      settingsFile_(SettingsFile),
      previewBitmap_(std::make_unique<TBitmap>()) {
  previewBitmap_->SetPixelFormat(pf32bit);
  previewBitmap_->SetSize(TFilterBox::kPreviewWidth, TFilterBox::kPreviewHeight);
  previewBitmap_->Canvas().Brush.Color = clWhite;
  previewBitmap_->Canvas().FillRect(Rect(0, 0, TFilterBox::kPreviewWidth, TFilterBox::kPreviewHeight));

  setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
  setMinimumSize(280, 258);

  auto* body = new QWidget(this);
  auto* bodyLay = new QVBoxLayout(body);
  bodyLay->setContentsMargins(2, 2, 2, 2);
  bodyLay->setSpacing(2);

  // Control panel: preview on the left; size, options and buttons beside it.
  pnGeneraotControl = new QWidget(body);
  pnGeneraotControl->setObjectName("pnGeneraotControl");
  auto* ctlLay = new QHBoxLayout(pnGeneraotControl);
  ctlLay->setContentsMargins(4, 4, 4, 4);
  imPreview = new TPreviewImage(pnGeneraotControl);
  imPreview->setObjectName("imPreview");
  imPreview->OnClick = [this] {
    if (imPreview->isEnabled()) actPreviewExecute();
  };
  ctlLay->addWidget(imPreview, 0, Qt::AlignTop);

  auto* right = new QVBoxLayout;
  right->setSpacing(2);
  auto* sizeRow = new QHBoxLayout;
  edrWidth = new TEditRight(pnGeneraotControl);
  edrWidth->setObjectName("edrWidth");
  edrHeight = new TEditRight(pnGeneraotControl);
  edrHeight->setObjectName("edrHeight");
  for (TEditRight* e : {edrWidth, edrHeight}) {
    e->setMaxLength(4);
    e->setFixedWidth(44);
  }
  edrWidth->setText(QString::number(kDefaultWidth));
  edrHeight->setText(QString::number(kDefaultHeight));
  sizeRow->addWidget(edrWidth);
  sizeRow->addWidget(new QLabel("x", pnGeneraotControl));
  sizeRow->addWidget(edrHeight);
  sizeRow->addStretch(1);
  right->addLayout(sizeRow);
  cbUseSrcSize = new QCheckBox("元画像のサイズで生成する", pnGeneraotControl);
  cbUseSrcSize->setObjectName("cbUseSrcSize");
  cbUseSrcSize->setToolTip("既存ウィンドウへ生成する場合に、そのウィンドウの画像サイズに合わせます");
  right->addWidget(cbUseSrcSize);

  actPreview = new QAction("プレビュー", this);
  actPreview->setObjectName("actPreview");
  connect(actPreview, &QAction::triggered, this, [this] { actPreviewExecute(); });
  actGenerate = new QAction("新規画像作成", this);
  actGenerate->setObjectName("actGenerate");
  connect(actGenerate, &QAction::triggered, this, [this] { actGenerateExecute(actGenerate); });

  bbtToCurrent = new QPushButton("現在の画像へ", pnGeneraotControl);
  bbtToCurrent->setObjectName("bbtToCurrent");
  bbtToCurrent->setToolTip("現在の画像ウィンドウ内へ画像を生成します");
  connect(bbtToCurrent, &QPushButton::clicked, this, [this] { bbtToCurrentClick(bbtToCurrent); });
  btPreview = new QPushButton(actPreview->text(), pnGeneraotControl);
  btPreview->setObjectName("btPreview");
  connect(btPreview, &QPushButton::clicked, actPreview, &QAction::trigger);
  connect(actPreview, &QAction::changed, btPreview,
          [this] { btPreview->setEnabled(actPreview->isEnabled()); });
  bbtCreate = new QPushButton(actGenerate->text(), pnGeneraotControl);
  bbtCreate->setObjectName("bbtCreate");
  bbtCreate->setDefault(true);
  connect(bbtCreate, &QPushButton::clicked, actGenerate, &QAction::trigger);
  connect(actGenerate, &QAction::changed, bbtCreate,
          [this] { bbtCreate->setEnabled(actGenerate->isEnabled()); });
  auto* buttons = new QGridLayout;
  buttons->setSpacing(2);
  buttons->addWidget(bbtToCurrent, 0, 0);
  buttons->addWidget(btPreview, 0, 1);
  buttons->addWidget(bbtCreate, 1, 0, 1, 2);
  right->addLayout(buttons);
  right->addStretch(1);
  ctlLay->addLayout(right, 1);
  bodyLay->addWidget(pnGeneraotControl);

  PageControl()->setObjectName("pcGeneratorBox");
  bodyLay->addWidget(PageControl(), 1);
  setWidget(body);

  connect(this, &TKWProcBox::PageActivated, this, &TGeneratorBox::pcGeneratorBoxChange);
  connect(this, &QDockWidget::topLevelChanged, this, [this](bool) { applyOpacity(); });
  // The preview action follows the current generator while the program idles.
  connect(&idle_, &QTimer::timeout, this, [this] { actPreviewUpdate(); });
  idle_.start(250);

  imPreview->SetPicture(*previewBitmap_);
  readSettings();
  actPreviewUpdate();
}

TGeneratorBox::~TGeneratorBox() {
  // The records may already be gone with their packages: the hooks
  // installed into the generators check alive_ instead of being reset here.
  alive_.reset();
  idle_.stop();
  currentGenerator_ = nullptr;
  panels_.clear();
}

void TGeneratorBox::readSettings() {
  if (settingsFile_.empty()) return;
  try {
    TMultiUserIni ini(settingsFile_);
    edrWidth->setText(QString::fromStdString(
        ini.ReadString(kSection, "ImageWidth", std::to_string(kDefaultWidth))));
    edrHeight->setText(QString::fromStdString(
        ini.ReadString(kSection, "ImageHeight", std::to_string(kDefaultHeight))));
    cbUseSrcSize->setChecked(ini.ReadBool(kSection, "UseSrcSize", false));
  } catch (const std::exception&) {
    // An unreadable settings file leaves the defaults.
  }
}

void TGeneratorBox::WriteSettings() {
  if (settingsFile_.empty()) return;
  try {
    TMultiUserIni ini(settingsFile_);
    ini.WriteString(kSection, "ImageWidth", edrWidth->text().toStdString());
    ini.WriteString(kSection, "ImageHeight", edrHeight->text().toStdString());
    ini.WriteBool(kSection, "UseSrcSize", cbUseSrcSize->isChecked());
  } catch (const std::exception& e) {
    showError(e.what());
  }
}

void TGeneratorBox::ProgramClosing() {
  if (AllowClose) return;
  AllowClose = true;
  WriteSettings();
  currentGenerator_ = nullptr;
}

void TGeneratorBox::showError(const std::string& msg) {
  if (OnError)
    OnError(msg);
  else
    ShowError(msg);
}

void TGeneratorBox::endProgress(TKWBasicGenerator* g) {
  // A generator that raised never reported its end: the status bar and the
  // cursor are reset here.
  if (g && g->OnProgress) {
    TRect r{};
    g->OnProgress(g, TProgressStage::psEnding, 0, false, r, std::string());
  }
}

void TGeneratorBox::applyOpacity() {
  // Translucent while floating; docked windows are part of the main window.
  setWindowOpacity(isFloating() ? 224.0 / 255.0 : 1.0);
}

void TGeneratorBox::AddGenerator(TGeneratorInfo* GeneratorInfo) {
  if (AllowClose || !GeneratorInfo) return;
  QWidget* site = nullptr;
  int pageIndex = -1;
  if (GeneratorInfo->Regist) {
    site = NewScrollPage(&pageIndex);
    std::weak_ptr<int> alive = alive_;
    GeneratorInfo->Regist(
        site,
        [this, alive](TKWBasicGenerator* g) {
          if (!alive.expired()) SetCurrentGenerator(g);
        },
        [this, alive](QObject* sender) {
          if (!alive.expired()) actGenerateExecute(sender);
        });
    // A panel that did not dock itself is docked here.
    if (GeneratorInfo->Panel && GeneratorInfo->Panel->parentWidget() != site)
      KWDockInto(GeneratorInfo->Panel, site);
    if (GeneratorInfo->Panel) PageControl()->setTabText(pageIndex, GeneratorInfo->Panel->windowTitle());
  }
  const std::string caption = GeneratorInfo->Panel ? GeneratorInfo->Panel->windowTitle().toStdString()
                                                   : GeneratorInfo->Name;
  panels_.push_back({caption, GeneratorInfo->Panel, GeneratorInfo, site});
  if (TKWBasicGenerator* g = GeneratorInfo->Generator) {
    std::weak_ptr<int> alive = alive_;
    g->OnUpdatePreview = [this, alive](TKWProcessor* s, TKWBasicGenerator* gen) {
      if (!alive.expired()) PreviewGenerator(s, gen);
    };
    currentGenerator_ = g;
  }
  actPreviewUpdate();
  // Select the neighbouring page backwards (wrapping around).
  QTabWidget* pc = PageControl();
  if (pc->count() > 1) {
    const int i = pc->currentIndex();
    pc->setCurrentIndex((i - 1 + pc->count()) % pc->count());
  }
}

void TGeneratorBox::SetCurrentGenerator(TKWBasicGenerator* Generator) {
  if (AllowClose) return;
  currentGenerator_ = Generator;
  actPreviewUpdate();
  // The page in front shows the panel of the current generator (a menu
  // action makes its generator current from any page).
  for (const auto& p : panels_)
    if (Generator && p.info && p.info->Generator == Generator && p.site) {
      for (int i = 0; i < PageCount(); ++i)
        if (ScrollPageSite(i) == p.site && PageControl()->currentIndex() != i) {
          PageControl()->setCurrentIndex(i);
          break;
        }
      break;
    }
  if (Generator) Generator->UpdatePrevImg();
}

void TGeneratorBox::pcGeneratorBoxChange(int index) {
  if (AllowClose) return;
  QWidget* site = ScrollPageSite(index);
  for (const auto& p : panels_)
    if (site && p.site == site) {
      // Showing the page activates a package's panel already; a panel that
      // does not activate itself is made current here.
      if (p.info && p.info->Generator && currentGenerator_ != p.info->Generator)
        SetCurrentGenerator(p.info->Generator);
      break;
    }
  PreviewGenerator();
}

void TGeneratorBox::PreviewGenerator(TKWProcessor*, TKWBasicGenerator*) {
  if (AllowClose) return;
  TKWBasicGenerator* g = currentGenerator_;
  if (!g || !g->CanPreview()) return;
  if (!isVisible()) return;
  try {
    g->UpdateParam();
    g->ExecGenerator(previewBitmap_.get());
  } catch (const std::exception& e) {
    endProgress(g);
    showError(e.what());
    return;
  }
  imPreview->SetPicture(*previewBitmap_);
}

void TGeneratorBox::actPreviewExecute() {
  if (!AllowClose && currentGenerator_) PreviewGenerator();
}

void TGeneratorBox::actPreviewUpdate() {
  if (AllowClose) return;
  const bool can = currentGenerator_ && currentGenerator_->CanPreview();
  actPreview->setEnabled(can);
  btPreview->setEnabled(can);
  imPreview->setEnabled(can);
  actGenerate->setEnabled(currentGenerator_ != nullptr);
  bbtToCurrent->setEnabled(currentGenerator_ && ActiveDocument && ActiveDocument());
}

int TGeneratorBox::ImageWidth() const { return SizeOfText(edrWidth->text(), kDefaultWidth); }
int TGeneratorBox::ImageHeight() const { return SizeOfText(edrHeight->text(), kDefaultHeight); }

void TGeneratorBox::actGenerateExecute(QObject*) {
  if (AllowClose) return;
  TKWBasicGenerator* g = currentGenerator_;
  if (!g) return;
  const int w = ImageWidth(), h = ImageHeight();
  try {
    CheckGeneratedSize(w, h);
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(pf32bit);
    b->SetSize(w, h);
    g->UpdateParam();
    g->ExecGenerator(b.get());
    // A generator that keeps the user interface alive while it works (the
    // Julia set) may return after the program began to close: no new
    // document then, and no message.
    if (AllowClose) return;
    if (NewDocument) NewDocument(*b, "New", g->Caption);
  } catch (const std::exception& e) {
    endProgress(g);
    if (!AllowClose) showError(e.what());
  }
}

void TGeneratorBox::bbtToCurrentClick(QObject*) {
  if (AllowClose) return;
  TKWBasicGenerator* g = currentGenerator_;
  TKWDocument* doc = ActiveDocument ? ActiveDocument() : nullptr;
  if (!g || !doc) return;
  int w, h;
  if (cbUseSrcSize->isChecked()) {
    TKWBitmap* img = doc->CurrentImage();
    w = img->Width();
    h = img->Height();
  } else {
    w = ImageWidth();
    h = ImageHeight();
  }
  doc->SetBusy(true);
  try {
    CheckGeneratedSize(w, h);
    doc->ApplyGenerator(g, true, w, h);
  } catch (const std::exception& e) {
    endProgress(g);
    doc->SetBusy(false);
    if (!AllowClose) showError(e.what());
    return;
  }
  doc->SetBusy(false);
}

void TGeneratorBox::closeEvent(QCloseEvent* e) {
  if (!AllowClose) {
    e->ignore();
    return;
  }
  TKWProcBox::closeEvent(e);
}

void TGeneratorBox::showEvent(QShowEvent* e) {
  TKWProcBox::showEvent(e);
  actPreviewExecute();
}
