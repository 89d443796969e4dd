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

// A batch run has no event loop while its script runs, so these signals end
// it from a thread of their own: the thread removes the files the process
// owns (its swap folder, temporary files beside targets) and exits with
// 128 + the signal.  Call before any other thread starts: the signals stay
// blocked in every thread started afterwards.
void KWEndOnSignalsRemovingOwnedFiles(std::initializer_list<int> sigs);
