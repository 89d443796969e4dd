#include "ui/docking.h"

#include <QLayout>
#include <QVBoxLayout>
#include <QWidget>

void KWDockInto(QWidget* panel, QWidget* site) {
  if (!panel || !site) return;
  QLayout* lay = site->layout();
  if (!lay) {
    lay = new QVBoxLayout(site);
    lay->setContentsMargins(0, 0, 0, 0);
  }
  panel->setWindowFlags(Qt::Widget);
  lay->addWidget(panel);
  panel->show();
}
