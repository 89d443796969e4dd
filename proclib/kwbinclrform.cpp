#include "proclib/kwbinclrform.h"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include "proclib/kwunits.h"

namespace kwlib {

TKWBinClrForm::TKWBinClrForm(TKWBinClrPack* pack, TKWUnit* unit) : TKWProcForm(unit) {
  auto proc = TKWProcessor::Create<TKWBinClr>(pack);
  proc->View = this;
  hist_ = std::make_unique<THistgram>(false);  // luminance only
  proc->Histogram = hist_.get();
  Setup(std::move(proc), "BinClr", "2値化");
  AddMenuAction(QStringLiteral("2値化"));

  rgMode = new TRadioGroup(QStringLiteral("しきい値の指定方法"),
                           {QStringLiteral("128"), QStringLiteral("白黒比が1:1の位置"),
                            QStringLiteral("任意位置")},
                           this);
  rgMode->SetItemIndex(0);
  edrThreshold = new TEditRight(this);
  edrThreshold->setMaxLength(3);
  edrThreshold->setText(QStringLiteral("128"));
  edrThreshold->setFixedWidth(48);
  udThreshold = new TUpDown(0, 255, 128, this);
  udThreshold->Associate = edrThreshold;
  pbHistgram = new TPaintBox(this);
  pbHistgram->setFixedSize(256, 100);
  pbHistgram->setToolTip(QStringLiteral("クリックするとその位置がしきい値になります"));

  auto* lay = new QVBoxLayout(this);
  lay->addWidget(rgMode);
  auto* row = new QHBoxLayout;
  row->addWidget(edrThreshold);
  row->addWidget(udThreshold);
  row->addStretch();
  lay->addLayout(row);
  lay->addWidget(pbHistgram);
  lay->addStretch();

  rgMode->OnClick = [this] {
    updateEnabling();
    pbHistgram->update();
    RequestPreview();
  };
  QObject::connect(edrThreshold, &QLineEdit::textChanged, this, [this] { pbHistgram->update(); });
  edrThreshold->OnExit = [this] { RequestPreview(); };
  udThreshold->OnClick = [this](bool) { RequestPreview(); };
  pbHistgram->OnPaint = [this](QPainter& p) { paintHistgram(p); };
  auto setFromMouse = [this](QMouseEvent* e) {
    udThreshold->SetPosition(int(e->position().x()));
    pbHistgram->update();
  };
  pbHistgram->OnMouseMove = [setFromMouse](QMouseEvent* e) {
    if (e->buttons() & Qt::LeftButton) setFromMouse(e);
  };
  pbHistgram->OnMouseUp = [this, setFromMouse](QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    setFromMouse(e);
    RequestPreview();
  };
  hist_->OnFinish = [this](THistgram*) { pbHistgram->update(); };
  updateEnabling();
}

void TKWBinClrForm::StopWorkers() {
  if (proc_) proc_->Histogram = nullptr;
  hist_.reset();  // stops and joins the worker
}

void TKWBinClrForm::updateEnabling() {
  bool any = rgMode->ItemIndex() == 2;
  edrThreshold->setEnabled(any);
  udThreshold->setEnabled(any);
  pbHistgram->setEnabled(any);
}

void TKWBinClrForm::ReadControls(TKWBinClrPack& p) {
  p.ThMode = rgMode->ItemIndex();
  p.Threshold = IntOfText(edrThreshold->text(), 128);
}

void TKWBinClrForm::WriteControls(const TKWBinClrPack& p) {
  applying_ = true;
  udThreshold->SetPosition(p.Threshold);
  edrThreshold->setText(QString::number(p.Threshold));
  rgMode->SetItemIndex(p.ThMode);
  updateEnabling();
  applying_ = false;
  pbHistgram->update();
}

int TKWBinClrForm::MarkerPosition(const THistResult& h) const {
  switch (rgMode->ItemIndex()) {
    case 2:
      return IntOfText(edrThreshold->text(), 128);
    case 1: {
      uint64_t sum = 0;
      for (int x = 0; x < 256; ++x) {
        sum += h.Lum()[x];
        if (sum * 2 > h.PixelCount) return x;
      }
      return 256;
    }
    default:
      return 128;
  }
}

void TKWBinClrForm::paintHistgram(QPainter& p) {
  const int w = pbHistgram->width(), ht = pbHistgram->height();
  p.fillRect(0, 0, w, ht, QColor(128, 128, 128));
  if (!hist_) return;
  const THistResult h = hist_->GetHistgram();
  uint32_t largest = 0;
  for (int x = 0; x < 256; ++x) largest = std::max(largest, h.Lum()[x]);
  if (largest == 0) return;
  const int marker = MarkerPosition(h);
  for (int x = 0; x < 256; ++x) {
    int top = ht - int(int64_t(h.Lum()[x]) * ht / largest);
    p.setPen(x < marker ? Qt::black : Qt::white);
    p.drawLine(x, ht, x, top);
  }
}

TKWUnit& BinClrUnit() {
  static TKWFormUnit<TKWBinClrForm, TKWBinClrPack> u("KWBinClr", {{"ShortCut", ""}});
  return u;
}

}  // namespace kwlib
