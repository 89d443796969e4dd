// Panel of the pure colour generator: red, green and blue, 0 to 255.
#pragma once

#include "proclib/kwform.h"
#include "proclib/kwpurclr.h"
#include "ui/editright.h"

namespace kwlib {

class TKWPureColorForm : public TKWProcForm<TKWPureColor, TGeneratorKind>,
                         public TParamView<TPureColorPack> {
 public:
  TKWPureColorForm(TPureColorPack* pack, TKWUnit* unit);
  ~TKWPureColorForm() override { FormDestroy(); }
  void ApplyParam() { proc_->ApplyParam(); }
  void ReadControls(TPureColorPack& p) override;
  void WriteControls(const TPureColorPack& p) override;

  TEditRight* edrRed;
  TEditRight* edrGreen;
  TEditRight* edrBlue;
  TUpDown* udRed;
  TUpDown* udGreen;
  TUpDown* udBlue;

 protected:
  void SyncSettings() override { proc_->UpdateParam(); }

 private:
  // Leaving a field, releasing a key in it or releasing an up-down button.
  void colorChanged();
};

}  // namespace kwlib
