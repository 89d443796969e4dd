#include "proclib/kwaxisform.h"

#include <QVBoxLayout>

#include "proclib/kwunits.h"

namespace kwlib {

TKWAxisForm::TKWAxisForm(TKWAxisPack* pack, TKWUnit* unit) : TKWProcForm(unit) {
  auto proc = TKWProcessor::Create<TKWAxisOperate>(pack);
  proc->View = this;
  Setup(std::move(proc), "AxisOperate", "xy軸操作");
  AddMenuAction(QStringLiteral("ｘｙ軸操作"));
  rgOperate = new TRadioGroup(QStringLiteral("操作"),
                              {QStringLiteral("左右反転"), QStringLiteral("上下反転"),
                               QStringLiteral("右90度回転"), QStringLiteral("左90度回転"),
                               QStringLiteral("180度回転")},
                              this);
  rgOperate->SetItemIndex(0);
  // The preview uses the pack, so it is brought up to date first.
  rgOperate->OnClick = [this] {
    proc_->UpdateParam();
    RequestPreview();
  };
  auto* lay = new QVBoxLayout(this);
  lay->addWidget(rgOperate);
  lay->addStretch();
}

TKWUnit& AxisUnit() {
  static TKWFormUnit<TKWAxisForm, TKWAxisPack> u("AxisOperate", {{"ShortCut", ""}});
  return u;
}

}  // namespace kwlib
