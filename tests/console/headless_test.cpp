#include <gtest/gtest.h>

#include "alarms/alarm_journal.h"
#include "alarms/alarm_service.h"
#include "app/main_form_fixture.h"
#include "console/alarm_lines.h"
#include "console/headless_logger.h"

namespace dova {
namespace {

// The whole logger without widgets, in-process: three simulated incubators logged into a
// data folder given for the run.
TEST(HeadlessLoggerTest, LogsEveryIncubatorAndClosesEveryFile) {
  testing::MainFormFixture f;
  f.store.key_exists = false;  // first run
  for (int i = 0; i < 3; ++i)
    f.fleet.Add();
  QStringList out;
  THeadlessLogger::TOptions options;
  options.DocumentsFolder = f.dir.path();
  options.DataDir = f.dir.path() + "/run";
  options.LogInterval = 1;
  THeadlessLogger logger(f.sched, f.fleet.Library(), f.store, f.awake, f.format, options,
                         [&](const QString& line) { out << line; });
  TMainForm& form = logger.Form();
  ASSERT_TRUE(f.sched.AdvanceUntil([&] { return form.ActivePanels.size() == 3; }, 3000));
  EXPECT_EQ(form.LogInterval, 1);
  EXPECT_EQ(f.store.values["LogInterval"].toInt(), 5) << "run options are not stored";
  std::vector<QString> logs;
  for (const TDovaPanel* p : form.ActivePanels) {
    logs.push_back(p->LogFilePath());
    EXPECT_TRUE(p->LogFilePath().startsWith(f.dir.path() + "/run/"));
  }
  f.sched.AdvanceBy(61000);
  for (const QString& log : logs)
    EXPECT_GE(f.LogLines(log).size(), 12) << "two record blocks";

  // One incubator unplugged: its log ends within about a second.
  f.fleet.At(1).SetLidOpen(sim::Side::Left, true);
  f.sched.AdvanceBy(2000);
  f.fleet.At(1).Unplug();
  const QString unplugged = logs[1];
  ASSERT_TRUE(f.sched.AdvanceUntil(
      [&] { return f.LogLines(unplugged).last().endsWith(", Disconnected"); }, 1100));
  // The log ends as soon as the link fails; the close timer frees the tile within a second.
  f.sched.AdvanceBy(1100);
  EXPECT_EQ(form.ActivePanels.size(), 2u);
  EXPECT_EQ(out.filter(": link lost").size(), 1);
  EXPECT_EQ(out.filter(": disconnected").size(), 1);
  EXPECT_EQ(out.filter("Left Lid Open").size(), 1) << out.join('\n').toStdString();

  // Closing: every remaining file gets its last line.
  logger.Close();
  for (const QString& log : logs)
    EXPECT_TRUE(f.LogLines(log).last().endsWith(", Disconnected"));
  EXPECT_EQ(out.filter(": disconnected").size(), 3);
  EXPECT_TRUE(f.errors.messages.empty());
}

TEST(HeadlessLoggerTest, DialogsAnswerCancelAndBoxesGoToTheConsole) {
  QStringList out;
  THeadlessDialogs d([&](const QString& l) { out << l; });
  EXPECT_FALSE(d.Execute(std::uint8_t{5}).has_value());
  EXPECT_FALSE(d.Execute(QString("x")).has_value());
  EXPECT_FALSE(d.Confirm("Delete?"));
  d.DisplayMessage("File Open Error! Cannot Open: /x", "Error");
  EXPECT_EQ(out, QStringList{"Error: File Open Error! Cannot Open: /x"});
}

}  // namespace
}  // namespace dova

namespace dova {
namespace {

// The alarms of a console run on simulated incubators, from the incubator's display to the
// console line and the journal on disk.
TEST(HeadlessLoggerTest, AlarmsOfSimulatedIncubatorsReachTheConsoleAndTheJournal) {
  testing::MainFormFixture f;
  f.store.key_exists = false;
  for (int i = 0; i < 3; ++i)
    f.fleet.Add();
  QStringList out;
  const auto print = [&](const QString& line) { out << line; };
  THeadlessLogger::TOptions options;
  options.DocumentsFolder = f.dir.path();
  options.DataDir = f.dir.path() + "/run";
  THeadlessLogger logger(f.sched, f.fleet.Library(), f.store, f.awake, f.format, options, print);
  auto alarms =
      StartAlarmService(f.sched, logger.Form(), f.store, logger.Form().Directory, QString(), print);
  TAlarmConsole console(alarms->Engine(), print);
  ASSERT_TRUE(f.sched.AdvanceUntil([&] { return logger.Form().ActivePanels.size() == 3; }, 3000));
  f.sched.AdvanceBy(60000);
  ASSERT_TRUE(out.filter("ALARM").isEmpty()) << out.join('\n').toStdString();

  // A lid held open for four minutes: raised three minutes after the tile saw it open.
  f.fleet.At(0).SetLidOpen(sim::Side::Left, true);
  ASSERT_TRUE(f.sched.AdvanceUntil([&] { return !out.filter("Left Lid Open").isEmpty(); }, 2000));
  f.sched.AdvanceBy(180000 - 1000);
  EXPECT_TRUE(out.filter("ALARM raised").isEmpty());
  f.sched.AdvanceBy(1000);
  EXPECT_EQ(out.filter("ALARM raised: lid open too long, Left").size(), 1)
      << out.join('\n').toStdString();
  f.sched.AdvanceBy(60000);
  f.fleet.At(0).SetLidOpen(sim::Side::Left, false);
  f.sched.AdvanceBy(2000);
  EXPECT_EQ(out.filter("ALARM cleared: lid open too long, Left").size(), 1);

  // A CO2 error comes and goes; its end is no event of the tile, the engine still sees it.
  f.fleet.At(1).SetCO2Error(true);
  f.sched.AdvanceBy(2000);
  EXPECT_EQ(out.filter("ALARM raised: device error, Gas").size(), 1);
  f.fleet.At(1).SetCO2Error(false);
  f.sched.AdvanceBy(2000);
  EXPECT_EQ(out.filter("ALARM cleared: device error, Gas").size(), 1);

  // Unplugged and not back: no data a minute after the link ended.
  f.fleet.At(2).Unplug();
  f.sched.AdvanceBy(65000);
  EXPECT_EQ(out.filter("ALARM raised: no data").size(), 1);

  console.Key('a', "ana");
  EXPECT_EQ(alarms->Engine().UnacknowledgedCount(), 0);
  const QString journal = alarms->Journal().Path();
  alarms.reset();
  logger.Close();
  QString report;
  EXPECT_EQ(VerifyJournalFile(journal, &report), 0);
  // Raised and cleared twice, raised once, three acknowledged.
  EXPECT_EQ(report, "intact, 8 entries");
  EXPECT_TRUE(f.errors.messages.empty());
}

}  // namespace
}  // namespace dova
