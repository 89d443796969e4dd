#include "proclib/kwovrlapform.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

#include "proclib/kwunits.h"

namespace kwlib {

TKWOverlapForm::TKWOverlapForm(TKWOverlapPack* pack, TKWUnit* unit) : TKWProcForm(unit) {
  auto proc = TKWProcessor::Create<TKWOverlap>(pack);
  proc->View = this;
  Setup(std::move(proc), "Overlap", "重ね合わせ");
  AddMenuAction(QStringLiteral("actKWOverlap"));

  auto* lay = new QVBoxLayout(this);
  lay->addWidget(new QLabel(QStringLiteral("透過する色の範囲"), this));
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(4);
  lay->addLayout(grid);
  lay->addStretch(1);

  struct Row {
    const char* label;
    const char* hint;
    TEditRight** low;
    TEditRight** high;
    TUpDown** udLow;
    TUpDown** udHigh;
    QCheckBox** inv;
    QCheckBox** smooth;
    int32_t defLow, defHigh;
  };
  const Row rows[3] = {
      {"R", "赤輝度", &edrRedLow, &edrRedHigh, &udRedLow, &udRedHigh, &cbRedInv, &cbRedSmooth, 0, 127},
      {"G", "緑輝度", &edrGreenLow, &edrGreenHigh, &udGreenLow, &udGreenHigh, &cbGreenInv,
       &cbGreenSmooth, 0, 127},
      {"B", "青輝度", &edrBlueLow, &edrBlueHigh, &udBlueLow, &udBlueHigh, &cbBlueInv, &cbBlueSmooth, 0,
       127},
  };
  int r = 0;
  for (const Row& row : rows) {
    auto* label = new QLabel(QString::fromLatin1(row.label), this);
    label->setToolTip(QString::fromUtf8(row.hint));
    grid->addWidget(label, r, 0);
    auto makeField = [&](TEditRight** edr, TUpDown** ud, int32_t def, int col) {
      *edr = new TEditRight(this);
      (*edr)->setMaxLength(3);
      (*edr)->setFixedWidth(40);
      (*edr)->setText(QString::number(def));
      (*edr)->setToolTip(QString::fromUtf8(row.hint));
      (*edr)->KeyFilter = [](char16_t& k) { return IntKey(k); };
      (*edr)->OnExit = [this] { EditExit(); };
      (*edr)->OnKeyUp = [this](QKeyEvent* e) { EditKeyUp(e); };
      *ud = new TUpDown(0, 255, def, this);
      (*ud)->Associate = *edr;
      (*ud)->OnMouseUp = [this] { UpDownMouseUp(); };
      grid->addWidget(*edr, r, col);
      grid->addWidget(*ud, r, col + 1);
    };
    makeField(row.low, row.udLow, row.defLow, 1);
    grid->addWidget(new QLabel(QStringLiteral("～"), this), r, 3);
    makeField(row.high, row.udHigh, row.defHigh, 4);
    *row.inv = new QCheckBox(QStringLiteral("反転"), this);
    *row.smooth = new QCheckBox(QStringLiteral("スムース"), this);
    for (QCheckBox* cb : {*row.inv, *row.smooth}) {
      QObject::connect(cb, &QCheckBox::clicked, this, [this] { EditExit(); });
    }
    grid->addWidget(*row.inv, r, 6);
    grid->addWidget(*row.smooth, r, 7);
    ++r;
  }
  grid->setColumnStretch(8, 1);
}

void TKWOverlapForm::EditKeyUp(QKeyEvent* e) {
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) RequestPreview();
}

void TKWOverlapForm::ReadControls(TKWOverlapPack& p) {
  p.RLow = IntOfText(edrRedLow->text(), 0);
  p.RHigh = IntOfText(edrRedHigh->text(), 0);
  p.GLow = IntOfText(edrGreenLow->text(), 0);
  p.GHigh = IntOfText(edrGreenHigh->text(), 0);
  p.BLow = IntOfText(edrBlueLow->text(), 0);
  p.BHigh = IntOfText(edrBlueHigh->text(), 0);
  p.RInv = cbRedInv->isChecked();
  p.GInv = cbGreenInv->isChecked();
  p.BInv = cbBlueInv->isChecked();
  p.RSmooth = cbRedSmooth->isChecked();
  p.GSmooth = cbGreenSmooth->isChecked();
  p.BSmooth = cbBlueSmooth->isChecked();
}

void TKWOverlapForm::WriteControls(const TKWOverlapPack& p) {
  applying_ = true;
  auto show = [](TUpDown* ud, TEditRight* edr, int32_t v) {
    ud->SetPosition(v);
    edr->setText(QString::number(v));
  };
  show(udRedLow, edrRedLow, p.RLow);
  show(udRedHigh, edrRedHigh, p.RHigh);
  show(udGreenLow, edrGreenLow, p.GLow);
  show(udGreenHigh, edrGreenHigh, p.GHigh);
  show(udBlueLow, edrBlueLow, p.BLow);
  show(udBlueHigh, edrBlueHigh, p.BHigh);
  cbRedInv->setChecked(p.RInv);
  cbGreenInv->setChecked(p.GInv);
  cbBlueInv->setChecked(p.BInv);
  cbRedSmooth->setChecked(p.RSmooth);
  cbGreenSmooth->setChecked(p.GSmooth);
  cbBlueSmooth->setChecked(p.BSmooth);
  applying_ = false;
}

TKWUnit& OverlapUnit() {
  static TKWFormUnit<TKWOverlapForm, TKWOverlapPack> u("KWOverlap", {{"ShortCut", ""}});
  return u;
}

}  // namespace kwlib
