#include "graphs/temp_graph.h"

#include "graphs/graph_rounding.h"

namespace dova {

TTempGraph::TTempGraph(Scheduler& scheduler)
    : TTrendGraph(scheduler, kInitialAxisMinimum, kInitialAxisMaximum) {}

void TTempGraph::AddTemps(double temp, double setPoint) {
  latest_temp_ = RoundToTenth(temp);
  SetLatestSetPoint(setPoint);
}

void TTempGraph::Chart1Scroll() {
  SetZoomed(true);
}

void TTempGraph::FormClose() {
  // Stopping PlotTimer here would freeze a live plot behind a minimised window for good
  // while the values go on arriving; the close only minimises, which the window does.
}

bool TTempGraph::IsErrorText(const QString& text) const {
  return text == QStringLiteral("Temperature Error");
}

void TTempGraph::UpdateValueAxis() {
  // In tenths of a degree and extended precision, so a set-point or reading that lies on
  // a tenth in decimal is judged as the decimal value. Both ends move outwards only, and
  // the newest values stay more than 0.01 °C inside them.
  const long double set_point = LatestSetPoint();
  const long double temp = latest_temp_;
  TChartAxis& axis = LeftAxis();

  y_max_tenths_ = RaisePast(y_max_tenths_, 10.0L * (set_point + 0.01L));
  y_max_tenths_ = RaisePast(y_max_tenths_, 10.0L * (temp + 0.01L));
  if (static_cast<long double>(y_max_tenths_) > 10.0L * axis.Maximum) {
    axis.Maximum = y_max_tenths_ / 10.0;
  }

  y_min_tenths_ = LowerPast(y_min_tenths_, 10.0L * (set_point - 0.01L));
  y_min_tenths_ = LowerPast(y_min_tenths_, 10.0L * (temp - 0.01L));
  if (static_cast<long double>(y_min_tenths_) < 10.0L * axis.Minimum) {
    axis.Minimum = y_min_tenths_ / 10.0;
  }
}

}  // namespace dova
