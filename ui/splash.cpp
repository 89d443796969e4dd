#include "ui/splash.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QScreen>
#include <QThread>

TKWSplash::TKWSplash(const QImage& picture)
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::SplashScreen),
      picture_(picture) {
  setObjectName("TKWSplash");
  setFixedSize(320, 240);
  label_ = new QLabel("Loading Units  ...", this);
  label_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label_->setGeometry(8, 240 - 24, 320 - 16, 18);
  label_->setStyleSheet("color: white; background: transparent;");
  if (QScreen* s = QGuiApplication::primaryScreen()) {
    QRect g = s->availableGeometry();
    move(g.center() - QPoint(160, 120));
  }
  setWindowOpacity(opacity_ / 255.0);
}

void TKWSplash::SetState(const QString& text) {
  label_->setText(text);
  redrawNow();
  emit StateShown(text, opacity_);
}

void TKWSplash::Advance() {
  opacity_ += 4;
  if (opacity_ < 256) setWindowOpacity(opacity_ / 255.0);
  redrawNow();
}

void TKWSplash::redrawNow() {
  if (isVisible()) repaint();
}

void TKWSplash::Finish() {
  loading_ = false;
  QThread::msleep(500);
  close();
}

void TKWSplash::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (!picture_.isNull())
    p.drawImage(rect(), picture_);
  else
    p.fillRect(rect(), QColor(32, 48, 96));
}

void TKWSplash::changeEvent(QEvent* e) {
  // While loading, the splash keeps the focus.
  if (e->type() == QEvent::ActivationChange && loading_ && !isActiveWindow() && isVisible()) {
    activateWindow();
    raise();
    redrawNow();
  }
  QWidget::changeEvent(e);
}
