#include "proclib/kwaffineform.h"

#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>
#include <cmath>

#include "platform/bitmap.h"
#include "platform/sysutils.h"
#include "procdef/kwinfo.h"
#include "proclib/kwunits.h"

namespace kwlib {

namespace {

double NumberOfText(const QString& text, double def) {
  bool ok = false;
  double v = text.trimmed().toDouble(&ok);
  return ok && std::isfinite(v) ? v : def;
}

TEditRight* Field(QWidget* parent, const QString& text, bool integer) {
  auto* e = new TEditRight(parent);
  e->setText(text);
  e->setFixedWidth(64);
  e->KeyFilter = integer ? IntKey : ValueKey;
  return e;
}

}  // namespace

TKWAffineForm::TKWAffineForm(TAffinePack* pack, TKWUnit* unit) : TKWProcForm(unit) {
  auto proc = TKWProcessor::Create<TKWAffine>(pack);
  proc->View = this;
  proc->MoveChecked = [this] { return cbMove->isChecked(); };
  proc->OnShowImage = [this](const TBitmap* image) { pbOrigin->ShowImage(image); };
  Setup(std::move(proc), "Affine", "アフィン変換");
  AddMenuAction(QStringLiteral("アフィン変換"));

  edrOriginX = Field(this, QStringLiteral("0"), true);
  edrOriginY = Field(this, QStringLiteral("0"), true);
  pbOrigin = new TOriginPicker(this, edrOriginX, edrOriginY);
  cbZoom = new QCheckBox(QStringLiteral("拡大縮小"), this);
  cbZoom->setChecked(true);
  edrZoom = Field(this, QStringLiteral("100.00"), false);
  cbRotate = new QCheckBox(QStringLiteral("回転"), this);
  cbRotate->setChecked(true);
  edrRotate = Field(this, QStringLiteral("0.00"), false);
  cbSlash = new QCheckBox(QStringLiteral("せん断変形"), this);
  edrSlashX = Field(this, QStringLiteral("0.00"), false);
  edrSlashY = Field(this, QStringLiteral("0.00"), false);
  cbMove = new QCheckBox(QStringLiteral("移動"), this);
  edrMoveX = Field(this, QStringLiteral("0"), true);
  edrMoveY = Field(this, QStringLiteral("0"), true);

  auto* g = new QGridLayout;
  int row = 0;
  g->addWidget(new QLabel(QStringLiteral("原点"), this), row, 0);
  g->addWidget(new QLabel(QStringLiteral("X"), this), row, 1);
  g->addWidget(edrOriginX, row, 2);
  g->addWidget(new QLabel(QStringLiteral("Y"), this), row, 3);
  g->addWidget(edrOriginY, row++, 4);
  g->addWidget(cbZoom, row, 0);
  g->addWidget(edrZoom, row, 2);
  g->addWidget(new QLabel(QStringLiteral("%"), this), row++, 3);
  g->addWidget(cbRotate, row, 0);
  g->addWidget(edrRotate, row, 2);
  g->addWidget(new QLabel(QStringLiteral("度"), this), row++, 3);
  g->addWidget(cbSlash, row, 0);
  g->addWidget(new QLabel(QStringLiteral("X"), this), row, 1);
  g->addWidget(edrSlashX, row, 2);
  g->addWidget(new QLabel(QStringLiteral("Y"), this), row, 3);
  g->addWidget(edrSlashY, row, 4);
  g->addWidget(new QLabel(QStringLiteral("%"), this), row++, 5);
  g->addWidget(cbMove, row, 0);
  g->addWidget(new QLabel(QStringLiteral("X"), this), row, 1);
  g->addWidget(edrMoveX, row, 2);
  g->addWidget(new QLabel(QStringLiteral("Y"), this), row, 3);
  g->addWidget(edrMoveY, row, 4);
  g->addWidget(new QLabel(QStringLiteral("Pixel"), this), row++, 5);

  auto* lay = new QVBoxLayout(this);
  lay->addWidget(pbOrigin);
  lay->addLayout(g);
  lay->addWidget(new QLabel(QStringLiteral("注：移動を行うときはプレビューできません"), this));
  lay->addStretch();

  for (QCheckBox* c : {cbZoom, cbRotate, cbSlash, cbMove})
    QObject::connect(c, &QCheckBox::toggled, this, [this] { RequestPreview(); });
  for (TEditRight* e : {edrOriginX, edrOriginY, edrZoom, edrRotate, edrSlashX, edrSlashY, edrMoveX,
                        edrMoveY})
    QObject::connect(e, &QLineEdit::textChanged, this, [this] { RequestPreview(); });
}

void TKWAffineForm::PickOrigin(double px, double py) { pbOrigin->Pick(px, py); }

void TKWAffineForm::ReadControls(TAffinePack& p) {
  p.ExecZoom = cbZoom->isChecked();
  p.ZoomRate = float(NumberOfText(edrZoom->text(), 100.0) / 100.0);
  p.ExecRotate = cbRotate->isChecked();
  p.RotateAngle = float(NumberOfText(edrRotate->text(), 0.0));
  p.ExecSlash = cbSlash->isChecked();
  p.SlashX = float(NumberOfText(edrSlashX->text(), 0.0) / 100.0);
  p.SlashY = float(NumberOfText(edrSlashY->text(), 0.0) / 100.0);
  p.ExecMove = cbMove->isChecked();
  p.MoveX = IntOfText(edrMoveX->text(), 0);
  p.MoveY = IntOfText(edrMoveY->text(), 0);
  pbOrigin->ReadOrigin(p.OriginX, p.OriginY);
}

void TKWAffineForm::WriteControls(const TAffinePack& p) {
  applying_ = true;
  cbZoom->setChecked(p.ExecZoom);
  edrZoom->setText(QString::asprintf("%.2f", double(p.ZoomRate) * 100));
  cbRotate->setChecked(p.ExecRotate);
  edrRotate->setText(QString::asprintf("%.2f", double(p.RotateAngle)));
  cbSlash->setChecked(p.ExecSlash);
  edrSlashX->setText(QString::asprintf("%.2f", double(p.SlashX) * 100));
  edrSlashY->setText(QString::asprintf("%.2f", double(p.SlashY) * 100));
  cbMove->setChecked(p.ExecMove);
  edrMoveX->setText(QString::number(p.MoveX));
  edrMoveY->setText(QString::number(p.MoveY));
  pbOrigin->WriteOrigin(p.OriginX, p.OriginY);
  applying_ = false;
}

TKWUnit& AffineUnit() {
  static TKWFormUnit<TKWAffineForm, TAffinePack> u("Affine", {{"ShortCut", ""}});
  return u;
}

}  // namespace kwlib
