#include "proclib/kwnegaform.h"

#include <QLabel>
#include <QVBoxLayout>

#include "proclib/kwunits.h"

namespace kwlib {

TKWNegativeForm::TKWNegativeForm(TKWUnit* unit) : TKWProcForm(unit) {
  auto proc = TKWProcessor::Create<TKWNegativeFilter>();
  proc->Panel = this;
  Setup(std::move(proc), "NegativeColor", "ネガポジ反転");
  AddMenuAction(QStringLiteral("ネガポジ反転(&I)"));
  auto* lay = new QVBoxLayout(this);
  lay->addWidget(new QLabel(QStringLiteral("ネガポジ反転"), this));
  lay->addStretch();
}

TKWUnit& NegaUnit() {
  // Only this unit reports a shortcut that cannot be assigned.
  static TKWFormUnit<TKWNegativeForm, void> u("Negative", {{"ShortCut", "Ctrl+I"}}, true);
  return u;
}

}  // namespace kwlib
