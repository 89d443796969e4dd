// Panel of the minimum/maximum filter: minimum or maximum, and the window
// shape.
#pragma once

#include "proclib/kwform.h"
#include "proclib/kwminmax.h"

namespace kwlib {

class TKWMinMaxForm : public TKWProcForm<TKWMinMax, TFilterKind>,
                      public TParamView<TKWMinMaxParam> {
 public:
  TKWMinMaxForm(TKWMinMaxParam* pack, TKWUnit* unit);
  ~TKWMinMaxForm() override { FormDestroy(); }
  void ApplyParam() { proc_->ApplyParam(); }
  void ReadControls(TKWMinMaxParam& p) override;
  void WriteControls(const TKWMinMaxParam& p) override;

  TRadioGroup* rgMinMax;
  TRadioGroup* rgRange;

 protected:
  void SyncSettings() override { proc_->UpdateParam(); }
};

}  // namespace kwlib
