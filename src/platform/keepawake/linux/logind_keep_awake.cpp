#include "platform/keepawake/linux/logind_keep_awake.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusUnixFileDescriptor>
#include <QVariant>

namespace dova {

namespace {
// logind answers at once or not at all; a stuck bus is reported after this long.
constexpr int kInhibitTimeoutMs = 5000;
constexpr const char* kMayGoToSleep = "; the computer may go to sleep while logging";
}  // namespace

LogindKeepAwake::LogindKeepAwake(std::function<void(const std::string&)> on_unavailable)
    : on_unavailable_(std::move(on_unavailable)) {}

LogindKeepAwake::LogindKeepAwake(std::function<void(const std::string&)> on_unavailable,
                                 QDBusConnection bus)
    : on_unavailable_(std::move(on_unavailable)), bus_(std::move(bus)) {}

LogindKeepAwake::~LogindKeepAwake() {
  // An answer still on its way is dropped with the watcher (and its descriptor with it).
  answer_.reset();
  if (fd_ >= 0) ::close(fd_);
}

bool LogindKeepAwake::Waiting() const {
  return answer_ && !answered_;
}

void LogindKeepAwake::Fail(const std::string& why) {
  if (on_unavailable_) on_unavailable_(why + kMayGoToSleep);
}

void LogindKeepAwake::KeepSystemAwake() {
  if (tried_) return;
  tried_ = true;
  if (!bus_) bus_ = QDBusConnection::systemBus();
  if (!bus_->isConnected()) {
    Fail("no system bus");
    return;
  }
  // A plain method call: no introspection of the service, which could block.
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
      QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
  call << QStringLiteral("sleep") << QStringLiteral("DOVA-300 Logger")
       << QStringLiteral("Logging incubator data") << QStringLiteral("block");
  answer_ = std::make_unique<QDBusPendingCallWatcher>(bus_->asyncCall(call, kInhibitTimeoutMs));
  QObject::connect(answer_.get(), &QDBusPendingCallWatcher::finished, answer_.get(),
                   [this](QDBusPendingCallWatcher* watcher) { Answered(*watcher); });
}

void LogindKeepAwake::Answered(QDBusPendingCallWatcher& call) {
  if (answered_) return;
  answered_ = true;
  const QDBusMessage reply = call.reply();
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    Fail("sleep inhibitor refused (" + reply.errorMessage().toStdString() + ")");
    return;
  }
  const auto descriptor = qvariant_cast<QDBusUnixFileDescriptor>(reply.arguments().constFirst());
  if (!descriptor.isValid()) {
    Fail("sleep inhibitor returned no descriptor");
    return;
  }
  // QDBusUnixFileDescriptor closes its copy when it goes; keep our own for the run.
  fd_ = ::fcntl(descriptor.fileDescriptor(), F_DUPFD_CLOEXEC, 0);
  if (fd_ < 0) Fail("cannot keep the sleep inhibitor");
}

std::unique_ptr<KeepAwake> CreateKeepAwake(std::function<void(const std::string&)> on_unavailable) {
  return std::make_unique<LogindKeepAwake>(std::move(on_unavailable));
}

}  // namespace dova
