// dova300-sim: simulated DOVA-300 incubators on pseudo-terminals, for trying the logger
// (or any terminal program) without hardware. Each incubator gets its own pseudo-terminal;
// the tool prints its path and the logger argument that uses it, then answers commands
// until it is interrupted.
#include <QCoreApplication>
#include <csignal>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "platform/pty/pseudo_terminal.h"
#include "platform/qt_scheduler.h"
#include "platform/timer.h"
#include "sim/incubator.h"
#include "sim/lab_day.h"
#include "sim/scenario.h"
#include "sim/simulated_incubators.h"
#ifdef DOVA_SIM_USBIP
#include "sim/usbip/usbip_serve.h"
#endif

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void OnSignal(int) {
  g_stop = 1;
}

constexpr std::uint32_t kPollMs = 5;

const char* const kUsage =
    "Usage: dova300-sim [--count N] [--seed S] [--quiet | --scenario FILE]\n"
    "       dova300-sim --usbip ...   (bridges on the kernel's USB/IP host; --usbip --help)\n"
    "\n"
    "Serves N simulated DOVA-300 incubators (default 1), each on its own pseudo-terminal,\n"
    "and prints one line per incubator: the terminal's path and a ready-made logger\n"
    "argument.\n"
    "\n"
    "By default the incubators play a lab day: names and set-points of their own, chambers\n"
    "warming up from room temperature, lids opened for some seconds, purges, set-points\n"
    "adjusted and now and then an error that clears. --seed S picks another day (and the\n"
    "measurement noise; default 1); the same seed plays the same day.\n"
    "--quiet serves steady incubators (\"DOVA n\", 37.0 C, 20 ml/min) that do nothing by\n"
    "themselves. --scenario plays a script on those steady incubators instead:\n"
    "\n"
    "  at 60s lid left open        every 600s purge 30s\n"
    "  at 90s lid left close       at 300s unplug 2\n"
    "\n"
    "Actions (also typed on the standard input while the tool runs; N picks an incubator,\n"
    "without it every incubator is meant):\n"
    "  lid [N] left|right open|close      chamber [N] left|right on|off\n"
    "  error [N] left|right on|off        setpoint [N] left|right|gas VALUE\n"
    "  gas [N] on|off                     purge [N] DURATION|stop\n"
    "  co2 [N] on|off                     flowerror [N] on|off\n"
    "  nick [N] NAME                      silent [N] on|off\n"
    "  delay [N] DURATION                 split [N] on|off\n"
    "  crlf [N] on|off                    garbage [N] [every COUNT]\n"
    "  unplug [N]                         quit\n"
    "Durations: 250ms, 30s, 5m, 2h. Ctrl+C ends the tool.\n";

struct Served {
  std::unique_ptr<dova::PseudoTerminal> pty;
  std::unique_ptr<dova::sim::Incubator> incubator;
};

