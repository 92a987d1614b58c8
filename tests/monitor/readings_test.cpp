// Set-points, chamber temperatures (mean, filter, snap) and gas flow, fed reply by reply.
#include <gtest/gtest.h>

#include <cmath>

#include "panel_fixture.h"

namespace dova::testing {
namespace {

class ReadingsTest : public PanelTest {
 protected:
  void SetUp() override {
    device.silent = true;
    Attach();
  }
};

TEST_F(ReadingsTest, SetPointsAreRoundedToTenthsAndFives) {
  const struct {
    const char* line;
    std::int32_t TIncubatorState::*field;
    std::int32_t expected;
  } cases[] = {
      {"LBSP 3749", &TIncubatorState::LeftSetPoint, 375},
      {"LBSP 3744", &TIncubatorState::LeftSetPoint, 374},
      {"RBSP 3755", &TIncubatorState::RightSetPoint, 376},
      {"RBSP -14", &TIncubatorState::RightSetPoint, 0},
      {"RBSP -16", &TIncubatorState::RightSetPoint, -1},
      {"GFSP 10000", &TIncubatorState::GasSetPoint, 50},
      {"GFSP 10499", &TIncubatorState::GasSetPoint, 50},
      {"GFSP 10500", &TIncubatorState::GasSetPoint, 55},
      {"GFSP $2710", &TIncubatorState::GasSetPoint, 50},
      {"GFSP 2147483647", &TIncubatorState::GasSetPoint, 10737420},
  };
  for (const auto& c : cases) {
    Reply(c.line);
    EXPECT_EQ(panel->State().*c.field, c.expected) << c.line;
  }
}

TEST_F(ReadingsTest, InvalidOrOverflowingValuesChangeNothing) {
  Reply("LBSP 3700");
  Reply("LBT2 3700");
  for (const char* line :
       {"LBSP 3750 ", "LBSP 37.5", "LBSP", "LBSP 2147483647", "LBT1 x", "LBT2 "}) {
    Reply(line);
    EXPECT_EQ(panel->LeftSetPoint, 370) << line;
    EXPECT_EQ(panel->LeftTemp, 370) << line;
    EXPECT_EQ(panel->LastLBT1, -1000) << line;
  }
  // The mean of two readings near the top of the range overflows: the handling ends there.
  Reply("LBT1 2147483647");
  Reply("LBT2 2147483647");
  EXPECT_EQ(panel->LeftTemp, 370);
  EXPECT_EQ(panel->LeftFiltered, 3700);
  // A value with a blank in front is fine.
  Reply("LBSP  3750");
  EXPECT_EQ(panel->LeftSetPoint, 375);
}

TEST_F(ReadingsTest, SecondReadingTakesTheMeanAndFiltersIt) {
  Reply("LBT2 3712");  // no first reading yet: the value alone starts the filter
  EXPECT_EQ(panel->LeftFiltered, 3712);
  EXPECT_EQ(panel->LeftTemp, 371);
  panel = NewPanel();
  Attach();
  Reply("LBT1 3700");
  Reply("LBT2 3721");
  EXPECT_EQ(panel->LeftFiltered, 3710);
  // From 3700 towards a steady 3800: each reply adds a quarter of the gap, rounded down.
  panel = NewPanel();
  Attach();
  Reply("RBT2 3700");
  Reply("RBT1 3800");
  std::vector<std::int32_t> states;
  for (int i = 0; i < 5; ++i) {
    Reply("RBT2 3800");
    states.push_back(panel->RightFiltered);
  }
  EXPECT_EQ(states, (std::vector<std::int32_t>{3725, 3743, 3757, 3767, 3775}));
  EXPECT_EQ(panel->RightTemp, 378);
  // Negative temperatures truncate toward zero too.
  panel = NewPanel();
  Attach();
  Reply("LBT2 -16");
  EXPECT_EQ(panel->LeftTemp, -1);
}

TEST_F(ReadingsTest, TemperatureSnapsToAStillDisplayOneTenthAway) {
  const struct {
    const char* display;
    std::int64_t still_ms;
    const char* reading;
    std::int32_t temp;
    std::int32_t filtered;
  } cases[] = {
      {"37.2", 4000, "LBT2 3712", 372, 3720},  // snapped
      {"37.2", 4000, "LBT2 3730", 372, 3720},  // from above as well
      {"37.2", 4000, "LBT2 3700", 370, 3700},  // two tenths apart: left to the filter
      {"37.2", 2000, "LBT2 3712", 371, 3712},  // the display changed too recently
      {"37.2", 3000, "LBT2 3712", 371, 3712},  // "more than" three seconds
      {"37.2", 3001, "LBT2 3712", 372, 3720},
      {"OFF ", 4000, "LBT2 3712", 371, 3712},  // no number on the display
      {"LID ", 4000, "LBT2 3712", 371, 3712},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.display) + " " + c.reading + " after " + std::to_string(c.still_ms));
    panel = NewPanel();
    Attach();
    Reply(QByteArray("DISP ") + c.display + "37.0 20  GGG");
    sched.AdvanceBy(c.still_ms);
    Reply(c.reading);
    EXPECT_EQ(panel->LeftTemp, c.temp);
    EXPECT_EQ(panel->LeftFiltered, c.filtered);
  }
}

