// Panel of histogram flattening: the method and the luminance histogram.
#pragma once

#include "proclib/kwform.h"
#include "proclib/kwhistgram.h"
#include "proclib/kwhstflt.h"

namespace kwlib {

class TKWHistFlat : public TKWProcForm<TKWHistFlater, TFilterKind>,
                    public TParamView<TKWHistFlatPack> {
 public:
  TKWHistFlat(TKWHistFlatPack* pack, TKWUnit* unit);
  ~TKWHistFlat() override { FormDestroy(); }
  void ApplyParam() { proc_->ApplyParam(); }
  void ReadControls(TKWHistFlatPack& p) override { p.Method = rgMethod->ItemIndex(); }
  void WriteControls(const TKWHistFlatPack& p) override;
  THistgram* Histogram() const { return hist_.get(); }

  TRadioGroup* rgMethod;
  TPaintBox* pbHistgram;

 protected:
  void SyncSettings() override { proc_->UpdateParam(); }
  void StopWorkers() override;

 private:
  std::unique_ptr<THistgram> hist_;
};

}  // namespace kwlib
