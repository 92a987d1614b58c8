// The tile's cost: CPU per reply line in a steady poll pass, and a three-day run of one
// incubator whose temperature toggles every second (every plot tick a new point).
#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QTemporaryDir>
#include <array>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>

#include "alarms/alarm_engine.h"
#include "alarms/alarm_service.h"
#include "monitor/dova_panel.h"
#include "monitor/log_format.h"
#include "monitor/panel_host.h"
#include "platform/bridge/sim/sim_library.h"
#include "platform/error_reporter.h"
#include "platform/virtual_scheduler.h"
#include "usb/usbxpress.h"

namespace dova::bench {
namespace {

class Host : public IPanelHost {
 public:
  QString folder;
  void AddPanel(TDovaPanel& p) override {
    p.SetDirectory(folder);
    p.SetLogInterval(5);
    p.Select();
  }
  void RemovePanel(TDovaPanel&) override {}
  void SelectPanel(TDovaPanel&) override {}
  void TileGraphWindows() override {}
};

class Boxes : public IMessageBoxes {
 public:
  void ShowWarning(const QString&) override {}
  void DisplayMessage(const QString&, const QString&) override {}
};

// Peak resident set of the process in MB (VmHWM).
double PeakMegabytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

struct Rig {
  VirtualScheduler sched;
  RecordingErrorReporter errors;
  bridge::SimLibrary library;
  std::shared_ptr<bridge::SimBridge> bridge = library.AddBridge("dova300-0001");
  Host host;
  Boxes boxes;
  LogFormat format = LogFormat::Pinned();
  QTemporaryDir dir;
  std::unique_ptr<TUSBXpress> port;
  std::unique_ptr<TDovaPanel> panel;

