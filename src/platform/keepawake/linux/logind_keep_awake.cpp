#include "platform/keepawake/linux/logind_keep_awake.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QVariant>

namespace dova {

namespace {
// logind answers at once or not at all; a stuck bus must not hold up start-up for long.
constexpr int kInhibitTimeoutMs = 5000;
}  // namespace

LogindKeepAwake::LogindKeepAwake(std::function<void(const std::string&)> on_unavailable)
    : on_unavailable_(std::move(on_unavailable)) {}

LogindKeepAwake::~LogindKeepAwake() {
  if (fd_ >= 0) ::close(fd_);
}

void LogindKeepAwake::KeepSystemAwake() {
  if (tried_) return;
  tried_ = true;
  auto fail = [this](const std::string& why) {
    if (on_unavailable_) on_unavailable_(why);
  };
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) {
    fail("no system bus; the computer may go to sleep while logging");
    return;
  }
  // A plain method call: no introspection of the service, which could block.
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
      QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
  call << QStringLiteral("sleep") << QStringLiteral("DOVA-300 Logger")
       << QStringLiteral("Logging incubator data") << QStringLiteral("block");
  const QDBusMessage reply = bus.call(call, QDBus::Block, kInhibitTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    fail("sleep inhibitor refused (" + reply.errorMessage().toStdString() +
         "); the computer may go to sleep while logging");
    return;
  }
  const auto descriptor = qvariant_cast<QDBusUnixFileDescriptor>(reply.arguments().constFirst());
  if (!descriptor.isValid()) {
    fail("sleep inhibitor returned no descriptor; the computer may go to sleep while logging");
    return;
  }
  // QDBusUnixFileDescriptor closes its copy when it goes; keep our own for the run.
  fd_ = ::fcntl(descriptor.fileDescriptor(), F_DUPFD_CLOEXEC, 0);
  if (fd_ < 0) fail("cannot keep the sleep inhibitor; the computer may go to sleep while logging");
}

std::unique_ptr<KeepAwake> CreateKeepAwake(std::function<void(const std::string&)> on_unavailable) {
  return std::make_unique<LogindKeepAwake>(std::move(on_unavailable));
}

}  // namespace dova
