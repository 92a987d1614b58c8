#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <functional>
#include <string>
#include <vector>

#include "platform/keepawake/linux/logind_keep_awake.h"

namespace dova {
namespace {

// Runs the event loop until `done` or a generous deadline; true when done.
bool WaitFor(const std::function<bool()>& done) {
  const QDeadlineTimer deadline(20000);
  while (!done() && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

// Build machines have no system bus, desktops have logind: either way the inhibitor is
// asked for once, and a failure is told once, not every second.
TEST(LogindKeepAwakeTest, AsksOnceAndReportsAFailureOnce) {
  std::vector<std::string> reports;
  LogindKeepAwake awake([&](const std::string& why) { reports.push_back(why); });
  for (int tick = 0; tick < 5; ++tick)
    awake.KeepSystemAwake();
  ASSERT_TRUE(WaitFor([&] { return awake.Held() || !reports.empty(); }));
  for (int tick = 0; tick < 5; ++tick)
    awake.KeepSystemAwake();
  QCoreApplication::processEvents();
  if (awake.Held()) {
    EXPECT_TRUE(reports.empty());
  } else {
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_FALSE(reports.front().empty());
  }
}

// logind's Inhibit on a private bus: it counts the requests and answers when and how the
// test says.
class FakeLogind : public QDBusVirtualObject {
 public:
  enum class TAnswer { Later, Refuse };
  TAnswer answer = TAnswer::Later;
  int requests = 0;
  QList<QVariant> arguments;
  QDBusMessage waiting;

  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override {
    if (message.member() != QLatin1String("Inhibit")) return false;
    ++requests;
    arguments = message.arguments();
    if (answer == TAnswer::Refuse) {
      bus.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                                        QStringLiteral("Permission denied")));
    } else {
      waiting = message;
    }
    return true;
  }
  // Answers the waiting request with a descriptor.
  void GiveDescriptor(QDBusConnection& bus, int fd) {
    bus.send(waiting.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(fd))));
  }
};

// A bus daemon of the test's own, with one connection for the fake logind and one for
// the keep-awake.
struct PrivateBusTest : ::testing::Test {
  QProcess daemon;
  QString address;
  std::vector<std::string> reports;
  std::function<void(const std::string&)> report = [this](const std::string& why) {
    reports.push_back(why);
  };

  void SetUp() override {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (program.isEmpty()) GTEST_SKIP() << "dbus-daemon is not installed";
    daemon.start(program, {"--session", "--nofork", "--print-address"});
    ASSERT_TRUE(daemon.waitForStarted());
    ASSERT_TRUE(WaitFor([&] { return daemon.canReadLine(); }));
    address = QString::fromUtf8(daemon.readLine()).trimmed();
    ASSERT_FALSE(address.isEmpty());
  }
  void TearDown() override {
    QDBusConnection::disconnectFromBus(QStringLiteral("logind"));
    QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    daemon.terminate();
    daemon.waitForFinished();
  }
  QDBusConnection Connect(const char* name) {
    return QDBusConnection::connectToBus(address, QString::fromLatin1(name));
  }
  QDBusConnection Serve(FakeLogind& logind) {
    QDBusConnection bus = Connect("logind");
    EXPECT_TRUE(bus.isConnected());
    EXPECT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.login1")));
    EXPECT_TRUE(bus.registerVirtualObject(QStringLiteral("/org/freedesktop/login1"), &logind));
    return bus;
  }
};

// True while someone still holds the read end of the pipe whose write end is given.
bool ReaderOpen(int write_end) {
  pollfd p{write_end, POLLOUT, 0};
  return ::poll(&p, 1, 0) == 1 && !(p.revents & POLLERR);
}

