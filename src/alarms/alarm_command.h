#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "alarms/alarm_types.h"
#include "platform/observer.h"

class QProcess;

namespace dova {

class Scheduler;
class TAlarmEngine;
class Timer;

// Runs a program on every announced raise, re-announcement, acknowledgement and clearing,
// with the details in DOVA300_ALARM_* environment variables. The program is started
// directly, never through a shell: an incubator's name is device text. At most kMaxRunning
// run at once (more wait in order), each is ended after kTimeoutMs, and what it prints is
// thrown away. A failure (cannot start, exit status not 0, crash, time-out) is journaled
// through the engine every time and told once.
class TAlarmCommand {
 public:
  static constexpr int kMaxRunning = 4;
  static constexpr std::uint32_t kTimeoutMs = 30000;
  static constexpr std::size_t kMaxWaiting = 200;

  TAlarmCommand(Scheduler& sched, QString program);
  ~TAlarmCommand();
  TAlarmCommand(const TAlarmCommand&) = delete;
  TAlarmCommand& operator=(const TAlarmCommand&) = delete;

  // Listens to the engine's stream and journals failures through it.
  void Attach(TAlarmEngine& engine);
  // Whether a transition runs the command.
  static bool Runs(const TAlarmTransition& t);
  void Run(const TAlarmTransition& t);

  // The variables a run gets, on top of the program's own environment.
  static QProcessEnvironment Environment(const TAlarmTransition& t,
                                         QProcessEnvironment base = QProcessEnvironment());

  int Running() const { return static_cast<int>(running_.size()); }
  std::size_t Waiting() const { return waiting_.size(); }
  // The first failure, told once (the console prints it, the windows show it).
  TObservers<const QString&> Told;
  // Every failure, with the transition it ran for.
  std::function<void(const TAlarmTransition&, const QString&)> OnFailure;

 private:
  struct TRun;
  void StartWaiting();
  void Finished(TRun* run, const QString& failure);
  void Fail(const TAlarmTransition& t, const QString& why);

  Scheduler& sched_;
  QString program_;
  std::deque<TAlarmTransition> waiting_;
  std::vector<std::unique_ptr<TRun>> running_;
  std::vector<std::unique_ptr<TRun>> finished_;
  bool told_ = false;
  TScopedSubscription subscription_;
};

}  // namespace dova
