#pragma once

#include <functional>
#include <string>

#include "platform/keepawake/keep_awake.h"

namespace dova {

// A logind "sleep" inhibitor lock: asked for once, at the first call, and held for the run
// (logind drops it when the descriptor closes, that is when the process ends). Later calls
// cost nothing. If the system bus or logind is not there, the failure is reported once and
// no further attempt is made.
class LogindKeepAwake : public KeepAwake {
 public:
  explicit LogindKeepAwake(std::function<void(const std::string&)> on_unavailable);
  ~LogindKeepAwake() override;
  LogindKeepAwake(const LogindKeepAwake&) = delete;
  LogindKeepAwake& operator=(const LogindKeepAwake&) = delete;

  void KeepSystemAwake() override;
  bool Held() const { return fd_ >= 0; }

 private:
  std::function<void(const std::string&)> on_unavailable_;
  bool tried_ = false;
  int fd_ = -1;
};

}  // namespace dova
