#include "graphs/gas_graph.h"

#include "graphs/graph_rounding.h"

namespace dova {

TGasGraph::TGasGraph(Scheduler& scheduler)
    : TTrendGraph(scheduler, kInitialAxisMinimum, kAxisCeiling) {}

void TGasGraph::AddFlows(double flow, double setPoint) {
  latest_flow_ = RoundToFive(flow);
  SetLatestSetPoint(setPoint);
}

void TGasGraph::Chart1Zoom() {
  SetZoomed(true);
}

bool TGasGraph::IsErrorText(const QString& text) const {
  return text == QStringLiteral("CO2 Error") || text == QStringLiteral("Flow Error");
}

void TGasGraph::UpdateValueAxis() {
  // Whole ml/min. The set-point only has to lie strictly inside the ends, the flow 0.01
  // inside; a flow of 0 thus takes the bottom to -1, clear of the frame. The bottom never
  // moves back up, and the top stays at the ceiling however high the values go.
  const long double set_point = LatestSetPoint();
  const long double flow = latest_flow_;
  TChartAxis& axis = LeftAxis();

  y_max_ = RaisePast(y_max_, set_point);
  y_max_ = RaisePast(y_max_, flow + 0.01L);
  if (y_max_ > kAxisCeiling) y_max_ = kAxisCeiling;
  if (y_max_ > axis.Maximum) axis.Maximum = y_max_;

  y_min_ = LowerPast(y_min_, set_point);
  y_min_ = LowerPast(y_min_, flow - 0.01L);
  if (y_min_ < axis.Minimum) axis.Minimum = y_min_;
}

}  // namespace dova
