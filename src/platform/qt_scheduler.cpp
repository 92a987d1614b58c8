#include "platform/qt_scheduler.h"

#include <QDateTime>
#include <QMetaObject>
#include <algorithm>
#include <functional>
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
  Remove(timer);
  Push(Entry{FirstFiring(clock_.elapsed(), timer.Interval()), next_seq_++, &timer});
  ArmWaker();
}

std::int64_t QtScheduler::NextFiring(const Timer& timer) const {
  const auto it = std::find_if(queue_.begin(), queue_.end(),
                               [&timer](const Entry& e) { return e.timer == &timer; });
  return it == queue_.end() ? -1 : it->due;
}

void QtScheduler::Disarm(Timer& timer) {
  // A wake-up it leaves behind finds nothing due.
  Remove(timer);
}

void QtScheduler::Push(Entry entry) {
  queue_.push_back(entry);
  std::push_heap(queue_.begin(), queue_.end(), std::greater<Entry>());
}

QtScheduler::Entry QtScheduler::PopTop() {
  std::pop_heap(queue_.begin(), queue_.end(), std::greater<Entry>());
  const Entry entry = queue_.back();
  queue_.pop_back();
  return entry;
}

void QtScheduler::Remove(const Timer& timer) {
  // Timers are stopped, restarted or destroyed seldom (a link coming or going), so a walk
  // over a few entries per incubator costs less than keeping an index beside the heap.
  const auto it = std::find_if(queue_.begin(), queue_.end(),
                               [&timer](const Entry& e) { return e.timer == &timer; });
  if (it == queue_.end()) return;
  queue_.erase(it);
  std::make_heap(queue_.begin(), queue_.end(), std::greater<Entry>());
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
    const Entry entry = PopTop();
    Timer& timer = *entry.timer;
    // The next firing, on the same grid; firings a held-up loop missed are dropped. The
    // handler may still change it.
    const std::int64_t interval = timer.Interval();
    std::int64_t next = entry.due + interval;
    if (next <= now) next += ((now - next) / interval + 1) * interval;
    Push(Entry{next, next_seq_++, &timer});
    // A timer whose handler is still running further up (it opened a message box) is not
    // entered again; that firing is dropped, as a Qt timer drops it.
    const std::uint64_t id = timer.Id();
    if (std::find(firing_.begin(), firing_.end(), id) != firing_.end()) continue;
    firing_.push_back(id);
    FireTimer(timer);
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
