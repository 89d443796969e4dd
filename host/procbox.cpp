#include "host/procbox.h"

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

QWidget* TKWProcBox::PanelOfPage(int i) const {
  QWidget* site = pcPages_->widget(i);
  if (!site || !site->layout() || site->layout()->count() == 0) return nullptr;
  return site->layout()->itemAt(0)->widget();
}

void TKWProcBox::UpdatePageNames() {
  for (int i = 0; i < pcPages_->count(); ++i)
    if (QWidget* p = PanelOfPage(i)) pcPages_->setTabText(i, p->windowTitle());
}

TKWGeneratorHostBox::TKWGeneratorHostBox(QWidget* parent)
    : TKWProcBox("ジェネレータ", "TGeneratorBox", parent) {}

void TKWGeneratorHostBox::AddGenerator(TGeneratorInfo* info) {
  if (!info->Regist) return;
  QWidget* site = NewPage();
  info->Regist(site, [this](TKWBasicGenerator* g) { current_ = g; },
               [this](QObject* sender) {
                 if (OnExecute) OnExecute(sender);
               });
  UpdatePageNames();
}
