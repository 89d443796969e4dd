#include "proclib/kwminmaxform.h"

#include <QVBoxLayout>

#include "proclib/kwmedianform.h"
#include "proclib/kwunits.h"

namespace kwlib {

TKWMinMaxForm::TKWMinMaxForm(TKWMinMaxParam* pack, TKWUnit* unit) : TKWProcForm(unit) {
  auto proc = TKWProcessor::Create<TKWMinMax>(pack);
  proc->View = this;
  Setup(std::move(proc), "MinMax", "最大最小");
  AddMenuAction(QStringLiteral("最大最小"));
  rgMinMax = new TRadioGroup(QStringLiteral("最大最小"),
                             {QStringLiteral("最小"), QStringLiteral("最大")}, this);
  rgMinMax->SetItemIndex(0);
  rgRange = new TRadioGroup(QStringLiteral("近傍形"), RangeItems(), this);
  rgRange->SetItemIndex(0);
  rgMinMax->OnClick = [this] { RequestPreview(); };
  auto* lay = new QVBoxLayout(this);
  lay->addWidget(rgMinMax);
  lay->addWidget(rgRange);
  lay->addStretch();
}

void TKWMinMaxForm::ReadControls(TKWMinMaxParam& p) {
  p.MinMax = rgMinMax->ItemIndex();
  p.Range = rgRange->ItemIndex();
}

void TKWMinMaxForm::WriteControls(const TKWMinMaxParam& p) {
  applying_ = true;
  rgMinMax->SetItemIndex(p.MinMax);
  rgRange->SetItemIndex(p.Range);
  applying_ = false;
}

TKWUnit& MinMaxUnit() {
  static TKWFormUnit<TKWMinMaxForm, TKWMinMaxParam> u("KWMinMax", {{"ShortCut", ""}});
  return u;
}

}  // namespace kwlib
