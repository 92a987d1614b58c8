#include "graphs/temp_graph.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/virtual_scheduler.h"

namespace dova {
namespace {

std::vector<double> Ys(const TLineSeries& s) {
  std::vector<double> out;
  for (const auto& p : s)
    out.push_back(p.y);
  return out;
}

std::vector<TDateTime> Xs(const TLineSeries& s) {
  std::vector<TDateTime> out;
  for (const auto& p : s)
    out.push_back(p.x);
  return out;
}

struct TempGraphTest : ::testing::Test {
  VirtualScheduler sched;
  TTempGraph graph{sched};

  void Tick(int n = 1) { sched.AdvanceBy(1000LL * n); }
  // One reading before each of n ticks; returns the time of the last tick.
  TDateTime TickWith(double temp, double set_point, int n = 1) {
    for (int i = 0; i < n; ++i) {
      graph.AddTemps(temp, set_point);
      Tick();
    }
    return sched.Now();
  }
};

TEST_F(TempGraphTest, CreationState) {
  EXPECT_TRUE(graph.PlotTimer().Enabled());
  EXPECT_EQ(graph.PlotTimer().Interval(), 1000u);
  EXPECT_EQ(graph.YMinTenths(), 360);
  EXPECT_EQ(graph.YMaxTenths(), 380);
  EXPECT_EQ(graph.Chart1().LeftAxis.Minimum, 36.0);
  EXPECT_EQ(graph.Chart1().LeftAxis.Maximum, 38.0);
  EXPECT_EQ(graph.Chart1().RightAxis.Minimum, -0.25);
  EXPECT_EQ(graph.Chart1().RightAxis.Maximum, 8.85);
  EXPECT_EQ(graph.EventRow(), 0);
  EXPECT_FALSE(graph.Zoomed());
}

TEST_F(TempGraphTest, SteadyReadingStaysAsFirstAndNewestPoint) {
  graph.AddTemps(36.96, 37.0);  // rounds to 37.0
  const TDateTime t1 = sched.Now() + kOneSecond;
  Tick(2);
  EXPECT_EQ(graph.TempSeries().Count(), 2u);
  Tick();
  const TDateTime t3 = sched.Now();
  EXPECT_EQ(Ys(graph.TempSeries()), (std::vector<double>{37.0, 37.0}));
  EXPECT_EQ(Xs(graph.TempSeries()), (std::vector<TDateTime>{t1, t3}));
  EXPECT_EQ(Ys(graph.SPSeries()), (std::vector<double>{37.0, 37.0}));
  EXPECT_EQ(Xs(graph.SPSeries()), (std::vector<TDateTime>{t1, t3}));
}

TEST_F(TempGraphTest, ChangeEndsARunAndStartsANewOne) {
  const TDateTime t1 = TickWith(37.0, 37.0);
  const TDateTime t3 = TickWith(37.0, 37.0, 2);
  const TDateTime t4 = TickWith(37.1, 37.0);
  EXPECT_EQ(Ys(graph.TempSeries()), (std::vector<double>{37.0, 37.0, 37.1}));
  const TDateTime t5 = TickWith(37.1, 37.0);
  EXPECT_EQ(Xs(graph.TempSeries()), (std::vector<TDateTime>{t1, t3, t4, t5}));
  const TDateTime t6 = TickWith(37.1, 37.0);
  EXPECT_EQ(Xs(graph.TempSeries()), (std::vector<TDateTime>{t1, t3, t4, t6}));
  EXPECT_EQ(Ys(graph.TempSeries()), (std::vector<double>{37.0, 37.0, 37.1, 37.1}));
  // The set-point never changed: one run.
  EXPECT_EQ(Xs(graph.SPSeries()), (std::vector<TDateTime>{t1, t6}));
}

TEST_F(TempGraphTest, TimeWindowFollowsTheAmountOfData) {
  const TChartAxis at_creation = graph.Chart1().BottomAxis;
  const TDateTime first = TickWith(37.0, 37.0);
  EXPECT_EQ(graph.Chart1().BottomAxis, at_creation);  // one point: nothing to go by

  TickWith(37.1, 37.0);
  const TChartAxis& axis = graph.Chart1().BottomAxis;
  EXPECT_FALSE(axis.AutomaticMinimum || axis.AutomaticMaximum);
  EXPECT_EQ(axis.Minimum, first);
  EXPECT_EQ(axis.Maximum, first + 2 / 1440.0);

  graph.setGraphWidth(360);
  Tick(10 * 60);
  const TDateTime ten_minutes = TickWith(37.2, 37.0);
  EXPECT_TRUE(axis.AutomaticMinimum && axis.AutomaticMaximum);
  EXPECT_EQ(axis.Minimum, first);
  EXPECT_EQ(axis.Maximum, ten_minutes);

  const TDateTime seven_hours = TickWith(37.3, 37.0, 7 * 3600 - 10 * 60);
  EXPECT_FALSE(axis.AutomaticMinimum || axis.AutomaticMaximum);
  EXPECT_EQ(axis.Maximum, seven_hours);
  EXPECT_EQ(axis.Minimum, seven_hours - 360 / 1440.0);
}

TEST_F(TempGraphTest, FittedAxisIncludesAMarkOlderThanTheLines) {
  graph.AddEvent("Chamber On");
  const TDateTime mark = sched.Now();
  Tick(5);
  TickWith(37.0, 37.0);
  const TDateTime last = TickWith(37.1, 37.0, 3 * 60);
  const TChartAxis& axis = graph.Chart1().BottomAxis;
  ASSERT_TRUE(axis.AutomaticMinimum);
  EXPECT_EQ(axis.Minimum, mark);
  EXPECT_EQ(axis.Maximum, last);
}

TEST_F(TempGraphTest, TemperatureAxisWidensOutwardsByTenths) {
  struct Case {
    double temp, set_point;
    int max_tenths, min_tenths;
    double axis_min, axis_max;
  };
  const Case cases[] = {
      {38.0, 37.0, 381, 360, 36.0, 38.1},  // 38.0 needs more than 0.01 of room
      {37.9, 37.0, 380, 360, 36.0, 38.0},
      {36.0, 37.0, 380, 359, 35.9, 38.0},
      {25.3, 37.0, 380, 252, 25.2, 38.0},
      {37.0, 41.26, 413, 360, 36.0, 41.3},  // set-point as it comes
      {-3.0, 5.0, 380, -31, -3.1, 38.0},
      // 0.51 - 0.01 lies a hair above 0.5 in extended precision (exactly 0.5 in double), so
      // the bottom stops at 5 tenths rather than 4.
      {37.0, 0.51, 380, 5, 0.5, 38.0},
  };
  for (const auto& c : cases) {
    VirtualScheduler s;
    TTempGraph g(s);
    g.AddTemps(c.temp, c.set_point);
    s.AdvanceBy(1000);
    SCOPED_TRACE(testing::Message() << c.temp << " / " << c.set_point);
    EXPECT_EQ(g.YMaxTenths(), c.max_tenths);
    EXPECT_EQ(g.YMinTenths(), c.min_tenths);
    EXPECT_EQ(g.Chart1().LeftAxis.Minimum, c.axis_min);
    EXPECT_EQ(g.Chart1().LeftAxis.Maximum, c.axis_max);
  }
}

TEST_F(TempGraphTest, AxisBottomStaysDownAfterWarmUp) {
  TickWith(25.3, 37.0);
  for (double t = 25.4; t < 37.05; t += 0.5)
    TickWith(t, 37.0);
  TickWith(37.0, 37.0, 5);
  EXPECT_EQ(graph.YMinTenths(), 252);
  EXPECT_EQ(graph.Chart1().LeftAxis.Minimum, 25.2);
  EXPECT_EQ(graph.Chart1().LeftAxis.Maximum, 38.0);
}

TEST_F(TempGraphTest, NoPositiveSetPointStopsPlottingButMarksStillExpire) {
  for (double set_point : {0.0, -5.0, std::nan("")}) {
    SCOPED_TRACE(set_point);
    VirtualScheduler s;
    TTempGraph g(s);
    g.AddEvent("Chamber Off");
    g.AddTemps(45.0, set_point);
    const TChart before = g.Chart1();
    s.AdvanceBy(5000);
    EXPECT_TRUE(g.TempSeries().Empty());
    EXPECT_TRUE(g.SPSeries().Empty());
    EXPECT_EQ(g.YMaxTenths(), 380);
    EXPECT_EQ(g.Chart1().LeftAxis, before.LeftAxis);
    EXPECT_EQ(g.Chart1().BottomAxis, before.BottomAxis);
    s.ShiftWallClock(3.0);
    s.AdvanceBy(1000);
    EXPECT_TRUE(g.EventSeries().Empty());
  }
}

TEST_F(TempGraphTest, EventsAndErrorsShareTheRows) {
  const char* texts[] = {"Lid Open",          "Lid Closed", "Temperature Error", "Chamber Off",
                         "Chamber On",        "Lid Open",   "Lid Closed",        "Lid Open",
                         "Temperature Error", "Lid Closed"};
  for (const char* t : texts) {
    graph.AddEvent(t);
    sched.AdvanceBy(10);  // apart in time, so the rows can be read back in order
  }
  std::vector<std::pair<TDateTime, double>> marks;
  for (const auto& p : graph.EventSeries())
    marks.emplace_back(p.x, p.y);
  for (const auto& p : graph.ErrorSeries())
    marks.emplace_back(p.x, p.y);
  std::sort(marks.begin(), marks.end());
  std::vector<double> rows;
  for (const auto& m : marks)
    rows.push_back(m.second);
  EXPECT_EQ(rows, (std::vector<double>{0, 1, 2, 3, 4, 5, 6, 7, 8, 0}));
  EXPECT_EQ(graph.EventRow(), 1);
  EXPECT_EQ(graph.ErrorSeries().Count(), 2u);
}

// Shared by both windows: which texts are errors, and how they are labelled.
template <class Graph>
void ExpectMark(Graph& graph, const QString& text, bool error, const QString& label) {
  const std::size_t events = graph.EventSeries().Count();
  const std::size_t errors = graph.ErrorSeries().Count();
  graph.AddEvent(text);
  const TMarkSeries& series = error ? graph.ErrorSeries() : graph.EventSeries();
  EXPECT_EQ(graph.EventSeries().Count(), events + (error ? 0 : 1)) << text.toStdString();
  EXPECT_EQ(graph.ErrorSeries().Count(), errors + (error ? 1 : 0)) << text.toStdString();
  EXPECT_EQ(series.Last().label, label) << text.toStdString();
}

TEST_F(TempGraphTest, OnlyTheExactErrorTextIsAnError) {
  ExpectMark(graph, "Temperature Error", true, "TEMPERATURE ERROR");
  ExpectMark(graph, "temperature error", false, "temperature error");
  ExpectMark(graph, "Temperature Error ", false, "Temperature Error ");
  ExpectMark(graph, "CO2 Error", false, "CO2 Error");
  ExpectMark(graph, "", false, "");
}

TEST_F(TempGraphTest, ZoomHoldsTheAxesUntilDoubleClick) {
  TickWith(37.0, 37.0, 3 * 60);
  const TChart before = graph.Chart1();
  int notified = 0;
  graph.SetOnChartChange([&](TTrendGraph&) { ++notified; });

  const TDateTime now = sched.Now();
  graph.UserZoom(now - kOneMinute, now - 2 * kOneMinute, 37.2, 36.8);  // dragged backwards
  EXPECT_TRUE(graph.Zoomed());
  EXPECT_EQ(graph.Chart1().BottomAxis, (TChartAxis{now - 2 * kOneMinute, now - kOneMinute}));
  const TChart zoomed = graph.Chart1();
  EXPECT_EQ(zoomed.LeftAxis.Minimum, 36.8);
  EXPECT_EQ(zoomed.LeftAxis.Maximum, 37.2);

  // Held: points go on being added, outside the view, and even a new extreme moves no axis.
  const std::size_t count = graph.TempSeries().Count();
  TickWith(39.5, 37.0, 5);
  EXPECT_GT(graph.TempSeries().Count(), count);
  EXPECT_EQ(graph.YMaxTenths(), 380);
  EXPECT_EQ(graph.Chart1().BottomAxis, zoomed.BottomAxis);
  EXPECT_EQ(graph.Chart1().LeftAxis, zoomed.LeftAxis);
  EXPECT_GT(notified, 0);

  // A pan after the zoom does not replace what the undo restores.
  graph.UserPan(kOneMinute, 0.5);
  EXPECT_DOUBLE_EQ(graph.Chart1().LeftAxis.Maximum, 37.7);

  graph.Chart1DblClick();
  EXPECT_FALSE(graph.Zoomed());
  EXPECT_FALSE(graph.Chart1().UndoRanges.has_value());
  EXPECT_EQ(graph.Chart1().LeftAxis, before.LeftAxis);
  EXPECT_EQ(graph.Chart1().BottomAxis.AutomaticMaximum, before.BottomAxis.AutomaticMaximum);

  const TDateTime last = TickWith(39.5, 37.0);
  EXPECT_EQ(graph.Chart1().BottomAxis.Maximum, last);
  EXPECT_EQ(graph.YMaxTenths(), 396);
  EXPECT_EQ(graph.Chart1().LeftAxis.Maximum, 39.6);

  // Double click without a zoom changes nothing.
  const TChart now_state = graph.Chart1();
  graph.Chart1DblClick();
  EXPECT_EQ(graph.Chart1().BottomAxis, now_state.BottomAxis);
  EXPECT_EQ(graph.Chart1().LeftAxis, now_state.LeftAxis);
}

TEST_F(TempGraphTest, NewWidthReplacesAPanBeyondTheNewestPoint) {
  graph.setGraphWidth(10);
  const TDateTime last = TickWith(37.0, 37.0, 30 * 60);
  graph.UserPan(1.0, 0);  // a day ahead of the data
  ASSERT_GT(graph.Chart1().BottomAxis.Minimum, last);

  graph.setGraphWidth(5);
  EXPECT_FALSE(graph.Zoomed());
  EXPECT_FALSE(graph.Chart1().UndoRanges.has_value());
  EXPECT_EQ(graph.GraphWidth(), 5);
  EXPECT_EQ(graph.Chart1().BottomAxis.Maximum, last);
  EXPECT_EQ(graph.Chart1().BottomAxis.Minimum, last - 5 / 1440.0);

  const TDateTime next = TickWith(37.0, 37.0);
  EXPECT_EQ(graph.Chart1().BottomAxis.Maximum, next);
  EXPECT_EQ(graph.Chart1().BottomAxis.Minimum, next - 5 / 1440.0);
}

TEST_F(TempGraphTest, OldPointsLeaveOnePerTickKeepingTheLastBeforeTheCutoff) {
  std::vector<TDateTime> old;
  for (int i = 0; i < 10; ++i)
    old.push_back(TickWith(i % 2 ? 37.1 : 37.0, 37.0 + i));
  graph.AddEvent("Lid Open");
  graph.AddEvent("Temperature Error");
  graph.AddEvent("Lid Closed");
  sched.ShiftWallClock(4.0);

  TickWith(37.0, 37.0);
  EXPECT_EQ(graph.TempSeries().First().x, old[1]);
  EXPECT_EQ(graph.SPSeries().First().x, old[1]);
  EXPECT_EQ(graph.EventSeries().Count(), 1u);  // one of the two events left
  EXPECT_EQ(graph.ErrorSeries().Count(), 0u);  // and the error, in its own series

  for (int i = 0; i < 20; ++i)
    TickWith(i % 2 ? 37.1 : 37.0, 37.0);
  EXPECT_EQ(graph.TempSeries().First().x, old[9]);
  EXPECT_EQ(graph.SPSeries().First().x, old[9]);
  EXPECT_GT(graph.TempSeries()[1].x, sched.Now() - 3.0);
  EXPECT_TRUE(graph.EventSeries().Empty());
}

TEST_F(TempGraphTest, ThreeDaysOfChangingReadingsStayBounded) {
  constexpr int kTicksPerThreeDays = 3 * 86400;
  for (int i = 0; i < kTicksPerThreeDays + 600; ++i)
    TickWith(i % 2 ? 37.1 : 37.0, 37.0);
  const TLineSeries& temps = graph.TempSeries();
  const TDateTime cutoff = sched.Now() - 3.0;
  // The line still reaches the left end of a three-day window, and no further back.
  EXPECT_LT(temps[0].x, cutoff);
  EXPECT_GE(temps[1].x, cutoff - 1e-9);
  EXPECT_LE(temps.Count(), static_cast<std::size_t>(kTicksPerThreeDays + 2));
  // The set-point held still: its run is two points, the first of which stays until the
  // clock passes three days beyond the second.
  EXPECT_EQ(graph.SPSeries().Count(), 2u);
}

TEST_F(TempGraphTest, ClockSetBackInsertsInTimeOrder) {
  TickWith(37.0, 37.0);
  TickWith(37.1, 37.0);
  TickWith(37.2, 37.0);
  sched.ShiftWallClock(-1.5 * kOneSecond);
  TickWith(37.3, 37.0);  // lands between the second and the third point
  EXPECT_EQ(Ys(graph.TempSeries()), (std::vector<double>{37.0, 37.1, 37.3, 37.2}));
  const auto xs = Xs(graph.TempSeries());
  EXPECT_TRUE(std::is_sorted(xs.begin(), xs.end()));

  graph.AddEvent("Lid Open");
  sched.ShiftWallClock(-1.0);
  graph.AddEvent("Lid Closed");
  EXPECT_EQ(graph.EventSeries().First().label, "Lid Closed");
}

// The close only minimises: a window restored later shows the present, as the gas window does.
TEST_F(TempGraphTest, ClosedWindowGoesOnPlotting) {
  TickWith(37.0, 37.0, 2);
  const TChart before = graph.Chart1();
  graph.FormClose();
  EXPECT_TRUE(graph.PlotTimer().Enabled());
  graph.AddTemps(37.44, 36.0);
  Tick(10);
  graph.AddEvent("Lid Open");
  EXPECT_EQ(Ys(graph.TempSeries()), (std::vector<double>{37.0, 37.0, 37.4, 37.4}));
  EXPECT_EQ(graph.SPSeries().Last().y, 36.0);
  EXPECT_EQ(graph.TempSeries().Last().x, sched.Now());
  EXPECT_EQ(graph.EventSeries().Count(), 1u);
  Tick(180);
  EXPECT_EQ(graph.Chart1().BottomAxis.Maximum, sched.Now());
  EXPECT_NE(graph.Chart1().BottomAxis, before.BottomAxis);
}

}  // namespace
}  // namespace dova
