// Panel of the binarize filter: threshold mode, threshold field and the
// luminance histogram with the threshold marker.
#pragma once

#include "proclib/kwbinclr.h"
#include "proclib/kwform.h"
#include "proclib/kwhistgram.h"
#include "ui/editright.h"

namespace kwlib {

class TKWBinClrForm : public TKWProcForm<TKWBinClr, TFilterKind>,
                      public TParamView<TKWBinClrPack> {
 public:
  TKWBinClrForm(TKWBinClrPack* pack, TKWUnit* unit);
  ~TKWBinClrForm() override { FormDestroy(); }
  void ApplyParam() { proc_->ApplyParam(); }
  void ReadControls(TKWBinClrPack& p) override;
  void WriteControls(const TKWBinClrPack& p) override;
  THistgram* Histogram() const { return hist_.get(); }
  // The bin from which the display draws white.
  int MarkerPosition(const THistResult& h) const;

  TRadioGroup* rgMode;
  TEditRight* edrThreshold;
  TUpDown* udThreshold;
  TPaintBox* pbHistgram;

 protected:
  void SyncSettings() override { proc_->UpdateParam(); }
  void StopWorkers() override;

 private:
  void updateEnabling();
  void paintHistgram(QPainter& p);
  std::unique_ptr<THistgram> hist_;
};

}  // namespace kwlib
