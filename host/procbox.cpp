#include "host/procbox.h"

#include <QScrollArea>
#include <QVBoxLayout>

TKWProcBox::TKWProcBox(const QString& title, const QString& objectName, QWidget* parent)
    : QDockWidget(title, parent) {
  setObjectName(objectName);
  pcPages_ = new QTabWidget(this);
  pcPages_->setObjectName("pcPages");
  pcPages_->setUsesScrollButtons(true);
  pcPages_->setDocumentMode(true);
  setWidget(pcPages_);
  connect(pcPages_, &QTabWidget::currentChanged, this, &TKWProcBox::PageActivated);
}

QWidget* TKWProcBox::NewPage() {
  auto* site = new QWidget;
  auto* lay = new QVBoxLayout(site);
  lay->setContentsMargins(0, 0, 0, 0);
  pcPages_->addTab(site, QString());
  return site;
}

QWidget* TKWProcBox::NewScrollPage(int* index) {
  auto* scroller = new QScrollArea;
  scroller->setWidgetResizable(true);
  scroller->setFrameShape(QFrame::NoFrame);
  auto* site = new QWidget;
  auto* lay = new QVBoxLayout(site);
  lay->setContentsMargins(0, 0, 0, 0);
  scroller->setWidget(site);
  const int i = pcPages_->addTab(scroller, QString());
  if (index) *index = i;
  return site;
}

QWidget* TKWProcBox::ScrollPageSite(int i) const {
  auto* page = qobject_cast<QScrollArea*>(pcPages_->widget(i));
  return page ? page->widget() : nullptr;
}

QWidget* TKWProcBox::PanelOfPage(int i) const {
  QWidget* site = pcPages_->widget(i);
  if (!site || !site->layout() || site->layout()->count() == 0) return nullptr;
  return site->layout()->itemAt(0)->widget();
}

void TKWProcBox::UpdatePageNames() {
  for (int i = 0; i < pcPages_->count(); ++i)
    if (QWidget* p = PanelOfPage(i)) pcPages_->setTabText(i, p->windowTitle());
}
