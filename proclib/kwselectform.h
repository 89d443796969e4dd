// Panel of the primary-colour selector: a source per channel and the
// channel's own value.
#pragma once

#include "proclib/kwform.h"
#include "proclib/kwselect.h"
#include "ui/editright.h"

namespace kwlib {

class TKWSelectorForm : public TKWProcForm<TKWSelector, TFilterKind>,
                        public TParamView<TSelectorPack> {
 public:
  TKWSelectorForm(TSelectorPack* pack, TKWUnit* unit);
  ~TKWSelectorForm() override { FormDestroy(); }
  void ApplyParam() { proc_->ApplyParam(); }
  void ReadControls(TSelectorPack& p) override;
  void WriteControls(const TSelectorPack& p) override;

  TRadioGroup* rg[3];  // R, G, B
  TEditRight* edr[3];
  TUpDown* ud[3];

 protected:
  void SyncSettings() override { proc_->UpdateParam(); }

 private:
  void updateEnabling();
};

}  // namespace kwlib
