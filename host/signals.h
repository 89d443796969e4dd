// Termination signals turned into an ordinary event of the main thread, so
// that the program can end the way a user's close ends it.
#pragma once

#include <QObject>
#include <initializer_list>
#include <vector>

class QSocketNotifier;

class TKWTerminationSignals : public QObject {
  Q_OBJECT
 public:
  // Catches the signals until destroyed (at most one object at a time).
  explicit TKWTerminationSignals(std::initializer_list<int> sigs, QObject* parent = nullptr);
  ~TKWTerminationSignals() override;

 signals:
  void Received(int signal);

 private:
  std::vector<int> signals_;
  QSocketNotifier* notifier_ = nullptr;
};
