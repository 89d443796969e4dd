// The about box: the program's picture, name and version, the libraries it
// uses with their versions, and the licence line.
#pragma once

#include <QDialog>
#include <QImage>
#include <QString>
#include <QStringList>

class TKWAboutBox : public QDialog {
 public:
  // libraries: one line each, "name version".
  TKWAboutBox(QWidget* parent, const QImage& picture, const QString& version,
              const QStringList& libraries, const QString& licence);
};
