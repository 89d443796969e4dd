// The start-up window: a borderless, stay-on-top 320 x 240 picture with a
// right-aligned state text, faded in step by step while the program loads.
#pragma once

#include <QImage>
#include <QLabel>
#include <QWidget>

class TKWSplash : public QWidget {
  Q_OBJECT
 public:
  explicit TKWSplash(const QImage& picture);

  void SetState(const QString& text);  // state text, redrawn at once
  void Advance();                      // opacity + 4 while below 256, redraw
  void SetLoading(bool on) { loading_ = on; }
  bool Loading() const { return loading_; }
  int OpacityValue() const { return opacity_; }
  QString StateText() const { return label_->text(); }
  const QImage& Picture() const { return picture_; }
  // Clears the loading mark, waits 500 ms and closes the window.
  void Finish();

 signals:
  // Every state text as it is shown, with the opacity at that moment.
  void StateShown(const QString& text, int opacity);

 protected:
  void paintEvent(QPaintEvent*) override;
  void changeEvent(QEvent* e) override;

 private:
  void redrawNow();
  QImage picture_;
  QLabel* label_;
  int opacity_ = 32;
  bool loading_ = false;
};
