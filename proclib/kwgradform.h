// Panel of the gradation generator: the colour strip, start and end
// colours, style, rotation, offsets, scale and the control-point grid.
#pragma once

#include <QComboBox>
#include <QTableWidget>

#include "proclib/kwform.h"
#include "proclib/kwgrad.h"
#include "ui/editright.h"

namespace kwlib {

class TKWGradationForm : public TKWProcForm<TKWGradation, TGeneratorKind>,
                         public TParamView<TKWGradationPack> {
 public:
  TKWGradationForm(TKWGradationPack* pack, TKWUnit* unit);
  ~TKWGradationForm() override { FormDestroy(); }
  void ApplyParam() { proc_->ApplyParam(); }
  void ReadControls(TKWGradationPack& p) override;
  void WriteControls(const TKWGradationPack& p) override;

  // The colour of strip column x (after reading the panel), 0x00BBGGRR.
  std::vector<TColor> StripColors();

  TPaintBox* pbGradCurve;
  TEditRight* edrStart[3];  // red, green, blue
  TEditRight* edrEnd[3];
  QComboBox* cbStyle;
  TEditRight* edrRotate;
  TEditRight* edrOffsetX;
  TEditRight* edrOffsetY;
  TEditRight* edrScale;
  QTableWidget* sgCtrlPt;

 protected:
  void SyncSettings() override { proc_->UpdateParam(); }

 private:
  void GradCtrlExit();
  void paintStrip(QPainter& p);
  QString cell(int row, int col) const;
  void setCell(int row, int col, const QString& text);
};

}  // namespace kwlib
