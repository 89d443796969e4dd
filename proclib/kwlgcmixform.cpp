#include "proclib/kwlgcmixform.h"

#include <QVBoxLayout>

#include "proclib/kwunits.h"

namespace kwlib {

TKWLogicalMixerForm::TKWLogicalMixerForm(TLogicalMixerPack* pack, TKWUnit* unit)
    : TKWProcForm(unit) {
  auto proc = TKWProcessor::Create<TKWLogicalMixer>(pack);
  proc->View = this;
  Setup(std::move(proc), "LogicalOperate", "論理演算による合成");
  setWindowTitle(QStringLiteral("論理演算"));
  AddMenuAction(QStringLiteral("論理演算(&L)"));
  rgOperator = new TRadioGroup(QStringLiteral("演算の種類"),
                               {QStringLiteral("AND"), QStringLiteral("OR"), QStringLiteral("XOR")},
                               this);
  rgOperator->SetItemIndex(0);
  rgOperator->OnClick = [this] { RequestPreview(); };
  auto* lay = new QVBoxLayout(this);
  lay->addWidget(rgOperator);
  lay->addStretch(1);
}

void TKWLogicalMixerForm::ReadControls(TLogicalMixerPack& p) { p.Operation = rgOperator->ItemIndex(); }

void TKWLogicalMixerForm::WriteControls(const TLogicalMixerPack& p) {
  applying_ = true;
  rgOperator->SetItemIndex(p.Operation);
  applying_ = false;
}

TKWUnit& LogicalUnit() {
  static TKWFormUnit<TKWLogicalMixerForm, TLogicalMixerPack> u("LogicalOperate", {{"ShortCut", ""}});
  return u;
}

}  // namespace kwlib
