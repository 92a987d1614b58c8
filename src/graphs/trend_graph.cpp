#include "graphs/trend_graph.h"

#include <algorithm>
#include <cmath>

#include "platform/scheduler.h"

namespace dova {

TTrendGraph::TTrendGraph(Scheduler& scheduler, double left_minimum, double left_maximum)
    : scheduler_(scheduler), plot_timer_(scheduler, 1000, true) {
  // Until the data give it a window, the time axis shows the two minutes from creation.
  const TDateTime now = scheduler_.Now();
  chart_.BottomAxis = {now, now + kShortestWindowMinutes * kOneMinute, false, false};
  chart_.LeftAxis = {left_minimum, left_maximum, false, false};
  chart_.RightAxis = {kRightAxisMinimum, kRightAxisMaximum, false, false};
  plot_timer_.SetOnTimer([this] { PlotTimerTimer(); });
}

TTrendGraph::~TTrendGraph() = default;

void TTrendGraph::AddEvent(const QString& text) {
  const TDateTime now = scheduler_.Now();
  if (IsErrorText(text)) {
    error_series_.Add({now, static_cast<double>(event_row_), text.toUpper()});
  } else {
    event_series_.Add({now, static_cast<double>(event_row_), text});
  }
  ++event_row_;
  if (event_row_ > kLastEventRow) event_row_ = 0;
  FitTimeAxis();
  ChartChanged();
}

void TTrendGraph::setGraphWidth(int minutes) {
  graph_width_ = std::max(minutes, 1);
  // Undo first: a pan may hold the time axis entirely beyond the newest point, and the
  // new window must replace that range rather than be undone by the old one.
  UndoZoom();
  ApplyTimeWindow();
  zoomed_ = false;
  ChartChanged();
}

void TTrendGraph::ResetTimeWindow() {
  ApplyTimeWindow();
  ChartChanged();
}

void TTrendGraph::ApplyTimeWindow() {
  if (value_series_.Count() < 2) return;
  const TDateTime first = value_series_.First().x;
  const TDateTime last = value_series_.Last().x;
  const double span = std::fabs(last - first) * 1440.0;
  TChartAxis& axis = chart_.BottomAxis;
  if (graph_width_ < span) {
    // The newest GraphWidth minutes, moving with every new point.
    axis.AutomaticMinimum = false;
    axis.AutomaticMaximum = false;
    axis.Maximum = last;
    axis.Minimum = last - graph_width_ / 1440.0;
  } else if (span >= kShortestWindowMinutes) {
    axis.AutomaticMinimum = true;
    axis.AutomaticMaximum = true;
    FitTimeAxis();
  } else {
    axis.AutomaticMinimum = false;
    axis.AutomaticMaximum = false;
    axis.Maximum = first + kShortestWindowMinutes / 1440.0;
    axis.Minimum = first;
  }
}

void TTrendGraph::FitTimeAxis() {
  // Only the automatic ends follow the data. Every series is in time order, so its first and last
  // points bound it.
  bool any = false;
  TDateTime lo = 0;
  TDateTime hi = 0;
  auto take = [&](const auto& series) {
    if (series.Empty()) return;
    if (!any || series.First().x < lo) lo = series.First().x;
    if (!any || series.Last().x > hi) hi = series.Last().x;
    any = true;
  };
  take(sp_series_);
  take(value_series_);
  take(event_series_);
  take(error_series_);
  if (!any) return;
  TChartAxis& axis = chart_.BottomAxis;
  if (axis.AutomaticMaximum) axis.Maximum = hi;
  if (axis.AutomaticMinimum) axis.Minimum = lo;
}

void TTrendGraph::PlotTimerTimer() {
  const TDateTime now = scheduler_.Now();
  const TDateTime cutoff = now - kRetentionDays;

  // At most one point per series leaves per tick, and a line keeps its last point before
  // the cutoff, so it still reaches the left end of a three-day window.
  auto trim_line = [cutoff](TLineSeries& series) {
    if (series.Count() > 1 && series[0].x < cutoff && series[1].x < cutoff) series.DeleteFirst();
  };
  auto trim_marks = [cutoff](TMarkSeries& series) {
    if (!series.Empty() && series.First().x < cutoff) series.DeleteFirst();
  };
  trim_line(value_series_);
  trim_line(sp_series_);
  trim_marks(event_series_);
  trim_marks(error_series_);

  if (!(latest_set_point_ > 0)) {
    FitTimeAxis();
    ChartChanged();
    return;
  }

  // A run of equal values stays as its first and its newest point.
  auto merge = [](TLineSeries& series, double latest) {
    const std::size_t n = series.Count();
    if (n > 1 && series[n - 1].y == latest && series[n - 2].y == latest) series.DeleteLast();
  };
  const double latest_value = LatestValue();
  merge(value_series_, latest_value);
  merge(sp_series_, latest_set_point_);

  sp_series_.Add({now, latest_set_point_});
  value_series_.Add({now, latest_value});

  if (!zoomed_) {
    UpdateValueAxis();
    ApplyTimeWindow();
  } else {
    FitTimeAxis();
  }
  ChartChanged();
}

void TTrendGraph::Chart1DblClick() {
  UndoZoom();
  zoomed_ = false;
  ChartChanged();
}

void TTrendGraph::KeepUndoRanges() {
  if (!chart_.UndoRanges) chart_.UndoRanges = TChart::TRanges{chart_.BottomAxis, chart_.LeftAxis};
}

void TTrendGraph::UndoZoom() {
  if (!chart_.UndoRanges) return;
  chart_.BottomAxis = chart_.UndoRanges->BottomAxis;
  chart_.LeftAxis = chart_.UndoRanges->LeftAxis;
  chart_.UndoRanges.reset();
  // An automatic end fits the data as they are now, not as they were before the zoom.
  FitTimeAxis();
}

void TTrendGraph::UserZoom(TDateTime x0, TDateTime x1, double y0, double y1) {
  KeepUndoRanges();
  chart_.BottomAxis = {std::min(x0, x1), std::max(x0, x1), false, false};
  chart_.LeftAxis.Minimum = std::min(y0, y1);
  chart_.LeftAxis.Maximum = std::max(y0, y1);
  UserMovedAxes();
  ChartChanged();
}

void TTrendGraph::UserPan(TDateTime dx, double dy) {
  KeepUndoRanges();
  TChartAxis& bottom = chart_.BottomAxis;
  bottom.AutomaticMinimum = false;
  bottom.AutomaticMaximum = false;
  bottom.Minimum += dx;
  bottom.Maximum += dx;
  chart_.LeftAxis.Minimum += dy;
  chart_.LeftAxis.Maximum += dy;
  UserMovedAxes();
  ChartChanged();
}

void TTrendGraph::TakeStored(TLineSeries values, TLineSeries set_points, TMarkSeries events,
                             TMarkSeries errors) {
  plot_timer_.SetEnabled(false);
  value_series_ = std::move(values);
  sp_series_ = std::move(set_points);
  event_series_ = std::move(events);
  error_series_ = std::move(errors);
  ChartChanged();
}

void TTrendGraph::ShowStored(const TChartAxis& bottom, const TChartAxis& left) {
  chart_.BottomAxis = bottom;
  chart_.LeftAxis = left;
  chart_.UndoRanges.reset();
  zoomed_ = false;
  ChartChanged();
}

void TTrendGraph::ChartChanged() {
  if (on_chart_change_) {
    auto handler = on_chart_change_;  // the handler may replace itself
    handler(*this);
  }
  chart_listeners_.Notify(*this);
}

}  // namespace dova
