#pragma once

#include <QDBusConnection>

#include "platform/notify/desktop_notifier.h"

namespace dova {

// org.freedesktop.Notifications on a D-Bus connection (the session bus in the program).
// The call is sent without waiting for its answer; an unconnected bus drops the notice.
class DBusDesktopNotifier : public DesktopNotifier {
 public:
  explicit DBusDesktopNotifier(QDBusConnection bus);
  void Notify(const TDesktopNotice& notice) override;

 private:
  QDBusConnection bus_;
};

}  // namespace dova
