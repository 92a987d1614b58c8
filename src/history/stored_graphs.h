#pragma once

#include "graphs/gas_graph.h"
#include "graphs/temp_graph.h"
#include "history/period_stats.h"
#include "history/stored_log.h"

namespace dova {

// A trend window's model holding a stored log's lines and marks instead of live ones: the
// live windows draw it as they draw their own (colours, marks, zoom, pan, undo), and nothing
// is added to it or trimmed from it.
template <class Graph>
class TStoredGraph : public Graph {
 public:
  // Takes the chart's lines and marks (the log's chart is left empty).
  TStoredGraph(Scheduler& scheduler, THistoryChart&& chart);

  // Shows the stretch from..to, the value axis fitted to the lines in it.
  void ShowPeriod(TDateTime from, TDateTime to);

  TReadingLines Lines() const { return {&this->ValueSeries(), &this->SPSeries()}; }
};

using TStoredTempGraph = TStoredGraph<TTempGraph>;
using TStoredGasGraph = TStoredGraph<TGasGraph>;

extern template class TStoredGraph<TTempGraph>;
extern template class TStoredGraph<TGasGraph>;

}  // namespace dova
