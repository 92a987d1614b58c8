// What the alarm side adds to a stored log's statistics and report: the band from the alarm
// settings of the log's serial, and the alarm journal's entries beside the file.

#include "history/alarm_context.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "alarms/alarm_journal.h"
#include "alarms/alarm_settings.h"
#include "history/period_report.h"
#include "log_text.h"
#include "platform/settings/settings_store.h"

namespace dova {
namespace {

using testing::Append;
using testing::Block;
using testing::LogBytes;
using testing::LogLine;

constexpr TDateTime kMin = kOneMinute;
constexpr double kTight = 1e-9;

// Forty minutes of one link, ten minutes between blocks; the left chamber reads 37.0, 37.6,
// 37.3, 38.0 against 37.0 and the gas 20, 23, 20, 20 against 20.
class AlarmContextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const LogFormat f = LogFormat::ForLocale(QLocale(QStringLiteral("en_US")));
    std::vector<LogLine> lines{{t0, QStringLiteral("Connected")}};
    const double left[] = {37.0, 37.6, 37.3, 38.0};
    const double flow[] = {20, 23, 20, 20};
    for (int i = 0; i < 4; ++i)
      Append(lines, Block(f, t0 + i * 10 * kMin, left[i], 37, 37, 37, flow[i], 20));
    lines.push_back({t0 + 40 * kMin, QStringLiteral("Disconnected")});
    path = dir.filePath(QStringLiteral("Lab1 1234.csv"));
    ASSERT_TRUE(testing::WriteLogFile(path, LogBytes(f, lines), t0 + 0.1));
    reader = std::make_unique<TStoredLogReader>(
        path, TStoredLogReader::TOptions{QLocale(QStringLiteral("en_US")), QLocale::c()});
    ASSERT_EQ(reader->Refresh(), TStoredLogReader::TResult::Read);
  }

  static TAlarmTransition Transition(TAlarmTransitionKind what, TDateTime time, const char* serial,
                                     std::optional<TAlarmKey> key) {
    TAlarmTransition t;
    t.Transition = what;
    t.Time = time;
    t.Serial = QString::fromLatin1(serial);
    t.Name = QStringLiteral("Lab1");
    t.Key = key;
    return t;
  }

  // A journal file of these transitions, chained as the logger writes it.
  void WriteJournal(const QString& name, const std::vector<TAlarmTransition>& entries,
                    const QByteArray& tail = {}) {
    QByteArray bytes = JournalHeader();
    QByteArray chain;
    for (const TAlarmTransition& t : entries)
      bytes += JournalLine(t, chain, &chain);
    QFile file(dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes + tail);
  }

  const TDateTime t0 = EncodeDateTime(2026, 12, 14, 10, 0, 0);
  QTemporaryDir dir;
  QString path;
  std::unique_ptr<TStoredLogReader> reader;
};

TEST_F(AlarmContextTest, TheSerialsOwnAlarmLimitsSetTheBandOfItsStatistics) {
  MemorySettingsStore store;
  store.key_exists = true;
  store.values[QStringLiteral("Alarms/FlowLimit")] = 2;
  store.values[QStringLiteral("Alarms/1234/TemperatureLimit")] = 0.7;
  // Unreadable: the group's value holds.
  store.values[QStringLiteral("Alarms/5678/FlowLimit")] = QStringLiteral("wide");
  struct Case {
    const char* serial;
    double temperature;
    double flow;
    double left_in_band;  // minutes of 40
    double gas_in_band;
  };
  const Case cases[] = {
      // 37.6 lies within 0.7 °C; 23 ml/min lies beyond 2.
      {"1234", 0.7, 2, 30, 30},
      // The defaults of the group: 37.6 lies beyond 0.5 °C.
      {"5678", 0.5, 2, 20, 30},
      {"", 0.5, 2, 20, 30},
  };
  for (const Case& c : cases) {
    TAlarmSettings settings(&store);
    const TAlarmBand band = AlarmBandOf(settings, QString::fromLatin1(c.serial));
    EXPECT_DOUBLE_EQ(band.Temperature, c.temperature) << c.serial;
    EXPECT_DOUBLE_EQ(band.Flow, c.flow) << c.serial;
    const TPeriodStats s =
        ComputePeriodStats(reader->Log(), reader->Log().FirstTime, reader->Log().LastTime, band);
    EXPECT_NEAR(s.Left.InBandShare, c.left_in_band / 40.0, kTight) << c.serial;
    EXPECT_NEAR(s.Gas.InBandShare, c.gas_in_band / 40.0, kTight) << c.serial;
  }
  // Without settings of its own the built-in band holds: 23 ml/min lies within 5.
  TAlarmSettings none;
  const TAlarmBand defaults = AlarmBandOf(none, QStringLiteral("1234"));
  EXPECT_DOUBLE_EQ(defaults.Temperature, 0.5);
  const TPeriodStats s =
      ComputePeriodStats(reader->Log(), reader->Log().FirstTime, reader->Log().LastTime, defaults);
  EXPECT_NEAR(s.Gas.InBandShare, 1.0, kTight);
}

