#include <QLabel>
#include <QVBoxLayout>

#include "proclib/kwnegaform.h"
#include "proclib/kwunits.h"

namespace kwlib {

TKWGray::TKWGray(TKWUnit* unit) : TKWProcForm(unit) {
  auto proc = TKWProcessor::Create<TKWGrayScale>();
  proc->Panel = this;
  Setup(std::move(proc), "GrayScale", "グレースケール");
  AddMenuAction(QStringLiteral("グレースケール(&G)"));
  auto* lay = new QVBoxLayout(this);
  lay->addWidget(new QLabel(QStringLiteral("グレースケール"), this));
  lay->addStretch();
}

TKWUnit& GrayScaleUnit() {
  static TKWFormUnit<TKWGray, void> u("GrayScale", {{"ShortCut", "Ctrl+G"}});
  return u;
}

}  // namespace kwlib
