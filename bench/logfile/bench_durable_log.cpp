// What durable logging costs: N log files on the real disk (a temporary folder), each taking
// one line a second and a change of state every tenth second, for a run of virtual seconds,
// with syncing on and off. The sync thread's jobs run on the benchmark's thread after every
// second, so the process's CPU (user and system) holds every sync, and the count of syncs
// per file and second is exact. One iteration is twenty seconds of every file: its CPU time
// against the same with syncing off is the cost. Run it where the logs live: a disk, not a
// tmpfs (the files are made in the current folder).
#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "platform/logfile/durable_log.h"
#include "platform/logfile/log_files.h"
#include "platform/logfile/sync_queue.h"
#include "platform/virtual_scheduler.h"

namespace dova::bench {
namespace {

constexpr int kSeconds = 20;

void BM_LogSeconds(benchmark::State& state) {
  const int files = static_cast<int>(state.range(0));
  const bool sync = state.range(1) != 0;
  LogFiles& disk = SystemLogFiles();
  const QByteArray record = "10/12/2026 3:55:10 PM, Left Temperature, 37.1\r";
  const QByteArray change = "10/12/2026 3:55:10 PM, Left Lid Open\r";
  double syncs = 0;
  double urgent = 0;
  for (auto _ : state) {
    state.PauseTiming();
    QTemporaryDir dir(QStringLiteral("bench-durable-XXXXXX"));  // beside the program, on disk
    VirtualScheduler sched;
    SyncQueue queue(SyncQueue::Mode::Manual, sync);
    std::vector<std::unique_ptr<DurableLog>> logs;
    for (int i = 0; i < files; ++i) {
      const QString path = dir.filePath(QStringLiteral("Bench %1.csv").arg(i));
      disk.CreateIfMissing(path);
      logs.push_back(std::make_unique<DurableLog>(sched, queue, disk, disk.OpenExisting(path),
                                                  QStringList{dir.path()}));
    }
    state.ResumeTiming();
    for (int second = 0; second < kSeconds; ++second) {
      for (int i = 0; i < files; ++i) {
        if ((second + i) % 10 == 0) {
          logs[static_cast<std::size_t>(i)]->Append(change);
          logs[static_cast<std::size_t>(i)]->SyncNow();
          ++urgent;
        } else {
          logs[static_cast<std::size_t>(i)]->Append(record);
        }
      }
      sched.AdvanceBy(1000);
      queue.RunAll();
    }
    for (const auto& log : logs)
      syncs += static_cast<double>(log->Syncs());
    state.PauseTiming();
    logs.clear();
    queue.RunAll();
    state.ResumeTiming();
  }
  const double file_seconds = static_cast<double>(state.iterations()) * files * kSeconds;
  state.counters["syncs_per_file_s"] = syncs / file_seconds;
  // The promise: at most one per file and second plus one per change of state.
  state.counters["allowed_per_file_s"] = (file_seconds + urgent) / file_seconds;
}
BENCHMARK(BM_LogSeconds)
    ->ArgNames({"files", "sync"})
    ->Args({10, 0})
    ->Args({10, 1})
    ->Args({50, 0})
    ->Args({50, 1})
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace dova::bench

BENCHMARK_MAIN();
