#include "document/intedit.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "platform/types.h"
#include "procdef/kwinfo.h"

TIntEdit::TIntEdit(int min, int max, QWidget* parent, int maxLength)
    : QWidget(parent), min_(min), max_(max) {
  auto* lay = new QHBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->setSpacing(0);
  edit_ = new QLineEdit(this);
  edit_->setAlignment(Qt::AlignRight);
  edit_->setMaxLength(maxLength);
  edit_->setMinimumWidth(60);
  edit_->setMaximumWidth(90);
  edit_->installEventFilter(this);
  lay->addWidget(edit_);
  auto* ud = new QVBoxLayout;
  ud->setSpacing(0);
  up_ = new QToolButton(this);
  up_->setArrowType(Qt::UpArrow);
  down_ = new QToolButton(this);
  down_->setArrowType(Qt::DownArrow);
  for (QToolButton* b : {up_, down_}) {
    b->setFixedSize(16, 12);
    b->setAutoRepeat(true);
    b->setFocusPolicy(Qt::NoFocus);
    ud->addWidget(b);
  }
  lay->addLayout(ud);
  connect(up_, &QToolButton::clicked, this, [this] { Step(1); });
  connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
  setFocusProxy(edit_);
}

QString TIntEdit::text() const { return edit_->text(); }
void TIntEdit::setText(const QString& t) { edit_->setText(t); }

int TIntEdit::Value() const {
  bool ok = false;
  int v = edit_->text().trimmed().toInt(&ok);
  if (!ok)
    throw EConvertError("'" + edit_->text().toStdString() + "' は整数ではありません。");
  return v;
}

void TIntEdit::Step(int delta) {
  bool ok = false;
  long long v = edit_->text().trimmed().toLongLong(&ok);
  if (!ok) v = min_;
  v += delta;
  if (v < min_) v = min_;
  if (v > max_) v = max_;
  edit_->setText(QString::number(v));
}

bool TIntEdit::eventFilter(QObject* o, QEvent* e) {
  if (o == edit_ && e->type() == QEvent::KeyPress) {
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->key() == Qt::Key_Up) {
      Step(1);
      return true;
    }
    if (k->key() == Qt::Key_Down) {
      Step(-1);
      return true;
    }
    const QString t = k->text();
    if (t.size() == 1 && t[0].isPrint()) {
      char16_t c = t[0].unicode();
      if (IntKey(c) == 0) return true;  // filtered out
    }
  }
  return QWidget::eventFilter(o, e);
}

void TIntEdit::changeEvent(QEvent* e) {
  QWidget::changeEvent(e);
  if (e->type() == QEvent::EnabledChange) {
    up_->setEnabled(isEnabled());
    down_->setEnabled(isEnabled());
  }
}
