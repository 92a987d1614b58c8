// The lab day as the logger writes it: the main window over the simulated bench, on
// virtual time, for the first two minutes of a run.
#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>
#include <map>
#include <set>

#include "main_form_fixture.h"

namespace dova {
namespace {

using Logs = std::map<QString, QStringList>;  // file name -> lines without their time stamps

// Runs the main window over the bench for the given time with a one-minute log interval and
// returns what its log files hold.
Logs RunLogger(const sim::TBenchOptions& bench, std::int64_t ms) {
  testing::MainFormFixture f(bench);
  f.store.values["LogInterval"] = 1;
  f.Create();
  f.sched.AdvanceBy(ms);
  EXPECT_TRUE(f.errors.messages.empty());
  const QDir data(f.dir.path() + "/data");
  Logs logs;
  for (const QString& name : data.entryList({"*.csv"}, QDir::Files)) {
    QStringList lines;
    for (const QString& line : testing::MainFormFixture::LogLines(data.filePath(name))) {
      const qsizetype comma = line.indexOf(QStringLiteral(", "));
      lines << line.mid(comma + 2);
    }
    logs[name] = lines;
  }
  return logs;
}

// Whether the log has the line `first` and, after it, the line `then`.
bool InOrder(const QStringList& lines, const QString& first, const QString& then) {
  const qsizetype at = lines.indexOf(first);
  return at >= 0 && lines.indexOf(then, at + 1) > at;
}

TEST(LabDayLogTest, TwoMinutesOfThreeIncubatorsShowTheLabAtWork) {
  const Logs logs = RunLogger(sim::TBenchOptions{.Count = 3}, 122'000);
  ASSERT_EQ(logs.size(), 3u);
  bool lid = false, purge = false, set_point = false;
  for (const auto& [name, lines] : logs) {
    SCOPED_TRACE(name.toStdString() + ":\n" + lines.join('\n').toStdString());
    EXPECT_FALSE(name.startsWith("DOVA")) << "a name a lab would give";
    EXPECT_TRUE(QRegularExpression(R"(^.+ 3\d{6}\.csv$)").match(name).hasMatch());
    EXPECT_EQ(lines.value(0), "Connected");
    for (const QString side : {"Left", "Right"})
      lid = lid || InOrder(lines, side + " Lid Open", side + " Lid Closed");
    purge = purge || InOrder(lines, "Gas Purge Start", "Gas Purge Stop");
    set_point = set_point || !lines.filter(" Set-Point Adjusted, ").isEmpty();
    // Warming up from the room: the temperatures move.
    const QStringList temps = lines.filter(QRegularExpression("^Left Temperature, "));
    ASSERT_GE(temps.size(), 3) << "a block a minute";
    EXPECT_LT(temps.first().section(", ", 1).toDouble(), 25.0);
    EXPECT_GT(temps.last().section(", ", 1).toDouble(),
              temps.first().section(", ", 1).toDouble() + 3.0);
  }
  EXPECT_TRUE(lid);
  EXPECT_TRUE(purge);
  EXPECT_TRUE(set_point);
}

TEST(LabDayLogTest, TheSameSeedWritesTheSameLines) {
  const Logs one = RunLogger(sim::TBenchOptions{.Count = 3, .Seed = 42}, 150'000);
  EXPECT_EQ(one, RunLogger(sim::TBenchOptions{.Count = 3, .Seed = 42}, 150'000));
  const Logs other = RunLogger(sim::TBenchOptions{.Count = 3, .Seed = 43}, 150'000);
  EXPECT_NE(one, other);
  std::set<QString> names;
  for (const auto& [name, lines] : one)
    names.insert(name);
  for (const auto& [name, lines] : other)
    names.insert(name);
  EXPECT_GT(names.size(), 3u) << "another seed, another bench";
}

TEST(LabDayLogTest, AQuietBenchLogsNothingButItsSteadyState) {
  const Logs logs = RunLogger(sim::TBenchOptions{.Count = 3, .Quiet = true}, 10 * 60'000);
  ASSERT_EQ(logs.size(), 3u);
  const QStringList steady = {
      "Connected",
      "Left Chamber On",
      "Left Lid Closed",
      "Right Chamber On",
      "Right Lid Closed",
      "Gas Flow On",
      "Left Temperature, 37",
      "Left Set-Point, 37",
      "Right Temperature, 37",
      "Right Set-Point, 37",
      "Gas Flow, 20",
      "Gas Set-Point, 20",
  };
  for (const auto& [name, lines] : logs) {
    SCOPED_TRACE(name.toStdString());
    EXPECT_TRUE(name == "DOVA 1 1.csv" || name == "DOVA 2 2.csv" || name == "DOVA 3 3.csv");
    EXPECT_EQ(lines.size(), 6 + 6 * 10) << "the state at opening and a block a minute";
    for (const QString& line : lines)
      EXPECT_TRUE(steady.contains(line)) << line.toStdString();
  }
}

}  // namespace
}  // namespace dova
