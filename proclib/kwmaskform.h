// Panel of the mask filter: window shape, kernel kind, the free 5 x 5 mask
// with its adder and divider, and the centre-weighting correction.
#pragma once

#include <QCheckBox>

#include "proclib/kwform.h"
#include "proclib/kwmask.h"
#include "ui/editright.h"

namespace kwlib {

class TKWMaskForm : public TKWProcForm<TMaskFilter, TFilterKind>, public TParamView<TMaskPack> {
 public:
  TKWMaskForm(TMaskPack* pack, TKWUnit* unit);
  ~TKWMaskForm() override { FormDestroy(); }
  void ApplyParam() { proc_->ApplyParam(); }
  void ReadControls(TMaskPack& p) override;
  void WriteControls(const TMaskPack& p) override;
  // The menu actions: run the action's kernel without changing the panel's
  // choice.
  void MenuExecute(QAction* action, int operation);

  TRadioGroup* rgRange;
  TRadioGroup* rgOperation;
  // Cell in row r, column c shows the value stored under "Mask" r c, which
  // the filter applies at dx = r - 2, dy = c - 2: the grid is the window
  // transposed.
  TEditRight* edrMask[5][5];
  TEditRight* edrAdd;
  TUpDown* udAdd;
  TEditRight* edrDiv;
  TUpDown* udDiv;
  QCheckBox* cbSpray;
  TEditRight* edrPower;
  TUpDown* udPower;

 protected:
  void SyncSettings() override { proc_->UpdateParam(); }

 private:
  void updateEnabling();
};

}  // namespace kwlib
