// The log file under a hostile data folder: a full disk, a folder removed while logging, a
// file that cannot be opened, names too long for a file name, a lost name reply.
#include <gtest/gtest.h>

#include "panel_fixture.h"
#include "platform/logfile/sim/memory_log_files.h"
#include "protocol/names.h"

namespace dova::testing {
namespace {

class NeverLoseTest : public PanelTest {
 protected:
  NeverLoseTest() {
    panel = std::make_unique<TDovaPanel>(TPanelContext{sched, boxes, format, &mem, &syncs});
    mem.AddFolder(QStringLiteral("/data"));
    host.on_add = [this](TDovaPanel& p) {
      p.SetDirectory(QStringLiteral("/data"));
      p.SetLogInterval(1);
      p.Select();
    };
  }
  // The tile's last syncs run while the files are still there.
  ~NeverLoseTest() override {
    panel.reset();
    syncs.RunAll();
  }
  QString Path() const { return QStringLiteral("/data/Lab1 1234.csv"); }
  // The file's lines as written, each whole (ending in CR), without their time stamps.
  QStringList Lines(const QString& path) const {
    const QByteArray bytes = mem.Contents(path).value_or(QByteArray());
    EXPECT_TRUE(bytes.isEmpty() || bytes.endsWith('\r')) << "a partial line";
    QStringList out;
    for (const QString& line : QString::fromUtf8(bytes).split(u'\r', Qt::SkipEmptyParts))
      out << line.section(QStringLiteral(", "), 1);
    return out;
  }
  QStringList Stamps(const QString& path) const {
    QStringList out;
    for (const QString& line : QString::fromUtf8(mem.Contents(path).value_or(QByteArray()))
                                   .split(u'\r', Qt::SkipEmptyParts))
      out << line.section(QStringLiteral(", "), 0, 0);
    return out;
  }

  // What a power cut would leave of the log.
  QByteArray OnDisk() const { return mem.DurableContents(Path()).value_or("<missing>"); }
  QByteArray Written() const { return mem.Contents(Path()).value_or("<missing>"); }
  bool Logged(const QString& text) const { return Lines(Path()).contains(text); }
  // A few quick rounds of the sync thread: the lines written so far are on the disk, their
  // outcome taken in.
  void SettleSyncs() {
    for (int round = 0; round < 3; ++round) {
      syncs.RunAll();
      sched.AdvanceBy(DurableLog::kMaxUnsyncedMs);
    }
    syncs.RunAll();
  }
  int MessagesWith(const char* text) const {
    return static_cast<int>(
        std::count_if(boxes.messages.begin(), boxes.messages.end(),
                      [&](const auto& m) { return m.first.contains(QString::fromUtf8(text)); }));
  }

