#include "proclib/kwjuliaform.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>
#include <cmath>

#include "platform/sysutils.h"
#include "procdef/kwinfo.h"
#include "proclib/kwunits.h"

namespace kwlib {

namespace {

const char* const kHintIdle = "クリックすると、そこを中心に範囲を絞ります";
const char* const kHintBusy = "計算中です。しばらくお待ちください";
const char* const kHintDone = "クリックすると、そこを中心に拡大します";

// The unit: settings pack, then the worker, then the panel; at the end the
// pack goes first and the worker last.
class TKWJuliaUnit : public TKWFormUnit<TKWJuliaForm, TKWJuliaParam> {
 public:
  using TKWFormUnit::TKWFormUnit;
  TJuliaThread* Worker() const { return worker_.get(); }

 protected:
  void CreatePanel() override {
    worker_ = std::make_unique<TJuliaThread>();
    TKWFormUnit::CreatePanel();
  }
  void FreePack() override {
    TKWFormUnit::FreePack();
    worker_.reset();
  }

 private:
  std::unique_ptr<TJuliaThread> worker_;
};

bool NumberOf(const QString& text, double& v) {
  bool ok = false;
  v = text.trimmed().toDouble(&ok);
  return ok && std::isfinite(v);
}

TEditRight* NumberEdit(QWidget* parent, int maxLength = 0) {
  auto* e = new TEditRight(parent);
  e->setFixedWidth(88);
  if (maxLength > 0) e->setMaxLength(maxLength);
  e->KeyFilter = ValueKey;
  return e;
}

QComboBox* VisualizeList(QWidget* parent) {
  auto* c = new QComboBox(parent);
  c->addItems({QStringLiteral("発散速度"), QStringLiteral("発散までの計算回数"), QStringLiteral("発散の成否"),
               QStringLiteral("0"), QStringLiteral("255")});
  return c;
}

// The current image of a 32-bit bitmap.
QImage ImageOf(const TBitmap& b) {
  QImage img(std::max(b.Width(), 1), std::max(b.Height(), 1), QImage::Format_RGB32);
  img.fill(Qt::white);
  for (int y = 0; y < b.Height(); ++y) {
    const uint32_t* s = b.Row32(y);
    auto* d = reinterpret_cast<uint32_t*>(img.scanLine(y));
    for (int x = 0; x < b.Width(); ++x) d[x] = 0xFF000000u | s[x];
  }
  return img;
}

}  // namespace

TKWJuliaForm::TKWJuliaForm(TKWJuliaParam* pack, TKWUnit* unit)
    : TKWProcForm(unit), preview_(std::make_unique<TBitmap>()) {
  auto* u = dynamic_cast<TKWJuliaUnit*>(unit);
  worker_ = u ? u->Worker() : nullptr;
  auto proc = TKWProcessor::Create<TKWJulia>(pack, worker_);
  proc->View = this;
  Setup(std::move(proc), "Julia", "ジュリア集合");
  AddMenuAction(QStringLiteral("ジュリア集合"));
  if (worker_) {
    worker_->OnFinished = [this](TJuliaThread* t) { OnUpdatePreview(t); };
    // A preview taken over by a generation is made again after it.
    worker_->OnAbandoned = [this](TJuliaThread*) { retry_.start(); };
  }
  preview_->SetPixelFormat(pf32bit);
  retry_.setInterval(100);
  QObject::connect(&retry_, &QTimer::timeout, this, [this] {
    if (worker_ && worker_->Generating()) return;
    retry_.stop();
    UpdatePreview();
  });

  rgMethod = new TRadioGroup(QStringLiteral("計算式"),
                             {QStringLiteral("z[n+1]=C*exp(z[n])"), QStringLiteral("z[n+1]=C*cos(z[n])"),
                              QStringLiteral("z[n+1]=C*sin(z[n])")},
                             this);
  rgMethod->SetItemIndex(0);

  auto* gbC = new QGroupBox(QStringLiteral("パラメータ(複素数)"), this);
  auto* cLay = new QHBoxLayout(gbC);
  edrCReal = NumberEdit(gbC, 100);
  edrCImage = NumberEdit(gbC, 100);
  cLay->addWidget(new QLabel(QStringLiteral("C="), gbC));
  cLay->addWidget(edrCReal);
  cLay->addWidget(new QLabel(QStringLiteral("+ i"), gbC));
  cLay->addWidget(edrCImage);
  cLay->addStretch();

  auto* gbVis = new QGroupBox(QStringLiteral("画像化方法"), this);
  auto* vLay = new QGridLayout(gbVis);
  cbVisualizeR = VisualizeList(gbVis);
  cbVisualizeG = VisualizeList(gbVis);
  cbVisualizeB = VisualizeList(gbVis);
  cbInvertR = new QCheckBox(QStringLiteral("反転"), gbVis);
  cbInvertG = new QCheckBox(QStringLiteral("反転"), gbVis);
  cbInvertB = new QCheckBox(QStringLiteral("反転"), gbVis);
  QComboBox* lists[3] = {cbVisualizeR, cbVisualizeG, cbVisualizeB};
  QCheckBox* inverts[3] = {cbInvertR, cbInvertG, cbInvertB};
  const char* const channels[3] = {"R", "G", "B"};
  for (int i = 0; i < 3; ++i) {
    vLay->addWidget(new QLabel(QString::fromLatin1(channels[i]), gbVis), i, 0);
    vLay->addWidget(lists[i], i, 1);
    vLay->addWidget(inverts[i], i, 2);
    lists[i]->setCurrentIndex(i);
  }

  auto* gbRange = new QGroupBox(QStringLiteral("計算範囲"), this);
  auto* rLay = new QGridLayout(gbRange);
  edrRangeRealStart = NumberEdit(gbRange, 100);
  edrRangeRealEnd = NumberEdit(gbRange);
  edrRangeImageStart = NumberEdit(gbRange);
  edrRangeImageEnd = NumberEdit(gbRange);
  rLay->addWidget(new QLabel(QStringLiteral("実軸(横軸)"), gbRange), 0, 0);
  rLay->addWidget(edrRangeRealStart, 0, 1);
  rLay->addWidget(new QLabel(QStringLiteral("～"), gbRange), 0, 2);
  rLay->addWidget(edrRangeRealEnd, 0, 3);
  rLay->addWidget(new QLabel(QStringLiteral("虚軸(縦軸)"), gbRange), 1, 0);
  rLay->addWidget(edrRangeImageStart, 1, 1);
  rLay->addWidget(new QLabel(QStringLiteral("～"), gbRange), 1, 2);
  rLay->addWidget(edrRangeImageEnd, 1, 3);
  rLay->setColumnStretch(4, 1);

  auto* limitRow = new QHBoxLayout;
  cbLimit = new QComboBox(this);
  auto* limitEdit = new TEditRight(cbLimit);
  limitEdit->KeyFilter = IntKey;
  cbLimit->setLineEdit(limitEdit);
  cbLimit->setInsertPolicy(QComboBox::NoInsert);
  cbLimit->addItems({QStringLiteral("32"), QStringLiteral("64"), QStringLiteral("128"), QStringLiteral("256"),
                     QStringLiteral("512"), QStringLiteral("1024")});
  cbLimit->setCurrentText(QStringLiteral("64"));
  limitRow->addWidget(new QLabel(QStringLiteral("計算打ち切り回数"), this));
  limitRow->addWidget(cbLimit);
  limitRow->addStretch();

  imPreview = new TPaintBox(this);
  imPreview->setToolTip(QString::fromUtf8(kHintIdle));
  imPreview->setFixedSize(128, 128);
  shown_ = QImage(128, 128, QImage::Format_RGB32);
  shown_.fill(Qt::white);
  imPreview->OnPaint = [this](QPainter& p) { p.drawImage(0, 0, shown_); };
  imPreview->OnMouseUp = [this](QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && e->modifiers() == Qt::NoModifier)
      ZoomAt(int(std::floor(e->position().x())), int(std::floor(e->position().y())));
  };

