#include "proclib/kwmedianform.h"

#include <QVBoxLayout>

#include "proclib/kwunits.h"

namespace kwlib {

QStringList RangeItems() {
  return {QStringLiteral("4近傍"), QStringLiteral("8近傍"), QStringLiteral("12近傍"),
          QStringLiteral("24近傍")};
}

TKWMedianForm::TKWMedianForm(TKWMedianPack* pack, TKWUnit* unit) : TKWProcForm(unit) {
  auto proc = TKWProcessor::Create<TKWMedian>(pack);
  proc->View = this;
  Setup(std::move(proc), "Median", "メディアン");
  AddMenuAction(QStringLiteral("メディアン"));
  rgRange = new TRadioGroup(QStringLiteral("近傍形"), RangeItems(), this);
  rgRange->SetItemIndex(0);
  // Changing the shape does not ask for a preview.
  auto* lay = new QVBoxLayout(this);
  lay->addWidget(rgRange);
  lay->addStretch();
}

TKWUnit& MedianUnit() {
  static TKWFormUnit<TKWMedianForm, TKWMedianPack> u("KWMedian", {{"ShortCut", ""}});
  return u;
}

}  // namespace kwlib