  MemoryLogFiles mem;
};

TEST_F(NeverLoseTest, AFullDiskKeepsLinesWholeAndInOrderAndTellsOnceEachWay) {
  Connect();
  const std::int64_t used = mem.UsedBytes();
  mem.SetCapacity(used + 40);  // room for about one more line
  device.values["DISP"] = "LID OFF  20  G G";
  sched.AdvanceBy(500);
  device.values["DISP"] = "37.0OFF  20  G G";
  sched.AdvanceBy(125000);  // two record blocks while the disk is full
  EXPECT_GT(panel->Log().PendingLines(), 10u);
  const std::size_t told = boxes.messages.size();
  ASSERT_GE(told, 1u);
  EXPECT_TRUE(boxes.messages.back().first.startsWith(QStringLiteral("Cannot write to ")));

  mem.SetCapacity(std::nullopt);  // space again
  sched.AdvanceBy(TLogWriter::kRetryMs);
  EXPECT_EQ(panel->Log().PendingLines(), 0u);
  ASSERT_EQ(boxes.messages.size(), told + 1) << "told once that writing stopped, once again";
  EXPECT_EQ(boxes.messages.back().first,
            QStringLiteral("Writing to ") + Path() + QStringLiteral(" again."));
  const QStringList lines = Lines(Path());
  EXPECT_EQ(lines.count(QStringLiteral("Left Lid Open")), 1);
  EXPECT_EQ(lines.count(QStringLiteral("Left Lid Closed")), 2);  // state block and the change
  EXPECT_EQ(lines.count(QStringLiteral("Gas Set-Point, 20")), 3);
  // Every line kept its own time, so the file reads in time order.
  const QStringList stamps = Stamps(Path());
  for (qsizetype i = 1; i < stamps.size(); ++i) {
    EXPECT_LE(QDateTime::fromString(stamps[i - 1], QStringLiteral("d/MM/yyyy h:mm:ss AP")),
              QDateTime::fromString(stamps[i], QStringLiteral("d/MM/yyyy h:mm:ss AP")))
        << i;
  }
}

TEST_F(NeverLoseTest, AnOverflowingQueueSaysHowManyLinesWereLost) {
  Connect();
  mem.SetCapacity(mem.UsedBytes());
  for (std::size_t i = 0; i < TLogWriter::kMaxPendingLines + 5; ++i)
    panel->WriteLog(QStringLiteral("line"));
  EXPECT_EQ(panel->Log().PendingLines(), TLogWriter::kMaxPendingLines);
  mem.SetCapacity(std::nullopt);
  sched.AdvanceBy(TLogWriter::kRetryMs);
  const QStringList lines = Lines(Path());
  // The five refused above and the record block that came meanwhile.
  EXPECT_TRUE(
      lines.contains(QStringLiteral("11 lines were lost while the log could not be written")))
      << lines.filter(QStringLiteral("lost")).join(u'|').toStdString();
}

TEST_F(NeverLoseTest, ARemovedFolderIsMadeAgainAndANewFileStarted) {
  Connect();
  mem.Remove(QStringLiteral("/data"));
  sched.AdvanceBy(61000);  // the next record block finds the file gone
  EXPECT_TRUE(mem.FolderExists(QStringLiteral("/data")));
  const QStringList lines = Lines(Path());
  ASSERT_FALSE(lines.isEmpty());
  EXPECT_EQ(lines.first(), QStringLiteral("Connected"));
  EXPECT_TRUE(lines.contains(QStringLiteral("Left Chamber On"))) << "the state block";
  EXPECT_TRUE(lines.contains(QStringLiteral("Left Temperature, 37")));
  const int notes = static_cast<int>(
      std::count_if(boxes.messages.begin(), boxes.messages.end(),
                    [](const auto& m) { return m.first.contains(QStringLiteral("was removed")); }));
  EXPECT_EQ(notes, 1);
}

TEST_F(NeverLoseTest, AFileThatCannotBeOpenedIsTriedAgainAndGetsEveryLine) {
  mem.Put(Path(), QByteArray());
  mem.RefuseOpens(Path(), MemoryLogFiles::Refusal::Held);
  Attach();
  ASSERT_TRUE(
      sched.AdvanceUntil([&] { return !panel->LogStatePending && host.Count("AddPanel"); }, 2000));
  EXPECT_EQ(panel->LogFile, nullptr);
  ASSERT_FALSE(boxes.messages.empty());
  EXPECT_EQ(boxes.messages.front().first,
            QStringLiteral("File Open Error! Cannot Open: ") + Path());
  sched.AdvanceBy(10000);
  EXPECT_GT(panel->Log().PendingLines(), 3u);
  mem.RefuseOpens(Path(), MemoryLogFiles::Refusal::None);  // the other program let go
  sched.AdvanceBy(TLogWriter::kRetryMs);
  ASSERT_NE(panel->LogFile, nullptr);
  const QStringList lines = Lines(Path());
  ASSERT_FALSE(lines.isEmpty());
  EXPECT_EQ(lines.first(), QStringLiteral("Connected"));
  EXPECT_TRUE(lines.contains(QStringLiteral("Gas Flow On")));
  EXPECT_TRUE(lines.contains(QStringLiteral("Left Temperature, 37")));
}

// ---------------------------------------------------------------- on the disk

TEST_F(NeverLoseTest, ANewLogFileAndItsFolderReachTheDisk) {
  Connect();
  EXPECT_EQ(mem.DurableContents(Path()), std::nullopt) << "nothing synced yet";
  SettleSyncs();
  EXPECT_GE(mem.FolderSyncs(QStringLiteral("/data")), 1);
  EXPECT_EQ(OnDisk(), Written());
  EXPECT_TRUE(OnDisk().contains(", Connected\r"));
}

TEST_F(NeverLoseTest, ChangesOfStateAreQueuedAtOnceRecordsWithinASecond) {
  Connect();
  SettleSyncs();
  // A change of state: its sync is queued by the tick that wrote it.
  device.values["DISP"] = "LID OFF  20  G G";
  ASSERT_TRUE(sched.AdvanceUntil([&] { return Logged(QStringLiteral("Left Lid Open")); }, 1000));
  EXPECT_EQ(syncs.Waiting(), 1u);
  syncs.RunAll();
  EXPECT_TRUE(OnDisk().contains(", Left Lid Open\r"));
  sched.AdvanceBy(DurableLog::kMaxUnsyncedMs);
  // A record block waits for the next round, a second later.
  const int blocks = static_cast<int>(Lines(Path()).count(QStringLiteral("Gas Set-Point, 20")));
  ASSERT_TRUE(sched.AdvanceUntil(
      [&] { return Lines(Path()).count(QStringLiteral("Gas Set-Point, 20")) > blocks; }, 61000));
  EXPECT_EQ(syncs.Waiting(), 0u);
  sched.AdvanceBy(DurableLog::kMaxUnsyncedMs);
  EXPECT_EQ(syncs.Waiting(), 1u);
  syncs.RunAll();
  EXPECT_EQ(OnDisk(), Written());
  // The last line of the link too, before the tile is gone.
  panel->Disconnect();
  EXPECT_EQ(syncs.Waiting(), 1u);
  syncs.RunAll();
  EXPECT_TRUE(OnDisk().endsWith(", Disconnected\r"));
}

// Both lids opened at once: one display reply, two lines. A sync thread that takes every
// job the moment it is queued (a listener after the log runs the queue) still finds a single
// job, queued after the reply's handler, and both lines ride on it before the next tick.
TEST_F(NeverLoseTest, TheChangesOneReplyBringsShareOneSync) {
  Connect();
  SettleSyncs();
  const int before = mem.Syncs();
  const auto eager = panel->Events().Subscribe([&](const TTileEvent&) { syncs.RunAll(); });
  device.values["DISP"] = "LID LID  20  G G";
  ASSERT_TRUE(sched.AdvanceUntil([&] { return Logged(QStringLiteral("Right Lid Open")); }, 1000));
  panel->Events().Unsubscribe(eager);
  EXPECT_EQ(syncs.Waiting(), 1u);
  syncs.RunAll();
  EXPECT_EQ(mem.Syncs(), before + 1);
  EXPECT_TRUE(OnDisk().contains(", Left Lid Open\r"));
  EXPECT_TRUE(OnDisk().contains(", Right Lid Open\r"));
}

TEST_F(NeverLoseTest, ARefusedSyncIsToldOnceCountedAndItsLinesWrittenAgain) {
  Connect();
  SettleSyncs();
  mem.FailSyncs(2);
  device.values["DISP"] = "LID OFF  20  G G";
  ASSERT_TRUE(sched.AdvanceUntil([&] { return Logged(QStringLiteral("Left Lid Open")); }, 1000));
  syncs.RunAll();  // refused
  sched.AdvanceBy(DurableLog::kMaxUnsyncedMs);
  syncs.RunAll();  // refused again
  EXPECT_FALSE(OnDisk().contains(", Left Lid Open\r"));
  SettleSyncs();
  EXPECT_EQ(panel->Log().SyncFailures(), 2u);
  EXPECT_EQ(MessagesWith("The disk did not take the last lines of"), 1);
  EXPECT_EQ(OnDisk(), Written());
  EXPECT_EQ(Lines(Path()).count(QStringLiteral("Left Lid Open")), 1) << "written over itself";
  // A new trouble after a good sync is told again.
  mem.FailSyncs(1);
  device.values["DISP"] = "37.0OFF  20  G G";
  ASSERT_TRUE(sched.AdvanceUntil([&] { return Logged(QStringLiteral("Left Lid Closed")); }, 1000));
  SettleSyncs();
  EXPECT_EQ(MessagesWith("The disk did not take the last lines of"), 2);
  EXPECT_EQ(OnDisk(), Written());
}

TEST_F(NeverLoseTest, ADamagedEndIsToldOnceAndTheFirstLineStartsFresh) {
  const QByteArray old = "8/03/2010 2:05:09 PM, Connected\r8/03/2010 2:05:10 PM, Left Tem";
  mem.Put(Path(), old);
  Connect();
  const QByteArray bytes = Written();
  ASSERT_TRUE(bytes.startsWith(old)) << "the old bytes stay as they are";
  const QList<QByteArray> added = bytes.mid(old.size()).split('\r');
  ASSERT_GE(added.size(), 3);
  EXPECT_EQ(added[0], QByteArray()) << "a line end of its own first";
  EXPECT_TRUE(added[1].endsWith(", Connected")) << added[1].toStdString();
  EXPECT_EQ(MessagesWith("ended in a damaged line"), 1);
  // Opened again (the same folder chosen again): the end is whole now, nothing to tell.
  panel->SetDirectory(QStringLiteral("/data"));
  EXPECT_EQ(MessagesWith("ended in a damaged line"), 1);
}

// A disk that takes minutes for a sync: the tile polls on, writes every line in order, and
// the lines reach the disk in that order when it is done.
TEST_F(NeverLoseTest, ASlowDiskNeverHoldsUpThePollOrTheOrderOfLines) {
  Connect();
  SettleSyncs();
  const auto polls = [&](std::int64_t from) {
    return std::count_if(device.commands.begin(), device.commands.end(),
                         [&](const auto& c) { return c.first >= from; });
  };
  // Five minutes of lid changes, no sync finished meanwhile.
  const std::int64_t start = sched.ElapsedMs();
  for (int i = 0; i < 30; ++i) {
    device.values["DISP"] = i % 2 == 0 ? "LID OFF  20  G G" : "37.0OFF  20  G G";
    sched.AdvanceBy(10000);
    EXPECT_LE(syncs.Waiting(), 1u) << "syncs asked meanwhile merge into the one that waits";
  }
  const auto held = polls(start);
  // The same five minutes with a quick disk.
  const std::int64_t again = sched.ElapsedMs();
  for (int i = 0; i < 30; ++i) {
    sched.AdvanceBy(10000);
    syncs.RunAll();
  }
  EXPECT_EQ(held, polls(again)) << "the poll went on at its pace";
  SettleSyncs();
  EXPECT_EQ(OnDisk(), Written());
  const QStringList lids = Lines(Path()).filter(QStringLiteral("Left Lid"));
  ASSERT_EQ(lids.size(), 1 + 30) << "the state block's line and every change";
  for (int i = 0; i < 30; ++i)
    EXPECT_EQ(lids[i + 1],
              i % 2 == 0 ? QStringLiteral("Left Lid Open") : QStringLiteral("Left Lid Closed"));
}

TEST(LogFileNameTest, LongNamesAreCutToFitWithTheSerialWhole) {
  const QString serial(127, u'7');
  const struct {
    QString nick;
  } cases[] = {{QString(127, QChar(0xFFFD))}, {QString(127, QChar(0x20AC))}, {QString(127, u'n')}};
  for (const auto& c : cases) {
    const QString name = LogFileNameFor(c.nick, serial);
    EXPECT_LE(QFile::encodeName(name).size(), kMaxFileNameBytes);
    EXPECT_TRUE(name.endsWith(u' ' + serial + QStringLiteral(".csv")));
    EXPECT_EQ(name, LogFileNameFor(c.nick, serial)) << "the same file every time";
  }
  // A name in the astral planes is never cut inside a surrogate pair.
  const QString astral = QString::fromUcs4(U"\U0001F9EA").repeated(100);
  const QString cut = LogFileNameFor(astral, QStringLiteral("1"));
  EXPECT_FALSE(cut.section(u' ', 0, 0).back().isHighSurrogate());
  EXPECT_EQ(LogFileNameFor(QStringLiteral("Lab1"), QStringLiteral("1234")),
            QStringLiteral("Lab1 1234.csv"));
}

TEST_F(NeverLoseTest, ALostNameReplyIsAskedAgainAndTheIncubatorIsLogged) {
  device.values.erase("NICK");  // the first name request goes unanswered
  Attach();
  sched.AdvanceBy(1000);
  EXPECT_TRUE(panel->SerialKnown);
  EXPECT_FALSE(panel->LogFile);
  device.values["NICK"] = "Lab1";
  ASSERT_TRUE(sched.AdvanceUntil([&] { return panel->LogFile != nullptr; }, 4000));
  EXPECT_EQ(Lines(Path()).first(), QStringLiteral("Connected"));
  int asked = 0;
  for (const std::string& c : device.CommandTexts())
    asked += c == "!GET NICK";
  EXPECT_GE(asked, 2);
  // Once named, the name is not asked again.
  sched.AdvanceBy(10000);
  int later = 0;
  for (const std::string& c : device.CommandTexts())
    later += c == "!GET NICK";
  EXPECT_EQ(later, asked);
}

TEST_F(NeverLoseTest, ASecondNameReplyRenamesButLeavesTheRecordGridAlone) {
  Connect();
  sched.AdvanceBy(3000);  // past the first block
  host.on_add = nullptr;  // a listed tile is only re-sorted by the main window
  const TDateTime next = panel->NextRecordTime;
  Reply("NICK Lab2");
  EXPECT_EQ(panel->Nick, QStringLiteral("Lab2"));
  EXPECT_EQ(panel->Caption.Text, QStringLiteral("Lab2: 1234"));
  EXPECT_EQ(panel->NextRecordTime, next);
  sched.AdvanceBy(3000);
  EXPECT_EQ(Lines(Path()).count(QStringLiteral("Left Temperature, 37")), 1) << "no extra block";
}

}  // namespace
}  // namespace dova::testing
