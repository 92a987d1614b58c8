#include "history/stored_graphs.h"

#include <algorithm>
#include <cmath>

namespace dova {

namespace {

// The lowest and highest value of the lines within from..to, counting the value that stood
// when the stretch began.
void ValueRange(const TLineSeries& series, TDateTime from, TDateTime to, double& lo, double& hi) {
  const auto first = std::upper_bound(series.begin(), series.end(), from,
                                      [](TDateTime x, const TChartPoint& p) { return x < p.x; });
  auto it = first == series.begin() ? first : first - 1;
  for (; it != series.end() && it->x <= to; ++it) {
    if (std::isnan(it->y)) continue;
    lo = std::min(lo, it->y);
    hi = std::max(hi, it->y);
  }
}

}  // namespace

template <class Graph>
TStoredGraph<Graph>::TStoredGraph(Scheduler& scheduler, THistoryChart&& chart) : Graph(scheduler) {
  this->TakeStored(std::move(chart.Values), std::move(chart.SetPoints), std::move(chart.Events),
                   std::move(chart.Errors));
}

template <class Graph>
void TStoredGraph<Graph>::ShowPeriod(TDateTime from, TDateTime to) {
  double lo = INFINITY;
  double hi = -INFINITY;
  ValueRange(this->ValueSeries(), from, to, lo, hi);
  ValueRange(this->SPSeries(), from, to, lo, hi);
  // The live windows' starting axis when there is nothing to fit; otherwise whole steps of
  // the axis (tenths of a degree, whole ml/min) just outside the values.
  const TChartAxis& live = this->Chart1().LeftAxis;
  TChartAxis left{live.Minimum, live.Maximum, false, false};
  if (lo <= hi) {
    const double step = std::is_same_v<Graph, TTempGraph> ? 0.1 : 1.0;
    const double margin = std::max(step, (hi - lo) * 0.05);
    // (A hair of slack: 36.9 / 0.1 is 368.99999… in binary.)
    left.Minimum = std::floor((lo - margin) / step + 1e-6) * step;
    left.Maximum = std::ceil((hi + margin) / step - 1e-6) * step;
  }
  if (!(to > from)) to = from + TTrendGraph::kShortestWindowMinutes * kOneMinute;
  this->ShowStored({from, to, false, false}, left);
}

template class TStoredGraph<TTempGraph>;
template class TStoredGraph<TGasGraph>;

}  // namespace dova
