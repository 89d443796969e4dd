// Panel of the difference mixer: its menu action only.
#pragma once

#include "proclib/kwdiffer.h"
#include "proclib/kwform.h"

namespace kwlib {

class TKWDiffForm : public TKWProcForm<TKWDiffer, TMixerKind>, public TParamView<TKWDifferPack> {
 public:
  TKWDiffForm(TKWDifferPack* pack, TKWUnit* unit);
  ~TKWDiffForm() override { FormDestroy(); }
  void ApplyParam() {}
  void ReadControls(TKWDifferPack&) override {}
  void WriteControls(const TKWDifferPack&) override {}
};

}  // namespace kwlib
