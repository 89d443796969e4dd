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
  proc->OnShowImage = [this](const TBitmap* image) { showImage(image); };
  Setup(std::move(proc), "Affine", "アフィン変換");
  AddMenuAction(QStringLiteral("アフィン変換"));

  pbOrigin = new TPaintBox(this);
  pbOrigin->setMinimumSize(64, 16);
  edrOriginX = Field(this, QStringLiteral("0"), true);
  edrOriginY = Field(this, QStringLiteral("0"), true);
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

  pbOrigin->OnPaint = [this](QPainter& p) {
    p.fillRect(pbOrigin->rect(), QColor(128, 128, 128));
    if (!thumb_.isNull()) p.drawImage(pbOrigin->rect(), thumb_);
  };
  auto pick = [this](QMouseEvent* e) {
    if (e->buttons() & Qt::LeftButton) PickOrigin(e->position().x(), e->position().y());
  };
  pbOrigin->OnMouseDown = pick;
  pbOrigin->OnMouseMove = pick;
  for (QCheckBox* c : {cbZoom, cbRotate, cbSlash, cbMove})
    QObject::connect(c, &QCheckBox::toggled, this, [this] { RequestPreview(); });
  for (TEditRight* e : {edrOriginX, edrOriginY, edrZoom, edrRotate, edrSlashX, edrSlashY, edrMoveX,
                        edrMoveY})
    QObject::connect(e, &QLineEdit::textChanged, this, [this] { RequestPreview(); });
  showImage(nullptr);
}

void TKWAffineForm::PickOrigin(double px, double py) {
  if (!proc_->ImageKnown() || pbOrigin->width() <= 0 || pbOrigin->height() <= 0) return;
  const double x = std::clamp(px, 0.0, double(pbOrigin->width()));
  const double y = std::clamp(py, 0.0, double(pbOrigin->height()));
  edrOriginX->setText(QString::asprintf("%1.0f", proc_->ImageWidth() * x / pbOrigin->width()));
  edrOriginY->setText(QString::asprintf("%1.0f", proc_->ImageHeight() * y / pbOrigin->height()));
}

void TKWAffineForm::showImage(const TBitmap* image) {
  thumb_ = QImage();
  if (image && !image->Empty()) {
    // A small copy is all the picker needs; the image itself may go away.
    const int tw = std::min(image->Width(), 256), th = std::min(image->Height(), 256);
    thumb_ = QImage(tw, th, QImage::Format_RGB32);
    for (int y = 0; y < th; ++y) {
      auto* line = reinterpret_cast<uint32_t*>(thumb_.scanLine(y));
      const int sy = int(int64_t(y) * image->Height() / th);
      for (int x = 0; x < tw; ++x)
        line[x] = 0xFF000000u | image->PixelBGRA(int(int64_t(x) * image->Width() / tw), sy);
    }
  }
  fitPicker();
  pbOrigin->update();
}

void TKWAffineForm::fitPicker() {
  // The picker keeps the proportions of the current image.
  const int w = std::max(pbOrigin->width(), 64);
  int h = w * 3 / 4;
  if (proc_ && proc_->ImageKnown())
    h = int(std::clamp<int64_t>(int64_t(w) * proc_->ImageHeight() / proc_->ImageWidth(), 16, 1024));
  pbOrigin->setFixedHeight(h);
}

void TKWAffineForm::resizeEvent(QResizeEvent* e) {
  TKWProcForm::resizeEvent(e);
  fitPicker();
}

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
  const double ox = NumberOfText(edrOriginX->text(), 0.0), oy = NumberOfText(edrOriginY->text(), 0.0);
  if (proc_->ImageKnown()) {
    p.OriginX = float(ox / proc_->ImageWidth());
    p.OriginY = float(oy / proc_->ImageHeight());
  } else {
    p.OriginX = float(ox / 1000);
    p.OriginY = float(oy / 1000);
  }
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
  const bool known = proc_->ImageKnown();
  const double sx = known ? proc_->ImageWidth() : 1000, sy = known ? proc_->ImageHeight() : 1000;
  auto rounded = [](double v) {
    return std::isfinite(v) ? QString::number(qint64(Round(std::clamp(v, -1e15, 1e15))))
                            : QStringLiteral("0");
  };
  edrOriginX->setText(rounded(sx * double(p.OriginX)));
  edrOriginY->setText(rounded(sy * double(p.OriginY)));
  edrOriginX->setEnabled(known);
  edrOriginY->setEnabled(known);
  applying_ = false;
}

TKWUnit& AffineUnit() {
  static TKWFormUnit<TKWAffineForm, TAffinePack> u("Affine", {{"ShortCut", ""}});
  return u;
}

}  // namespace kwlib
