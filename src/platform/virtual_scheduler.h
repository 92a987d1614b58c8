#pragma once

#include <cstdint>
#include <functional>
#include <queue>
#include <unordered_map>
#include <vector>

#include "platform/scheduler.h"

namespace dova {

// Virtual time for tests: nothing happens until the test advances the clock; then every
// timer that falls due fires in order of its due time (ties in the order they were armed).
// A handler may advance time itself (a modal dialog "open" for a while): that nested run
// fires what falls due meanwhile, and the outer run goes on from there.
class VirtualScheduler : public Scheduler {
 public:
  // Starts at the given local date-time (default: 8 March 2010, 14:05:09).
  explicit VirtualScheduler(TDateTime start = DefaultStart());
  ~VirtualScheduler() override;

  static TDateTime DefaultStart();

  TDateTime Now() const override;
  // Milliseconds of virtual time since creation.
  std::int64_t ElapsedMs() const { return now_ms_; }

  // Advances virtual time by ms, firing every timer that falls due on the way.
  void AdvanceBy(std::int64_t ms);
  // Advances to the next due timer (at most max_ms) and fires it. False when none is due
  // within max_ms (time then advances by max_ms).
  bool Step(std::int64_t max_ms);
  // Advances in steps until pred() holds or max_ms have passed. Returns pred().
  bool AdvanceUntil(const std::function<bool()>& pred, std::int64_t max_ms);

  // Moves the wall clock (what Now() says) without touching the timers, like a user or a
  // daylight-saving change setting the clock.
  void ShiftWallClock(TDateTime days) { wall_offset_ += days; }

  // Number of timers counting down (for tests of bookkeeping).
  std::size_t ArmedCount() const { return armed_.size(); }

 protected:
  void Arm(Timer& timer) override;
  void Disarm(Timer& timer) override;
  void WakeForPending() override {}

 private:
  struct Entry {
    std::int64_t due;
    std::uint64_t seq;
    std::uint64_t id;
    bool operator>(const Entry& o) const { return due != o.due ? due > o.due : seq > o.seq; }
  };
  bool FireNextDue(std::int64_t limit);

  TDateTime start_;
  TDateTime wall_offset_ = 0;
  std::int64_t now_ms_ = 0;
  std::uint64_t next_seq_ = 1;
  // id -> seq of its current arming; entries in the queue with another seq are stale.
  std::unordered_map<std::uint64_t, std::uint64_t> armed_;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> queue_;
};

}  // namespace dova
