#include "host/filterbox.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

#include "host/prcmgr.h"
#include "platform/canvas.h"
#include "ui/docking.h"
#include "ui/messages.h"

// ---- TPreviewImage ----

TPreviewImage::TPreviewImage(QWidget* parent) : QWidget(parent) {
  setFixedSize(TFilterBox::kPreviewWidth, TFilterBox::kPreviewHeight);
  picture_ = QImage(TFilterBox::kPreviewWidth, TFilterBox::kPreviewHeight, QImage::Format_RGB32);
  picture_.fill(Qt::white);
}

void TPreviewImage::SetPicture(const TBitmap& bmp) {
  picture_.fill(Qt::white);
  const int w = std::min(bmp.Width(), picture_.width());
  const int h = std::min(bmp.Height(), picture_.height());
  for (int y = 0; y < h; ++y) {
    auto* dst = reinterpret_cast<uint32_t*>(picture_.scanLine(y));
    for (int x = 0; x < w; ++x) dst[x] = bmp.PixelBGRA(x, y) | 0xFF000000u;
  }
  update();
}

void TPreviewImage::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, picture_);
}

void TPreviewImage::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton && OnClick) OnClick();
}

// ---- TFilterBox ----

TFilterBox::TFilterBox(QWidget* parent)
    : TKWProcBox("フィルタ", "TFilterBox", parent),
      previewSource_(std::make_unique<TBitmap>()) {
  previewSource_->SetPixelFormat(pf32bit);
  previewSource_->SetSize(kPreviewWidth, kPreviewHeight);
  previewSource_->Canvas().Brush.Color = clWhite;
  previewSource_->Canvas().FillRect(Rect(0, 0, kPreviewWidth, kPreviewHeight));

  setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
  setMinimumSize(300, 400);

  // Control panel above the pages: preview picture, preview and apply buttons.
  auto* body = new QWidget(this);
  auto* bodyLay = new QVBoxLayout(body);
  bodyLay->setContentsMargins(2, 2, 2, 2);
  bodyLay->setSpacing(2);
  auto* pnFilterControl = new QWidget(body);
  pnFilterControl->setObjectName("pnFilterControl");
  pnFilterControl->setFixedHeight(100);
  auto* ctlLay = new QHBoxLayout(pnFilterControl);
  ctlLay->setContentsMargins(4, 4, 4, 4);
  imPreview = new TPreviewImage(pnFilterControl);
  imPreview->setObjectName("imPreview");
  imPreview->OnClick = [this] { Preview(); };
  ctlLay->addWidget(imPreview);
  auto* buttons = new QVBoxLayout;
  actPreview = new QAction("プレビュー", this);
  actPreview->setObjectName("actPreview");
  connect(actPreview, &QAction::triggered, this, [this] { Preview(); });
  btPreview = new QPushButton(actPreview->text(), pnFilterControl);
  btPreview->setObjectName("btPreview");
  connect(btPreview, &QPushButton::clicked, actPreview, &QAction::trigger);
  connect(actPreview, &QAction::changed, btPreview,
          [this] { btPreview->setEnabled(actPreview->isEnabled()); });
  bbtDoFilter = new QPushButton("適用", pnFilterControl);
  bbtDoFilter->setObjectName("bbtDoFilter");
  bbtDoFilter->setDefault(true);
  connect(bbtDoFilter, &QPushButton::clicked, this, [this] { bbtDoFilterClick(bbtDoFilter); });
  buttons->addWidget(btPreview);
  buttons->addWidget(bbtDoFilter);
  buttons->addStretch(1);
  ctlLay->addLayout(buttons, 1);
  bodyLay->addWidget(pnFilterControl);
  bodyLay->addWidget(PageControl(), 1);
  setWidget(body);
  PageControl()->setObjectName("pcFilterBox");

  connect(this, &TKWProcBox::PageActivated, this, &TFilterBox::pcFilterBoxChange);
  connect(this, &QDockWidget::topLevelChanged, this, [this](bool) { applyOpacity(); });
  imPreview->SetPicture(*previewSource_);
  actPreviewUpdate();
}

TFilterBox::~TFilterBox() {
  // The records may already be gone with their packages: the hooks installed
  // into the filters check alive_ instead of being reset here.
  alive_.reset();
  currentFilter_ = nullptr;
  panels_.clear();
}

void TFilterBox::showError(const std::string& msg) {
  if (OnError)
    OnError(msg);
  else
    ShowError(msg);
}

void TFilterBox::applyOpacity() {
  // Translucent while floating; docked windows are part of the main window.
  setWindowOpacity(isFloating() ? 224.0 / 255.0 : 1.0);
}

void TFilterBox::AddFilter(TFilterInfo* FilterInfo) {
  if (!FilterInfo) return;
  QWidget* site = nullptr;
  if (FilterInfo->Regist) {
    int pageIndex = 0;
    site = NewScrollPage(&pageIndex);
    std::weak_ptr<int> alive = alive_;
    FilterInfo->Regist(
        site,
        [this, alive](TKWBasicFilter* f) {
          if (!alive.expired()) SetCurrentFilter(f);
        },
        [this, alive](QObject* sender) {
          if (!alive.expired()) bbtDoFilterClick(sender);
        });
    // A panel that did not dock itself is docked here.
    if (FilterInfo->Panel && FilterInfo->Panel->parentWidget() != site)
      KWDockInto(FilterInfo->Panel, site);
    if (FilterInfo->Panel)
      PageControl()->setTabText(pageIndex, FilterInfo->Panel->windowTitle());
  }
  std::string caption = FilterInfo->Panel ? FilterInfo->Panel->windowTitle().toStdString()
                                          : FilterInfo->Name;
  panels_.push_back({caption, FilterInfo->Panel, FilterInfo, site});
  if (TKWBasicFilter* f = FilterInfo->Filter) {
    std::weak_ptr<int> alive = alive_;
    f->OnGetCurrentImage = [this, alive](TKWProcessor* s, TBitmap*& img) {
      if (alive.expired()) {
        img = nullptr;
        return;
      }
      GetTargetImage(s, img);
    };
    f->OnUpdatePreview = [this, alive](TKWProcessor* s, TKWBasicFilter* flt) {
      if (!alive.expired()) PreviewFilter(s, flt);
    };
    currentFilter_ = f;
  }
  actPreviewUpdate();
  // Select the neighbouring page backwards (wrapping around).
  QTabWidget* pc = PageControl();
  if (pc->count() > 1) {
    int i = pc->currentIndex();
    pc->setCurrentIndex((i - 1 + pc->count()) % pc->count());
  }
}

