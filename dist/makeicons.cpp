// Writes the program's icon (the same picture the windows show) at the
// sizes of the hicolor icon theme.
//   makeicons FOLDER SIZE...   writes FOLDER/SIZExSIZE/apps/varoka.png
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <cstdlib>

#include "ui/appearance.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: makeicons FOLDER SIZE...\n");
    return 2;
  }
  QGuiApplication app(argc, argv);
  for (int i = 2; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    const QString dir = QString("%1/%2x%2/apps").arg(argv[1]).arg(size);
    QDir().mkpath(dir);
    if (size <= 0 || !KWIconImage(size).save(dir + "/varoka.png")) {
      std::fprintf(stderr, "makeicons: cannot write %s\n", qPrintable(dir));
      return 1;
    }
  }
  return 0;
}
