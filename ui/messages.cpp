#include "ui/messages.h"

#include <QApplication>
#include <QMessageBox>

namespace {

TMessageHandler& handlerRef() {
  static TMessageHandler h;
  return h;
}

TMsgResult DefaultBox(TMsgKind kind, const std::string& caption, const std::string& text,
                      bool withCancel) {
  QWidget* parent = QApplication::activeWindow();
  const QString cap = caption.empty() ? QApplication::applicationDisplayName()
                                      : QString::fromStdString(caption);
  const QString msg = QString::fromStdString(text);
  switch (kind) {
    case TMsgKind::Info:
      QMessageBox::information(parent, cap, msg);
      return TMsgResult::Ok;
    case TMsgKind::Warning:
      QMessageBox::warning(parent, cap, msg);
      return TMsgResult::Ok;
    case TMsgKind::Error:
      QMessageBox::critical(parent, cap, msg);
      return TMsgResult::Ok;
    case TMsgKind::Question: {
      auto buttons = QMessageBox::Yes | QMessageBox::No;
      if (withCancel) buttons |= QMessageBox::Cancel;
      auto r = QMessageBox::question(parent, cap, msg, buttons,
                                     withCancel ? QMessageBox::Cancel : QMessageBox::No);
      if (r == QMessageBox::Yes) return TMsgResult::Yes;
      if (r == QMessageBox::No) return TMsgResult::No;
      return TMsgResult::Cancel;
    }
  }
  return TMsgResult::Ok;
}

}  // namespace

TMessageHandler SetMessageHandler(TMessageHandler handler) {
  TMessageHandler old = handlerRef();
  handlerRef() = std::move(handler);
  return old;
}

TMsgResult ShowMessageBox(TMsgKind kind, const std::string& text, const std::string& caption,
                          bool withCancel) {
  if (handlerRef()) return handlerRef()(kind, caption, text, withCancel);
  return DefaultBox(kind, caption, text, withCancel);
}
