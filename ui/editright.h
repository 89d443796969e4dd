// TEditRight: the single-line edit field of every numeric entry in the
// processor panels.  Its text is right-aligned unless Alignment says
// otherwise; an optional key filter (IntKey or ValueKey) decides which typed
// characters reach the field.
#pragma once

#include <QLineEdit>
#include <functional>

class TEditRight : public QLineEdit {
 public:
  enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

  explicit TEditRight(QWidget* parent = nullptr);

  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);

  // Called with each typed character (backspace as 8); a result of 0
  // discards the key.  Keys without a character (arrows, Enter as a key,
  // shortcuts) are not passed through it.
  std::function<char16_t(char16_t&)> KeyFilter;
  // Called when a key is released over the field (Enter included).
  std::function<void(QKeyEvent*)> OnKeyUp;
  // Called when the field loses the focus.
  std::function<void()> OnExit;

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;

 private:
  TAlignment alignment_ = TAlignment::taRightJustify;
};
