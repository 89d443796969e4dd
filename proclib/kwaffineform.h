// Panel of the affine transform: origin picker and fields, zoom, rotation,
// shear and shift, each with its check box.
#pragma once

#include <QCheckBox>

#include "proclib/kwaffine.h"
#include "proclib/kwform.h"
#include "proclib/kworigin.h"
#include "ui/editright.h"

namespace kwlib {

class TKWAffineForm : public TKWProcForm<TKWAffine, TFilterKind>, public TParamView<TAffinePack> {
 public:
  TKWAffineForm(TAffinePack* pack, TKWUnit* unit);
  ~TKWAffineForm() override { FormDestroy(); }
  void ApplyParam() { proc_->ApplyParam(); }
  void ReadControls(TAffinePack& p) override;
  void WriteControls(const TAffinePack& p) override;
  // Sets the origin fields from a point of the picker.
  void PickOrigin(double px, double py);

  TOriginPicker* pbOrigin;
  TEditRight *edrOriginX, *edrOriginY;
  QCheckBox *cbZoom, *cbRotate, *cbSlash, *cbMove;
  TEditRight *edrZoom, *edrRotate, *edrSlashX, *edrSlashY, *edrMoveX, *edrMoveY;

 protected:
  void SyncSettings() override { proc_->UpdateParam(); }
};

}  // namespace kwlib
