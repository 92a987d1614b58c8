#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "alarm_fixture.h"
#include "alarms/alarm_journal.h"
#include "platform/logfile/sim/memory_log_files.h"

namespace dova::testing {
namespace {

using K = TAlarmKind;
using S = TAlarmSide;
using T = TAlarmTransitionKind;

// On a drive that may be missing, so the folder cannot always be made.
const QString kFolder = QStringLiteral("drive/data");
const QString kPath = QStringLiteral("drive/data/Alarm Journal.csv");

TAlarmJournal::TReader MemoryReader(MemoryLogFiles& files) {
  return [&files](const QString& path) {
    TAlarmJournal::TReadBack back;
    const std::optional<QByteArray> bytes = files.Contents(path);
    back.Exists = back.Readable = bytes.has_value();
    back.Bytes = bytes.value_or(QByteArray());
    return back;
  };
}

QList<QByteArray> Lines(const QByteArray& bytes) {
  QList<QByteArray> lines = bytes.split('\n');
  lines.removeLast();
  return lines;
}

// An engine with its journal in memory.
struct JournalBench : AlarmBench {
  MemoryLogFiles files;
  TAlarmJournal journal{sched, files, kFolder, MemoryReader(files)};
  TJournalState restored;

  explicit JournalBench(bool make_folder = true) {
    if (make_folder) files.AddFolder(kFolder);
  }
  void Start() {
    restored = journal.Open(sched.Now());
    journal.Attach(engine);
    for (const auto& shelf : restored.Shelves) {
      engine.RestoreShelf(shelf.Serial, shelf.Name, shelf.Until, shelf.Reason);
    }
    engine.Restore(restored.Alarms);
  }
  QByteArray Text() const { return files.Contents(kPath).value_or(QByteArray()); }
};

TEST(AlarmJournal, LinesAreQuotedTimedAndChained) {
  JournalBench b;
  b.Start();
  b.LinkUp();
  b.Send(TTileEventKind::LidOpen, TTileSide::Left);
  b.Minutes(3);
  b.engine.AcknowledgeAll(QStringLiteral("ana, \"lab\""), QStringLiteral("closing it"));
  const QList<QByteArray> lines = Lines(b.Text());
  ASSERT_EQ(lines.size(), 3);
  EXPECT_EQ(lines[0] + '\n', JournalHeader());
  const QStringList raised = *ParseCsvLine(QString::fromUtf8(lines[1].chopped(1)));
  ASSERT_EQ(raised.size(), 11);
  EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$)")
                  .match(raised[0])
                  .hasMatch())
      << raised[0].toStdString();
  EXPECT_DOUBLE_EQ(*ParseJournalTime(raised[0]) * 86400, std::round(b.sched.Now() * 86400));
  EXPECT_EQ(raised.mid(1, 8), (QStringList{b.serial, "Bench, \"B\"", "lid open too long", "Left",
                                           "raised", "open", "180 s", ""}));
  EXPECT_TRUE(lines[1].contains(",\"Bench, \"\"B\"\"\","));
  const QStringList ack = *ParseCsvLine(QString::fromUtf8(lines[2].chopped(1)));
  EXPECT_EQ(ack[5], "acknowledged");
  EXPECT_EQ(ack[8], "ana, \"lab\"");
  EXPECT_EQ(ack[9], "closing it");
  EXPECT_NE(ack[10], raised[10]);
  EXPECT_EQ(ack[10].size(), 64);
  const TJournalCheck check = CheckJournal(b.Text());
  EXPECT_TRUE(check.Intact) << check.Problem.toStdString();
  EXPECT_EQ(check.Entries, 2);
}

TEST(AlarmJournal, DeviceTextStaysOnItsLine) {
  TAlarmTransition t;
  t.Serial = QStringLiteral("s1");
  t.Name = QStringLiteral("two\r\nlines");
  t.Comment = QStringLiteral(" padded ");
  const QByteArray line = JournalLine(t, QByteArray(), nullptr);
  EXPECT_EQ(line.count('\n'), 1);
  const TJournalCheck check = CheckJournal(JournalHeader() + line);
  ASSERT_TRUE(check.Intact);
  EXPECT_EQ(check.Read[0].Transition.Name, "two  lines");
  EXPECT_EQ(check.Read[0].Transition.Comment, " padded ");
}

// A journal of four entries on disk, then one change made to it by hand.
struct Tamper {
  const char* name;
  std::function<void(QList<QByteArray>&)> change;
  int broken_line;
};

