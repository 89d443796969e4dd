#include "ui/appearance.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTranslator>

#include <cmath>

QImage KWIconImage(int size) {
  QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 256.0, size / 256.0);
  QPainterPath frame;
  frame.addRoundedRect(QRectF(8, 8, 240, 240), 44, 44);
  QLinearGradient ground(0, 8, 0, 248);
  ground.setColorAt(0, QColor(52, 60, 86));
  ground.setColorAt(1, QColor(22, 26, 40));
  p.fillPath(frame, ground);
  p.setPen(Qt::NoPen);
  // Light adds up where the discs overlap.
  p.setCompositionMode(QPainter::CompositionMode_Plus);
  const double r = 62, cx = 128, cy = 136, d = 40;
  const QColor colours[3] = {QColor(230, 40, 40), QColor(40, 200, 60), QColor(50, 90, 240)};
  for (int i = 0; i < 3; ++i) {
    const double a = (-90 + 120 * i) * M_PI / 180;
    p.setBrush(colours[i]);
    p.drawEllipse(QPointF(cx + d * std::cos(a), cy + d * std::sin(a)), r, r);
  }
  p.end();
  return img;
}

QIcon KWProgramIcon() {
  QIcon icon;
  for (int s : {16, 22, 24, 32, 48, 64, 128, 256}) icon.addPixmap(QPixmap::fromImage(KWIconImage(s)));
  return icon;
}

bool KWApplyProgramLook(QCoreApplication* app) {
  if (!app) return false;
  // The application remembers that it has been dressed (no state here).
  const char* const kDone = "kwProgramLook";
  if (app->property(kDone).isValid()) return app->property(kDone).toBool();
  if (qobject_cast<QApplication*>(app)) QApplication::setWindowIcon(KWProgramIcon());
  auto* qt = new QTranslator(app);
  const bool found = qt->load(QLocale(QLocale::Japanese, QLocale::Japan), "qtbase", "_",
                              QLibraryInfo::path(QLibraryInfo::TranslationsPath));
  if (found)
    app->installTranslator(qt);
  else
    delete qt;
  app->setProperty(kDone, found);
  return found;
}
