#pragma once

#include <cstdint>
#include <functional>

namespace dova {

class Scheduler;

// A timer that behaves like a GUI framework's timer component: it fires OnTimer every
// Interval milliseconds while Enabled. It runs only while enabled, with a non-zero interval
// and a handler. Enabling it, changing the interval or assigning a handler while it runs
// restarts the countdown; assigning the value a property already has does nothing.
// A handler may disable, re-arm or delete any timer, itself included.
//
// The first firing comes Interval ms after the countdown (re)started; the Qt scheduler may
// round it up to the next tick its timers share (never earlier, under 20 ms later, see
// qt_scheduler.h), after which the timer fires every Interval ms. The virtual scheduler
// keeps exact times. Timers due at the same moment fire in the order they were armed.
// A timer takes one cache line of its own: pollers fire every tick, each time after other
// programs have had the processor, and a timer split over two lines costs two trips to
// memory instead of one.
class alignas(64) Timer {
 public:
  explicit Timer(Scheduler& scheduler, std::uint32_t interval_ms = 1000, bool enabled = true);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  std::uint32_t Interval() const { return interval_; }
  void SetInterval(std::uint32_t ms);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  void SetOnTimer(std::function<void()> handler);
  bool HasHandler() const { return static_cast<bool>(on_timer_); }

  // True while the timer counts down (enabled, interval > 0, handler assigned).
  bool Running() const { return enabled_ && interval_ > 0 && on_timer_; }

  Scheduler& GetScheduler() const { return scheduler_; }
  std::uint64_t Id() const { return id_; }

 private:
  friend class Scheduler;
  void Update();
  void Fire();

  Scheduler& scheduler_;
  std::uint64_t id_;
  std::uint32_t interval_;
  bool enabled_;
  std::function<void()> on_timer_;
};

}  // namespace dova
