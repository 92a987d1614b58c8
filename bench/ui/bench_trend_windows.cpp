// The trend windows' cost on the offscreen raster engine: a replot of three days of data that
// never merge into runs, one plot tick of twenty incubators' sixty windows, and the memory of a
// shown window against its model's.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <QApplication>
#include <chrono>
#include <memory>
#include <vector>

#include "graphs/gas_graph.h"
#include "graphs/temp_graph.h"
#include "platform/virtual_scheduler.h"
#include "ui/graphs/graph_windows.h"
#include "ui/graphs/trend_chart.h"

namespace dova::bench {
namespace {

constexpr int kThreeDays = 3 * 86400;
constexpr int kMarks = 50;

void Settle() {
  for (int i = 0; i < 3; ++i)
    QApplication::processEvents();
}

std::size_t HeapInUse() {
  return mallinfo2().uordblks;
}

// One incubator's models, fed a reading before every tick: temperatures and set-points that
// change every second, flows that alternate, marks now and then.
struct Incubator {
  explicit Incubator(VirtualScheduler& s) : left(s), gas(s), right(s) {
    for (TTrendGraph* m : Models())
      m->setGraphWidth(4320);
  }
  std::vector<TTrendGraph*> Models() { return {&left, &gas, &right}; }
  void Feed(long i) {
    const double wobble = (i % 2) ? 0.1 : -0.1;
    left.AddTemps(37.0 + wobble, 37.0 - wobble / 2);
    right.AddTemps(36.5 + wobble, 36.5 - wobble / 2);
    gas.AddFlows(20 + 10 * (i % 2), 20 + 5 * (i % 2));
    if (i % (kThreeDays / kMarks) == 7) {
      left.AddEvent(i % 3 ? "Lid Open" : "Temperature Error");
      right.AddEvent("Lid Closed");
      gas.AddEvent(i % 3 ? "Purge Start" : "CO2 Error");
    }
  }

