#include "ui/editright.h"

#include <QKeyEvent>

TEditRight::TEditRight(QWidget* parent) : QLineEdit(parent) { SetAlignment(alignment_); }

void TEditRight::SetAlignment(TAlignment a) {
  alignment_ = a;
  Qt::Alignment h = a == TAlignment::taLeftJustify   ? Qt::AlignLeft
                    : a == TAlignment::taCenter      ? Qt::AlignHCenter
                                                     : Qt::AlignRight;
  setAlignment(h | Qt::AlignVCenter);
}

void TEditRight::keyPressEvent(QKeyEvent* e) {
  const QString text = e->text();
  // Only typed characters go through the filter; Ctrl/Alt combinations,
  // navigation and Enter keep their usual meaning.
  if (KeyFilter && text.size() == 1 && !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
    char16_t c = text.at(0).unicode();
    if (c >= 0x20 || c == 8) {
      if (KeyFilter(c) == 0) {
        e->accept();
        return;
      }
    }
  }
  QLineEdit::keyPressEvent(e);
}

void TEditRight::keyReleaseEvent(QKeyEvent* e) {
  QLineEdit::keyReleaseEvent(e);
  if (OnKeyUp) OnKeyUp(e);
}

void TEditRight::focusOutEvent(QFocusEvent* e) {
  QLineEdit::focusOutEvent(e);
  if (OnExit) OnExit();
}
