#include "platform/qt_scheduler.h"

#include <QAbstractEventDispatcher>
#include <QDateTime>
#include <QMetaObject>
#include <algorithm>
#include <functional>
#include <numeric>

#include "platform/timer.h"

namespace dova {

QtScheduler::QtScheduler() {
  waker_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&waker_, &QTimer::timeout, &context_, [this] { Tick(); });
  // A handler that opens a nested event loop (a message box) holds up the tick it runs in.
  // Qt does not fire the waker again while its firing runs, so the other timers go on only
  // if it is started afresh, at the next due timer, before that loop waits. Every
  // loop says when it is about to wait; the outer loop, with no handler running, needs
  // nothing here.
  if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, &context_, [this] {
      if (!firing_.empty()) ArmWaker();
    });
  } else {
    rearm_in_tick_ = true;
  }
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
  Push(FirstFiring(clock_.elapsed(), timer.Interval()), timer);
  ArmWaker();
}

std::int64_t QtScheduler::NextFiring(const Timer& timer) const {
  for (const auto& [due, bucket] : buckets_) {
    const auto first = bucket.timers.begin() + static_cast<std::ptrdiff_t>(bucket.head);
    if (std::find(first, bucket.timers.end(), &timer) != bucket.timers.end()) return due;
  }
  return -1;
}

void QtScheduler::Disarm(Timer& timer) {
  // A wake-up it leaves behind finds nothing due.
  Remove(timer);
}

void QtScheduler::Push(std::int64_t due, Timer& timer) {
  if (last_push_ == buckets_.end() || last_push_->first != due) {
    last_push_ = buckets_.try_emplace(due).first;
  }
  Bucket& bucket = last_push_->second;
  if (bucket.timers.capacity() == 0 && !spare_.empty()) {
    bucket.timers = std::move(spare_.back());
    spare_.pop_back();
  }
  bucket.timers.push_back(&timer);
}

void QtScheduler::Drop(std::map<std::int64_t, Bucket>::iterator bucket) {
  std::vector<Timer*> storage = std::move(bucket->second.timers);
  if (last_push_ == bucket) last_push_ = buckets_.end();
  buckets_.erase(bucket);
  storage.clear();
  spare_.push_back(std::move(storage));
}

void QtScheduler::Remove(const Timer& timer) {
  // Timers are stopped, restarted or destroyed seldom (a link coming or going), so a walk
  // over a few entries per incubator costs less than keeping an index beside the buckets.
  for (auto it = buckets_.begin(); it != buckets_.end(); ++it) {
    Bucket& bucket = it->second;
    const auto first = bucket.timers.begin() + static_cast<std::ptrdiff_t>(bucket.head);
    const auto found = std::find(first, bucket.timers.end(), &timer);
    if (found == bucket.timers.end()) continue;
    bucket.timers.erase(found);
    if (bucket.head == bucket.timers.size()) Drop(it);
    return;
  }
}

void QtScheduler::ArmWaker() {
  const std::int64_t top = TopDue();
  if (top == kNever) {
    // Nothing runs: the loop sleeps until a timer is armed.
    if (waker_period_ != kStopped) waker_.stop();
    waker_period_ = kStopped;
    waker_due_ = kNever;
    return;
  }
  // Polling goes on: the waker repeats by itself, on the tick that is due next.
  if (top == waker_due_) return;
  // Due before the waker fires, or after it (it would wake the loop for nothing, every tick
  // where only slow timers are left): it is pointed at the earliest due timer.
  waker_due_ = top;
  // Rounded up: the loop must not wake before the tick, or it would only go to sleep again.
  const std::int64_t wait_ns = top * 1000000 - clock_.nsecsElapsed();
  const int wait_ms = static_cast<int>(std::max<std::int64_t>(0, (wait_ns + 999999) / 1000000));
  waker_.start(wait_ms);
  waker_period_ = wait_ms;
  ++waker_starts_;
}

void QtScheduler::Tick() {
  ++wake_ups_;
  const std::uint64_t starts = waker_starts_;
  const std::int64_t served = waker_due_;
  // Qt does not fire a timer again while its handler runs, so until this tick ends the
  // waker wakes nobody; a nested loop gets a fresh one (see the constructor).
  waker_due_ = kNever;
  const std::int64_t now = clock_.elapsed();
  // Without a dispatcher to tell of nested loops, the waker is pointed at the next due
  // timer before any handler runs (a second restart per tick).
  if (rearm_in_tick_) ArmWaker();
  // The earliest bucket is looked up afresh for every timer: a handler may stop timers,
  // which empties and drops buckets, or run a nested tick that fires the rest of this one.
  while (!buckets_.empty()) {
    const auto first = buckets_.begin();
    const std::int64_t due = first->first;
    if (due > now) break;
    Bucket& bucket = first->second;
    Timer& timer = *bucket.timers[bucket.head++];
    if (bucket.head == bucket.timers.size()) Drop(first);
    // The next firing, on the same grid; firings a held-up loop missed are dropped. The
    // handler may still change it.
    const std::int64_t interval = timer.Interval();
    std::int64_t next = due + interval;
    if (next <= now) next += ((now - next) / interval + 1) * interval;
    Push(next, timer);
    // A timer whose handler is still running further up (it opened a message box) is not
    // entered again; that firing is dropped, as a Qt timer drops it.
    const std::uint64_t id = timer.Id();
    if (std::find(firing_.begin(), firing_.end(), id) != firing_.end()) continue;
    firing_.push_back(id);
    FireTimer(timer);
    firing_.pop_back();
    if (HasPending()) RunPending();
  }
  if (waker_starts_ == starts && waker_period_ == static_cast<int>(kTickMs) && served != kNever &&
      now < served + static_cast<std::int64_t>(kTickMs)) {
    // It repeats every tick and was not a whole tick late: Qt sets its next firing one
    // interval after the last one was due, so that is the next tick of the grid, where the
    // pollers are due, and it is left alone (restarting a Qt timer costs more than all of a
    // tick's own bookkeeping). After a tick it missed, Qt counts from the late firing, off
    // the grid: then it is pointed anew.
    waker_due_ = served + kTickMs;
  } else if (waker_due_ <= now) {
    // A stand-in armed by a nested loop may point at a tick that has gone by now.
    waker_due_ = kNever;
  }
  // The wake-up goes to the next due timer, restarting the waker only when it is not there.
  ArmWaker();
}

void QtScheduler::WakeForPending() {
  QMetaObject::invokeMethod(
      &context_, [this] { RunPending(); }, Qt::QueuedConnection);
}

}  // namespace dova
