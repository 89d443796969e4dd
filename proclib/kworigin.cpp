#include "proclib/kworigin.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "platform/sysutils.h"

namespace kwlib {

namespace {

double NumberOfText(const QString& text) {
  bool ok = false;
  const double v = text.trimmed().toDouble(&ok);
  return ok && std::isfinite(v) ? v : 0.0;
}

QString Rounded(double v) {
  return std::isfinite(v) ? QString::number(qint64(Round(std::clamp(v, -1e15, 1e15))))
                          : QStringLiteral("0");
}

}  // namespace

TOriginPicker::TOriginPicker(QWidget* parent, QLineEdit* fieldX, QLineEdit* fieldY)
    : TPaintBox(parent), fieldX_(fieldX), fieldY_(fieldY) {
  setMinimumSize(64, 16);
  OnPaint = [this](QPainter& p) {
    p.fillRect(rect(), QColor(128, 128, 128));
    if (!thumb_.isNull()) p.drawImage(rect(), thumb_);
  };
  auto pick = [this](QMouseEvent* e) {
    if (e->buttons() & Qt::LeftButton) Pick(e->position().x(), e->position().y());
  };
  OnMouseDown = pick;
  OnMouseMove = pick;
  fit();
}

void TOriginPicker::ShowImage(const TBitmap* image) {
  thumb_ = QImage();
  imageW_ = image ? image->Width() : 0;
  imageH_ = image ? image->Height() : 0;
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
  fit();
  update();
}

void TOriginPicker::Pick(double px, double py) {
  if (!ImageKnown() || width() <= 0 || height() <= 0) return;
  const double x = std::clamp(px, 0.0, double(width()));
  const double y = std::clamp(py, 0.0, double(height()));
  fieldX_->setText(QString::asprintf("%1.0f", imageW_ * x / width()));
  fieldY_->setText(QString::asprintf("%1.0f", imageH_ * y / height()));
}

void TOriginPicker::ReadOrigin(float& x, float& y) const {
  const double ox = NumberOfText(fieldX_->text()), oy = NumberOfText(fieldY_->text());
  if (ImageKnown()) {
    x = float(ox / imageW_);
    y = float(oy / imageH_);
  } else {
    x = float(ox / 1000);
    y = float(oy / 1000);
  }
}

void TOriginPicker::WriteOrigin(float x, float y) {
  const bool known = ImageKnown();
  const double sx = known ? imageW_ : 1000, sy = known ? imageH_ : 1000;
  fieldX_->setText(Rounded(sx * double(x)));
  fieldY_->setText(Rounded(sy * double(y)));
  fieldX_->setEnabled(known);
  fieldY_->setEnabled(known);
}

void TOriginPicker::fit() {
  // The picker keeps the proportions of the current image.
  const int w = std::max(width(), 64);
  int h = w * 3 / 4;
  if (ImageKnown()) h = int(std::clamp<int64_t>(int64_t(w) * imageH_ / imageW_, 16, 1024));
  if (h != height() || minimumHeight() != h) setFixedHeight(h);
}

void TOriginPicker::resizeEvent(QResizeEvent* e) {
  TPaintBox::resizeEvent(e);
  fit();
}

}  // namespace kwlib
