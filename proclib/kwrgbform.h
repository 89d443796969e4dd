// Panel of the RGB filter: the three factors in percent.
#pragma once

#include "proclib/kwform.h"
#include "proclib/kwrgb.h"
#include "ui/editright.h"

namespace kwlib {

class TKWRGB : public TKWProcForm<TRGBFilter, TFilterKind>, public TParamView<TKWRGBPack> {
 public:
  TKWRGB(TKWRGBPack* pack, TKWUnit* unit);
  ~TKWRGB() override { FormDestroy(); }
  void ApplyParam() { proc_->ApplyParam(); }
  void ReadControls(TKWRGBPack& p) override;
  void WriteControls(const TKWRGBPack& p) override;

  TEditRight* edr[3];  // red, green, blue
  TUpDown* ud[3];

 protected:
  void SyncSettings() override { proc_->UpdateParam(); }
};

}  // namespace kwlib
