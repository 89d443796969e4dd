// Panel of the gamma filter: luminance or colour gammas, automatic gamma,
// tone-curve files and the curve display.
#pragma once

#include <QCheckBox>
#include <QPushButton>
#include <QTimer>

#include "proclib/kwform.h"
#include "proclib/kwgamma.h"
#include "proclib/kwhistgram.h"
#include "ui/editright.h"

namespace kwlib {

class TKWGammaForm : public TKWProcForm<TKWGamma, TFilterKind>, public TParamView<TGammaPack> {
 public:
  TKWGammaForm(TGammaPack* pack, TKWUnit* unit);
  ~TKWGammaForm() override { FormDestroy(); }
  void ApplyParam() { proc_->ApplyParam(); }
  void ReadControls(TGammaPack& p) override;
  void WriteControls(const TGammaPack& p) override;
  THistgram* Histogram() const { return hist_.get(); }

  // Tables from the gammas and the tone file (unit initialization).
  void InitTables();
  // "自動γ値を入力ボックスに設定": auto gammas of the published histograms.
  void SetAutoGammas();
  // Loads a tone file at once (Enter in the name field, "参照...").
  void LoadToneFileNow(const QString& name);
  // The idle check of the four gamma fields.
  void IdleCheck();

  // Gamma field text: 1 when not a number, at least 0.00001 in magnitude.
  static float GammaOfText(const QString& text);

  TPaintBox* pbCurve;
  QRadioButton* rbLuminance;
  QRadioButton* rbColor;
  QGroupBox* gbY;
  QGroupBox* gbRGB;
  TEditRight* edrGamma[4];  // Y, R, G, B
  TUpDown* udGamma[4];
  QCheckBox* cbCurve[4];  // Y, R, G, B
  QCheckBox* cbAutoGamma;
  QPushButton* btAutoGamma;
  QCheckBox* cbUseToneFile;
  QLineEdit* edToneFile;
  QPushButton* btBrowse;
  QPushButton* btSaveTone;

 protected:
  void SyncSettings() override { proc_->UpdateParam(); }
  void StopWorkers() override;

 private:
  void updateEnabling();
  void optionClick();
  void paintCurve(QPainter& p);
  std::unique_ptr<THistgram> hist_;
  QTimer idle_;
  double seen_[4] = {1, 1, 1, 1};
};

}  // namespace kwlib
