#pragma once

#include <QDBusConnection>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/keepawake/keep_awake.h"

class QDBusPendingCallWatcher;

namespace dova {

// A logind "sleep" inhibitor lock: asked for once, at the first call, and held for the run
// (logind drops it when the descriptor closes, that is when the process ends). The request
// does not wait for logind: the call returns at once and the answer arrives through the
// event loop of the calling thread. Later calls cost nothing. If the system bus or logind is
// not there, or logind refuses, the failure is reported once and no further attempt is made.
class LogindKeepAwake : public KeepAwake {
 public:
  // Asks logind on the system bus.
  explicit LogindKeepAwake(std::function<void(const std::string&)> on_unavailable);
  // Asks whoever serves logind's name on the given bus.
  LogindKeepAwake(std::function<void(const std::string&)> on_unavailable, QDBusConnection bus);
  ~LogindKeepAwake() override;
  LogindKeepAwake(const LogindKeepAwake&) = delete;
  LogindKeepAwake& operator=(const LogindKeepAwake&) = delete;

  void KeepSystemAwake() override;
  // The inhibitor is held.
  bool Held() const { return fd_ >= 0; }
  // The request is sent and its answer has not arrived yet.
  bool Waiting() const;

 private:
  void Answered(QDBusPendingCallWatcher& call);
  void Fail(const std::string& why);

  std::function<void(const std::string&)> on_unavailable_;
  std::optional<QDBusConnection> bus_;
  std::unique_ptr<QDBusPendingCallWatcher> answer_;
  bool tried_ = false;
  bool answered_ = false;
  int fd_ = -1;
};

}  // namespace dova
