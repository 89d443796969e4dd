// Panel of the logical mixer: the kind of operation.
#pragma once

#include "proclib/kwform.h"
#include "proclib/kwlgcmix.h"

namespace kwlib {

class TKWLogicalMixerForm : public TKWProcForm<TKWLogicalMixer, TMixerKind>,
                            public TParamView<TLogicalMixerPack> {
 public:
  TKWLogicalMixerForm(TLogicalMixerPack* pack, TKWUnit* unit);
  ~TKWLogicalMixerForm() override { FormDestroy(); }
  void ApplyParam() { proc_->ApplyParam(); }
  void ReadControls(TLogicalMixerPack& p) override;
  void WriteControls(const TLogicalMixerPack& p) override;

  TRadioGroup* rgOperator;

 protected:
  void SyncSettings() override { proc_->UpdateParam(); }
};

}  // namespace kwlib