  // The controls carry their names, as the form's controls do.
  rgMethod->setObjectName("rgMethod");
  edrCReal->setObjectName("edrCReal");
  edrCImage->setObjectName("edrCImage");
  cbVisualizeR->setObjectName("cbVisualizeR");
  cbVisualizeG->setObjectName("cbVisualizeG");
  cbVisualizeB->setObjectName("cbVisualizeB");
  cbInvertR->setObjectName("cbInvertR");
  cbInvertG->setObjectName("cbInvertG");
  cbInvertB->setObjectName("cbInvertB");
  edrRangeRealStart->setObjectName("edrRangeRealStart");
  edrRangeRealEnd->setObjectName("edrRangeRealEnd");
  edrRangeImageStart->setObjectName("edrRangeImageStart");
  edrRangeImageEnd->setObjectName("edrRangeImageEnd");
  cbLimit->setObjectName("cbLimit");
  imPreview->setObjectName("imPreview");

  auto* lay = new QVBoxLayout(this);
  lay->addWidget(rgMethod);
  lay->addWidget(gbC);
  lay->addWidget(gbVis);
  lay->addWidget(gbRange);
  lay->addLayout(limitRow);
  lay->addWidget(imPreview, 0, Qt::AlignHCenter);
  lay->addStretch();