void TFilterBox::SetTarget(TKWDocument* Document) {
  target_ = Document;
  TCanvas& c = previewSource_->Canvas();
  c.CopyMode = cmSrcCopy;
  c.Brush.Color = clWhite;
  c.FillRect(Rect(0, 0, kPreviewWidth, kPreviewHeight));
  TKWBitmap* img = Document ? Document->CurrentImage() : nullptr;
  if (img && !img->Empty()) c.StretchDraw(Rect(0, 0, kPreviewWidth, kPreviewHeight), *img);
  imPreview->SetPicture(*previewSource_);
  if (img && currentFilter_ && IsLoadComplete) {
    try {
      currentFilter_->OnImageChange(img);
    } catch (const std::exception& e) {
      showError(e.what());
      return;
    }
    Preview();
  }
}

void TFilterBox::SetCurrentFilter(TKWBasicFilter* Filter) {
  currentFilter_ = Filter;
  actPreviewUpdate();
  if (target_ && Filter) {
    try {
      Filter->OnImageChange(target_->CurrentImage());
    } catch (const std::exception& e) {
      showError(e.what());
    }
  }
}

void TFilterBox::GetTargetImage(TKWProcessor*, TBitmap*& Image) {
  Image = target_ ? target_->CurrentImage() : nullptr;
}

void TFilterBox::PreviewFilter(TKWProcessor*, TKWBasicFilter* Filter) {
  TKWBasicFilter* saved = currentFilter_;
  currentFilter_ = Filter;
  Preview();
  currentFilter_ = saved;
}

void TFilterBox::Preview() {
  if (!currentFilter_ || !currentFilter_->CanPreview()) {
    imPreview->SetPicture(*previewSource_);
    return;
  }
  auto tmp = std::make_unique<TBitmap>();
  tmp->SetPixelFormat(pf32bit);
  tmp->SetSize(previewSource_->Width(), previewSource_->Height());
  try {
    currentFilter_->UpdateParam();
    currentFilter_->ExecFilter(previewSource_.get(), tmp.get());
  } catch (const std::exception& e) {
    endProgress(currentFilter_);
    imPreview->SetPicture(*previewSource_);
    showError(e.what());
    return;
  }
  imPreview->SetPicture(*tmp);
}

void TFilterBox::endProgress(TKWBasicFilter* f) {
  // A filter that raised never reported its end: the status bar and the
  // cursor are reset here.
  if (f && f->OnProgress) {
    TRect r{};
    f->OnProgress(f, TProgressStage::psEnding, 0, false, r, std::string());
  }
}

void TFilterBox::actPreviewUpdate() {
  actPreview->setEnabled(currentFilter_ && currentFilter_->CanPreview());
}

void TFilterBox::bbtDoFilterClick(QObject*) {
  TKWDocument* doc = target_;
  if (!doc || !currentFilter_) return;
  doc->SetBusy(true);
  try {
    doc->ApplyFilter(currentFilter_, true);
  } catch (const std::exception& e) {
    endProgress(currentFilter_);
    doc->SetBusy(false);
    showError(e.what());
    SetTarget(doc);
    return;
  }
  doc->SetBusy(false);
  SetTarget(doc);
}

void TFilterBox::BindApplyAction(QAction* action) {
  disconnect(bbtDoFilter, &QPushButton::clicked, nullptr, nullptr);
  connect(bbtDoFilter, &QPushButton::clicked, action, &QAction::trigger);
  connect(action, &QAction::changed, bbtDoFilter,
          [this, action] { bbtDoFilter->setEnabled(action->isEnabled()); });
  bbtDoFilter->setEnabled(action->isEnabled());
}

void TFilterBox::pcFilterBoxChange(int index) {
  QWidget* site = ScrollPageSite(index);
  const PanelEntry* entry = nullptr;
  for (const auto& p : panels_)
    if (site && p.site == site) {
      entry = &p;
      break;
    }
  if (!entry) return;
  QWidget* panel = entry->panel;
  if (panel && panel->metaObject()->indexOfMethod("FormActivate()") >= 0)
    QMetaObject::invokeMethod(panel, "FormActivate", Qt::DirectConnection);
  else if (entry->info && entry->info->Filter)
    SetCurrentFilter(entry->info->Filter);
  Preview();
}

void TFilterBox::closeEvent(QCloseEvent* e) {
  if (!AllowClose) {
    e->ignore();
    return;
  }
  TKWProcBox::closeEvent(e);
}

void TFilterBox::showEvent(QShowEvent* e) {
  TKWProcBox::showEvent(e);
  if (!shownOnce_) {
    shownOnce_ = true;
    if (manager_ && manager_->Filters.Count() > 0) {
      auto* info = manager_->Filters.ObjectAs<TFilterInfo>(0);
      if (info && info->Filter) currentFilter_ = info->Filter;
      actPreviewUpdate();
    }
  }
  applyOpacity();
}