TEST_F(AlarmContextTest, TheJournalBesideTheLogGivesTheSerialsEntriesInThePeriod) {
  const TAlarmKey left_high{TAlarmKind::TemperatureHigh, TAlarmSide::Left};
  TAlarmTransition raised =
      Transition(TAlarmTransitionKind::Raised, t0 + 30 * kMin, "1234", left_high);
  raised.Value = QStringLiteral("38.0 °C");
  raised.Limit = QStringLiteral("37.5 °C");
  TAlarmTransition acknowledged =
      Transition(TAlarmTransitionKind::Acknowledged, t0 + 33 * kMin, "1234", left_high);
  acknowledged.User = QStringLiteral("anna");
  acknowledged.Comment = QStringLiteral("door, checked");
  WriteJournal(QStringLiteral("Alarm Journal.csv"),
               {
                   Transition(TAlarmTransitionKind::Raised, t0 - 60 * kMin, "1234", left_high),
                   raised,
                   Transition(TAlarmTransitionKind::Raised, t0 + 31 * kMin, "5678", left_high),
                   Transition(TAlarmTransitionKind::Shelved, t0 + 35 * kMin, "1234", {}),
               });
  // The next journal, started after the first: one good line, then one changed by hand.
  WriteJournal(QStringLiteral("Alarm Journal (2).csv"), {acknowledged},
               "2026-12-14T10:39:00+00:00,1234,Lab1,temperature high,Left,cleared,,,,,"
               "0000000000000000000000000000000000000000000000000000000000000000\r\n");

  const TJournalExtract extract =
      JournalEntriesBeside(path, QStringLiteral("1234"), t0, t0 + 40 * kMin);
  ASSERT_EQ(extract.Files.size(), 2);
  ASSERT_EQ(extract.Entries.size(), 3u);
  EXPECT_EQ(extract.Entries[0].Transition, TAlarmTransitionKind::Raised);
  EXPECT_NEAR(extract.Entries[0].Time, t0 + 30 * kMin, 1e-6);
  EXPECT_EQ(extract.Entries[1].Transition, TAlarmTransitionKind::Acknowledged);
  EXPECT_EQ(extract.Entries[2].Transition, TAlarmTransitionKind::Shelved);
  ASSERT_EQ(extract.Problems.size(), 1);
  EXPECT_TRUE(extract.Problems[0].contains(QStringLiteral("Alarm Journal (2).csv")));
  EXPECT_TRUE(extract.Problems[0].contains(QStringLiteral("line 3")));

  const QLocale en(QStringLiteral("en_US"));
  const TPeriodStats stats = ComputePeriodStats(reader->Log(), t0, t0 + 40 * kMin);
  TReportSource source;
  source.Name = QStringLiteral("Lab1");
  source.Serial = QStringLiteral("1234");
  const TPeriodReport report = BuildPeriodReport(reader->Log(), stats, source, {}, en, extract);
  ASSERT_TRUE(report.HasJournal);
  ASSERT_EQ(report.Journal.size(), 3u);
  EXPECT_EQ(report.Journal[0].Alarm, QStringLiteral("Left temperature high"));
  EXPECT_EQ(report.Journal[0].Transition, QStringLiteral("raised"));
  EXPECT_EQ(report.Journal[0].Details, QStringLiteral("value 38.0 °C, limit 37.5 °C"));
  EXPECT_EQ(report.Journal[1].Details, QStringLiteral("by anna, \u201Cdoor, checked\u201D"));
  EXPECT_EQ(report.Journal[2].Alarm, QStringLiteral("Incubator"));
  EXPECT_EQ(report.Journal[2].Transition, QStringLiteral("shelved"));
  EXPECT_EQ(report.JournalProblems, extract.Problems);

  // Another serial has none of these; a folder without a journal has no journal at all.
  EXPECT_TRUE(
      JournalEntriesBeside(path, QStringLiteral("9999"), t0, t0 + 40 * kMin).Entries.empty());
  QTemporaryDir elsewhere;
  const QString alone = elsewhere.filePath(QStringLiteral("Lab1 1234.csv"));
  const TJournalExtract none = JournalEntriesBeside(alone, QStringLiteral("1234"), t0, t0 + 1);
  EXPECT_TRUE(none.Files.isEmpty());
  EXPECT_FALSE(BuildPeriodReport(reader->Log(), stats, {}, {}, en, none).HasJournal);
}

}  // namespace
}  // namespace dova
