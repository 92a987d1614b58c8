#pragma once

#include <cstdint>

#include "graphs/trend_graph.h"

namespace dova {

// The trend window of one chamber: temperature against set-point in °C, with the chamber's
// events and errors as marks.
class TTempGraph : public TTrendGraph {
 public:
  static constexpr double kInitialAxisMinimum = 36.0;
  static constexpr double kInitialAxisMaximum = 38.0;

  explicit TTempGraph(Scheduler& scheduler);

  const TLineSeries& TempSeries() const { return ValueSeries(); }
  double LatestTemp() const { return latest_temp_; }
  std::int32_t YMinTenths() const { return y_min_tenths_; }
  std::int32_t YMaxTenths() const { return y_max_tenths_; }

  // The newest reading; the next plot tick draws it. The temperature is kept rounded to
  // the nearest tenth, the set-point as it comes.
  void AddTemps(double temp, double setPoint);
  // The chart's zoom and scroll notifications: the axes stay where the user put them.
  void Chart1Scroll();
  // The user's close command. The window is only minimised, and the plot tick goes on as in
  // the gas window: a window restored later shows the present, not the moment of its close.
  void FormClose();

 protected:
  double LatestValue() const override { return latest_temp_; }
  bool IsErrorText(const QString& text) const override;
  void UpdateValueAxis() override;
  void UserMovedAxes() override { Chart1Scroll(); }

 private:
  double latest_temp_ = 0;
  std::int32_t y_min_tenths_ = 360;
  std::int32_t y_max_tenths_ = 380;
};

}  // namespace dova
