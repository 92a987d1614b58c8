#include "platform/notify/linux/dbus_desktop_notifier.h"

#include <QDBusMessage>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

namespace dova {

namespace {
// The notification service's urgency levels: 1 normal, 2 critical.
constexpr unsigned char kNormal = 1;
constexpr unsigned char kCritical = 2;
// Let the desktop decide how long a notice stays.
constexpr int kDesktopDefaultTimeout = -1;
}  // namespace

DBusDesktopNotifier::DBusDesktopNotifier(QDBusConnection bus) : bus_(std::move(bus)) {}

void DBusDesktopNotifier::Notify(const TDesktopNotice& notice) {
  if (!bus_.isConnected()) return;
  // A plain method call, sent without waiting: no introspection, nothing that could block
  // the window when the notification service is slow or missing.
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"),
      QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  QVariantMap hints;
  hints.insert(QStringLiteral("urgency"),
               QVariant::fromValue<unsigned char>(notice.Urgent ? kCritical : kNormal));
  hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("dova300-logger"));
  call << QStringLiteral("DOVA-300 Logger") << 0u << QStringLiteral("dova300-logger")
       << notice.Summary << notice.Body << QStringList() << hints << kDesktopDefaultTimeout;
  bus_.send(call);
}

std::unique_ptr<DesktopNotifier> CreateDesktopNotifier() {
  return std::make_unique<DBusDesktopNotifier>(QDBusConnection::sessionBus());
}

}  // namespace dova
