// Panel of the overlap mixer: the transparent range of each channel with
// its invert and smooth switches.
#pragma once

#include <QCheckBox>

#include "proclib/kwform.h"
#include "proclib/kwovrlap.h"
#include "ui/editright.h"

namespace kwlib {

class TKWOverlapForm : public TKWProcForm<TKWOverlap, TMixerKind>,
                       public TParamView<TKWOverlapPack> {
 public:
  TKWOverlapForm(TKWOverlapPack* pack, TKWUnit* unit);
  ~TKWOverlapForm() override { FormDestroy(); }
  void ApplyParam() { proc_->ApplyParam(); }
  void ReadControls(TKWOverlapPack& p) override;
  void WriteControls(const TKWOverlapPack& p) override;

  TEditRight *edrRedLow, *edrRedHigh, *edrGreenLow, *edrGreenHigh, *edrBlueLow, *edrBlueHigh;
  TUpDown *udRedLow, *udRedHigh, *udGreenLow, *udGreenHigh, *udBlueLow, *udBlueHigh;
  QCheckBox *cbRedInv, *cbGreenInv, *cbBlueInv;
  QCheckBox *cbRedSmooth, *cbGreenSmooth, *cbBlueSmooth;

 protected:
  void SyncSettings() override { proc_->UpdateParam(); }

 private:
  // Preview requests of the controls.
  void EditExit() { RequestPreview(); }
  void EditKeyUp(QKeyEvent* e);
  void UpDownMouseUp() { RequestPreview(); }
};

}  // namespace kwlib
