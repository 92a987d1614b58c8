// Three virtual days of one simulated incubator: lid openings, purges, the log and the
// trend windows' retention.
#include <gtest/gtest.h>

#include "panel_fixture.h"
#include "sim/incubator.h"

namespace dova::testing {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int kHours = 3;  // the instrumented build is some fifty times slower
#else
constexpr int kHours = 3 * 24;
#endif

template <class Series>
void ExpectAtMostOnePointPerSecondAndNoneTooOld(const Series& s, TDateTime now, const char* what) {
  SCOPED_TRACE(what);
  ASSERT_FALSE(s.Empty());
  EXPECT_GE(s.First().x, now - 3.0 - kOneSecond);
  TDateTime previous = -1e9;
  std::size_t crowded = 0;
  for (const auto& p : s) {
    if (p.x - previous < kOneSecond * 0.999) ++crowded;
    previous = p.x;
  }
  EXPECT_EQ(crowded, 0u);
}

TEST_F(PanelTest, DaysOfASimulatedIncubatorWithLidOpeningsAndPurges) {
  sim::IncubatorConfig config;
  config.serial = 77;
  config.nick = "Soak";
  sim::Incubator incubator(sched, config);
  incubator.Attach(bridge);  // takes the bridge over from the scripted device
  Connect();
  const int hours = kHours;
  int purges = 0;
  for (int hour = 0; hour < hours; ++hour) {
    sched.AdvanceBy(20 * 60 * 1000);
    incubator.SetLidOpen(sim::Side::Left, true);
    sched.AdvanceBy(30 * 1000);
    incubator.SetLidOpen(sim::Side::Left, false);
    if (hour % 6 == 0) {
      incubator.StartPurge(60 * 1000);
      ++purges;
    }
    sched.AdvanceBy(39 * 60 * 1000 + 30 * 1000);
  }
  const QStringList log = LogTexts(panel->LogFile->Path());
  EXPECT_EQ(log.count(QStringLiteral("Left Lid Open")), hours);
  EXPECT_EQ(log.count(QStringLiteral("Left Lid Closed")), hours + 1);  // one in the state block
  EXPECT_EQ(log.count(QStringLiteral("Gas Purge Start")), purges);
  EXPECT_EQ(log.count(QStringLiteral("Gas Purge Stop")), purges);
  EXPECT_EQ(log.filter(QStringLiteral("Left Temperature, ")).size(), hours * 12);
  EXPECT_TRUE(errors.messages.empty());
  EXPECT_EQ(host.Count("RemovePanel"), 0);
  // The readings follow the incubator.
  EXPECT_NEAR(panel->LeftTemp, 370, 3);
  EXPECT_EQ(panel->GasSetPoint, 20);

  const TDateTime now = sched.Now();
  ExpectAtMostOnePointPerSecondAndNoneTooOld(panel->LeftTempGraph->TempSeries(), now, "left");
  ExpectAtMostOnePointPerSecondAndNoneTooOld(panel->LeftTempGraph->SPSeries(), now, "left sp");
  ExpectAtMostOnePointPerSecondAndNoneTooOld(panel->RightTempGraph->TempSeries(), now, "right");
  ExpectAtMostOnePointPerSecondAndNoneTooOld(panel->GasFlowGraph->FlowSeries(), now, "gas");
  ExpectAtMostOnePointPerSecondAndNoneTooOld(panel->GasFlowGraph->SPSeries(), now, "gas sp");
  EXPECT_EQ(panel->LeftTempGraph->EventSeries().Count(),
            static_cast<std::size_t>(2 * std::min(hours, 72)));
}

}  // namespace
}  // namespace dova::testing
