// Panel of the median filter: the window shape.
#pragma once

#include "proclib/kwform.h"
#include "proclib/kwmedian.h"

namespace kwlib {

// The four items of every "近傍形" group.
QStringList RangeItems();

class TKWMedianForm : public TKWProcForm<TKWMedian, TFilterKind>,
                      public TParamView<TKWMedianPack> {
 public:
  TKWMedianForm(TKWMedianPack* pack, TKWUnit* unit);
  ~TKWMedianForm() override { FormDestroy(); }
  void ApplyParam() { proc_->ApplyParam(); }
  void ReadControls(TKWMedianPack& p) override { p.Range = rgRange->ItemIndex(); }
  void WriteControls(const TKWMedianPack& p) override { rgRange->SetItemIndex(p.Range); }

  TRadioGroup* rgRange;

 protected:
  void SyncSettings() override { proc_->UpdateParam(); }
};

}  // namespace kwlib
