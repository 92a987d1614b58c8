// A lab day logged by the tile, read back: the same series and marks as the live windows.

#include <gtest/gtest.h>

#include <cmath>

#include "graphs/graph_rounding.h"
#include "history/stored_log.h"
#include "monitor/panel_fixture.h"

namespace dova {
namespace {

// The value a step line holds at t: that of its last point at or before t.
double StepValue(const TLineSeries& series, TDateTime t) {
  double value = kNoValue;
  for (const TChartPoint& p : series) {
    if (p.x > t) break;
    value = p.y;
  }
  return value;
}

struct LiveChart {
  TLineSeries Values;
  TLineSeries SetPoints;
  TMarkSeries Events;
  TMarkSeries Errors;
};

LiveChart Copy(const TTrendGraph& graph, const TLineSeries& values) {
  LiveChart out;
  for (const TChartPoint& p : values)
    out.Values.Add(p);
  for (const TChartPoint& p : graph.SPSeries())
    out.SetPoints.Add(p);
  for (const TMarkPoint& p : graph.EventSeries())
    out.Events.Add(p);
  for (const TMarkPoint& p : graph.ErrorSeries())
    out.Errors.Add(p);
  return out;
}

void ExpectSameMarks(const TMarkSeries& live, const TMarkSeries& read) {
  ASSERT_EQ(read.Count(), live.Count());
  for (std::size_t i = 0; i < live.Count(); ++i) {
    EXPECT_EQ(read[i].label, live[i].label);
    EXPECT_EQ(read[i].y, live[i].y);
    // The log keeps whole seconds.
    EXPECT_LE(read[i].x, live[i].x);
    EXPECT_GT(read[i].x + kOneSecond, live[i].x);
  }
}

// Every reading of the log is what the live line showed at that moment. The live line samples
// once a second and the flow is a running average, so moments when the line was moving are
// left out; most are steady.
void ExpectSameSteps(const TLineSeries& live, const TLineSeries& read, bool flow) {
  std::size_t compared = 0;
  std::size_t readings = 0;
  for (const TChartPoint& p : read) {
    if (std::isnan(p.y)) continue;
    ++readings;
    const double before = StepValue(live, p.x - kOneSecond);
    const double after = StepValue(live, p.x + kOneSecond);
    if (!std::isnan(before) && before != after) continue;
    EXPECT_EQ(flow ? RoundToFive(p.y) : p.y, after) << p.x;
    ++compared;
  }
  EXPECT_GT(compared, readings / 2);
}

class RoundTripTest : public testing::PanelTest {};

TEST_F(RoundTripTest, ALabDayReadsBackAsTheLiveWindowsShowedIt) {
  // Day first and a decimal comma: the reader has to find that out.
  format = LogFormat::ForLocale(QLocale(QStringLiteral("de_DE")));
  Attach();
  AdvanceTo(14, 20, 0);
  device.values["LBT1"] = device.values["LBT2"] = "3760";
  device.values["FLOW"] = "3000";
  AdvanceTo(14, 31, 0);
  device.values["DISP"] = "LID OFF  15  A G";
  AdvanceTo(14, 33, 0);
  device.values["DISP"] = "37.6OFF  15  G G";
  AdvanceTo(14, 40, 0);
  device.values["LBSP"] = "3750";
  AdvanceTo(14, 50, 0);
  device.values["DISP"] = "37.6OFF Pur  G G";
  AdvanceTo(14, 52, 0);
  device.values["DISP"] = "37.6OFF  15  G G";
  AdvanceTo(15, 10, 0);
  device.values["DISP"] = "Err OFF  15  G G";
  AdvanceTo(15, 12, 0);
  device.values["DISP"] = "37.5OFF  15  G G";
  device.values["LBT1"] = device.values["LBT2"] = "3750";
  AdvanceTo(15, 40, 0);
  ASSERT_EQ(panel->LogFile != nullptr, true);
  const LiveChart left = Copy(*panel->LeftTempGraph, panel->LeftTempGraph->TempSeries());
  const LiveChart right = Copy(*panel->RightTempGraph, panel->RightTempGraph->TempSeries());
  const LiveChart gas = Copy(*panel->GasFlowGraph, panel->GasFlowGraph->FlowSeries());
  const QString path = panel->LogFilePath();
  panel->Disconnect();

  TStoredLogReader reader(path, {std::nullopt, QLocale::c()});
  ASSERT_EQ(reader.Refresh(), TStoredLogReader::TResult::Read) << reader.Error().toStdString();
  EXPECT_EQ(reader.Guess().Locale.name(), QStringLiteral("de_DE"));
  const TStoredLog& log = reader.Log();
  EXPECT_EQ(log.Unread.Count, 0u);
  EXPECT_EQ(log.Left.Events.Count(), 2u);  // the lid open and closed
  EXPECT_EQ(log.Left.Errors.Count(), 1u);
  EXPECT_EQ(log.Gas.Events.Count(), 2u);
  ExpectSameMarks(left.Events, log.Left.Events);
  ExpectSameMarks(left.Errors, log.Left.Errors);
  ExpectSameMarks(right.Events, log.Right.Events);
  ExpectSameMarks(gas.Events, log.Gas.Events);
  ExpectSameMarks(gas.Errors, log.Gas.Errors);
  ExpectSameSteps(left.Values, log.Left.Values, false);
  ExpectSameSteps(left.SetPoints, log.Left.SetPoints, false);
  ExpectSameSteps(right.Values, log.Right.Values, false);
  ExpectSameSteps(gas.Values, log.Gas.Values, true);
  ExpectSameSteps(gas.SetPoints, log.Gas.SetPoints, false);
}

}  // namespace
}  // namespace dova