TEST(AlarmJournal, VerifyFindsAnEditedInsertedOrDeletedLine) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QByteArray original;
  {
    AlarmBench b;
    TAlarmJournal journal(b.sched, SystemLogFiles(), dir.path());
    journal.Open(b.sched.Now());
    journal.Attach(b.engine);
    b.LinkUp();
    b.Send(TTileEventKind::LidOpen, TTileSide::Left);
    b.Minutes(3);
    b.engine.AcknowledgeAll(QStringLiteral("ana"));
    b.Send(TTileEventKind::LidClosed, TTileSide::Left);
    b.Send(TTileEventKind::LidOpen, TTileSide::Right);
    b.Minutes(3);
    QFile file(journal.Path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    original = file.readAll();
  }
  const QString path = dir.filePath(QStringLiteral("Alarm Journal.csv"));
  QString report;
  ASSERT_EQ(VerifyJournalFile(path, &report), 0);
  EXPECT_EQ(report, "intact, 4 entries");

  const std::vector<Tamper> cases = {
      {"edited value", [](QList<QByteArray>& l) { l[2].replace(",ana,", ",bob,"); }, 3},
      {"edited time", [](QList<QByteArray>& l) { l[1][18] = l[1][18] == '9' ? '8' : '9'; }, 2},
      {"inserted copy", [](QList<QByteArray>& l) { l.insert(3, l[2]); }, 4},
      {"deleted line", [](QList<QByteArray>& l) { l.removeAt(2); }, 3},
      {"swapped lines", [](QList<QByteArray>& l) { l.swapItemsAt(2, 3); }, 3},
      {"new header", [](QList<QByteArray>& l) { l[0] = "time,serial\r"; }, 1},
  };
  for (const Tamper& c : cases) {
    SCOPED_TRACE(c.name);
    QList<QByteArray> lines = Lines(original);
    c.change(lines);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(lines.join('\n') + '\n');
    file.close();
    EXPECT_EQ(VerifyJournalFile(path, &report), 1);
    EXPECT_TRUE(report.startsWith(QStringLiteral("line %1:").arg(c.broken_line)))
        << report.toStdString();
  }
  EXPECT_EQ(VerifyJournalFile(dir.filePath("missing.csv"), &report), 2);
}

TEST(AlarmJournal, RestartListsAnUnacknowledgedAlarmAgainAndEvaluatesItAfresh) {
  MemoryLogFiles files;
  files.AddFolder(kFolder);
  {
    JournalBench b;
    b.files.Put(kPath, QByteArray());
    b.Start();
    b.LinkUp();
    b.Send(TTileEventKind::LidOpen, TTileSide::Left);
    b.Send(TTileEventKind::LidOpen, TTileSide::Right);
    b.Minutes(1);
    b.left = 39;
    b.Minutes(12);
    b.engine.Acknowledge(b.serial, {K::LidOpen, S::Right}, "ana");
    ASSERT_TRUE(b.engine.Shelve(b.serial, 4 * 3600000LL, "service", "ana"));
    files.Put(kPath, b.Text());
  }
  JournalBench b;
  b.files.Put(kPath, *files.Contents(kPath));
  b.sched.ShiftWallClock(30 * kOneMinute);  // the program was away for a while
  b.Start();
  EXPECT_TRUE(b.journal.TakeProblems().isEmpty());
  const std::vector<TAlarmInfo> alarms = b.engine.Alarms();
  ASSERT_EQ(alarms.size(), 3u);
  for (const TAlarmInfo& a : alarms) {
    EXPECT_TRUE(a.BeforeRestart);
    EXPECT_EQ(a.Name, "Bench, \"B\"");
  }
  EXPECT_EQ(b.State(K::LidOpen, S::Left), TAlarmState::ActiveUnacknowledged);
  EXPECT_EQ(b.State(K::LidOpen, S::Right), TAlarmState::ActiveAcknowledged);
  EXPECT_EQ(b.State(K::TemperatureHigh, S::Left), TAlarmState::ActiveUnacknowledged);
  EXPECT_EQ(b.engine.Find(b.serial, {K::LidOpen, S::Right})->AcknowledgedBy, "ana");
  EXPECT_EQ(b.Of(T::Restored).size(), 3u);
  EXPECT_TRUE(b.engine.IsShelved(b.serial));
  // Restored lines are not written twice.
  EXPECT_EQ(Lines(b.Text()).size(), Lines(*files.Contents(kPath)).size());
  // New readings decide: the lids are closed now, the chamber is back in its band.
  b.LinkUp();
  b.Minutes(1);
  EXPECT_EQ(b.State(K::LidOpen, S::Left), TAlarmState::ClearedUnacknowledged);
  EXPECT_EQ(b.State(K::LidOpen, S::Right), TAlarmState::Normal);
  EXPECT_EQ(b.State(K::TemperatureHigh, S::Left), TAlarmState::ClearedUnacknowledged);
  EXPECT_TRUE(CheckJournal(b.Text()).Intact);
}

