#include "platform/logfile/sync_queue.h"

#include <cstdlib>
#include <string_view>

#include "platform/logfile/log_files.h"

namespace dova {

SyncQueue::SyncQueue(Mode mode, bool enabled) : mode_(mode), enabled_(enabled) {
  if (mode_ == Mode::Thread) thread_ = std::thread([this] { Work(); });
}

SyncQueue::~SyncQueue() {
  if (mode_ == Mode::Thread) {
    {
      std::lock_guard lock(mutex_);
      ending_ = true;
    }
    wake_.notify_one();
    thread_.join();
  } else {
    RunAll();
  }
}

void SyncQueue::Post(std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  if (mode_ == Mode::Thread) wake_.notify_one();
}

bool SyncQueue::RunNext() {
  std::function<void()> job;
  {
    std::lock_guard lock(mutex_);
    if (mode_ != Mode::Manual || jobs_.empty()) return false;
    job = std::move(jobs_.front());
    jobs_.pop_front();
  }
  job();
  return true;
}

void SyncQueue::RunAll() {
  while (RunNext()) {
  }
}

std::size_t SyncQueue::Waiting() const {
  std::lock_guard lock(mutex_);
  return jobs_.size();
}

void SyncQueue::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return ending_ || !jobs_.empty(); });
    if (jobs_.empty()) return;  // ending, and everything done
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    job();
    job = nullptr;  // whatever the job held (a closed file) goes here, off the caller's thread
    lock.lock();
  }
}

SyncQueue& SystemSyncQueue() {
  // The last syncs at the program's end sync folders through the system's file layer: it
  // must be made first, so that it is gone only after the queue.
  (void)SystemLogFiles();
  static SyncQueue queue(SyncQueue::Mode::Thread, [] {
    const char* value = std::getenv(SyncQueue::kDisableVariable);
    const std::string_view v = value ? value : "";
    return !(v == "off" || v == "0");
  }());
  return queue;
}

}  // namespace dova
