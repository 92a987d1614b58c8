#include <gtest/gtest.h>

#include "alarms/alarm_engine.h"
#include "console/alarm_lines.h"
#include "platform/virtual_scheduler.h"

namespace dova {
namespace {

TEST(AlarmLines, OneLinePerTransitionWithDeviceTextEscaped) {
  TAlarmTransition t;
  t.Transition = TAlarmTransitionKind::Raised;
  t.Time = EncodeDateTime(2010, 3, 8, 14, 5, 9);
  t.Serial = QStringLiteral("a1b2c3");
  t.Name = QStringLiteral("Bench\x1b[2J");
  t.Key = TAlarmKey{TAlarmKind::LidOpen, TAlarmSide::Left};
  t.Value = QStringLiteral("open");
  t.Limit = QStringLiteral("180 s");
  EXPECT_EQ(AlarmLine(t),
            "14:05:09 ALARM raised: lid open too long, Left, Bench\\x1b[2J (a1b2c3): open, "
            "limit 180 s");
  t.Transition = TAlarmTransitionKind::Acknowledged;
  t.Key = TAlarmKey{TAlarmKind::NoData, TAlarmSide::None};
  t.Value.clear();
  t.Limit.clear();
  t.User = QStringLiteral("ana");
  t.Comment = QStringLiteral("on it");
  EXPECT_EQ(AlarmLine(t),
            "14:05:09 ALARM acknowledged: no data, Bench\\x1b[2J (a1b2c3), by ana \"on it\"");
}

TEST(AlarmLines, TheColumnSaysUnacknowledgedFirstThenActiveThenShelved) {
  VirtualScheduler sched;
  TAlarmSettings settings;
  TAlarmEngine engine(sched, settings);
  auto& inc = engine.Track("s1", "One");
  EXPECT_EQ(AlarmColumn(engine, "s1"), "");
  TTileEvent e;
  e.Kind = TTileEventKind::TempError;
  e.Side = TTileSide::Left;
  engine.OnEvent(inc, e);
  e.Side = TTileSide::Right;
  engine.OnEvent(inc, e);
  EXPECT_EQ(AlarmColumn(engine, "s1"), "2 unack");
  engine.AcknowledgeAll("ana");
  EXPECT_EQ(AlarmColumn(engine, "s1"), "2 active");
  engine.Shelve("s1", 60000, "service", "ana");
  EXPECT_EQ(AlarmColumn(engine, "s1"), "shelved");
  EXPECT_EQ(AlarmColumn(engine, "other"), "");
}

TEST(AlarmConsole, PrintsAnnouncedTransitionsAndTheKeyAcknowledgesAll) {
  VirtualScheduler sched;
  TAlarmSettings settings;
  TAlarmEngine engine(sched, settings);
  QStringList printed;
  TAlarmConsole console(engine, [&](const QString& line) { printed << line; });
  auto& inc = engine.Track("s1", "One");
  TTileEvent e;
  e.Kind = TTileEventKind::TempError;
  e.Side = TTileSide::Left;
  engine.OnEvent(inc, e);
  ASSERT_EQ(printed.size(), 1);
  EXPECT_TRUE(printed[0].contains("ALARM raised: device error, Left, One (s1)"));
  console.Key('x', "ana");
  EXPECT_EQ(engine.UnacknowledgedCount(), 1);
  console.Key('a', "ana");
  EXPECT_EQ(engine.UnacknowledgedCount(), 0);
  EXPECT_EQ(printed.back().section(' ', 1),
            "ALARM acknowledged: device error, Left, One (s1): Temperature Error, by ana");
  console.Key('a', "ana");
  EXPECT_EQ(printed.back(), "No alarm to acknowledge.");
  // A shelved incubator is journaled, not announced.
  engine.Shelve("s1", 60000, "service", "ana");
  const qsizetype before = printed.size();
  e.Side = TTileSide::Right;
  engine.OnEvent(inc, e);
  EXPECT_EQ(printed.size(), before);
}

}  // namespace
}  // namespace dova
