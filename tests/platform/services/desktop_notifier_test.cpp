// Desktop notices over D-Bus, against a notification service of the test's own on a private
// bus (so the test needs no desktop and leaves the user's alone).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QVariantMap>

#include "platform/notify/linux/dbus_desktop_notifier.h"

namespace dova {
namespace {

// What a desktop's notification service receives.
class FakeNotificationService : public QDBusVirtualObject {
 public:
  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    calls.push_back(message);
    connection.send(message.createReply(QVariant::fromValue(1u)));
    return true;
  }
  std::vector<QDBusMessage> calls;
};

TEST(DesktopNotifierTest, SendsOneNoticeWithItsUrgencyToTheNotificationService) {
  const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
  if (daemon.isEmpty()) GTEST_SKIP() << "no dbus-daemon on this computer";
  QProcess bus;
  bus.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                     QStringLiteral("--print-address=1")});
  ASSERT_TRUE(bus.waitForStarted());
  QByteArray address;
  const QDeadlineTimer limit(30'000);
  while (!address.contains('\n') && !limit.hasExpired() && bus.waitForReadyRead(1000))
    address += bus.readAllStandardOutput();
  ASSERT_TRUE(address.contains('\n')) << "the private bus gave no address";
  const QString at = QString::fromUtf8(address.trimmed());
  {
    QDBusConnection server = QDBusConnection::connectToBus(at, QStringLiteral("notice-server"));
    QDBusConnection client = QDBusConnection::connectToBus(at, QStringLiteral("notice-client"));
    ASSERT_TRUE(server.isConnected() && client.isConnected());
    FakeNotificationService service;
    ASSERT_TRUE(server.registerService(QStringLiteral("org.freedesktop.Notifications")));
    ASSERT_TRUE(
        server.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &service));

    DBusDesktopNotifier notifier(client);
    notifier.Notify({QStringLiteral("IVF 3: Left temperature high"),
                     QStringLiteral("38.2 °C, limit 37.5 °C"), true});
    while (service.calls.empty() && !limit.hasExpired())
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    ASSERT_EQ(service.calls.size(), 1u);
    const QDBusMessage& call = service.calls.front();
    EXPECT_EQ(call.interface(), QStringLiteral("org.freedesktop.Notifications"));
    EXPECT_EQ(call.member(), QStringLiteral("Notify"));
    const QVariantList args = call.arguments();
    ASSERT_EQ(args.size(), 8);
    EXPECT_EQ(args[0].toString(), QStringLiteral("DOVA-300 Logger"));
    EXPECT_EQ(args[3].toString(), QStringLiteral("IVF 3: Left temperature high"));
    EXPECT_EQ(args[4].toString(), QStringLiteral("38.2 °C, limit 37.5 °C"));
    QVariantMap hints;
    args[6].value<QDBusArgument>() >> hints;
    EXPECT_EQ(hints.value(QStringLiteral("urgency")).toInt(), 2);  // critical
    server.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
  }
  QDBusConnection::disconnectFromBus(QStringLiteral("notice-server"));
  QDBusConnection::disconnectFromBus(QStringLiteral("notice-client"));
  bus.kill();
  bus.waitForFinished();
}

TEST(DesktopNotifierTest, WithoutABusANoticeIsDroppedQuietly) {
  DBusDesktopNotifier notifier(QDBusConnection(QStringLiteral("no such bus")));
  notifier.Notify({QStringLiteral("IVF 3: No data"), QString(), true});
  SUCCEED();
}

}  // namespace
}  // namespace dova
