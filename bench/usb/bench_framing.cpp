// Throughput of the bridge reader: reply bytes through one reader tick each (queue check,
// read, line assembly, delivery). Reply splitting, when the tile's protocol unit is built,
// is measured in bench_framing_split.cpp.
#include <benchmark/benchmark.h>

#include "bench_support.h"

namespace dova::bench {
namespace {

void BM_ReaderTickLines(benchmark::State& state) {
  ReaderRig rig(static_cast<std::size_t>(state.range(0)));
  std::size_t lines = 0;
  std::size_t bytes = 0;
  rig.SetOnLine([&](TUSBXpress&, const QByteArray& line) {
    ++lines;
    bytes += static_cast<std::size_t>(line.size());
  });
  for (auto _ : state) {
    rig.Pump();
  }
  benchmark::DoNotOptimize(bytes);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(rig.BytesPerTick()));
  state.counters["lines/s"] =
      benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
}
// 115 bytes is what 57600 baud brings in one 20 ms tick; the larger pieces show the
// assembler's own speed.
BENCHMARK(BM_ReaderTickLines)->Arg(115)->Arg(4096)->Arg(65536);

}  // namespace
}  // namespace dova::bench

BENCHMARK_MAIN();
