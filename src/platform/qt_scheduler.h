#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <unordered_map>

#include "platform/scheduler.h"

namespace dova {

// Runs our timers on the Qt event loop of the thread that creates it (the GUI thread).
class QtScheduler : public Scheduler {
 public:
  QtScheduler();
  ~QtScheduler() override;

  TDateTime Now() const override;

 protected:
  void Arm(Timer& timer) override;
  void Disarm(Timer& timer) override;
  void WakeForPending() override;

 private:
  QObject context_;
  std::unordered_map<std::uint64_t, QTimer*> qtimers_;
};

}  // namespace dova
