// Reading stored logs: lines per second, and a year of one incubator at a one-minute interval
// (about 3.2 million lines) opened, with the time it takes and the memory it holds against
// the memory of its series.

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "history/period_stats.h"
#include "history/stored_log.h"
#include "monitor/log_format.h"

namespace dova {
namespace {

// Heap in use in MB: what the reader holds, whatever the heap kept from before.
double HeapMegabytes() {
  return static_cast<double>(mallinfo2().uordblks) / (1 << 20);
}

// A year of one incubator as the logger writes it under en_US: a block of six records every
// minute, readings that move by a tenth now and then, a lid opening twice a day.
const QString& YearFile() {
  static QTemporaryDir dir;
  static const QString path = dir.filePath(QStringLiteral("Bench 0001.csv"));
  static bool made = false;
  if (made) return path;
  made = true;
  const LogFormat f = LogFormat::ForLocale(QLocale(QStringLiteral("en_US")));
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) std::abort();
  const TDateTime start = EncodeDateTime(2025, 12, 1, 0, 0, 30);
  QByteArray chunk;
  chunk += f.Timestamp(start).toUtf8() + ", Connected\r";
  std::uint32_t noise = 12345;
  auto wobble = [&noise] {
    noise = noise * 1103515245u + 12345u;
    return ((noise >> 16) % 5) / 10.0 - 0.2;
  };
  for (int minute = 0; minute < 365 * 1440; ++minute) {
    const TDateTime t = start + minute * kOneMinute;
    const QByteArray stamp = f.Timestamp(t).toUtf8() + ", ";
    if (minute % 720 == 300) chunk += stamp + "Left Lid Open\r";
    if (minute % 720 == 302) chunk += stamp + "Left Lid Closed\r";
    chunk += stamp + "Left Temperature, " + f.Number(37.0 + wobble(), 1).toUtf8() + '\r';
    chunk += stamp + "Left Set-Point, 37\r";
    chunk += stamp + "Right Temperature, " + f.Number(37.0 + wobble(), 1).toUtf8() + '\r';
    chunk += stamp + "Right Set-Point, 37\r";
    chunk += stamp + "Gas Flow, " + QByteArray::number(20 + int(wobble() * 10)) + '\r';
    chunk += stamp + "Gas Set-Point, 20\r";
    if (chunk.size() > (8 << 20)) {
      file.write(chunk);
      chunk.clear();
    }
  }
  file.write(chunk);
  return path;
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
