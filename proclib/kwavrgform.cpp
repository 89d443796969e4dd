#include "proclib/kwavrgform.h"

#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "proclib/kwunits.h"

namespace kwlib {

TKWAverageForm::TKWAverageForm(TAveragePack* pack, TKWUnit* unit) : TKWProcForm(unit) {
  auto proc = TKWProcessor::Create<TAverageMixer>(pack);
  proc->View = this;
  Setup(std::move(proc), "Average", "平均値による合成");
  setWindowTitle(QStringLiteral("平均"));
  auto addAction = [this](const QString& caption, int mode) {
    auto* a = new QAction(caption, this);
    QObject::connect(a, &QAction::triggered, this, [this, a, mode] { ExecuteMode(a, mode); });
    alMenuAction.push_back(a);
    return a;
  };
  actAverage = addAction(QStringLiteral("平均(&E)"), 0);
  actWeitedAverage = addAction(QStringLiteral("重み付き平均(&W)"), 1);
  actMeanSqr = addAction(QStringLiteral("2乗平均(&S)"), 2);

  rgOpMode = new TRadioGroup(
      QStringLiteral("演算方法"),
      {QStringLiteral("単純平均"), QStringLiteral("重み付き"), QStringLiteral("2乗平均")}, this);
  rgOpMode->SetItemIndex(0);
  auto* weights = new QGridLayout;
  weights->addWidget(new QLabel(QStringLiteral("重み"), this), 0, 0, 1, 3);
  auto makeField = [this, weights](const QString& label, TEditRight*& edr, TUpDown*& ud, int row) {
    edr = new TEditRight(this);
    edr->setMaxLength(3);
    edr->setFixedWidth(40);
    edr->setText(QStringLiteral("1"));
    edr->KeyFilter = [](char16_t& k) { return IntKey(k); };
    ud = new TUpDown(1, 100, 1, this);
    ud->Associate = edr;
    weights->addWidget(new QLabel(label, this), row, 0);
    weights->addWidget(edr, row, 1);
    weights->addWidget(ud, row, 2);
    QObject::connect(edr, &QLineEdit::textChanged, this, [this] { RequestPreview(); });
  };
  makeField(QStringLiteral("背景"), edrBGWait, udBGWait, 1);
  makeField(QStringLiteral("前景"), edrFGWait, udFGWait, 2);
  weights->setColumnStretch(3, 1);
  auto* lay = new QVBoxLayout(this);
  lay->addWidget(rgOpMode);
  lay->addLayout(weights);
  lay->addStretch(1);
  rgOpMode->OnClick = [this] { RequestPreview(); };
}

void TKWAverageForm::ExecuteMode(QAction* Sender, int mode) {
  FormActivate();
  const int saved = rgOpMode->ItemIndex();
  struct Restore {
    TKWAverageForm* f;
    int index;
    ~Restore() {
      f->applying_ = true;
      f->rgOpMode->SetItemIndex(index);
      f->applying_ = false;
    }
  } restore{this, saved};
  applying_ = true;
  rgOpMode->SetItemIndex(mode);
  applying_ = false;
  if (ExecProc) ExecProc(Sender);
}

void TKWAverageForm::ReadControls(TAveragePack& p) {
  p.Mode = rgOpMode->ItemIndex();
  p.BGWait = IntOfText(edrBGWait->text(), 1);
  p.FGWait = IntOfText(edrFGWait->text(), 1);
}

void TKWAverageForm::WriteControls(const TAveragePack& p) {
  applying_ = true;
  rgOpMode->SetItemIndex(p.Mode);
  udBGWait->SetPosition(p.BGWait);
  edrBGWait->setText(QString::number(p.BGWait));
  udFGWait->SetPosition(p.FGWait);
  edrFGWait->setText(QString::number(p.FGWait));
  applying_ = false;
}

TKWUnit& AverageUnit() {
  static TKWFormUnit<TKWAverageForm, TAveragePack> u(
      "Average", {{"ShortCut1", ""}, {"ShortCut2", ""}, {"ShortCut3", ""}});
  return u;
}

}  // namespace kwlib
