#include "ui/aboutbox.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

TKWAboutBox::TKWAboutBox(QWidget* parent, const QImage& picture, const QString& version,
                         const QStringList& libraries, const QString& licence)
    : QDialog(parent) {
  setObjectName("AboutBox");
  setWindowTitle("バージョン情報");
  auto* lay = new QVBoxLayout(this);
  auto* imPicture = new QLabel(this);
  imPicture->setObjectName("imPicture");
  imPicture->setPixmap(QPixmap::fromImage(picture));
  imPicture->setAlignment(Qt::AlignCenter);
  lay->addWidget(imPicture);
  auto* lbName = new QLabel("<b>Varoka</b> " + version.toHtmlEscaped(), this);
  lbName->setObjectName("lbName");
  QFont f = lbName->font();
  f.setPointSizeF(f.pointSizeF() * 1.4);
  lbName->setFont(f);
  lbName->setAlignment(Qt::AlignCenter);
  lay->addWidget(lbName);
  auto* lbPurpose = new QLabel("画像の加工と合成", this);
  lbPurpose->setAlignment(Qt::AlignCenter);
  lay->addWidget(lbPurpose);
  auto* lbLibraries = new QLabel("使用しているライブラリ:\n  " + libraries.join("\n  "), this);
  lbLibraries->setObjectName("lbLibraries");
  lbLibraries->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lay->addWidget(lbLibraries);
  auto* lbLicence = new QLabel(licence, this);
  lbLicence->setObjectName("lbLicence");
  lbLicence->setWordWrap(true);
  lay->addWidget(lbLicence);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  lay->addWidget(buttons);
  lay->setSizeConstraint(QLayout::SetFixedSize);
}
