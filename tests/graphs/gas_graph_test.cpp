#include "graphs/gas_graph.h"

#include <gtest/gtest.h>

#include "platform/virtual_scheduler.h"

namespace dova {
namespace {

TEST(GasGraphTest, FlowIsKeptInFivesAndSetPointAsItComes) {
  VirtualScheduler sched;
  TGasGraph graph(sched);
  EXPECT_EQ(graph.LatestFlow(), 0.0);
  EXPECT_EQ(graph.YMin(), 0);
  EXPECT_EQ(graph.YMax(), 60);
  struct Case {
    double flow, set_point, latest;
  };
  for (const Case& c :
       {Case{23, 20, 25}, Case{22.4, 20, 20}, Case{12.5, 17.5, 10}, Case{17.5, 20, 20}}) {
    graph.AddFlows(c.flow, c.set_point);
    EXPECT_EQ(graph.LatestFlow(), c.latest) << c.flow;
    EXPECT_EQ(graph.LatestSetPoint(), c.set_point) << c.flow;
  }
}

TEST(GasGraphTest, FlowAxisDropsBelowTheLowestValueAndNeverRisesAboveSixty) {
  struct Case {
    double flow, set_point;
    int y_min, y_max;
  };
  const Case cases[] = {
      {0, 20, -1, 60},                      // a zero line clear of the bottom edge
      {75, 20, 0, 60},                      // the line runs above the visible area
      {20, 20, 0, 60},    {15, 60, 0, 60},  // set-point at the top: capped
      {-10, 20, -11, 60}, {5, 0.5, 0, 60},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.flow << " / " << c.set_point);
    VirtualScheduler sched;
    TGasGraph graph(sched);
    graph.AddFlows(c.flow, c.set_point);
    sched.AdvanceBy(1000);
    EXPECT_EQ(graph.YMin(), c.y_min);
    EXPECT_EQ(graph.YMax(), c.y_max);
    EXPECT_EQ(graph.Chart1().LeftAxis.Minimum, c.y_min);
    EXPECT_EQ(graph.Chart1().LeftAxis.Maximum, c.y_max);
    EXPECT_EQ(graph.FlowSeries().Last().y, graph.LatestFlow());
  }
}

TEST(GasGraphTest, BottomNeverMovesBackUp) {
  VirtualScheduler sched;
  TGasGraph graph(sched);
  graph.AddFlows(0, 20);
  sched.AdvanceBy(1000);
  graph.AddFlows(20, 20);
  sched.AdvanceBy(5000);
  EXPECT_EQ(graph.YMin(), -1);
  EXPECT_EQ(graph.Chart1().LeftAxis.Minimum, -1.0);
}

TEST(GasGraphTest, GasErrorsAreRedMarksInUpperCase) {
  VirtualScheduler sched;
  TGasGraph graph(sched);
  struct Case {
    const char* text;
    bool error;
    const char* label;
  };
  const Case cases[] = {
      {"CO2 Error", true, "CO2 ERROR"},
      {"Flow Error", true, "FLOW ERROR"},
      {"Purge Start", false, "Purge Start"},
      {"co2 error", false, "co2 error"},
      {"Temperature Error", false, "Temperature Error"},
  };
  for (const auto& c : cases) {
    const std::size_t errors = graph.ErrorSeries().Count();
    graph.AddEvent(c.text);
    EXPECT_EQ(graph.ErrorSeries().Count(), errors + (c.error ? 1 : 0)) << c.text;
    const TMarkSeries& series = c.error ? graph.ErrorSeries() : graph.EventSeries();
    EXPECT_EQ(series.Last().label, c.label);
  }
  EXPECT_EQ(graph.EventRow(), 5);
}

TEST(GasGraphTest, UserPanHoldsTheAxesAndDoubleClickReleasesThem) {
  VirtualScheduler sched;
  TGasGraph graph(sched);
  for (int i = 0; i < 10; ++i) {
    graph.AddFlows(20, 20);
    sched.AdvanceBy(1000);
  }
  const TChart before = graph.Chart1();
  graph.UserPan(-kOneMinute, 10);
  EXPECT_TRUE(graph.Zoomed());
  graph.AddFlows(0, 20);
  sched.AdvanceBy(3000);
  EXPECT_EQ(graph.YMin(), 0);  // the flow axis waits while held
  EXPECT_EQ(graph.Chart1().LeftAxis.Minimum, 10.0);
  graph.Chart1DblClick();
  EXPECT_EQ(graph.Chart1().LeftAxis, before.LeftAxis);
  sched.AdvanceBy(1000);
  EXPECT_EQ(graph.Chart1().LeftAxis.Minimum, -1.0);
  EXPECT_EQ(graph.Chart1().BottomAxis.Minimum, graph.FlowSeries().First().x);
}

}  // namespace
}  // namespace dova
