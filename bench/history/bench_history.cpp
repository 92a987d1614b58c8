// Reading stored logs: lines per second, and a year of one incubator at a one-minute interval
// (about 3.2 million lines) opened, with the time it takes and the memory it holds against
// the memory of its series.

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <QCoreApplication>
#include <QFile>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "history/period_stats.h"
#include "history/stored_log.h"
#include "year_file.h"

namespace dova {
namespace {

// Heap in use in MB: what the reader holds, whatever the heap kept from before.
double HeapMegabytes() {
  return static_cast<double>(mallinfo2().uordblks) / (1 << 20);
}

std::size_t SeriesBytes(const TStoredLog& log) {
  std::size_t points = 0;
  for (const THistoryChart* c : {&log.Left, &log.Right, &log.Gas})
    points += c->Values.Count() + c->SetPoints.Count();
  return points * sizeof(TChartPoint);
}

// Lines per second through the reader, the file already in the page cache.
void BM_ReadLines(benchmark::State& state) {
  const QString& path = YearFile();
  std::int64_t lines = 0;
  for (auto _ : state) {
    TStoredLogReader reader(path, {QLocale(QStringLiteral("en_US")), QLocale::c()});
    if (reader.Refresh() != TStoredLogReader::TResult::Read) state.SkipWithError("unread");
    lines += reader.Log().LinesRead;
    benchmark::DoNotOptimize(reader.Log().Left.Values.Count());
  }
  state.counters["lines_per_s"] =
      benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadLines)->Iterations(3)->Unit(benchmark::kMillisecond);

// Opening the year as the viewer does: the locale guessed, every line read, and the
// statistics of the whole year; the memory held afterwards against the series.
void BM_OpenYear(benchmark::State& state) {
  const QString& path = YearFile();
  for (auto _ : state) {
    const double before = HeapMegabytes();
    TStoredLogReader reader(path, {std::nullopt, QLocale::c()});
    if (reader.Refresh() != TStoredLogReader::TResult::Read) state.SkipWithError("unread");
    const TStoredLog& log = reader.Log();
    const TPeriodStats stats = ComputePeriodStats(log, log.FirstTime, log.LastTime);
    benchmark::DoNotOptimize(stats.Left.Mean);
    const double held = HeapMegabytes() - before;
    state.counters["lines"] = static_cast<double>(log.LinesRead);
    state.counters["file_MB"] = static_cast<double>(QFile(path).size()) / (1 << 20);
    state.counters["series_MB"] = static_cast<double>(SeriesBytes(log)) / (1 << 20);
    state.counters["held_MB"] = held;
    state.counters["held_per_series"] = held / (static_cast<double>(SeriesBytes(log)) / (1 << 20));
  }
}
BENCHMARK(BM_OpenYear)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace dova

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
