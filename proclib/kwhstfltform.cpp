#include "proclib/kwhstfltform.h"

#include <QPainter>
#include <QPolygon>
#include <QVBoxLayout>

#include "proclib/kwunits.h"

namespace kwlib {

TKWHistFlat::TKWHistFlat(TKWHistFlatPack* pack, TKWUnit* unit) : TKWProcForm(unit) {
  auto proc = TKWProcessor::Create<TKWHistFlater>(pack);
  proc->View = this;
  hist_ = std::make_unique<THistgram>(false);  // luminance only
  proc->Histogram = hist_.get();
  Setup(std::move(proc), "HistFlat", "ヒストグラム平坦化");
  AddMenuAction(QStringLiteral("ヒストグラム平均化"));

  rgMethod = new TRadioGroup(QStringLiteral("処理方法"),
                             {QStringLiteral("通常"), QStringLiteral("乱数で強制的に分散")}, this);
  rgMethod->SetItemIndex(0);
  rgMethod->OnClick = [this] { RequestPreview(); };
  pbHistgram = new TPaintBox(this);
  pbHistgram->setFixedSize(256, 100);
  pbHistgram->OnPaint = [this](QPainter& p) {
    const int ht = pbHistgram->height();
    p.fillRect(pbHistgram->rect(), Qt::white);
    if (!hist_) return;
    const THistResult h = hist_->GetHistgram();
    uint32_t m = 0;
    for (int i = 0; i < 256; ++i) m = std::max(m, h.Lum()[i]);
    if (m == 0) return;
    QPolygon poly;
    poly << QPoint(0, ht);
    for (int i = 0; i < 256; ++i) poly << QPoint(i, ht - int(int64_t(ht) * h.Lum()[i] / m));
    p.setPen(Qt::black);
    p.drawPolyline(poly);
  };
  hist_->OnFinish = [this](THistgram*) { pbHistgram->update(); };
  auto* lay = new QVBoxLayout(this);
  lay->addWidget(rgMethod);
  lay->addWidget(pbHistgram);
  lay->addStretch();
}

void TKWHistFlat::StopWorkers() {
  if (proc_) proc_->Histogram = nullptr;
  hist_.reset();
}

void TKWHistFlat::WriteControls(const TKWHistFlatPack& p) {
  applying_ = true;
  rgMethod->SetItemIndex(p.Method);
  applying_ = false;
}

TKWUnit& HistFlatUnit() {
  static TKWFormUnit<TKWHistFlat, TKWHistFlatPack> u("Histgram Flatness", {{"ShortCut", ""}});
  return u;
}

}  // namespace kwlib
