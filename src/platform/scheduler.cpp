#include "platform/scheduler.h"

#include <chrono>
#include <exception>
#include <string>

#include "platform/error_reporter.h"
#include "platform/observer.h"
#include "platform/timer.h"

namespace dova {

Scheduler::Scheduler() = default;
Scheduler::~Scheduler() {
  if (reporter_) SetErrorReporter(nullptr);
}

void Scheduler::SetErrorReporter(ErrorReporter* reporter) {
  // Only the reporter this scheduler set is taken back: another one may have set its own.
  ErrorReporter* previous = SetListenerErrorReporter(reporter);
  if (reporter == nullptr && previous != reporter_) SetListenerErrorReporter(previous);
  reporter_ = reporter;
}

std::uint64_t Scheduler::Register(Timer& timer) {
  const std::uint64_t id = next_id_++;
  timers_[id] = &timer;
  return id;
}

void Scheduler::Unregister(Timer& timer) {
  timers_.erase(timer.Id());
}

Timer* Scheduler::FindTimer(std::uint64_t id) const {
  auto it = timers_.find(id);
  return it == timers_.end() ? nullptr : it->second;
}

void Scheduler::ReportException(std::exception_ptr error) {
  std::string message;
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
    message = "Unknown error";
  }
  if (reporter_) {
    reporter_->ReportError(message);
  } else {
    StderrErrorReporter().ReportError(message);
  }
}

void Scheduler::FireTimer(std::uint64_t id) {
  if (Timer* timer = FindTimer(id)) FireTimer(*timer);
}

void Scheduler::FireTimer(Timer& timer) {
  try {
    timer.Fire();
  } catch (...) {
    ReportException(std::current_exception());
  }
}

void Scheduler::InvokeBlocking(std::function<void()> fn) {
  auto call = std::make_shared<PendingCall>();
  call->fn = std::move(fn);
  Enqueue(call);
  std::unique_lock lock(pending_mutex_);
  pending_cv_.wait(lock, [&] { return call->done; });
}

void Scheduler::Post(std::function<void()> fn) {
  auto call = std::make_shared<PendingCall>();
  call->fn = std::move(fn);
  Enqueue(std::move(call));
}

void Scheduler::Enqueue(std::shared_ptr<PendingCall> call) {
  {
    std::lock_guard lock(pending_mutex_);
    pending_.push_back(std::move(call));
    pending_count_.store(pending_.size(), std::memory_order_release);
  }
  pending_cv_.notify_all();
  WakeForPending();
}

bool Scheduler::RunPending() {
  bool ran = false;
  // A call handed over while this looks also wakes the thread (WakeForPending), so one
  // missed here runs at that wake-up.
  while (pending_count_.load(std::memory_order_acquire) != 0) {
    std::shared_ptr<PendingCall> call;
    {
      std::lock_guard lock(pending_mutex_);
      if (pending_.empty()) break;
      call = pending_.front();
      pending_.pop_front();
      pending_count_.store(pending_.size(), std::memory_order_release);
    }
    try {
      call->fn();
    } catch (...) {
      ReportException(std::current_exception());
    }
    {
      std::lock_guard lock(pending_mutex_);
      call->done = true;
    }
    pending_cv_.notify_all();
    ran = true;
  }
  return ran;
}

bool Scheduler::WaitAndRunPending(int timeout_ms) {
  {
    std::unique_lock lock(pending_mutex_);
    pending_cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                         [&] { return !pending_.empty(); });
  }
  return RunPending();
}

}  // namespace dova
