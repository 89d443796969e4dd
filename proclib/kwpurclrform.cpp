#include "proclib/kwpurclrform.h"

#include <QGridLayout>
#include <QLabel>

#include "proclib/kwunits.h"

namespace kwlib {

TKWPureColorForm::TKWPureColorForm(TPureColorPack* pack, TKWUnit* unit) : TKWProcForm(unit) {
  auto proc = TKWProcessor::Create<TKWPureColor>(pack);
  proc->View = this;
  Setup(std::move(proc), "PureColor", "純色");
  AddMenuAction(QStringLiteral("純色"));

  auto* lay = new QGridLayout(this);
  const char* labels[3] = {"赤", "緑", "青"};
  const char* hints[3] = {"赤輝度", "緑輝度", "青輝度"};
  TEditRight** edits[3] = {&edrRed, &edrGreen, &edrBlue};
  TUpDown** uds[3] = {&udRed, &udGreen, &udBlue};
  for (int i = 0; i < 3; ++i) {
    auto* e = new TEditRight(this);
    e->setMaxLength(3);
    e->setText(QStringLiteral("0"));
    e->setToolTip(QString::fromUtf8(hints[i]));
    e->setFixedWidth(48);
    e->KeyFilter = [](char16_t& k) { return IntKey(k); };
    e->OnExit = [this] { colorChanged(); };
    e->OnKeyUp = [this](QKeyEvent*) { colorChanged(); };
    auto* ud = new TUpDown(0, 255, 0, this);
    ud->Associate = e;
    ud->OnMouseUp = [this] { colorChanged(); };
    *edits[i] = e;
    *uds[i] = ud;
    lay->addWidget(new QLabel(QString::fromUtf8(labels[i]), this), i, 0);
    lay->addWidget(e, i, 1);
    lay->addWidget(ud, i, 2);
  }
  lay->setRowStretch(3, 1);
  lay->setColumnStretch(3, 1);
}

void TKWPureColorForm::colorChanged() {
  if (applying_ || !proc_) return;
  proc_->UpdateParam();
  RequestPreview();
}

void TKWPureColorForm::ReadControls(TPureColorPack& p) {
  p.Red = IntOfText(edrRed->text(), 0);
  p.Green = IntOfText(edrGreen->text(), 0);
  p.Blue = IntOfText(edrBlue->text(), 0);
}

void TKWPureColorForm::WriteControls(const TPureColorPack& p) {
  applying_ = true;
  const int32_t v[3] = {p.Red, p.Green, p.Blue};
  TEditRight* edits[3] = {edrRed, edrGreen, edrBlue};
  TUpDown* uds[3] = {udRed, udGreen, udBlue};
  for (int i = 0; i < 3; ++i) {
    // The up-down keeps its range; the field shows the value itself.
    uds[i]->SetPosition(v[i]);
    edits[i]->setText(QString::number(v[i]));
  }
  applying_ = false;
}

TKWUnit& PureColorUnit() {
  static TKWFormUnit<TKWPureColorForm, TPureColorPack> u("KWPureColor", {{"ShortCut", ""}});
  return u;
}

}  // namespace kwlib
