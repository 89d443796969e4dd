// Panel of the polar transform: origin picker and fields, the shift, the
// grid of the five stages with their two formula slots, and the controls
// of the selected slot (formula, the value it reads, A to D).
#pragma once

#include <QTableWidget>

#include "proclib/kwform.h"
#include "proclib/kworigin.h"
#include "proclib/kwpoler.h"
#include "ui/editright.h"

namespace kwlib {

class TKWPolerForm : public TKWProcForm<TKWPoler, TFilterKind>, public TParamView<TKWPolerPack> {
 public:
  TKWPolerForm(TKWPolerPack* pack, TKWUnit* unit);
  ~TKWPolerForm() override { FormDestroy(); }
  void ApplyParam() { proc_->ApplyParam(); }
  void ReadControls(TKWPolerPack& p) override;
  void WriteControls(const TKWPolerPack& p) override;

  // Selects the slot side (0 R, 1 P) of stage n (0 .. 4) as a click on its
  // grid cell does.
  void SelectCell(int n, int side);
  // The short name of a method as the grid shows it ("なし" for none and
  // for values outside 0 .. 6).
  static QString MethodName(int method);

  TOriginPicker* pbOrigin;
  TEditRight *edrOriginX, *edrOriginY;
  TEditRight *edrMoveX, *edrMoveY;
  QTableWidget* sgStages;  // rows: stages 1 .. 5; columns: "距離R", "位相θ"
  TRadioGroup* rgMethod;    // "計算式"
  TRadioGroup* rgVariable;  // "計算に使用する値(x)"
  TEditRight *edrA, *edrB, *edrC, *edrD;

 protected:
  void SyncSettings() override { proc_->UpdateParam(); }

 private:
  // The selected slot's controls into the working table (fields that are
  // no numbers leave their values unchanged) and back.
  void storeCell();
  void showCell();
  void showNames();
  void slotChanged();
  TPolerSlot work_[kPolerStages][2];
  int curStage_ = 0, curSide_ = 0;
};

}  // namespace kwlib
