#include "proclib/kwform.h"

#include <QApplication>
#include <algorithm>
#include <QGridLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

namespace kwlib {

TKWPanel::TKWPanel(TKWUnit* unit) : QWidget(nullptr), unit_(unit) {
  // Entering any control of the panel activates it, as a docked form is
  // activated by the focus.
  QObject::connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
    if (now && isAncestorOf(now) && !(old && isAncestorOf(old))) FormActivate();
  });
}

QAction* TKWPanel::AddMenuAction(const QString& caption) {
  auto* a = new QAction(caption, this);
  QObject::connect(a, &QAction::triggered, this, [this, a] {
    FormActivate();
    if (ExecProc) ExecProc(a);
  });
  alMenuAction.push_back(a);
  return a;
}

void TKWPanel::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  SyncSettings();
  std::vector<std::string> texts;
  for (QAction* a : alMenuAction) texts.push_back(ShortCutToText(a->shortcut()));
  if (unit_) unit_->RecordShortCuts(texts);
  StopWorkers();
  ReleaseProcessor();
}

void TKWPanel::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  FormActivate();
}

TUpDown::TUpDown(int min, int max, int position, QWidget* parent)
    : QWidget(parent), min_(min), max_(max), pos_(position) {
  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->setSpacing(0);
  up_ = new QToolButton(this);
  down_ = new QToolButton(this);
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  for (QToolButton* b : {up_, down_}) {
    b->setAutoRepeat(true);
    b->setFixedSize(16, 11);
    lay->addWidget(b);
  }
  QObject::connect(up_, &QToolButton::clicked, this, [this] { step(true); });
  QObject::connect(down_, &QToolButton::clicked, this, [this] { step(false); });
  QObject::connect(up_, &QToolButton::released, this, [this] { if (OnMouseUp) OnMouseUp(); });
  QObject::connect(down_, &QToolButton::released, this, [this] { if (OnMouseUp) OnMouseUp(); });
}

void TUpDown::SetPosition(int p) {
  pos_ = std::clamp(p, min_, max_);
  if (Associate) Associate->setText(Format ? Format(pos_) : QString::number(pos_));
}

void TUpDown::step(bool up) {
  if (OnBeforeClick) OnBeforeClick();
  SetPosition(pos_ + (up ? 1 : -1));
  if (OnClick) OnClick(up);
}

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent,
                         int columns)
    : QGroupBox(caption, parent) {
  auto* lay = new QGridLayout(this);
  int rows = (int(items.size()) + columns - 1) / columns;
  for (int i = 0; i < items.size(); ++i) {
    auto* b = new QRadioButton(items[i], this);
    lay->addWidget(b, i % rows, i / rows);
    QObject::connect(b, &QRadioButton::clicked, this, [this] { if (OnClick) OnClick(); });
    buttons_.push_back(b);
  }
}

int TRadioGroup::ItemIndex() const {
  for (size_t i = 0; i < buttons_.size(); ++i)
    if (buttons_[i]->isChecked()) return int(i);
  return -1;
}

void TRadioGroup::SetItemIndex(int i) {
  if (i >= 0 && i < int(buttons_.size())) {
    buttons_[i]->setChecked(true);
  } else {
    for (auto* b : buttons_) {
      b->setAutoExclusive(false);
      b->setChecked(false);
      b->setAutoExclusive(true);
    }
  }
}

void TPaintBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (OnPaint) OnPaint(p);
}
void TPaintBox::mousePressEvent(QMouseEvent* e) {
  if (OnMouseDown) OnMouseDown(e);
}
void TPaintBox::mouseMoveEvent(QMouseEvent* e) {
  if (OnMouseMove) OnMouseMove(e);
}
void TPaintBox::mouseReleaseEvent(QMouseEvent* e) {
  if (OnMouseUp) OnMouseUp(e);
}

int IntOfText(const QString& text, int def) {
  bool ok = false;
  int v = text.trimmed().toInt(&ok);
  return ok ? v : def;
}

}  // namespace kwlib
