#include "proclib/kwresizeform.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QVBoxLayout>

#include "procdef/kwinfo.h"
#include "proclib/kwunits.h"

namespace kwlib {

namespace {

// A field of at most 4 digits with an up-down of 0 to 9999 moving by step.
void MakeField(QWidget* parent, TEditRight*& e, TUpDown*& u, int initial, int step) {
  e = new TEditRight(parent);
  e->setMaxLength(4);
  e->setFixedWidth(56);
  e->KeyFilter = IntKey;
  u = new TUpDown(0, 9999, initial, parent);
  u->Associate = e;
  u->SetPosition(initial);
  TEditRight* field = e;
  TUpDown* ud = u;
  ud->OnBeforeClick = [field, ud] { ud->SetPosition(IntOfText(field->text(), ud->Position())); };
  // The up-down moves by one; the rest of the step follows.
  ud->OnClick = [ud, step](bool up) { ud->SetPosition(ud->Position() + (up ? step - 1 : 1 - step)); };
}

}  // namespace

TKWResizeForm::TKWResizeForm(TResizePack* pack, TKWUnit* unit) : TKWProcForm(unit) {
  auto proc = TKWProcessor::Create<TKWResize>(pack);
  proc->View = this;
  proc->OnShowSize = [this](int w, int h) { lbCurrent->setText(QString::asprintf("%d x %d", w, h)); };
  Setup(std::move(proc), "Resize", "サイズ変更");
  AddMenuAction(QStringLiteral("サイズ変更"));

  auto* gbCurrent = new QGroupBox(QStringLiteral("現在のサイズ"), this);
  lbCurrent = new QLabel(gbCurrent);
  (new QVBoxLayout(gbCurrent))->addWidget(lbCurrent);

  auto* gbNew = new QGroupBox(QStringLiteral("新しいサイズ"), this);
  auto* gn = new QGridLayout(gbNew);
  MakeField(gbNew, edrWidth, udWidth, 640, 16);
  MakeField(gbNew, edrHeight, udHeight, 480, 16);
  gn->addWidget(new QLabel(QStringLiteral("幅"), gbNew), 0, 0);
  gn->addWidget(edrWidth, 0, 1);
  gn->addWidget(udWidth, 0, 2);
  gn->addWidget(new QLabel(QStringLiteral("高さ"), gbNew), 1, 0);
  gn->addWidget(edrHeight, 1, 1);
  gn->addWidget(udHeight, 1, 2);

  auto* gbOffset = new QGroupBox(QStringLiteral("オフセット量"), this);
  auto* go = new QGridLayout(gbOffset);
  MakeField(gbOffset, edrOffsetX, udOffsetX, 0, 8);
  MakeField(gbOffset, edrOffsetY, udOffsetY, 0, 8);
  go->addWidget(new QLabel(QStringLiteral("X"), gbOffset), 0, 0);
  go->addWidget(edrOffsetX, 0, 1);
  go->addWidget(udOffsetX, 0, 2);
  go->addWidget(new QLabel(QStringLiteral("Y"), gbOffset), 1, 0);
  go->addWidget(edrOffsetY, 1, 1);
  go->addWidget(udOffsetY, 1, 2);

  rgMethod = new TRadioGroup(QStringLiteral("変更方法"),
                             {QStringLiteral("タイル"), QStringLiteral("ストレッチ")}, this);
  rgMethod->SetItemIndex(0);
  rgMethod->OnClick = [this] { updateEnabling(); };

  auto* lay = new QVBoxLayout(this);
  lay->addWidget(gbCurrent);
  lay->addWidget(gbNew);
  lay->addWidget(gbOffset);
  lay->addWidget(rgMethod);
  lay->addStretch();
  updateEnabling();
}

void TKWResizeForm::updateEnabling() {
  const bool tile = rgMethod->ItemIndex() == 0;
  for (QWidget* w : {static_cast<QWidget*>(edrOffsetX), static_cast<QWidget*>(edrOffsetY),
                     static_cast<QWidget*>(udOffsetX), static_cast<QWidget*>(udOffsetY)})
    w->setEnabled(tile);
}

void TKWResizeForm::ReadControls(TResizePack& p) {
  p.Width = IntOfText(edrWidth->text(), 640);
  p.Height = IntOfText(edrHeight->text(), 480);
  p.OffsetX = IntOfText(edrOffsetX->text(), 0);
  p.OffsetY = IntOfText(edrOffsetY->text(), 0);
  p.Method = rgMethod->ItemIndex();
}

void TKWResizeForm::WriteControls(const TResizePack& p) {
  applying_ = true;
  const int32_t v[4] = {p.Width, p.Height, p.OffsetX, p.OffsetY};
  TEditRight* e[4] = {edrWidth, edrHeight, edrOffsetX, edrOffsetY};
  TUpDown* u[4] = {udWidth, udHeight, udOffsetX, udOffsetY};
  for (int i = 0; i < 4; ++i) {
    u[i]->SetPosition(v[i]);
    e[i]->setText(QString::number(v[i]));
  }
  rgMethod->SetItemIndex(p.Method);
  updateEnabling();
  applying_ = false;
}

TKWUnit& ResizeUnit() {
  static TKWFormUnit<TKWResizeForm, TResizePack> u("Resize", {{"ShortCut", ""}});
  return u;
}

}  // namespace kwlib