  Rig() {
    sched.SetErrorReporter(&errors);
    host.folder = dir.path();
    bridge::SiHandle handle = 0;
    library.SI_Open(0, &handle);
    port = std::make_unique<TUSBXpress>(sched, library, handle, 13, 0, 57600, 20);
    panel = std::make_unique<TDovaPanel>(TPanelContext{sched, boxes, format});
  }
};

void BM_HandleReplySteadyPass(benchmark::State& state) {
  Rig rig;
  rig.panel->Attach(rig.host, *rig.port);
  const std::array<QByteArray, 16> pass{
      "LBSP 3700", "DISP 37.037.1 20  GGG", "RBSP 3700", "DISP 37.037.1 20  GGG",
      "GFSP 4000", "DISP 37.037.1 20  GGG", "LBT1 3702", "DISP 37.037.1 20  GGG",
      "LBT2 3699", "DISP 37.037.1 20  GGG", "RBT1 3712", "DISP 37.037.1 20  GGG",
      "RBT2 3709", "DISP 37.037.1 20  GGG", "FLOW 4000", "DISP 37.037.1 20  GGG"};
  TDovaPanel& panel = *rig.panel;
  TUSBXpress& port = *rig.port;
  for (int i = 0; i < 4; ++i) {
    for (const auto& line : pass)
      panel.HandleReply(port, line);
  }
  for (auto _ : state) {
    for (const auto& line : pass)
      panel.HandleReply(port, line);
  }
  benchmark::DoNotOptimize(panel.RightTemp);
  const double lines = static_cast<double>(state.iterations()) * pass.size();
  state.SetItemsProcessed(static_cast<std::int64_t>(lines));
  // CPU time per reply line, printed with its SI prefix (n = nanoseconds).
  state.counters["s_per_line"] =
      benchmark::Counter(lines, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_HandleReplySteadyPass)->Repetitions(5)->ReportAggregatesOnly(true);

// The same pass on a tile that told its serial and name (its log open, its events flowing to
// every listener), without (0) and with (1) the alarm engine following it.
void BM_HandleReplyNamedPass(benchmark::State& state) {
  Rig rig;
  TAlarmSettings settings;
  TAlarmEngine engine(rig.sched, settings);
  std::unique_ptr<TPanelAlarmFeed> feed;
  if (state.range(0) == 1) feed = std::make_unique<TPanelAlarmFeed>(engine, *rig.panel);
  rig.panel->Attach(rig.host, *rig.port);
  TDovaPanel& panel = *rig.panel;
  TUSBXpress& port = *rig.port;
  panel.HandleReply(port, "SERL dova300-0001");
  panel.HandleReply(port, "NICK Bench");
  const std::array<QByteArray, 16> pass{
      "LBSP 3700", "DISP 37.037.1 20  GGG", "RBSP 3700", "DISP 37.037.1 20  GGG",
      "GFSP 4000", "DISP 37.037.1 20  GGG", "LBT1 3702", "DISP 37.037.1 20  GGG",
      "LBT2 3699", "DISP 37.037.1 20  GGG", "RBT1 3712", "DISP 37.037.1 20  GGG",
      "RBT2 3709", "DISP 37.037.1 20  GGG", "FLOW 4000", "DISP 37.037.1 20  GGG"};
  for (int i = 0; i < 4; ++i) {
    for (const auto& line : pass)
      panel.HandleReply(port, line);
  }
  for (auto _ : state) {
    for (const auto& line : pass)
      panel.HandleReply(port, line);
  }
  benchmark::DoNotOptimize(panel.RightTemp);
  if (state.range(0) == 1 && engine.Serials().empty()) state.SkipWithError("not followed");
  const double lines = static_cast<double>(state.iterations()) * pass.size();
  state.SetItemsProcessed(static_cast<std::int64_t>(lines));
  state.counters["s_per_line"] =
      benchmark::Counter(lines, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_HandleReplyNamedPass)->Arg(0)->Arg(1)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_ThreeDaysToggling(benchmark::State& state) {
  const double before = PeakMegabytes();
  double seconds = 0;
  std::size_t points = 0;
  for (auto _ : state) {
    Rig rig;
    // An incubator that answers at once; its temperatures jump between 36.0 and 38.0 every
    // second of virtual time, so the filtered value and the plot change on every tick.
    std::string pending;
    rig.bridge->OnHostWrite = [&](std::string_view bytes) {
      for (char ch : bytes) {
        if (ch != '\r') {
          pending.push_back(ch);
          continue;
        }
        const bool high = (rig.sched.ElapsedMs() / 1000) % 2 == 1;
        const std::string tag = pending.substr(pending.find(' ') + 1);
        pending.clear();
        std::string value;
        if (tag == "SERL")
          value = "77";
        else if (tag == "NICK")
          value = "Bench";
        else if (tag == "LBSP" || tag == "RBSP")
          value = "3700";
        else if (tag == "GFSP")
          value = "4000";
        else if (tag[1] == 'B' && tag[2] == 'T')
          value = high ? "3800" : "3600";
        else if (tag == "FLOW")
          value = high ? "4400" : "3600";
        else if (tag == "DISP")
          value = high ? "38.038.0 22  GGG" : "36.036.0 18  GGG";
        else
          continue;
        rig.bridge->SendToHost(tag + " " + value + "\r");
      }
    };
    const auto start = std::chrono::steady_clock::now();
    rig.panel->Attach(rig.host, *rig.port);
    rig.sched.AdvanceBy(3LL * 24 * 3600 * 1000);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    points = rig.panel->LeftTempGraph->TempSeries().Count() +
             rig.panel->RightTempGraph->TempSeries().Count() +
             rig.panel->GasFlowGraph->FlowSeries().Count();
  }
  state.counters["wall_s"] = seconds;
  state.counters["peak_MB"] = PeakMegabytes();
  state.counters["peak_growth_MB"] = PeakMegabytes() - before;
  state.counters["points"] = static_cast<double>(points);
}
BENCHMARK(BM_ThreeDaysToggling)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace dova::bench

BENCHMARK_MAIN();
