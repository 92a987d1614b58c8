#pragma once

#include <functional>
#include <memory>

namespace dova {

// Turns the requests to end the program (Ctrl+C, SIGTERM) into a call on the event loop's
// thread, so the program closes as if its main window were closed. The signal handler only
// wakes the loop; all work happens in the callback.
class TerminationSignals {
 public:
  virtual ~TerminationSignals() = default;
};

// Installs the handlers for the life of the returned object. on_request runs on the thread
// that called this (it must run a Qt event loop), once per request.
std::unique_ptr<TerminationSignals> WatchTerminationSignals(std::function<void()> on_request);

}  // namespace dova
