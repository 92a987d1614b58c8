#pragma once

#include <QString>
#include <memory>
#include <vector>

namespace dova {

// One notice on the user's desktop: a short summary (the incubator and what happened) and a
// body (the value against its limit).
struct TDesktopNotice {
  QString Summary;
  QString Body;
  bool Urgent = false;  // shown until dismissed, where the desktop allows it
};

// Puts notices on the desktop of the user at the seat. Showing one never waits for the
// desktop, and without a desktop to show it on, nothing happens and nothing is reported:
// alarms are announced on screen and by sound anyway.
class DesktopNotifier {
 public:
  virtual ~DesktopNotifier() = default;
  virtual void Notify(const TDesktopNotice& notice) = 0;
};

// Keeps every notice, for tests.
class RecordingDesktopNotifier : public DesktopNotifier {
 public:
  void Notify(const TDesktopNotice& notice) override { notices.push_back(notice); }
  std::vector<TDesktopNotice> notices;
};

// The desktop notifier of this platform (the freedesktop notification service on the
// session bus on Linux).
std::unique_ptr<DesktopNotifier> CreateDesktopNotifier();

}  // namespace dova
