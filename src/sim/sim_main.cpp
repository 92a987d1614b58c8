// dova300-sim: simulated DOVA-300 incubators on pseudo-terminals, for trying the logger
// (or any terminal program) without hardware. Each incubator gets its own pseudo-terminal;
// the tool prints its path and the logger argument that uses it, then answers commands
// until it is interrupted.
#include <QCoreApplication>
#include <QStringList>
#include <csignal>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "platform/command_options.h"
#include "platform/pty/pseudo_terminal.h"
#include "platform/qt_scheduler.h"
#include "platform/timer.h"
#include "sim/command_input.h"
#include "sim/incubator.h"
#include "sim/lab_day.h"
#include "sim/scenario.h"
#include "sim/simulated_incubators.h"
#include "version.h"
#ifdef DOVA_SIM_USBIP
#include "sim/usbip/usbip_serve.h"
#endif

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void OnSignal(int) {
  g_stop = 1;
}

constexpr std::uint32_t kPollMs = 5;

// What the tool was asked to do on its command line.
struct SimLine {
  bool help = false;
  bool version = false;
  long long count = 1;
  long long seed = dova::sim::kDefaultSeed;
  bool quiet = false;
  QString scenario_path;
};

using SimOption = dova::TLineOption<SimLine>;

// Every option of the tool, one row each, in the order --help lists them.
std::vector<SimOption> SimOptions() {
  return {
      {{{"count"}, "N", "Serve N simulated incubators (1 to 64; default 1)."},
       dova::SetsWholeNumber(&SimLine::count, 1, 64,
                             "--count takes a number of incubators from 1 to 64")},
      {{{"seed"},
        "S",
        "Play another lab day (0 to 4294967295; default 1); it also picks the measurement "
        "noise. The same seed plays the same day."},
       dova::SetsWholeNumber(&SimLine::seed, 0, 0xFFFF'FFFFu,
                             "--seed takes a whole number from 0 to 4294967295")},
      {{{"quiet"},
        {},
        "Serve steady incubators (\"DOVA n\", 37.0 C, 20 ml/min) that do nothing by "
        "themselves."},
       dova::Sets(&SimLine::quiet)},
      {{{"scenario"},
        "FILE",
        "Play the script FILE on the steady incubators instead of the lab day, one action a "
        "line (see below)."},
       [](SimLine& line, const QString& value) {
         if (value.isEmpty()) return QStringLiteral("--scenario takes a file");
         line.scenario_path = value;
         return QString();
       }},
      dova::VersionOption(&SimLine::version),
      dova::HelpOption(&SimLine::help),
  };
}

QString SimHelp() {
  return dova::LineHelp(
      QStringLiteral("dova300-sim"),
      QStringLiteral(
          "Serves simulated DOVA-300 incubators, each on its own pseudo-terminal, and prints\n"
          "one line per incubator: the terminal's path and a ready-made logger argument.\n"
          "\n"
          "By default the incubators play a lab day: names and set-points of their own,\n"
          "chambers warming up from room temperature, lids opened for some seconds, purges,\n"
          "set-points adjusted and now and then an error that clears.\n"
          "\n"
          "With --usbip the incubators are USB bridges on the kernel's virtual USB host\n"
          "controller instead (see dova300-sim --usbip --help)."),
      SimOptions(),
      QStringLiteral(
          "A script for --scenario, one action a line:\n"
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
          "Durations: 250ms, 30s, 5m, 2h. Ctrl+C ends the tool."));
}

struct Served {
  std::unique_ptr<dova::PseudoTerminal> pty;
  std::unique_ptr<dova::sim::Incubator> incubator;
};

}  // namespace

int main(int argc, char** argv) {
#ifdef DOVA_SIM_USBIP
  // Bridges on the kernel's virtual USB host controller instead of pseudo-terminals.
  if (dova::sim::usbip::WantsUsbip(argc, argv))
    return dova::sim::usbip::RunUsbipSimulator(argc, argv);
#endif
  SimLine line;
  {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
      arguments << QString::fromLocal8Bit(argv[i]);
    const QString error = dova::ParseLine(SimOptions(), arguments, line);
    if (!error.isEmpty()) {
      std::cerr << "dova300-sim: " << error.toStdString() << "\n";
      return 2;
    }
  }
  if (line.help) {
    std::cout << SimHelp().toLocal8Bit().toStdString() << "\n";
    return 0;
  }
  if (line.version) {
    std::cout << "dova300-sim " DOVA_VERSION "\n";
    return 0;
  }
  const long long count = line.count;
  const long long seed = line.seed;
  const bool quiet = line.quiet;
  const QString& scenario_path = line.scenario_path;

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
  dova::sim::CommandInput commands([&console](bool* closed) { return console.TakeLines(closed); },
                                   apply, {}, std::cerr);
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
    if (!commands.Poll()) QCoreApplication::quit();
  });

  const int rc = QCoreApplication::exec();
  // Incubators first: they hold callbacks into their terminals.
  for (Served& s : served)
    s.incubator.reset();
  return rc;
}
