#pragma once

#include <cstdint>

#include "graphs/trend_graph.h"

namespace dova {

// The gas trend window of an incubator: flow against flow set-point in ml/min, with the gas
// events and errors as marks. It has no close handler: closing only minimises it and the
// plot goes on.
class TGasGraph : public TTrendGraph {
 public:
  static constexpr std::int32_t kInitialAxisMinimum = 0;
  // The top of the flow axis never goes beyond this while the window follows the clock.
  static constexpr std::int32_t kAxisCeiling = 60;

  explicit TGasGraph(Scheduler& scheduler);

  const TLineSeries& FlowSeries() const { return ValueSeries(); }
  double LatestFlow() const { return latest_flow_; }
  std::int32_t YMin() const { return y_min_; }
  std::int32_t YMax() const { return y_max_; }

  // The newest reading; the next plot tick draws it. The flow is kept rounded to the
  // nearest multiple of 5 ml/min, the set-point as it comes.
  void AddFlows(double flow, double setPoint);
  // The chart's zoom and scroll notifications: the axes stay where the user put them.
  void Chart1Zoom();

 protected:
  double LatestValue() const override { return latest_flow_; }
  bool IsErrorText(const QString& text) const override;
  void UpdateValueAxis() override;
  void UserMovedAxes() override { Chart1Zoom(); }

 private:
  double latest_flow_ = 0;
  std::int32_t y_min_ = kInitialAxisMinimum;
  std::int32_t y_max_ = kAxisCeiling;
};

}  // namespace dova
