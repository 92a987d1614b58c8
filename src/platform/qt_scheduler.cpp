#include "platform/qt_scheduler.h"

#include <QDateTime>
#include <QMetaObject>
#include <algorithm>
#include <numeric>

#include "platform/timer.h"

namespace dova {

QtScheduler::QtScheduler() {
  waker_.setSingleShot(true);
  waker_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&waker_, &QTimer::timeout, &context_, [this] { Tick(); });
  clock_.start();
}

QtScheduler::~QtScheduler() = default;

TDateTime QtScheduler::Now() const {
  return LocalTimeAt(QDateTime::currentMSecsSinceEpoch());
}

TDateTime QtScheduler::LocalTimeAt(std::int64_t utc_ms) const {
  // Asking for local time reads the system's zone file every time, and the program asks
  // for every reply. The offset from UTC changes only on a whole minute (daylight saving
  // time, another zone chosen), so it is looked up once per minute of UTC.
  constexpr std::int64_t kMinute = 60000;
  const std::int64_t minute = utc_ms - ((utc_ms % kMinute) + kMinute) % kMinute;
  if (minute != offset_minute_) {
    offset_minute_ = minute;
    offset_ms_ = std::int64_t{QDateTime::fromMSecsSinceEpoch(minute).offsetFromUtc()} * 1000;
  }
  // Days since 1899-12-30 (1970-01-01 is day 25569), summed as DateTimeFromQDateTime sums
  // them, so both give the same value for the same instant.
  constexpr std::int64_t kDay = 86400000;
  const std::int64_t local = utc_ms + offset_ms_;
  const std::int64_t days = local / kDay - (local % kDay < 0 ? 1 : 0);
  return static_cast<double>(days + 25569) + static_cast<double>(local - days * kDay) / kMsPerDay;
}

std::int64_t QtScheduler::FirstFiring(std::int64_t now_ms, std::uint32_t interval_ms) {
  const std::int64_t tick = std::gcd(interval_ms, kTickMs);
  const std::int64_t due = now_ms + interval_ms;
  return (due + tick - 1) / tick * tick;
}

void QtScheduler::Arm(Timer& timer) {
  const std::uint64_t seq = next_seq_++;
  armed_[timer.Id()] = seq;
  queue_.push(Entry{FirstFiring(clock_.elapsed(), timer.Interval()), seq, timer.Id()});
  ArmWaker();
}

void QtScheduler::Disarm(Timer& timer) {
  // The entry goes stale in the queue; a wake-up it leaves behind finds nothing due.
  armed_.erase(timer.Id());
}

const QtScheduler::Entry* QtScheduler::Top() {
  while (!queue_.empty()) {
    const Entry& top = queue_.top();
    auto it = armed_.find(top.id);
    if (it != armed_.end() && it->second == top.seq) return &top;
    queue_.pop();  // stale: disarmed, re-armed or deleted since
  }
  return nullptr;
}

void QtScheduler::ArmWaker() {
  const Entry* top = Top();
  if (!top) {
    // Nothing runs: the loop sleeps until a timer is armed.
    if (waker_due_ != kNever) waker_.stop();
    waker_due_ = kNever;
    return;
  }
  if (top->due >= waker_due_) return;
  waker_due_ = top->due;
  // Rounded up: the loop must not wake before the tick, or it would only go to sleep again.
  const std::int64_t wait_ns = top->due * 1000000 - clock_.nsecsElapsed();
  waker_.start(static_cast<int>(std::max<std::int64_t>(0, (wait_ns + 999999) / 1000000)));
}

void QtScheduler::Tick() {
  ++wake_ups_;
  waker_due_ = kNever;
  const std::int64_t now = clock_.elapsed();
  // Re-armed before any handler runs: one that opens a nested event loop (a message box)
  // must not stop the other timers. The single-shot QTimer is a new Qt timer once started
  // again, so the nested loop may fire it while this tick is still running.
  ArmWaker();
  while (const Entry* top = Top()) {
    if (top->due > now) break;
    const Entry entry = *top;
    queue_.pop();
    // The next firing, on the same grid; firings a held-up loop missed are dropped. The
    // handler may still change it.
    const std::int64_t interval = FindTimer(entry.id)->Interval();
    std::int64_t next = entry.due + interval;
    if (next <= now) next += ((now - next) / interval + 1) * interval;
    const std::uint64_t seq = next_seq_++;
    armed_[entry.id] = seq;
    queue_.push(Entry{next, seq, entry.id});
    // A timer whose handler is still running further up (it opened a message box) is not
    // entered again; that firing is dropped, as a Qt timer drops it.
    if (std::find(firing_.begin(), firing_.end(), entry.id) != firing_.end()) continue;
    firing_.push_back(entry.id);
    FireTimer(entry.id);
    firing_.pop_back();
    RunPending();
  }
  // The stand-in armed above points at this tick; point the wake-up at the next one.
  waker_due_ = kNever;
  ArmWaker();
}

void QtScheduler::WakeForPending() {
  QMetaObject::invokeMethod(
      &context_, [this] { RunPending(); }, Qt::QueuedConnection);
}

}  // namespace dova
