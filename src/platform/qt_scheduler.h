#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <limits>
#include <map>
#include <vector>

#include "platform/scheduler.h"

namespace dova {

// Runs our timers on the Qt event loop of the thread that creates it (the GUI thread).
//
// Every tile polls with two 20 ms timers and draws with 1 s ones; a Qt timer each would wake
// the loop at as many phases as there are timers. Instead all timers share one wake-up: each
// timer's firings are placed on a grid of ticks common to the whole scheduler, with a tick
// every gcd(Interval, 20) ms counted from the scheduler's start. Every timer of the same
// interval (and every timer whose interval is a multiple of 20 ms) fires on the same ticks,
// in the order the timers were armed, from one wake-up of the loop.
//
// What that means for a timer: its first firing comes Interval ms after it was enabled (or its
// interval changed), rounded up to the next tick of its grid: never early, at most
// gcd(Interval, 20) - 1 ms late (under 20 ms; not at all for an interval that is not a
// multiple of 2 or 5). After that it fires every Interval ms exactly, as the grid divides the
// interval. A loop held up for longer than an interval drops the missed firings and goes on
// on the same grid.
//
// A handler may run a nested event loop (a message box); the other timers keep firing
// meanwhile, and the timer whose handler it is does not fire again until the handler has
// returned, as with a Qt timer each.
class QtScheduler : public Scheduler {
 public:
  // The grid every tick group shares: ticks every gcd(Interval, kTickMs) ms.
  static constexpr std::uint32_t kTickMs = 20;

  QtScheduler();
  ~QtScheduler() override;

  TDateTime Now() const override;
  // The local date-time of an instant (ms since 1970 UTC), as Now() works it out.
  TDateTime LocalTimeAt(std::int64_t utc_ms) const;

  // Where a timer armed at elapsed time now_ms (since the scheduler's start) fires first.
  static std::int64_t FirstFiring(std::int64_t now_ms, std::uint32_t interval_ms);

  // For tests of the coalescing: the Qt timers the scheduler holds (one, however many of our
  // timers run), how often they have woken the loop and how often that Qt timer was started.
  std::size_t QtTimerCount() const { return 1; }
  std::uint64_t WakeUps() const { return wake_ups_; }
  std::uint64_t WakerStarts() const { return waker_starts_; }
  // For tests of when timers fire, on the scheduler's own clock: ms since its start, and
  // the tick a running timer fires on next (inside its handler: the firing after this one);
  // -1 for a timer that does not run.
  std::int64_t ElapsedMs() const { return clock_.elapsed(); }
  std::int64_t NextFiring(const Timer& timer) const;

 protected:
  void Arm(Timer& timer) override;
  void Disarm(Timer& timer) override;
  void WakeForPending() override;

 private:
  // The running timers that fire on one tick, in the order they were armed (the order they
  // fire in). Every running timer has exactly one entry in one bucket: arming replaces it and
  // disarming (a timer stopped or destroyed) takes it out, so an entry's timer is alive.
  // Entries before head have fired already; a bucket with none left is taken out at once.
  struct Bucket {
    std::vector<Timer*> timers;
    std::size_t head = 0;
  };

  static constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

  // Fires every timer due by now, in order.
  void Tick();
  // The earliest tick a timer waits for, or kNever when no timer runs.
  std::int64_t TopDue() const { return buckets_.empty() ? kNever : buckets_.begin()->first; }
  void Push(std::int64_t due, Timer& timer);
  // Takes the bucket out, keeping its storage for the next one.
  void Drop(std::map<std::int64_t, Bucket>::iterator bucket);
  // Takes the timer's entry out, if it has one.
  void Remove(const Timer& timer);
  // Points the wake-up at the earliest due timer, unless it already wakes that early.
  void ArmWaker();

  QObject context_;
  // Repeats: once the pollers run, it fires every tick without being started again.
  QTimer waker_;
  // The tick waker_ fires for next (ms since start); kNever while it is stopped or while its
  // own firing runs (it cannot fire again before that has returned).
  std::int64_t waker_due_ = kNever;
  // Its interval (ms), kStopped while it is stopped, and how often it was started.
  static constexpr int kStopped = -1;
  int waker_period_ = kStopped;
  std::uint64_t waker_starts_ = 0;
  QElapsedTimer clock_;
  // By tick, earliest first. Every tick all pollers fire together and move on to the same
  // next tick, so a tick costs one look-up per bucket instead of a heap step per timer, and
  // the order of arming is kept without a sequence number.
  std::map<std::int64_t, Bucket> buckets_;
  // The bucket the last firing went to: the timers of one tick mostly go on to the same one.
  std::map<std::int64_t, Bucket>::iterator last_push_ = buckets_.end();
  // Storage of buckets taken out, for the next ones.
  std::vector<std::vector<Timer*>> spare_;
  // Timers whose handlers are running, innermost last.
  std::vector<std::uint64_t> firing_;
  // No event dispatcher was there to say when a nested loop waits (see the constructor).
  bool rearm_in_tick_ = false;
  std::uint64_t wake_ups_ = 0;
  // The offset of local time from UTC (ms) throughout the UTC minute that starts at
  // offset_minute_ (ms since 1970); see LocalTimeAt.
  mutable std::int64_t offset_minute_ = kNever;
  mutable std::int64_t offset_ms_ = 0;
};

}  // namespace dova
