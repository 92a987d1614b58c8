#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/clock.h"

namespace dova {

class ErrorReporter;
class Timer;

// Runs the timers of one thread (the user-interface thread) and tells the time.
// QtScheduler drives them from the Qt event loop; VirtualScheduler from tests, on
// virtual time.
class Scheduler : public Clock {
 public:
  Scheduler();
  ~Scheduler() override;
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  // Exceptions that leave a timer handler (or a handed-over call) go here.
  // Also where the listeners of every stream report what they throw.
  void SetErrorReporter(ErrorReporter* reporter);
  ErrorReporter* GetErrorReporter() const { return reporter_; }
  // Reports an exception caught by a handler wrapper; used for window handlers too.
  void ReportException(std::exception_ptr error);

  // Called from another thread: runs fn on the scheduler's thread and blocks until it has
  // run. An exception from fn goes to the error reporter.
  void InvokeBlocking(std::function<void()> fn);
  // Runs fn on the scheduler's thread once the handler now running there has returned (a
  // timer's, a handed-over call's), at the same moment; from another thread, soon. Does not
  // wait. Calls run in the order they were posted; an exception from fn goes to the error
  // reporter. Used for work that must not run inside a callback, such as a port's line
  // handler.
  void Post(std::function<void()> fn);
  // On the scheduler's thread: runs the calls handed over by InvokeBlocking or Post so far.
  // Returns true when it ran at least one.
  bool RunPending();
  // Whether a handed-over call waits, without the lock: asked after every timer's firing.
  bool HasPending() const { return pending_count_.load(std::memory_order_acquire) != 0; }
  // On the scheduler's thread: waits up to timeout_ms of real time for a handed-over call
  // and runs what is waiting. Used while the thread waits for another one (a port's event
  // thread ending).
  bool WaitAndRunPending(int timeout_ms);

 protected:
  friend class Timer;
  std::uint64_t Register(Timer& timer);
  void Unregister(Timer& timer);
  // (Re)starts the countdown of a running timer, or stops it.
  virtual void Arm(Timer& timer) = 0;
  virtual void Disarm(Timer& timer) = 0;
  // Wakes the scheduler's thread so it calls RunPending soon.
  virtual void WakeForPending() = 0;

  Timer* FindTimer(std::uint64_t id) const;
  // Calls the timer's handler; exceptions go to the reporter.
  void FireTimer(std::uint64_t id);
  void FireTimer(Timer& timer);

 private:
  struct PendingCall {
    std::function<void()> fn;
    bool done = false;
  };
  // Queues a call for RunPending and wakes the thread.
  void Enqueue(std::shared_ptr<PendingCall> call);
  ErrorReporter* reporter_ = nullptr;
  std::unordered_map<std::uint64_t, Timer*> timers_;
  std::uint64_t next_id_ = 1;

  std::mutex pending_mutex_;
  std::condition_variable pending_cv_;
  std::deque<std::shared_ptr<PendingCall>> pending_;
  // How many calls pending_ holds, readable without the lock: RunPending runs after every
  // timer's firing, and almost always finds nothing to do.
  std::atomic<std::size_t> pending_count_{0};
};

}  // namespace dova