TEST_F(ReadingsTest, DesignTextOfTheLabelCountsUntilTheFirstDisplayReply) {
  sched.AdvanceBy(3500);
  Reply("RBT2 3712");  // the label still shows its design text 37.0
  EXPECT_EQ(panel->RightTemp, 370);
  EXPECT_EQ(panel->RightFiltered, 3700);
}

TEST_F(ReadingsTest, OnlyTheRightSecondReadingPlotsBothChambers) {
  Reply("LBSP 3700");
  Reply("RBSP 3650");
  Reply("LBT2 3712");
  EXPECT_EQ(panel->LeftTempGraph->LatestTemp(), 0.0);
  Reply("RBT2 3655");
  EXPECT_DOUBLE_EQ(panel->LeftTempGraph->LatestTemp(), 37.1);
  EXPECT_DOUBLE_EQ(panel->LeftTempGraph->LatestSetPoint(), 37.0);
  EXPECT_DOUBLE_EQ(panel->RightTempGraph->LatestTemp(), 36.6);
  EXPECT_DOUBLE_EQ(panel->RightTempGraph->LatestSetPoint(), 36.5);
}

TEST_F(ReadingsTest, FlowIsAveragedRoundedAndFloored) {
  panel->State().GasOn = true;
  Reply("GFSP 4000");
  Reply("FLOW 10000");
  EXPECT_EQ(panel->FlowAverage, 10000.0);
  EXPECT_EQ(panel->GasFlow, 50);
  EXPECT_FALSE(panel->FirstCycle);
  Reply("FLOW 0");
  EXPECT_NEAR(panel->FlowAverage, 9166.67, 0.005);
  EXPECT_EQ(panel->GasFlow, 45);
  EXPECT_DOUBLE_EQ(panel->GasFlowGraph->LatestFlow(), 45.0);
  EXPECT_DOUBLE_EQ(panel->GasFlowGraph->LatestSetPoint(), 20.0);
  Reply("FLOW zero");  // invalid: nothing changes, not even FirstCycle's work
  EXPECT_EQ(panel->GasFlow, 45);

  const struct {
    bool gasOn, co2, flowError;
    const char* line;
    std::int32_t flow;
  } firsts[] = {
      {true, false, false, "FLOW 2000", 0},    // 10 ml/min is under the floor
      {true, false, false, "FLOW 2500", 15},   // 12.5 rounds to 15, above the floor
      {false, false, false, "FLOW 10000", 0},  // gas off: the value is not even read
      {false, false, false, "FLOW junk", 0},
      {true, true, false, "FLOW 10000", 0},
      {true, false, true, "FLOW 10000", 0},
      {false, true, true, "PFLW 1000", 50},  // the purge flow looks at no flag
      {true, false, false, "PFLW 90", 5},    // and has no floor
  };
  for (const auto& c : firsts) {
    SCOPED_TRACE(c.line);
    panel = NewPanel();
    Attach();
    panel->State().GasOn = c.gasOn;
    panel->State().CO2Error = c.co2;
    panel->State().FlowError = c.flowError;
    Reply(c.line);
    EXPECT_EQ(panel->GasFlow, c.flow);
    EXPECT_FALSE(panel->FirstCycle);
    EXPECT_DOUBLE_EQ(panel->GasFlowGraph->LatestFlow(), c.flow);
  }
}

TEST_F(ReadingsTest, FlowAndPurgeFlowShareTheirAverage) {
  panel->State().GasOn = true;
  Reply("FLOW 4000");  // 20 ml/min
  Reply("PFLW 2000");  // 100 ml/min in its own unit, averaged with the other unit's 4000
  EXPECT_NEAR(panel->FlowAverage, 2000 / 12.0 + 4000 * 11 / 12.0, 1e-9);
  EXPECT_EQ(panel->GasFlow, 190);
}

TEST_F(ReadingsTest, SetPointChangesAreLoggedOnlyAfterTheFirstFlowReply) {
  OpenLogAs("Lab1", "1234");
  Reply("LBSP 3700");
  Reply("GFSP 4000");
  Reply("LBSP 3750");
  panel->State().GasOn = true;
  Reply("FLOW 4000");
  Reply("LBSP 3750");  // unchanged
  Reply("LBSP 3749");  // rounds to the same 37.5
  Reply("LBSP 3700");
  Reply("RBSP 3655");
  Reply("GFSP 5000");
  EXPECT_EQ(Log(), QStringList({"Connected", "Left Set-Point Adjusted, 37",
                                "Right Set-Point Adjusted, 36.6", "Gas Set-Point Adjusted, 25"}));
  // A line the disk cannot take now waits and is written later; the reading is kept.
  // (Before, the handling ended with the failed write and the value was not stored.)
  files.FailWrites(1);
  Reply("GFSP 6000");
  EXPECT_EQ(panel->GasSetPoint, 30);
  EXPECT_EQ(panel->Log().PendingLines(), 1u);
  sched.AdvanceBy(TLogWriter::kRetryMs);
  EXPECT_EQ(panel->Log().PendingLines(), 0u);
  EXPECT_EQ(Log().back(), QStringLiteral("Gas Set-Point Adjusted, 30"));
}

}  // namespace
}  // namespace dova::testing
