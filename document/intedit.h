// TIntEdit: a right-aligned number edit with an up-down control.  Typing is
// limited to what the integer key filter lets through (digits, '-',
// backspace); the up-down and the arrow keys step within [min, max].
#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

class TIntEdit : public QWidget {
  Q_OBJECT
 public:
  TIntEdit(int min, int max, QWidget* parent = nullptr, int maxLength = 10);
  QString text() const;
  void setText(const QString& t);
  // The integer in the edit; raises EConvertError when the text is not one.
  int Value() const;
  void Step(int delta);
  QLineEdit* Edit() const { return edit_; }
  int Min() const { return min_; }
  int Max() const { return max_; }

 protected:
  bool eventFilter(QObject* o, QEvent* e) override;
  void changeEvent(QEvent* e) override;

 private:
  QLineEdit* edit_;
  QToolButton* up_;
  QToolButton* down_;
  int min_, max_;
};
