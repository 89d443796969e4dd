// Panel of the resize filter: current size, new size, tile offset, method.
#pragma once

#include <QLabel>

#include "proclib/kwform.h"
#include "proclib/kwresize.h"
#include "ui/editright.h"

namespace kwlib {

class TKWResizeForm : public TKWProcForm<TKWResize, TFilterKind>,
                      public TParamView<TResizePack> {
 public:
  TKWResizeForm(TResizePack* pack, TKWUnit* unit);
  ~TKWResizeForm() override { FormDestroy(); }
  void ApplyParam() { proc_->ApplyParam(); }
  void ReadControls(TResizePack& p) override;
  void WriteControls(const TResizePack& p) override;

  QLabel* lbCurrent;
  TEditRight *edrWidth, *edrHeight, *edrOffsetX, *edrOffsetY;
  TUpDown *udWidth, *udHeight, *udOffsetX, *udOffsetY;
  TRadioGroup* rgMethod;

 protected:
  void SyncSettings() override { proc_->UpdateParam(); }

 private:
  void updateEnabling();
};

}  // namespace kwlib