bool ParseNumber(const char* text, long long min, long long max, long long* out) {
  const std::string s = text ? text : "";
  if (s.empty() || s.size() > 18) return false;
  long long n = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  if (n < min || n > max) return false;
  *out = n;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef DOVA_SIM_USBIP
  // Bridges on the kernel's virtual USB host controller instead of pseudo-terminals.
  if (dova::sim::usbip::WantsUsbip(argc, argv))
    return dova::sim::usbip::RunUsbipSimulator(argc, argv);
#endif
  long long count = 1;
  long long seed = dova::sim::kDefaultSeed;
  bool quiet = false;
  QString scenario_path;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--count" && ParseNumber(value, 1, 64, &count)) {
      ++i;
    } else if (arg == "--seed" && ParseNumber(value, 0, 4'294'967'295LL, &seed)) {
      ++i;
    } else if (arg == "--quiet") {
      quiet = true;
    } else if (arg == "--scenario" && value) {
      scenario_path = QString::fromLocal8Bit(value);
      ++i;
    } else {
      std::cerr << "dova300-sim: bad argument '" << arg << "'\n\n" << kUsage;
      return 2;
    }
  }

  QCoreApplication app(argc, argv);
  dova::QtScheduler scheduler;

  std::vector<dova::sim::ScenarioStep> steps;
  if (!scenario_path.isEmpty()) {
    std::string error;
    auto loaded = dova::sim::LoadScenarioFile(scenario_path, &error);
    if (!loaded) {
      std::cerr << "dova300-sim: " << error << "\n";
      return 2;
    }
    steps = std::move(*loaded);
  }
  const bool lab_day = !quiet && scenario_path.isEmpty();
  const auto bench_seed = static_cast<std::uint32_t>(seed);

  std::vector<Served> served;
  try {
    for (int n = 1; n <= count; ++n) {
      Served s;
      s.pty = dova::PseudoTerminal::Open();
      s.incubator = std::make_unique<dova::sim::Incubator>(
          scheduler, lab_day ? dova::sim::LabDayConfig(n, bench_seed)
                             : dova::sim::SimulatedIncubators::DefaultConfig(n, bench_seed));
      dova::PseudoTerminal* pty = s.pty.get();
      dova::sim::Endpoint endpoint;
      endpoint.send = [pty](std::string_view bytes) { pty->Write(bytes); };
      endpoint.unplug = [pty] { pty->CloseMaster(); };
      s.incubator->SetEndpoint(std::move(endpoint));
      std::cout << pty->SlavePath() << "  --device " << pty->SlavePath() << "="
                << dova::sim::SimulatedIncubators::BridgeSerial(n) << "\n";
      served.push_back(std::move(s));
    }
  } catch (const dova::Exception& e) {
    std::cerr << "dova300-sim: " << e.what() << "\n";
    return 1;
  }
  std::cout.flush();

  const auto apply = [&served](const dova::sim::Action& action) {
    if (action.target > static_cast<int>(served.size())) {
      std::cerr << "dova300-sim: no incubator " << action.target << "\n";
      return;
    }
    for (std::size_t i = 0; i < served.size(); ++i) {
      if (action.target == 0 || static_cast<std::size_t>(action.target) == i + 1) {
        if (action.verb == dova::sim::Action::Verb::Overrun) {
          std::cerr << "dova300-sim: a pseudo-terminal cannot overrun\n";
          return;
        }
        dova::sim::ApplyAction(action, *served[i].incubator);
      }
    }
  };

  dova::sim::ScenarioRunner runner(scheduler, std::move(steps), apply);
  runner.Start();
  dova::sim::LabDay day(scheduler, bench_seed, apply);
  if (lab_day) {
    for (int n = 1; n <= count; ++n)
      day.Start(n);
  }

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);

  dova::ConsoleInput console;
  bool console_open = true;
  dova::Timer poll(scheduler, kPollMs, true);
  poll.SetOnTimer([&] {
    if (g_stop) {
      poll.SetEnabled(false);
      QCoreApplication::quit();
      return;
    }
    for (Served& s : served) {
      if (!s.pty->MasterOpen()) continue;
      const std::string bytes = s.pty->ReadAvailable();
      if (!bytes.empty()) s.incubator->Receive(bytes);
    }
    if (!console_open) return;
    bool closed = false;
    const std::vector<std::string> lines = console.TakeLines(&closed);
    if (closed) console_open = false;
    for (const std::string& line : lines) {
      if (line.find_first_not_of(" \t") == std::string::npos) continue;
      if (line == "quit" || line == "exit") {
        QCoreApplication::quit();
        return;
      }
      std::string error;
      if (auto action = dova::sim::ParseAction(line, &error)) {
        apply(*action);
      } else {
        std::cerr << "dova300-sim: " << error << "\n";
      }
    }
  });

  const int rc = QCoreApplication::exec();
  // Incubators first: they hold callbacks into their terminals.
  for (Served& s : served)
    s.incubator.reset();
  return rc;
}
