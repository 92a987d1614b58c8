#include "platform/timer.h"

#include "platform/scheduler.h"

namespace dova {

Timer::Timer(Scheduler& scheduler, std::uint32_t interval_ms, bool enabled)
    : scheduler_(scheduler), interval_(interval_ms), enabled_(enabled) {
  id_ = scheduler_.Register(*this);
}

Timer::~Timer() {
  scheduler_.Disarm(*this);
  scheduler_.Unregister(*this);
}

void Timer::SetInterval(std::uint32_t ms) {
  if (ms == interval_) return;
  interval_ = ms;
  Update();
}

void Timer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Update();
}

void Timer::SetOnTimer(std::function<void()> handler) {
  on_timer_ = std::move(handler);
  Update();
}

void Timer::Update() {
  if (Running()) {
    scheduler_.Arm(*this);
  } else {
    scheduler_.Disarm(*this);
  }
}

void Timer::Fire() {
  if (!Running()) return;
  // Copy: the handler may replace itself or delete this timer.
  auto handler = on_timer_;
  handler();
}

}  // namespace dova