  rgMethod->OnClick = [this] { ParamChange(); };
  for (QComboBox* c : lists)
    QObject::connect(c, &QComboBox::currentIndexChanged, this, [this] { ParamChange(); });
  for (QCheckBox* c : inverts) QObject::connect(c, &QCheckBox::toggled, this, [this] { ParamChange(); });
  QObject::connect(cbLimit, &QComboBox::currentTextChanged, this, [this] { ParamChange(); });
  for (TEditRight* e : {edrCReal, edrCImage, edrRangeRealStart, edrRangeRealEnd, edrRangeImageStart,
                        edrRangeImageEnd})
    QObject::connect(e, &QLineEdit::returnPressed, this, [this] {
      if (QApplication::keyboardModifiers() == Qt::NoModifier) UpdatePreview();
    });
  WriteControls(*pack);
}

void TKWJuliaForm::ParamChange() {
  if (!applying_) UpdatePreview();
}

void TKWJuliaForm::showEvent(QShowEvent* e) {
  TKWProcForm::showEvent(e);
  UpdatePreview();
}

void TKWJuliaForm::StopWorkers() {
  retry_.stop();
  if (!worker_) return;
  // The worker lets go of the preview before the panel frees it.
  worker_->Cancel(preview_.get());
  worker_->OnFinished = nullptr;
  worker_->OnAbandoned = nullptr;
  worker_->RowProgress = nullptr;
}

void TKWJuliaForm::PreviewSize(const TKWJuliaParam& p, int& w, int& h) {
  const double e = std::fabs((p.Range_Right - p.Range_Left) / (p.Range_Bottom - p.Range_Top));
  w = h = 128;
  if (!std::isfinite(e) || e == 0) return;
  if (e >= 1)
    h = int(Round(128 / e));
  else
    w = int(Round(e * 128));
  w = std::max(w, 4);
  h = std::max(h, 1);
}

void TKWJuliaForm::UpdatePreview() {
  if (!isVisible() || !IsLoadComplete || !proc_) return;
  if (worker_ && worker_->Generating()) {
    // Made once the generation has ended.
    retry_.start();
    return;
  }
  proc_->UpdateParam();
  const TKWJuliaParam& p = *proc_->Settings();
  int w, h;
  PreviewSize(p, w, h);
  // A preview still running lets go of the bitmap before it changes.
  if (worker_) worker_->Cancel(preview_.get());
  preview_->SetSize(w, h);
  imPreview->setFixedSize(w, h);
  // The note over what the preview showed so far.
  shown_ = shown_.scaled(w, h);
  {
    QPainter painter(&shown_);
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(Qt::white);
    painter.setPen(Qt::black);
    painter.drawText(QRect(8, 8, std::max(w - 8, 1), std::max(h - 8, 1)), Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("計算中…"));
  }
  imPreview->update();
  if (!worker_) {
    proc_->Generator(preview_.get());
    OnUpdatePreview(nullptr);
    return;
  }
  worker_->Calculate(preview_.get(), p, false);
  imPreview->setToolTip(QString::fromUtf8(kHintBusy));
}

