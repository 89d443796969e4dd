#include "proclib/kwmaskform.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <cmath>

#include "platform/sysutils.h"
#include "procdef/kwinfo.h"
#include "proclib/kwmedianform.h"
#include "proclib/kwunits.h"

namespace kwlib {

namespace {

float FloatOfText(const QString& text, float def) {
  bool ok = false;
  float v = text.trimmed().toFloat(&ok);
  return ok && std::isfinite(v) ? v : def;
}

int ClampedRound(float v) {
  if (!std::isfinite(v)) return 0;
  return int(std::clamp<int64_t>(Round(v), INT32_MIN, INT32_MAX));
}

TEditRight* ValueField(QWidget* parent, const QString& text, int width) {
  auto* e = new TEditRight(parent);
  e->setText(text);
  e->setFixedWidth(width);
  e->KeyFilter = ValueKey;
  return e;
}

}  // namespace

TKWMaskForm::TKWMaskForm(TMaskPack* pack, TKWUnit* unit) : TKWProcForm(unit) {
  auto proc = TKWProcessor::Create<TMaskFilter>(pack);
  proc->View = this;
  Setup(std::move(proc), "Mask", "近傍マスク");
  const char* captions[6] = {"移動平均", "移動平均(弱)", "輪郭抽出", "輪郭強調", "輪郭強調(弱)",
                             "任意マスク"};
  for (int op = 0; op < 6; ++op) {
    QAction* a = AddMenuAction(QString::fromUtf8(captions[op]));
    // The base wires each action to FormActivate and ExecProc; this one
    // chooses its kernel first.
    QObject::disconnect(a, &QAction::triggered, nullptr, nullptr);
    QObject::connect(a, &QAction::triggered, this, [this, a, op] { MenuExecute(a, op); });
  }

  rgRange = new TRadioGroup(QStringLiteral("近傍形"), RangeItems(), this);
  rgRange->SetItemIndex(0);
  rgOperation = new TRadioGroup(
      QStringLiteral("処理内容"),
      {QStringLiteral("移動平均"), QStringLiteral("移動平均(弱)"), QStringLiteral("輪郭抽出"),
       QStringLiteral("輪郭強調"), QStringLiteral("輪郭強調(弱)"), QStringLiteral("任意のマスク")},
      this);
  rgOperation->SetItemIndex(0);

  auto* grid = new QGridLayout;
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 5; ++c) {
      edrMask[r][c] = ValueField(this, QStringLiteral("0"), 44);
      grid->addWidget(edrMask[r][c], r, c);
    }
  edrAdd = ValueField(this, QStringLiteral("0"), 48);
  udAdd = new TUpDown(-100, 100, 0, this);
  udAdd->Associate = edrAdd;
  edrDiv = ValueField(this, QStringLiteral("1"), 48);
  udDiv = new TUpDown(1, 1000, 1, this);
  udDiv->Associate = edrDiv;
  cbSpray = new QCheckBox(QStringLiteral("中心を強く、外側を弱くする"), this);
  edrPower = ValueField(this, QStringLiteral("1"), 48);
  udPower = new TUpDown(1, 100, 1, this);
  udPower->Associate = edrPower;
  for (auto [e, u] : {std::pair{edrAdd, udAdd}, std::pair{edrDiv, udDiv}, std::pair{edrPower, udPower}})
    u->OnBeforeClick = [e, u] { u->SetPosition(IntOfText(e->text(), u->Position())); };

  auto* lay = new QVBoxLayout(this);
  auto* radios = new QHBoxLayout;
  radios->addWidget(rgRange);
  radios->addWidget(rgOperation);
  lay->addLayout(radios);
  lay->addLayout(grid);
  auto* arith = new QHBoxLayout;
  arith->addWidget(new QLabel(QStringLiteral("全体に"), this));
  arith->addWidget(edrAdd);
  arith->addWidget(udAdd);
  arith->addWidget(new QLabel(QStringLiteral("を加え、"), this));
  arith->addWidget(edrDiv);
  arith->addWidget(udDiv);
  arith->addWidget(new QLabel(QStringLiteral("で割る"), this));
  arith->addStretch();
  lay->addLayout(arith);
  auto* spray = new QHBoxLayout;
  spray->addWidget(cbSpray);
  spray->addWidget(new QLabel(QStringLiteral("強さ"), this));
  spray->addWidget(edrPower);
  spray->addWidget(udPower);
  spray->addStretch();
  lay->addLayout(spray);
  auto* note = new QLabel(
      QStringLiteral("使用する近傍形の各マスク値に上記の演算を行い、合計した値が0から1.0の間になるようにしてください。"),
      this);
  note->setWordWrap(true);
  lay->addWidget(note);
  lay->addStretch();

  rgRange->OnClick = [this] { RequestPreview(); };
  rgOperation->OnClick = [this] {
    updateEnabling();
    RequestPreview();
  };
  QObject::connect(cbSpray, &QCheckBox::toggled, this, [this] { updateEnabling(); });
  updateEnabling();
}

void TKWMaskForm::updateEnabling() {
  const bool free = rgOperation->ItemIndex() == 5;
  for (auto& row : edrMask)
    for (auto* e : row) e->setEnabled(free);
  for (QWidget* w : std::initializer_list<QWidget*>{edrAdd, udAdd, edrDiv, udDiv}) w->setEnabled(free);
  const bool spray = cbSpray->isChecked();
  edrPower->setEnabled(spray);
  udPower->setEnabled(spray);
}

void TKWMaskForm::MenuExecute(QAction* action, int operation) {
  FormActivate();
  if (!ExecProc) return;
  const int old = rgOperation->ItemIndex();
  rgOperation->SetItemIndex(operation);
  struct Restore {
    TRadioGroup* g;
    int i;
    ~Restore() { g->SetItemIndex(i); }
  } restore{rgOperation, old};
  ExecProc(action);
}

void TKWMaskForm::ReadControls(TMaskPack& p) {
  p.Range = rgRange->ItemIndex();
  p.Operation = rgOperation->ItemIndex();
  p.AddValue = FloatOfText(edrAdd->text(), 0.0f);
  p.DivValue = FloatOfText(edrDiv->text(), 1.0f);
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 5; ++c) p.Mask(r, c) = FloatOfText(edrMask[r][c]->text(), 0.0f);
  p.Spray = cbSpray->isChecked();
  p.SprayPower = IntOfText(edrPower->text(), 1);
}

void TKWMaskForm::WriteControls(const TMaskPack& p) {
  applying_ = true;
  rgRange->SetItemIndex(p.Range);
  rgOperation->SetItemIndex(p.Operation);
  udAdd->SetPosition(ClampedRound(p.AddValue));
  edrAdd->setText(QString::fromStdString(FloatToStr(p.AddValue)));
  udDiv->SetPosition(ClampedRound(p.DivValue));
  edrDiv->setText(QString::fromStdString(FloatToStr(p.DivValue)));
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 5; ++c)
      edrMask[r][c]->setText(QString::fromStdString(FloatToStr(p.Mask(r, c))));
  cbSpray->setChecked(p.Spray);
  udPower->SetPosition(p.SprayPower);
  edrPower->setText(QString::number(p.SprayPower));
  updateEnabling();
  applying_ = false;
}

TKWUnit& MaskUnit() {
  static TKWFormUnit<TKWMaskForm, TMaskPack> u(
      "Mask", {{"ShortCut0", ""}, {"ShortCut1", ""}, {"ShortCut2", ""}, {"ShortCut3", ""},
               {"ShortCut4", ""}, {"ShortCut5", ""}});
  return u;
}

}  // namespace kwlib
