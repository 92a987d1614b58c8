#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "graphs/graph_series.h"
#include "graphs/graph_window.h"
#include "platform/timer.h"

namespace dova {

class Scheduler;

// One axis of a trend chart as plain state. When an end is automatic, the model keeps the
// range it fitted to the data in Minimum/Maximum, so the renderer only copies numbers.
struct TChartAxis {
  double Minimum = 0;
  double Maximum = 0;
  bool AutomaticMinimum = false;
  bool AutomaticMaximum = false;

  bool operator==(const TChartAxis&) const = default;
};

// The chart of a trend window without its drawing: the time axis (bottom), the value axis
// (left) and the hidden axis of the mark rows (right, fixed). UndoRanges holds the ranges
// from just before the user's first zoom or pan step since the last undo.
struct TChart {
  struct TRanges {
    TChartAxis BottomAxis;
    TChartAxis LeftAxis;
  };

  TChartAxis BottomAxis;
  TChartAxis LeftAxis;
  TChartAxis RightAxis;
  std::optional<TRanges> UndoRanges;
};

// The mechanics the temperature and gas-flow windows share: the measured line and the
// set-point line, the event and error marks, the one-second plot tick with its three-day
// retention and run merging, the moving time window, and zoom, pan and undo. Each window
// adds its own quantity, its rounding, its error texts and the rules of its value axis.
class TTrendGraph : public TGraphWindow {
 public:
  using TChartEvent = std::function<void(TTrendGraph& Sender)>;

  // Points older than this many days leave the lines and the marks.
  static constexpr TDateTime kRetentionDays = 3.0;
  // Marks stand on rows 0..8 of the hidden right axis.
  static constexpr std::int32_t kLastEventRow = 8;
  static constexpr double kRightAxisMinimum = -0.25;
  static constexpr double kRightAxisMaximum = 8.85;
  // Less data than this is shown in a window of this width from the first point.
  static constexpr double kShortestWindowMinutes = 2.0;

  ~TTrendGraph() override;

  const TChart& Chart1() const { return chart_; }
  const TLineSeries& SPSeries() const { return sp_series_; }
  const TMarkSeries& EventSeries() const { return event_series_; }
  const TMarkSeries& ErrorSeries() const { return error_series_; }
  const Timer& PlotTimer() const { return plot_timer_; }
  double LatestSetPoint() const { return latest_set_point_; }
  std::int32_t EventRow() const { return event_row_; }
  bool Zoomed() const { return zoomed_; }
  std::int32_t GraphWidth() const { return graph_width_; }

  // A mark at the current time on the next row; error texts go to ErrorSeries in upper case.
  void AddEvent(const QString& text);
  // The visible span in minutes (at least one). Undoes any zoom or pan, shows the newest
  // `minutes` of data and follows the clock again.
  void setGraphWidth(int minutes);
  // Recomputes the time axis from the measured line and GraphWidth.
  void ResetTimeWindow();
  // The plot tick of PlotTimer.
  void PlotTimerTimer();
  // Double click on the chart: undo of zoom and pan, then the window follows the clock.
  void Chart1DblClick();

  // The chart widget's entry points for the user's mouse work. A zoom rectangle (time x0..x1,
  // value y0..y1, in any order) or a pan step (moving both axes by dx days and dy units)
  // first keeps the ranges for the undo, then applies, then notifies as the chart does.
  void UserZoom(TDateTime x0, TDateTime x1, double y0, double y1);
  void UserPan(TDateTime dx, double dy);

  // Called after each change of the series or axes, for the renderer: the one handler set
  // here first, then every subscriber in order. What changed in a series is in its journal
  // (TSeries::ChangesSince).
  void SetOnChartChange(TChartEvent handler) { on_chart_change_ = std::move(handler); }
  TSubscription SubscribeChartChange(TChartEvent handler) {
    return chart_listeners_.Subscribe(std::move(handler));
  }
  void UnsubscribeChartChange(TSubscription id) { chart_listeners_.Unsubscribe(id); }

  // The clock and timers the window runs on; a view times its own animations on it.
  Scheduler& GetScheduler() const { return scheduler_; }

 protected:
  TTrendGraph(Scheduler& scheduler, double left_minimum, double left_maximum);

  // The measured line (temperature or flow) and its newest rounded value.
  const TLineSeries& ValueSeries() const { return value_series_; }
  virtual double LatestValue() const = 0;
  void SetLatestSetPoint(double value) { latest_set_point_ = value; }
  virtual bool IsErrorText(const QString& text) const = 0;
  // Step of the tick that widens the value axis so the newest values fit.
  virtual void UpdateValueAxis() = 0;
  // The chart's notification that the user zoomed or panned.
  virtual void UserMovedAxes() = 0;
  void SetZoomed(bool zoomed) { zoomed_ = zoomed; }
  TChartAxis& LeftAxis() { return chart_.LeftAxis; }

  // A window over stored data (a log read back): it takes its lines and marks whole and
  // stops the plot tick, so nothing is added or trimmed; ShowStored then puts the axes where
  // the viewer wants them, and an undo of the user's zoom goes back there.
  void TakeStored(TLineSeries values, TLineSeries set_points, TMarkSeries events,
                  TMarkSeries errors);
  void ShowStored(const TChartAxis& bottom, const TChartAxis& left);

 private:
  void ApplyTimeWindow();
  void FitTimeAxis();
  void KeepUndoRanges();
  void UndoZoom();
  void ChartChanged();

  Scheduler& scheduler_;
  TChart chart_;
  TLineSeries value_series_;
  TLineSeries sp_series_;
  TMarkSeries event_series_;
  TMarkSeries error_series_;
  double latest_set_point_ = 0;
  std::int32_t event_row_ = 0;
  bool zoomed_ = false;
  // Replaced by the tile right after creation; the program's starting view range until then.
  std::int32_t graph_width_ = 720;
  TChartEvent on_chart_change_;
  TListeners<TTrendGraph> chart_listeners_;
  Timer plot_timer_;
};

}  // namespace dova
