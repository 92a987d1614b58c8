// Reader ticks with the tile's reply splitting on every delivered line.
#include <benchmark/benchmark.h>

#include "bench_support.h"
#include "protocol/protocol.h"

namespace dova::bench {
namespace {

void BM_ReaderTickAndSplit(benchmark::State& state) {
  ReaderRig rig(static_cast<std::size_t>(state.range(0)));
  std::size_t tagged = 0;
  rig.SetOnLine([&](TUSBXpress&, const QByteArray& line) {
    const protocol::TReplyParts parts = protocol::SplitReply(line);
    if (parts.Tag != protocol::TTag::None) ++tagged;
    benchmark::DoNotOptimize(parts.AsciiValue.data());
  });
  for (auto _ : state) {
    rig.Pump();
  }
  benchmark::DoNotOptimize(tagged);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(rig.BytesPerTick()));
  state.counters["lines/s"] =
      benchmark::Counter(static_cast<double>(tagged), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReaderTickAndSplit)->Arg(115)->Arg(4096)->Arg(65536);

}  // namespace
}  // namespace dova::bench