TEST(AlarmJournal, ADamagedJournalIsToldAndANewOneStartedBesideIt) {
  JournalBench first;
  first.Start();
  first.LinkUp();
  first.Send(TTileEventKind::LidOpen, TTileSide::Left);
  first.Minutes(4);
  QByteArray damaged = first.Text();
  damaged.replace("open", "shut");

  JournalBench b;
  b.files.Put(kPath, damaged);
  b.Start();
  const QStringList problems = b.journal.TakeProblems();
  ASSERT_EQ(problems.size(), 1);
  EXPECT_TRUE(problems[0].contains("line 2")) << problems[0].toStdString();
  EXPECT_EQ(b.journal.Path(), "drive/data/Alarm Journal (2).csv");
  b.LinkUp();
  b.Send(TTileEventKind::LidOpen, TTileSide::Right);
  b.Minutes(4);
  EXPECT_EQ(*b.files.Contents(kPath), damaged);
  const QByteArray next = *b.files.Contents("drive/data/Alarm Journal (2).csv");
  EXPECT_TRUE(CheckJournal(next).Intact);
  EXPECT_EQ(CheckJournal(next).Entries, 1);
  // The next start goes on in the new one.
  JournalBench again;
  again.files.Put(kPath, damaged);
  again.files.Put("drive/data/Alarm Journal (2).csv", next);
  again.Start();
  EXPECT_TRUE(again.journal.TakeProblems().isEmpty());
  EXPECT_EQ(again.journal.Path(), "drive/data/Alarm Journal (2).csv");
  EXPECT_EQ(again.State(K::LidOpen, S::Right), TAlarmState::ActiveUnacknowledged);
}

struct Fault {
  const char* name;
  std::function<void(JournalBench&)> break_it;
  std::function<void(JournalBench&)> mend_it;
};

TEST(AlarmJournal, FaultsKeepTheAlarmsGoingLinesWaitInOrderAndLogTroubleIsRaised) {
  const std::vector<Fault> cases = {
      {"missing data folder", [](JournalBench&) {},
       [](JournalBench& b) { b.files.AddFolder(kFolder); }},
      {"read-only journal",
       [](JournalBench& b) {
         b.files.AddFolder(kFolder);
         b.files.Put(kPath, JournalHeader());
         b.files.RefuseOpens(kPath, MemoryLogFiles::Refusal::Unwritable);
       },
       [](JournalBench& b) { b.files.RefuseOpens(kPath, MemoryLogFiles::Refusal::None); }},
      {"full disk",
       [](JournalBench& b) {
         b.files.AddFolder(kFolder);
         b.files.Put(kPath, JournalHeader());
         b.files.SetCapacity(b.files.UsedBytes());
       },
       [](JournalBench& b) { b.files.SetCapacity(std::nullopt); }},
  };
  for (const Fault& c : cases) {
    SCOPED_TRACE(c.name);
    JournalBench b(false);
    c.break_it(b);
    b.Start();
    b.LinkUp();
    b.Send(TTileEventKind::LidOpen, TTileSide::Left);
    b.Minutes(3);
    // Alarms go on without the journal, and the journal's own trouble is one of them.
    EXPECT_EQ(b.State(K::LidOpen, S::Left), TAlarmState::ActiveUnacknowledged);
    const auto trouble = b.engine.Find(QString(), {K::LogTrouble, S::None});
    ASSERT_TRUE(trouble.has_value());
    EXPECT_EQ(trouble->State, TAlarmState::ActiveUnacknowledged);
    EXPECT_EQ(trouble->Name, TAlarmEngine::kProgramName);
    EXPECT_TRUE(b.journal.InTrouble());
    EXPECT_GE(b.journal.PendingLines(), 2u);
    b.Send(TTileEventKind::LidClosed, TTileSide::Left);
    c.mend_it(b);
    b.sched.AdvanceBy(TAlarmJournal::kRetryMs);
    EXPECT_FALSE(b.journal.InTrouble());
    EXPECT_EQ(b.journal.PendingLines(), 0u);
    const TJournalCheck check = CheckJournal(b.Text());
    ASSERT_TRUE(check.Intact) << check.Problem.toStdString();
    std::vector<std::string> order;
    for (const auto& e : check.Read) {
      order.push_back(
          (KindText(e.Transition.Key->Kind) + " " + TransitionText(e.Transition.Transition))
              .toStdString());
    }
    // In the order they happened, the trouble's own raise and clear included.
    const std::vector<std::string> expected = {"lid open too long raised", "log trouble raised",
                                               "lid open too long cleared", "log trouble cleared"};
    EXPECT_EQ(order, expected);
  }
}

}  // namespace
}  // namespace dova::testing