  dova::TTempGraph left;
  dova::TGasGraph gas;
  dova::TTempGraph right;
};

// Runs n ticks with a reading for every incubator before each.
void Run(VirtualScheduler& sched, std::vector<std::unique_ptr<Incubator>>& bench, long& i, long n) {
  for (long end = i + n; i < end; ++i) {
    for (auto& inc : bench)
      inc->Feed(i);
    sched.AdvanceBy(1000);
  }
}

void BM_ReplotThreeDays(benchmark::State& state) {
  VirtualScheduler sched;
  std::vector<std::unique_ptr<Incubator>> bench;
  bench.push_back(std::make_unique<Incubator>(sched));
  long i = 0;
  Run(sched, bench, i, kThreeDays + 60);
  ui::TTempGraph window(bench[0]->left);
  window.resize(int(state.range(0)), int(state.range(1)));
  window.show();
  Settle();
  ui::TTrendChart& chart = window.Chart1();
  for (auto _ : state)
    chart.replot(QCustomPlot::rpQueuedRefresh);
  state.counters["points_per_line"] = double(bench[0]->left.TempSeries().Count());
  state.counters["marks"] =
      double(bench[0]->left.EventSeries().Count() + bench[0]->left.ErrorSeries().Count());
}
BENCHMARK(BM_ReplotThreeDays)
    ->Args({693, 165})
    ->Args({1900, 330})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Twenty incubators with three days each. Arg 0: every window hidden; 3: one tile's three shown.
void BM_PlotTickSixtyWindows(benchmark::State& state) {
  static VirtualScheduler sched;
  static std::vector<std::unique_ptr<Incubator>> bench;
  static std::vector<std::unique_ptr<ui::TTrendGraphWindow>> windows;
  static long i = 0;
  if (bench.empty()) {
    for (int n = 0; n < 20; ++n)
      bench.push_back(std::make_unique<Incubator>(sched));
    for (auto& inc : bench) {
      windows.push_back(std::make_unique<ui::TTempGraph>(inc->left));
      windows.push_back(std::make_unique<ui::TGasGraph>(inc->gas));
      windows.push_back(std::make_unique<ui::TTempGraph>(inc->right));
    }
    Run(sched, bench, i, kThreeDays + 60);
  }
  const int shown = int(state.range(0));
  for (int w = 0; w < 60; ++w)
    windows[std::size_t(w)]->setVisible(w < shown);
  Settle();
  std::vector<int> before;
  for (auto& w : windows)
    before.push_back(w->ReplotCount());
  long ticks = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    Run(sched, bench, i, 1);
    Settle();
    ++ticks;
  }
  const double us =
      std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
  int hidden_replots = 0, shown_replots = 0;
  for (int w = 0; w < 60; ++w) {
    const int n = windows[std::size_t(w)]->ReplotCount() - before[std::size_t(w)];
    (w < shown ? shown_replots : hidden_replots) += n;
  }
  state.counters["hidden_replots"] = hidden_replots;
  state.counters["replots_per_shown_window_per_tick"] =
      shown ? double(shown_replots) / (double(shown) * double(ticks)) : 0.0;
  // Real time per window and tick, the models' own tick included.
  state.counters["us_per_window"] = us / (double(ticks) * 60);
}
BENCHMARK(BM_PlotTickSixtyWindows)->Arg(0)->Arg(3)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The same tick with no windows at all: what the models cost by themselves.
void BM_PlotTickSixtyModelsAlone(benchmark::State& state) {
  VirtualScheduler sched;
  std::vector<std::unique_ptr<Incubator>> bench;
  for (int n = 0; n < 20; ++n)
    bench.push_back(std::make_unique<Incubator>(sched));
  long i = 0;
  Run(sched, bench, i, kThreeDays + 60);
  for (auto _ : state)
    Run(sched, bench, i, 1);
}
BENCHMARK(BM_PlotTickSixtyModelsAlone)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Heap of one temperature model with three days, and what its shown window adds; then a
// further hour of ticks with the window shown.
void BM_MemoryOfOneWindow(benchmark::State& state) {
  for (auto _ : state) {
    VirtualScheduler sched;
    malloc_trim(0);
    const std::size_t start = HeapInUse();
    auto model = std::make_unique<dova::TTempGraph>(sched);
    model->setGraphWidth(4320);
    for (long i = 0; i < kThreeDays + 60; ++i) {
      model->AddTemps(37.0 + ((i % 2) ? 0.1 : -0.1), 37.0 + ((i % 2) ? 0.05 : -0.05));
      if (i % (kThreeDays / kMarks) == 7) model->AddEvent("Lid Open");
      sched.AdvanceBy(1000);
    }
    const std::size_t model_bytes = HeapInUse() - start;
    auto window = std::make_unique<ui::TTempGraph>(*model);
    window->resize(int(state.range(0)), int(state.range(1)));
    window->show();
    Settle();
    const std::size_t shown_bytes = HeapInUse() - start;
    for (long i = 0; i < 3600; ++i) {
      model->AddTemps(37.0 + ((i % 2) ? 0.1 : -0.1), 37.0 + ((i % 2) ? 0.05 : -0.05));
      sched.AdvanceBy(1000);
      if (i % 60 == 0) Settle();
    }
    Settle();
    const std::size_t later_bytes = HeapInUse() - start;
    state.counters["model_MB"] = double(model_bytes) / 1e6;
    state.counters["model_and_window_MB"] = double(shown_bytes) / 1e6;
    state.counters["ratio"] = double(shown_bytes) / double(model_bytes);
    state.counters["ratio_after_an_hour"] = double(later_bytes) / double(model_bytes);
    state.counters["layer_pictures_MB"] = double(window->Chart1().BufferBytes()) / 1e6;
    window->hide();
    Settle();
    state.counters["ratio_hidden"] = double(HeapInUse() - start) / double(model_bytes);
  }
}
BENCHMARK(BM_MemoryOfOneWindow)
    ->Args({693, 165})
    ->Args({1900, 330})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace dova::bench

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
