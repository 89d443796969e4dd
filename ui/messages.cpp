#include "ui/messages.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

TMsgResult KWShowQtMessageBox(TMsgKind kind, const std::string& caption, const std::string& text,
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
      QMessageBox box(QMessageBox::Question, cap, msg, QMessageBox::NoButton, parent);
      QPushButton* yes = box.addButton("はい(&Y)", QMessageBox::YesRole);
      QPushButton* no = box.addButton("いいえ(&N)", QMessageBox::NoRole);
      QPushButton* cancel = withCancel ? box.addButton("キャンセル", QMessageBox::RejectRole) : nullptr;
      box.setDefaultButton(cancel ? cancel : no);
      box.setEscapeButton(cancel ? static_cast<QAbstractButton*>(cancel) : no);
      box.exec();
      if (box.clickedButton() == yes) return TMsgResult::Yes;
      if (box.clickedButton() == no) return TMsgResult::No;
      return withCancel ? TMsgResult::Cancel : TMsgResult::No;
    }
  }
  return TMsgResult::Ok;
}