TEST_F(PrivateBusTest, TheRequestDoesNotWaitForTheAnswerAndTheDescriptorIsHeldForTheRun) {
  FakeLogind logind;
  QDBusConnection service = Serve(logind);
  auto awake = std::make_unique<LogindKeepAwake>(report, Connect("client"));

  // The fake answers only from this thread's event loop: a call that waited for the answer
  // could not return before it came, and would time out instead.
  awake->KeepSystemAwake();
  EXPECT_TRUE(awake->Waiting());
  EXPECT_FALSE(awake->Held());
  ASSERT_TRUE(WaitFor([&] { return logind.requests == 1; }));
  awake->KeepSystemAwake();
  awake->KeepSystemAwake();
  QCoreApplication::processEvents();
  EXPECT_EQ(logind.requests, 1) << "asked once";
  EXPECT_EQ(logind.arguments.value(0).toString(), "sleep");
  EXPECT_EQ(logind.arguments.value(3).toString(), "block");
  EXPECT_TRUE(awake->Waiting());
  EXPECT_TRUE(reports.empty());

  int pipe_ends[2];
  ASSERT_EQ(::pipe2(pipe_ends, O_CLOEXEC), 0);
  logind.GiveDescriptor(service, pipe_ends[0]);
  ::close(pipe_ends[0]);
  ASSERT_TRUE(WaitFor([&] { return awake->Held(); }));
  EXPECT_FALSE(awake->Waiting());
  EXPECT_TRUE(reports.empty());
  EXPECT_TRUE(ReaderOpen(pipe_ends[1])) << "the inhibitor is kept";
  awake->KeepSystemAwake();
  QCoreApplication::processEvents();
  EXPECT_EQ(logind.requests, 1);

  // The end of the run lets it go.
  awake.reset();
  EXPECT_TRUE(WaitFor([&] { return !ReaderOpen(pipe_ends[1]); })) << "released with the object";
  ::close(pipe_ends[1]);
}

TEST_F(PrivateBusTest, ARefusalOrNoLogindIsToldOnce) {
  for (const bool served : {true, false}) {
    SCOPED_TRACE(served ? "logind refuses" : "no logind on the bus");
    reports.clear();
    FakeLogind logind;
    logind.answer = FakeLogind::TAnswer::Refuse;
    if (served) Serve(logind);
    LogindKeepAwake awake(report, Connect("client"));
    awake.KeepSystemAwake();
    EXPECT_TRUE(reports.empty()) << "told when the answer comes, not while asking";
    ASSERT_TRUE(WaitFor([&] { return !reports.empty(); }));
    for (int tick = 0; tick < 3; ++tick)
      awake.KeepSystemAwake();
    QCoreApplication::processEvents();
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_FALSE(awake.Held());
    EXPECT_FALSE(awake.Waiting());
    EXPECT_LE(logind.requests, 1);
    if (served) {
      EXPECT_NE(reports.front().find("Permission denied"), std::string::npos) << reports.front();
    }
    EXPECT_NE(reports.front().find("may go to sleep"), std::string::npos) << reports.front();
    QDBusConnection::disconnectFromBus(QStringLiteral("logind"));
    QDBusConnection::disconnectFromBus(QStringLiteral("client"));
  }
}

TEST_F(PrivateBusTest, AnAnswerAfterTheEndOfTheRunIsDropped) {
  FakeLogind logind;
  QDBusConnection service = Serve(logind);
  {
    LogindKeepAwake awake(report, Connect("client"));
    awake.KeepSystemAwake();
    ASSERT_TRUE(WaitFor([&] { return logind.requests == 1; }));
  }
  int pipe_ends[2];
  ASSERT_EQ(::pipe2(pipe_ends, O_CLOEXEC), 0);
  logind.GiveDescriptor(service, pipe_ends[0]);
  ::close(pipe_ends[0]);
  EXPECT_TRUE(WaitFor([&] { return !ReaderOpen(pipe_ends[1]); })) << "nobody keeps it";
  EXPECT_TRUE(reports.empty());
  ::close(pipe_ends[1]);
}

}  // namespace
}  // namespace dova
