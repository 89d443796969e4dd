#include "proclib/kwpolerform.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>
#include <cmath>

#include "procdef/kwinfo.h"
#include "proclib/kwunits.h"

namespace kwlib {

namespace {

bool NumberOf(const QString& text, double& v) {
  bool ok = false;
  v = text.trimmed().toDouble(&ok);
  return ok && std::isfinite(v);
}

const char* const kMethodNames[kPolerMethods] = {"なし", "比例", "反比例", "指数", "対数", "べき乗", "正弦波"};

TEditRight* Field(QWidget* parent, const QString& text, bool integer, int width = 64) {
  auto* e = new TEditRight(parent);
  e->setText(text);
  e->setFixedWidth(width);
  e->KeyFilter = integer ? IntKey : ValueKey;
  return e;
}

}  // namespace

QString TKWPolerForm::MethodName(int method) {
  return QString::fromUtf8(kMethodNames[method >= 0 && method < kPolerMethods ? method : 0]);
}

TKWPolerForm::TKWPolerForm(TKWPolerPack* pack, TKWUnit* unit) : TKWProcForm(unit) {
  auto proc = TKWProcessor::Create<TKWPoler>(pack);
  proc->View = this;
  proc->OnShowImage = [this](const TBitmap* image) { pbOrigin->ShowImage(image); };
  Setup(std::move(proc), "Poler", "極座標変形");
  AddMenuAction(QStringLiteral("極座標変形"));

  edrOriginX = Field(this, QStringLiteral("500"), true);
  edrOriginY = Field(this, QStringLiteral("500"), true);
  pbOrigin = new TOriginPicker(this, edrOriginX, edrOriginY);
  edrMoveX = Field(this, QStringLiteral("0.0"), false);
  edrMoveY = Field(this, QStringLiteral("0.0"), false);

  auto* g = new QGridLayout;
  g->addWidget(new QLabel(QStringLiteral("原点"), this), 0, 0);
  g->addWidget(new QLabel(QStringLiteral("X"), this), 0, 1);
  g->addWidget(edrOriginX, 0, 2);
  g->addWidget(new QLabel(QStringLiteral("Y"), this), 0, 3);
  g->addWidget(edrOriginY, 0, 4);
  g->addWidget(new QLabel(QStringLiteral("移動"), this), 1, 0);
  g->addWidget(new QLabel(QStringLiteral("X"), this), 1, 1);
  g->addWidget(edrMoveX, 1, 2);
  g->addWidget(new QLabel(QStringLiteral("Y"), this), 1, 3);
  g->addWidget(edrMoveY, 1, 4);
  g->setColumnStretch(5, 1);

  sgStages = new QTableWidget(kPolerStages, 2, this);
  sgStages->setHorizontalHeaderLabels({QStringLiteral("距離R"), QStringLiteral("位相θ")});
  QStringList rowNames;
  for (int n = 1; n <= kPolerStages; ++n) rowNames << QString::number(n);
  sgStages->setVerticalHeaderLabels(rowNames);
  sgStages->setSelectionMode(QAbstractItemView::SingleSelection);
  sgStages->setEditTriggers(QAbstractItemView::NoEditTriggers);
  sgStages->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  for (int n = 0; n < kPolerStages; ++n) {
    sgStages->setRowHeight(n, 20);
    for (int side = 0; side < 2; ++side) {
      auto* item = new QTableWidgetItem(MethodName(0));
      item->setTextAlignment(Qt::AlignCenter);
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      sgStages->setItem(n, side, item);
    }
  }
  sgStages->setFixedHeight(sgStages->horizontalHeader()->sizeHint().height() + kPolerStages * 20 + 4);
  sgStages->setCurrentCell(0, 0);

  rgMethod = new TRadioGroup(QStringLiteral("計算式"),
                             {QStringLiteral("なし"), QStringLiteral("比例   [A * (x + C) + D]"),
                              QStringLiteral("反比例 [A / (x + C) + D]"),
                              QStringLiteral("指数   [A * exp(B * x + C) + D]"),
                              QStringLiteral("対数   [A * ln(B * x + C) + D]"),
                              QStringLiteral("べき乗 [A * (C * x)^B + D]"),
                              QStringLiteral("正弦波 [A * sin(B * x + C) + D]")},
                             this);
  rgVariable = new TRadioGroup(QStringLiteral("計算に使用する値(x)"),
                               {QStringLiteral("距離R"), QStringLiteral("位相θ")}, this, 2);
  edrA = Field(this, QStringLiteral("1.0000"), false, 72);
  edrB = Field(this, QStringLiteral("1.0000"), false, 72);
  edrC = Field(this, QStringLiteral("0.0000"), false, 72);
  edrD = Field(this, QStringLiteral("0.0000"), false, 72);
  auto* consts = new QGridLayout;
  const char* const names[4] = {"A", "B", "C", "D"};
  TEditRight* const fields[4] = {edrA, edrB, edrC, edrD};
  for (int i = 0; i < 4; ++i) {
    consts->addWidget(new QLabel(QString::fromLatin1(names[i]), this), i / 2, (i % 2) * 2);
    consts->addWidget(fields[i], i / 2, (i % 2) * 2 + 1);
  }
  consts->setColumnStretch(4, 1);

  // The controls carry their names, as the form's controls do.
  pbOrigin->setObjectName("pbOrigin");
  edrOriginX->setObjectName("edrOriginX");
  edrOriginY->setObjectName("edrOriginY");
  edrMoveX->setObjectName("edrMoveX");
  edrMoveY->setObjectName("edrMoveY");
  sgStages->setObjectName("sgStages");
  rgMethod->setObjectName("rgMethod");
  rgVariable->setObjectName("rgVariable");
  for (int i = 0; i < 4; ++i) fields[i]->setObjectName(QStringLiteral("edr") + QLatin1String(names[i]));

  auto* lay = new QVBoxLayout(this);
  lay->addWidget(pbOrigin);
  lay->addLayout(g);
  lay->addWidget(sgStages);
  lay->addWidget(rgMethod);
  lay->addWidget(rgVariable);
  lay->addLayout(consts);
  lay->addStretch();

  QObject::connect(sgStages, &QTableWidget::currentCellChanged, this, [this](int row, int col, int, int) {
    if (row >= 0 && col >= 0) SelectCell(row, col);
  });
  rgMethod->OnClick = [this] {
    slotChanged();
    showNames();
  };
  rgVariable->OnClick = [this] { slotChanged(); };
  for (TEditRight* e : fields)
    QObject::connect(e, &QLineEdit::textChanged, this, [this] { slotChanged(); });
  for (TEditRight* e : {edrOriginX, edrOriginY, edrMoveX, edrMoveY})
    QObject::connect(e, &QLineEdit::textChanged, this, [this] { RequestPreview(); });

  for (int n = 0; n < kPolerStages; ++n)
    for (int side = 0; side < 2; ++side) work_[n][side] = pack->Slot(n, side);
  showCell();
  showNames();
}

void TKWPolerForm::SelectCell(int n, int side) {
  if (n < 0 || n >= kPolerStages || side < 0 || side > 1) return;
  if (n == curStage_ && side == curSide_) return;
  storeCell();
  curStage_ = n;
  curSide_ = side;
  if (sgStages->currentRow() != n || sgStages->currentColumn() != side) sgStages->setCurrentCell(n, side);
  showCell();
}

void TKWPolerForm::storeCell() {
  TPolerSlot& s = work_[curStage_][curSide_];
  if (rgMethod->ItemIndex() >= 0) s.Method = rgMethod->ItemIndex();
  if (rgVariable->ItemIndex() >= 0) s.Variable = rgVariable->ItemIndex();
  double v;
  if (NumberOf(edrA->text(), v)) s.A = float(v);
  if (NumberOf(edrB->text(), v)) s.B = float(v);
  if (NumberOf(edrC->text(), v)) s.C = float(v);
  if (NumberOf(edrD->text(), v)) s.D = float(v);
}

void TKWPolerForm::showCell() {
  const bool was = applying_;
  applying_ = true;
  const TPolerSlot& s = work_[curStage_][curSide_];
  rgMethod->SetItemIndex(s.Method);
  rgVariable->SetItemIndex(s.Variable);
  edrA->setText(QString::asprintf("%1.4f", double(s.A)));
  edrB->setText(QString::asprintf("%1.4f", double(s.B)));
  edrC->setText(QString::asprintf("%1.4f", double(s.C)));
  edrD->setText(QString::asprintf("%1.4f", double(s.D)));
  applying_ = was;
}

void TKWPolerForm::showNames() {
  for (int n = 0; n < kPolerStages; ++n)
    for (int side = 0; side < 2; ++side)
      if (QTableWidgetItem* it = sgStages->item(n, side)) it->setText(MethodName(work_[n][side].Method));
}

void TKWPolerForm::slotChanged() {
  if (applying_) return;
  storeCell();
  RequestPreview();
}

void TKWPolerForm::ReadControls(TKWPolerPack& p) {
  pbOrigin->ReadOrigin(p.OriginX, p.OriginY);
  double v;
  p.MoveX = NumberOf(edrMoveX->text(), v) ? float(v) : 0.0f;
  p.MoveY = NumberOf(edrMoveY->text(), v) ? float(v) : 0.0f;
  storeCell();
  for (int n = 0; n < kPolerStages; ++n)
    for (int side = 0; side < 2; ++side) p.SetSlot(n, side, work_[n][side]);
}

void TKWPolerForm::WriteControls(const TKWPolerPack& p) {
  applying_ = true;
  pbOrigin->WriteOrigin(p.OriginX, p.OriginY);
  edrMoveX->setText(QString::asprintf("%.1f", double(p.MoveX)));
  edrMoveY->setText(QString::asprintf("%.1f", double(p.MoveY)));
  for (int n = 0; n < kPolerStages; ++n)
    for (int side = 0; side < 2; ++side) work_[n][side] = p.Slot(n, side);
  showCell();
  showNames();
  applying_ = false;
}

TKWUnit& PolerUnit() {
  static TKWFormUnit<TKWPolerForm, TKWPolerPack> u("Poler", {{"ShortCut", ""}});
  return u;
}

}  // namespace kwlib
