#include "platform/virtual_scheduler.h"

#include <algorithm>

#include "platform/timer.h"

namespace dova {

VirtualScheduler::VirtualScheduler(TDateTime start) : start_(start) {}
VirtualScheduler::~VirtualScheduler() = default;

TDateTime VirtualScheduler::DefaultStart() {
  return EncodeDateTime(2010, 3, 8, 14, 5, 9);
}

TDateTime VirtualScheduler::Now() const {
  return start_ + wall_offset_ + static_cast<double>(now_ms_) / kMsPerDay;
}

void VirtualScheduler::Arm(Timer& timer) {
  const std::uint64_t seq = next_seq_++;
  armed_[timer.Id()] = seq;
  queue_.push(Entry{now_ms_ + static_cast<std::int64_t>(timer.Interval()), seq, timer.Id()});
}

void VirtualScheduler::Disarm(Timer& timer) {
  armed_.erase(timer.Id());
}

bool VirtualScheduler::FireNextDue(std::int64_t limit) {
  while (!queue_.empty()) {
    const Entry top = queue_.top();
    auto it = armed_.find(top.id);
    if (it == armed_.end() || it->second != top.seq) {
      queue_.pop();  // stale: disarmed, re-armed or deleted since
      continue;
    }
    if (top.due > limit) return false;
    queue_.pop();
    now_ms_ = std::max(now_ms_, top.due);
    // The next countdown starts now; the handler may change it.
    Timer* timer = FindTimer(top.id);
    const std::uint64_t seq = next_seq_++;
    it->second = seq;
    queue_.push(Entry{now_ms_ + static_cast<std::int64_t>(timer->Interval()), seq, top.id});
    FireTimer(top.id);
    RunPending();
    return true;
  }
  return false;
}

void VirtualScheduler::AdvanceBy(std::int64_t ms) {
  const std::int64_t target = now_ms_ + ms;
  RunPending();
  while (FireNextDue(target)) {
  }
  now_ms_ = std::max(now_ms_, target);
  RunPending();
}

bool VirtualScheduler::Step(std::int64_t max_ms) {
  const std::int64_t target = now_ms_ + max_ms;
  RunPending();
  if (FireNextDue(target)) return true;
  now_ms_ = std::max(now_ms_, target);
  return false;
}

bool VirtualScheduler::AdvanceUntil(const std::function<bool()>& pred, std::int64_t max_ms) {
  const std::int64_t target = now_ms_ + max_ms;
  while (!pred()) {
    if (now_ms_ >= target) return false;
    Step(target - now_ms_);
  }
  return true;
}

}  // namespace dova
