#include "alarms/alarm_command.h"

#include <QProcess>
#include <algorithm>

#include "alarms/alarm_engine.h"
#include "alarms/alarm_journal.h"
#include "platform/scheduler.h"
#include "platform/timer.h"

namespace dova {

struct TAlarmCommand::TRun {
  TAlarmTransition Transition;
  std::unique_ptr<QProcess> Process;
  std::unique_ptr<Timer> Deadline;
  bool TimedOut = false;
  bool Done = false;
};

TAlarmCommand::TAlarmCommand(Scheduler& sched, QString program)
    : sched_(sched), program_(std::move(program)) {}

TAlarmCommand::~TAlarmCommand() {
  subscription_.Reset();
  for (auto& run : running_) {
    run->Process->disconnect();
    run->Process->kill();
    run->Process->waitForFinished(1000);
  }
}

void TAlarmCommand::Attach(TAlarmEngine& engine) {
  subscription_ = TScopedSubscription(engine.Stream(), [this](const TAlarmTransition& t) {
    if (Runs(t)) Run(t);
  });
  OnFailure = [&engine](const TAlarmTransition& t, const QString& why) {
    engine.CommandFailed(t, why);
  };
}

bool TAlarmCommand::Runs(const TAlarmTransition& t) {
  if (!t.Announce || !t.Key) return false;
  switch (t.Transition) {
    case TAlarmTransitionKind::Raised:
    case TAlarmTransitionKind::Reannounced:
    case TAlarmTransitionKind::Acknowledged:
    case TAlarmTransitionKind::Cleared:
      return true;
    default:
      return false;
  }
}

QProcessEnvironment TAlarmCommand::Environment(const TAlarmTransition& t, QProcessEnvironment env) {
  const auto set = [&env](const char* name, const QString& value) {
    env.insert(QStringLiteral("DOVA300_ALARM_") + QLatin1String(name), value);
  };
  set("KIND", t.Key ? KindText(t.Key->Kind) : QString());
  set("TRANSITION", TransitionText(t.Transition));
  set("SERIAL", t.Serial);
  set("NAME", t.Name);
  set("SIDE", t.Key ? SideText(t.Key->Side) : QString());
  set("VALUE", t.Value);
  set("LIMIT", t.Limit);
  set("PRIORITY", PriorityText(t.Priority));
  set("TIME", JournalTime(t.Time));
  set("USER", t.User);
  set("COMMENT", t.Comment);
  set("STATE", StateText(t.State));
  return env;
}

void TAlarmCommand::Run(const TAlarmTransition& t) {
  if (program_.isEmpty()) return;
  // Runs whose process told its end earlier; never freed inside their own signal.
  finished_.clear();
  if (waiting_.size() >= kMaxWaiting) {
    Fail(t, QStringLiteral("too many alarm commands waiting; this one was not run"));
    return;
  }
  waiting_.push_back(t);
  StartWaiting();
}

void TAlarmCommand::StartWaiting() {
  while (static_cast<int>(running_.size()) < kMaxRunning && !waiting_.empty()) {
    auto run = std::make_unique<TRun>();
    run->Transition = std::move(waiting_.front());
    waiting_.pop_front();
    run->Process = std::make_unique<QProcess>();
    QProcess& p = *run->Process;
    p.setProgram(program_);
    p.setArguments({});
    p.setProcessEnvironment(Environment(run->Transition, QProcessEnvironment::systemEnvironment()));
    // Whatever it prints goes nowhere: a command that floods its output cannot stall us.
    p.setStandardInputFile(QProcess::nullDevice());
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    TRun* raw = run.get();
    QObject::connect(&p, &QProcess::finished, [this, raw](int code, QProcess::ExitStatus status) {
      if (raw->TimedOut) {
        Finished(raw, QStringLiteral("ended after %1 s").arg(kTimeoutMs / 1000));
      } else if (status != QProcess::NormalExit) {
        Finished(raw, QStringLiteral("crashed"));
      } else if (code != 0) {
        Finished(raw, QStringLiteral("exit status %1").arg(code));
      } else {
        Finished(raw, QString());
      }
    });
    QObject::connect(&p, &QProcess::errorOccurred, [this, raw](QProcess::ProcessError error) {
      if (error == QProcess::FailedToStart) {
        Finished(raw, QStringLiteral("cannot be started (%1)").arg(raw->Process->errorString()));
      }
    });
    run->Deadline = std::make_unique<Timer>(sched_, kTimeoutMs, false);
    run->Deadline->SetOnTimer([raw] {
      raw->Deadline->SetEnabled(false);
      raw->TimedOut = true;
      raw->Process->kill();
    });
    running_.push_back(std::move(run));
    raw->Deadline->SetEnabled(true);
    p.start();
  }
}

void TAlarmCommand::Finished(TRun* run, const QString& failure) {
  if (run->Done) return;
  run->Done = true;
  run->Deadline->SetEnabled(false);
  const auto it = std::find_if(running_.begin(), running_.end(),
                               [run](const auto& r) { return r.get() == run; });
  if (it == running_.end()) return;
  // Freed later, never inside the process's own signal.
  finished_.push_back(std::move(*it));
  running_.erase(it);
  if (!failure.isEmpty()) Fail(run->Transition, failure);
  StartWaiting();
}

void TAlarmCommand::Fail(const TAlarmTransition& t, const QString& why) {
  const QString text = QStringLiteral("The alarm command %1 %2.").arg(program_, why);
  if (OnFailure) OnFailure(t, text);
  if (!told_) {
    told_ = true;
    Told.Notify(text);
  }
}

}  // namespace dova
