#include "convert/converter_worker.h"

namespace dova {

TThreadWorker::~TThreadWorker() {
  if (thread_.joinable()) thread_.join();
}

void TThreadWorker::Start(std::function<void()> job) {
  if (thread_.joinable()) thread_.join();
  done_.store(false, std::memory_order_relaxed);
  thread_ = std::thread([this, job = std::move(job)] {
    job();
    // Release: what the job wrote is seen by the thread that reads Done() as true.
    done_.store(true, std::memory_order_release);
  });
}

bool TThreadWorker::Done() {
  if (!done_.load(std::memory_order_acquire)) return false;
  if (thread_.joinable()) thread_.join();
  return true;
}

}  // namespace dova