void TKWJuliaForm::OnUpdatePreview(TJuliaThread*) {
  shown_ = ImageOf(*preview_);
  imPreview->setToolTip(QString::fromUtf8(kHintDone));
  imPreview->update();
}

void TKWJuliaForm::ZoomAt(int X, int Y) {
  if (worker_ && worker_->Running()) return;
  const int cw = imPreview->width(), chh = imPreview->height();
  if (cw <= 0 || chh <= 0) return;
  proc_->UpdateParam();
  const TKWJuliaParam& p = *proc_->Settings();
  const double w = std::fabs(p.Range_Right - p.Range_Left), h = std::fabs(p.Range_Bottom - p.Range_Top);
  const double cx = std::min(p.Range_Left, p.Range_Right) + X * w / cw;
  const double cy = std::min(p.Range_Top, p.Range_Bottom) + (chh - Y) * h / chh;
  edrRangeRealStart->setText(QString::asprintf("%12.6f", cx - w / 4));
  edrRangeRealEnd->setText(QString::asprintf("%12.6f", cx + w / 4));
  edrRangeImageStart->setText(QString::asprintf("%12.6f", cy + h / 4));
  edrRangeImageEnd->setText(QString::asprintf("%12.6f", cy - h / 4));
  UpdatePreview();
}

void TKWJuliaForm::ReadControls(TKWJuliaParam& p) {
  p.Method = rgMethod->ItemIndex();
  // Each number on its own: a text that is no number leaves its value.
  double v;
  if (NumberOf(edrCReal->text(), v)) p.C_Real = v;
  if (NumberOf(edrCImage->text(), v)) p.C_Image = v;
  if (NumberOf(edrRangeRealStart->text(), v)) p.Range_Left = v;
  if (NumberOf(edrRangeRealEnd->text(), v)) p.Range_Right = v;
  if (NumberOf(edrRangeImageStart->text(), v)) p.Range_Bottom = v;
  if (NumberOf(edrRangeImageEnd->text(), v)) p.Range_Top = v;
  p.Visualize_R = cbVisualizeR->currentIndex();
  p.Visualize_G = cbVisualizeG->currentIndex();
  p.Visualize_B = cbVisualizeB->currentIndex();
  p.Invert_R = cbInvertR->isChecked();
  p.Invert_G = cbInvertG->isChecked();
  p.Invert_B = cbInvertB->isChecked();
  p.Limit = IntOfText(cbLimit->currentText(), 64);
}

void TKWJuliaForm::WriteControls(const TKWJuliaParam& p) {
  applying_ = true;
  rgMethod->SetItemIndex(p.Method);
  auto text = [](double v) { return QString::fromStdString(FloatToStr(v)); };
  edrCReal->setText(text(p.C_Real));
  edrCImage->setText(text(p.C_Image));
  edrRangeRealStart->setText(text(p.Range_Left));
  edrRangeRealEnd->setText(text(p.Range_Right));
  edrRangeImageStart->setText(text(p.Range_Bottom));
  edrRangeImageEnd->setText(text(p.Range_Top));
  auto index = [](QComboBox* c, int i) { c->setCurrentIndex(i >= 0 && i < c->count() ? i : -1); };
  index(cbVisualizeR, p.Visualize_R);
  index(cbVisualizeG, p.Visualize_G);
  index(cbVisualizeB, p.Visualize_B);
  cbInvertR->setChecked(p.Invert_R);
  cbInvertG->setChecked(p.Invert_G);
  cbInvertB->setChecked(p.Invert_B);
  cbLimit->setCurrentText(QString::number(p.Limit));
  applying_ = false;
}

TKWUnit& JuliaUnit() {
  static TKWJuliaUnit u("KWJulia", {{"ShortCut", ""}});
  return u;
}

}  // namespace kwlib
