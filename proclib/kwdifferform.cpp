#include "proclib/kwdifferform.h"

#include <QLabel>
#include <QVBoxLayout>

#include "proclib/kwunits.h"

namespace kwlib {

TKWDiffForm::TKWDiffForm(TKWDifferPack* pack, TKWUnit* unit) : TKWProcForm(unit) {
  auto proc = TKWProcessor::Create<TKWDiffer>(pack);
  proc->View = this;
  Setup(std::move(proc), "Differ", "差分");
  AddMenuAction(QStringLiteral("差分"));
  auto* lay = new QVBoxLayout(this);
  lay->addWidget(new QLabel(QStringLiteral("背景と前景の差の絶対値"), this));
  lay->addStretch(1);
}

TKWUnit& DifferUnit() {
  static TKWFormUnit<TKWDiffForm, TKWDifferPack> u("KWDiffer", {{"ShortCut", ""}});
  return u;
}

}  // namespace kwlib
