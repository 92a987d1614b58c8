#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>

#include "alarm_fixture.h"
#include "alarms/alarm_command.h"
#include "alarms/alarm_journal.h"
#include "platform/logfile/sim/memory_log_files.h"

namespace dova::testing {
namespace {

// A shell script in a private folder, made executable.
QString Script(const QTemporaryDir& dir, const QString& name, const QByteArray& body) {
  const QString path = dir.filePath(name);
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("#!/bin/sh\n" + body);
  file.close();
  file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  return path;
}

// Lets the processes' signals arrive until pred holds (bounded; the order is what counts).
bool WaitFor(const std::function<bool()>& pred) {
  QDeadlineTimer deadline(20000);
  while (!pred() && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QThread::msleep(5);
  }
  return pred();
}

TAlarmTransition LidRaised() {
  TAlarmTransition t;
  t.Transition = TAlarmTransitionKind::Raised;
  t.Time = EncodeDateTime(2010, 3, 8, 14, 5, 9);
  t.Serial = QStringLiteral("a1b2c3");
  // Device text that a shell would run.
  t.Name = QStringLiteral("Bench \"B\"; touch pwned $(id) `id` 'x'");
  t.Key = TAlarmKey{TAlarmKind::LidOpen, TAlarmSide::Left};
  t.Priority = TAlarmPriority::Medium;
  t.State = TAlarmState::ActiveUnacknowledged;
  t.Value = QStringLiteral("open");
  t.Limit = QStringLiteral("180 s");
  t.Comment = QStringLiteral("line, \"quoted\"");
  return t;
}

TEST(AlarmCommand, TheRealHookGetsEveryDetailInItsEnvironmentAndNoShell) {
  QTemporaryDir dir;
  const QString out = dir.filePath("env.txt");
  const QString script = Script(dir, "record.sh",
                                "env | grep '^DOVA300_ALARM_' | LC_ALL=C sort > \"" + out.toUtf8() +
                                    ".part\"\n"
                                    "mv \"" +
                                    out.toUtf8() + ".part\" \"" + out.toUtf8() + "\"\n");
  VirtualScheduler sched;
  TAlarmCommand command(sched, script);
  QStringList failures;
  command.OnFailure = [&](const TAlarmTransition&, const QString& why) { failures << why; };
  command.Run(LidRaised());
  ASSERT_TRUE(WaitFor([&] { return QFile::exists(out) && command.Running() == 0; }));
  QFile file(out);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
  const QString time = JournalTime(LidRaised().Time);
  const QStringList expected = {
      "DOVA300_ALARM_COMMENT=line, \"quoted\"",
      "DOVA300_ALARM_KIND=lid open too long",
      "DOVA300_ALARM_LIMIT=180 s",
      "DOVA300_ALARM_NAME=Bench \"B\"; touch pwned $(id) `id` 'x'",
      "DOVA300_ALARM_PRIORITY=medium",
      "DOVA300_ALARM_SERIAL=a1b2c3",
      "DOVA300_ALARM_SIDE=Left",
      "DOVA300_ALARM_STATE=active, unacknowledged",
      "DOVA300_ALARM_TIME=" + time,
      "DOVA300_ALARM_TRANSITION=raised",
      "DOVA300_ALARM_USER=",
      "DOVA300_ALARM_VALUE=open",
  };
  EXPECT_EQ(lines, expected);
  EXPECT_FALSE(QFile::exists(QDir::current().filePath("pwned")));
  EXPECT_TRUE(failures.isEmpty());
}

TEST(AlarmCommand, FailuresAreJournaledEachTimeAndToldOnce) {
  QTemporaryDir dir;
  struct Case {
    const char* name;
    QString program;
    const char* says;
  };
  const std::vector<Case> cases = {
      {"missing", dir.filePath("no-such-program"), "cannot be started"},
      {"exit status", Script(dir, "fail.sh", "echo flood >&2\nexit 3\n"), "exit status 3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualScheduler sched;
    MemorySettingsStore store;
    TAlarmSettings settings(&store);
    TAlarmEngine engine(sched, settings);
    MemoryLogFiles files;
    TAlarmJournal journal(sched, files, QString());
    journal.Open(sched.Now());
    journal.Attach(engine);
    TAlarmCommand command(sched, c.program);
    command.Attach(engine);
    QStringList told;
    TScopedSubscription listen(command.Told, [&](const QString& text) { told << text; });
    auto& inc = engine.Track("a1b2c3", "Bench");
    TTileEvent e;
    e.Kind = TTileEventKind::LidOpen;
    e.Side = TTileSide::Left;
    engine.OnEvent(inc, e);
    sched.AdvanceBy(180000);
    engine.AcknowledgeAll("ana");
    ASSERT_TRUE(WaitFor([&] { return command.Running() == 0; }));
    const TJournalCheck check = CheckJournal(*files.Contents("Alarm Journal.csv"));
    ASSERT_TRUE(check.Intact);
    int failed = 0;
    for (const auto& entry : check.Read) {
      if (entry.Transition.Transition != TAlarmTransitionKind::CommandFailed) continue;
      ++failed;
      EXPECT_TRUE(entry.Transition.Comment.contains(c.says))
          << entry.Transition.Comment.toStdString();
      EXPECT_EQ(entry.Transition.Key->Kind, TAlarmKind::LidOpen);
    }
    EXPECT_EQ(failed, 2);  // the raise and the acknowledgement
    EXPECT_EQ(told.size(), 1);
  }
}

TEST(AlarmCommand, AtMostFourAtOnceEachEndedAfterThirtySeconds) {
  QTemporaryDir dir;
  const QString script = Script(dir, "hang.sh", "exec sleep 600\n");
  VirtualScheduler sched;
  TAlarmCommand command(sched, script);
  QStringList failures;
  command.OnFailure = [&](const TAlarmTransition&, const QString& why) { failures << why; };
  for (int i = 0; i < 6; ++i)
    command.Run(LidRaised());
  EXPECT_EQ(command.Running(), 4);
  EXPECT_EQ(command.Waiting(), 2u);
  sched.AdvanceBy(TAlarmCommand::kTimeoutMs - 1);
  QCoreApplication::processEvents();
  EXPECT_EQ(command.Running(), 4);
  sched.AdvanceBy(1);
  // The four are ended; the two that waited start in their place.
  ASSERT_TRUE(WaitFor([&] { return failures.size() == 4; }));
  EXPECT_EQ(command.Running(), 2);
  EXPECT_EQ(command.Waiting(), 0u);
  EXPECT_TRUE(failures[0].contains("ended after 30 s")) << failures[0].toStdString();
  sched.AdvanceBy(TAlarmCommand::kTimeoutMs);
  ASSERT_TRUE(WaitFor([&] { return command.Running() == 0; }));
  EXPECT_EQ(failures.size(), 6);
}

TEST(AlarmCommand, RunsOnlyForAnnouncedAlarmTransitions) {
  TAlarmTransition t = LidRaised();
  EXPECT_TRUE(TAlarmCommand::Runs(t));
  t.Announce = false;  // shelved
  EXPECT_FALSE(TAlarmCommand::Runs(t));
  for (auto what : {TAlarmTransitionKind::Reannounced, TAlarmTransitionKind::Acknowledged,
                    TAlarmTransitionKind::Cleared}) {
    t = LidRaised();
    t.Transition = what;
    EXPECT_TRUE(TAlarmCommand::Runs(t));
  }
  for (auto what : {TAlarmTransitionKind::Shelved, TAlarmTransitionKind::CommandFailed,
                    TAlarmTransitionKind::Restored}) {
    t = LidRaised();
    t.Transition = what;
    EXPECT_FALSE(TAlarmCommand::Runs(t));
  }
}

}  // namespace
}  // namespace dova::testing

namespace dova::testing {
namespace {

// The shipped examples, run by the real hook with stand-ins for sendmail and curl first on
// the PATH that record what they were given.
TEST(AlarmCommand, TheShippedExamplesMailAndPostTheAlarm) {
  QTemporaryDir dir;
  const QString bin = dir.filePath("bin");
  ASSERT_TRUE(QDir().mkpath(bin));
  QTemporaryDir bin_dir;  // Script() makes files in a QTemporaryDir's folder
  const QString mail = dir.filePath("mail.txt");
  const QString posted = dir.filePath("curl.txt");
  for (const auto& [name, body] :
       {std::pair{"sendmail", "cat > \"" + mail.toUtf8() + "\"\n"},
        std::pair{"curl", "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" + posted.toUtf8() +
                              "\"\n"}}) {
    const QString made = Script(bin_dir, name, body);
    ASSERT_TRUE(QFile::rename(made, bin + "/" + name));
  }
  const QByteArray old_path = qgetenv("PATH");
  qputenv("PATH", bin.toUtf8() + ":" + old_path);
  qputenv("DOVA300_WEBHOOK_URL", "http://127.0.0.1:9/hook");
  qputenv("DOVA300_MAIL_TO", "lab@example.org");
  VirtualScheduler sched;
  QStringList failures;
  for (const char* example : {"mail.sh", "webhook.sh"}) {
    TAlarmCommand command(sched, QStringLiteral(DOVA_PACKAGING_DIR "/alarm-commands/") + example);
    command.OnFailure = [&](const TAlarmTransition&, const QString& why) { failures << why; };
    command.Run(LidRaised());
    ASSERT_TRUE(WaitFor([&] { return command.Running() == 0; }));
  }
  qputenv("PATH", old_path);
  qunsetenv("DOVA300_WEBHOOK_URL");
  qunsetenv("DOVA300_MAIL_TO");
  EXPECT_TRUE(failures.isEmpty()) << failures.join('\n').toStdString();

  QFile m(mail);
  ASSERT_TRUE(m.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(m.readAll());
  EXPECT_TRUE(text.startsWith("To: lab@example.org\n")) << text.toStdString();
  EXPECT_TRUE(
      text.contains("Subject: [medium] lid open too long raised, Left: Bench \"B\"; "
                    "touch pwned $(id) `id` 'x' (a1b2c3)\n"))
      << text.toStdString();

  QFile c(posted);
  ASSERT_TRUE(c.open(QIODevice::ReadOnly));
  const QStringList args = QString::fromUtf8(c.readAll()).split('\n', Qt::SkipEmptyParts);
  ASSERT_GE(args.size(), 2);
  EXPECT_EQ(args.back(), "http://127.0.0.1:9/hook");
  const qsizetype at = args.indexOf("--data-binary");
  ASSERT_GE(at, 0);
  QJsonParseError error;
  const QJsonObject body = QJsonDocument::fromJson(args[at + 1].toUtf8(), &error).object();
  ASSERT_EQ(error.error, QJsonParseError::NoError) << args[at + 1].toStdString();
  EXPECT_EQ(body.value("name").toString(), "Bench \"B\"; touch pwned $(id) `id` 'x'");
  EXPECT_EQ(body.value("kind").toString(), "lid open too long");
  EXPECT_EQ(body.value("comment").toString(), "line, \"quoted\"");
  EXPECT_EQ(body.value("value").toString(), "open");
}

}  // namespace
}  // namespace dova::testing
