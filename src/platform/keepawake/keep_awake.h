#pragma once

#include <functional>
#include <memory>
#include <string>

namespace dova {

// Keeps the computer from going to sleep on its own while the program runs (the display
// may still switch off). The main window calls KeepSystemAwake every second; an
// implementation decides what a call costs.
class KeepAwake {
 public:
  virtual ~KeepAwake() = default;
  virtual void KeepSystemAwake() = 0;
};

// Counts the calls, for tests and the simulated front end.
class RecordingKeepAwake : public KeepAwake {
 public:
  void KeepSystemAwake() override { ++calls; }
  int calls = 0;
};

// The keep-awake of this platform. `on_unavailable` is called at most once, with the reason,
// when the request cannot be made; the program goes on without it.
std::unique_ptr<KeepAwake> CreateKeepAwake(std::function<void(const std::string&)> on_unavailable);

}  // namespace dova
