// Panel of the axis operations.
#pragma once

#include "proclib/kwaxis.h"
#include "proclib/kwform.h"

namespace kwlib {

class TKWAxisForm : public TKWProcForm<TKWAxisOperate, TFilterKind>,
                    public TParamView<TKWAxisPack> {
 public:
  TKWAxisForm(TKWAxisPack* pack, TKWUnit* unit);
  ~TKWAxisForm() override { FormDestroy(); }
  void ApplyParam() { proc_->ApplyParam(); }
  void ReadControls(TKWAxisPack& p) override { p.Operate = rgOperate->ItemIndex(); }
  void WriteControls(const TKWAxisPack& p) override { rgOperate->SetItemIndex(p.Operate); }

  TRadioGroup* rgOperate;

 protected:
  void SyncSettings() override { proc_->UpdateParam(); }
};

}  // namespace kwlib
