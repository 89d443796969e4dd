// Panel of the average mixer: the mode and the two weights of the weighted
// mean; three menu actions run one mode each.
#pragma once

#include <QAction>

#include "proclib/kwavrg.h"
#include "proclib/kwform.h"
#include "ui/editright.h"

namespace kwlib {

class TKWAverageForm : public TKWProcForm<TAverageMixer, TMixerKind>,
                       public TParamView<TAveragePack> {
 public:
  TKWAverageForm(TAveragePack* pack, TKWUnit* unit);
  ~TKWAverageForm() override { FormDestroy(); }
  void ApplyParam() { proc_->ApplyParam(); }
  void ReadControls(TAveragePack& p) override;
  void WriteControls(const TAveragePack& p) override;

  TRadioGroup* rgOpMode;
  TEditRight *edrBGWait, *edrFGWait;
  TUpDown *udBGWait, *udFGWait;
  QAction *actAverage, *actWeitedAverage, *actMeanSqr;

 protected:
  void SyncSettings() override { proc_->UpdateParam(); }

 private:
  // Runs the host's execution with mode shown for that one run.
  void ExecuteMode(QAction* Sender, int mode);
};

}  // namespace kwlib
