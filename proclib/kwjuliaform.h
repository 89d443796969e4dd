// Panel of the Julia set generator: formula, constant C, what each channel
// shows, the computed rectangle, the step limit, and a preview of its own
// (the host never previews this generator) on which a click halves both
// ranges about the clicked point.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QTimer>
#include <memory>

#include "proclib/kwform.h"
#include "proclib/kwjulia.h"
#include "proclib/kwjuliathread.h"
#include "ui/editright.h"

namespace kwlib {

class TKWJuliaForm : public TKWProcForm<TKWJulia, TGeneratorKind>, public TParamView<TKWJuliaParam> {
 public:
  TKWJuliaForm(TKWJuliaParam* pack, TKWUnit* unit);
  ~TKWJuliaForm() override { FormDestroy(); }
  void ApplyParam() { proc_->ApplyParam(); }
  void ReadControls(TKWJuliaParam& p) override;
  void WriteControls(const TKWJuliaParam& p) override;

  // Starts a preview of the panel's values (nothing while the panel is
  // hidden or a generation runs; then it follows once the generation ends).
  void UpdatePreview();
  // The worker's end of a preview: the image and the hint.
  void OnUpdatePreview(TJuliaThread* Sender);
  // A click at (X, Y) of the preview: both ranges halved about that point.
  void ZoomAt(int X, int Y);
  // The preview's size for a pack: 128 on the longer side, the other in
  // the proportion of the ranges; 128 x 128 when a range is empty or the
  // proportion is no number; at least 4 wide and 1 high.
  static void PreviewSize(const TKWJuliaParam& p, int& w, int& h);
  // What the preview shows (the last finished preview, or the note while
  // one is computed).
  const QImage& PreviewImage() const { return shown_; }

  TRadioGroup* rgMethod;
  TEditRight *edrCReal, *edrCImage;
  QComboBox *cbVisualizeR, *cbVisualizeG, *cbVisualizeB;
  QCheckBox *cbInvertR, *cbInvertG, *cbInvertB;
  TEditRight *edrRangeRealStart, *edrRangeRealEnd, *edrRangeImageStart, *edrRangeImageEnd;
  QComboBox* cbLimit;
  TPaintBox* imPreview;

 protected:
  void SyncSettings() override { proc_->UpdateParam(); }
  void StopWorkers() override;
  void showEvent(QShowEvent* e) override;

 private:
  void ParamChange();
  TJuliaThread* worker_;
  std::unique_ptr<TBitmap> preview_;
  QImage shown_;
  QTimer retry_;  // a preview waiting for a generation to end
};

}  // namespace kwlib
