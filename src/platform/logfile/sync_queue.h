#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace dova {

// Where the slow part of durable writing happens: the syncs that wait for the disk. Jobs run
// one after the other in the order they came, on a thread of their own, so the
// user-interface thread never waits for a disk. Tests take a queue that runs its jobs only
// when asked (RunNext), on the test's thread: the sync thread step by step.
class SyncQueue {
 public:
  enum class Mode {
    Thread,  // a worker thread runs every job as soon as it comes
    Manual,  // jobs wait until RunNext
  };
  // `enabled` false: the durable writers over this queue never sync (the comparison runs of
  // the benchmark and the power-cut test).
  explicit SyncQueue(Mode mode, bool enabled = true);
  // Runs every job still waiting (the last syncs of closed files), then ends the thread.
  ~SyncQueue();
  SyncQueue(const SyncQueue&) = delete;
  SyncQueue& operator=(const SyncQueue&) = delete;

  bool Enabled() const { return enabled_; }
  // Any thread.
  void Post(std::function<void()> job);

  // Manual mode: runs the oldest waiting job on the calling thread; false when none waits.
  bool RunNext();
  // Manual mode: runs jobs until none waits (jobs may post further jobs).
  void RunAll();
  std::size_t Waiting() const;

  // Name of the environment variable that turns syncing off: "off" or "0".
  static constexpr const char* kDisableVariable = "DOVA300_LOG_SYNC";

 private:
  void Work();

  const Mode mode_;
  const bool enabled_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  bool ending_ = false;
  std::thread thread_;
};

// The program's queue, with its own thread, started on first use and ended (after the last
// syncs) when the program ends. Syncing is off when DOVA300_LOG_SYNC is "off" or "0".
SyncQueue& SystemSyncQueue();

}  // namespace dova
