#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace dova {

// Where the converter's blocking work runs: its USB requests and the bridge's port reset
// can take seconds, and the incubators' polling and logging share the user-interface
// thread. The converter starts one job at a time and looks on its own timer whether it
// has ended, so the job's results are taken up on the user-interface thread, in order.
class TConverterWorker {
 public:
  virtual ~TConverterWorker() = default;
  // Starts the job. The previous one has ended.
  virtual void Start(std::function<void()> job) = 0;
  // True once the job has ended; what it wrote is then visible to the caller.
  virtual bool Done() = 0;
};

// Runs the job at once in the caller: for simulated bridges, which live on the
// user-interface thread, and for tests on virtual time.
class TInlineWorker final : public TConverterWorker {
 public:
  void Start(std::function<void()> job) override { job(); }
  bool Done() override { return true; }
};

// Runs each job on a thread of its own. Freeing the worker waits for a job under way.
class TThreadWorker final : public TConverterWorker {
 public:
  TThreadWorker() = default;
  ~TThreadWorker() override;
  TThreadWorker(const TThreadWorker&) = delete;
  TThreadWorker& operator=(const TThreadWorker&) = delete;

  void Start(std::function<void()> job) override;
  bool Done() override;

 private:
  std::thread thread_;
  std::atomic<bool> done_{true};
};

}  // namespace dova
