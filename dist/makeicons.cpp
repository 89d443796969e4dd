// Draws the program's icon at the sizes of the hicolor icon theme:
// three translucent discs, red, green and blue, mixing where they overlap,
// on a dark rounded square.
//   makeicons FOLDER SIZE...   writes FOLDER/SIZExSIZE/apps/varoka.png
#include <QColor>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

QImage Icon(int size) {
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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: makeicons FOLDER SIZE...\n");
    return 2;
  }
  for (int i = 2; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    const QString dir = QString("%1/%2x%2/apps").arg(argv[1]).arg(size);
    QDir().mkpath(dir);
    if (!Icon(size).save(dir + "/varoka.png")) {
      std::fprintf(stderr, "makeicons: cannot write %s\n", qPrintable(dir));
      return 1;
    }
  }
  return 0;
}
