#include "sim/usbip/usbip_serve.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QStringList>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/command_options.h"
#include "platform/pty/pseudo_terminal.h"
#include "platform/qt_scheduler.h"
#include "platform/timer.h"
#include "platform/usbip/vhci_link.h"
#include "sim/command_input.h"
#include "sim/incubator.h"
#include "sim/lab_day.h"
#include "sim/scenario.h"
#include "sim/simulated_incubators.h"
#include "sim/usbip/cp210x_device.h"
#include "sim/usbip/usbip_wire.h"

namespace dova::sim::usbip {

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void OnStopSignal(int) {
  g_stop = 1;
}

constexpr std::uint32_t kTickMs = 5;

const char* const kCommands =
    "On the standard input, besides the simulator's actions (lid, purge, nick, ...):\n"
    "  unplug [N]                  pull bridge N's cable (every bridge without N)\n"
    "  replug [N]                  plug it in again\n"
    "  state [N]                   print the bridge's identity and what the host set\n"
    "  stallwrites [N] on|off      the bridge stalls every configuration write\n"
    "  keepidentity [N] on|off     the bridge takes the writes but keeps its identity\n"
    "  quit\n";

// One incubator behind one bridge, and the bridge's link to the kernel while plugged in.
struct Served {
  int number = 0;
  std::unique_ptr<Incubator> incubator;
  std::unique_ptr<SimulatedCp210x> bridge;
  std::unique_ptr<VhciLink> link;
  std::unique_ptr<QSocketNotifier> notifier;
  CommandReader reader;
};

void Say(const std::string& line) {
  std::cout << line << std::endl;
}

std::string Hex4(unsigned v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04x", v);
  return buf;
}

class Bench {
 public:
  void Plug(Served& s) {
    if (s.link && s.link->Open()) return;
    s.link = VhciLink::Attach(static_cast<std::uint32_t>(s.number));
    s.reader = CommandReader{};
    s.bridge->Plug();
    s.notifier = std::make_unique<QSocketNotifier>(s.link->Descriptor(), QSocketNotifier::Read);
    QObject::connect(s.notifier.get(), &QSocketNotifier::activated, [this, &s] { Pump(s); });
    Say("bridge " + std::to_string(s.number) + " port " + std::to_string(s.link->Port()) +
        " product " + Hex4(s.bridge->Identity().product_id) + " serial " +
        s.bridge->Identity().serial);
  }

  void Unplug(Served& s) {
    if (!s.link || !s.link->Open()) return;
    // What the kernel has sent already is answered first: a request left unanswered in
    // the socket would keep its URB waiting in vhci_hcd until its time-out (5 s for a
    // control request), holding up the driver's disconnect. A real host controller fails
    // such transfers at once when the cable goes.
    Pump(s);
    if (!s.link->Open()) return;
    s.link->Flush();
    s.notifier.reset();
    s.link->Close();
    Say("bridge " + std::to_string(s.number) + " unplugged");
  }

  // The kernel's messages to one bridge, answered in order.
  void Pump(Served& s) {
    if (!s.link || !s.link->Open()) return;
    s.reader.Feed(s.link->ReadAvailable());
    std::string out;
    std::string error;
    while (auto command = s.reader.Next(&error))
      s.bridge->Handle(*command, &out);
    if (!error.empty()) {
      Say("bridge " + std::to_string(s.number) + ": " + error + "; dropping the link");
      s.notifier.reset();
      s.link->Close();
      return;
    }
    s.link->Write(out);
    if (!s.link->Open()) {
      s.notifier.reset();
      Say("bridge " + std::to_string(s.number) + " dropped by the host");
    }
  }

  void Flush(Served& s) {
    if (s.link && s.link->WritePending()) s.link->Flush();
  }

  void State(const Served& s) {
    const BridgeIdentity& id = s.bridge->Identity();
    Say("state " + std::to_string(s.number) + " product=" + Hex4(id.product_id) +
        " serial=" + id.serial + " attached=" + std::to_string(s.link && s.link->Open()) +
        " configured=" + std::to_string(s.bridge->Configured()) + " " +
        s.bridge->Uart().Describe() + " dropped=" + std::to_string(s.bridge->Dropped()) +
        " partnum_reads=" + std::to_string(s.bridge->PartNumberReads()));
  }
};

// What the command line asked for.
struct UsbipLine {
  bool help = false;
  bool usbip = false;
  long long count = 1;
  long long ea60 = 0;
  long long seed = kDefaultSeed;
  bool quiet = false;
  QString scenario_path;
};

std::vector<TLineOption<UsbipLine>> UsbipOptions() {
  return {
      {{{"usbip"}, {}, "Serve the incubators as USB bridges (this mode)."},
       Sets(&UsbipLine::usbip)},
      {{{"count"}, "N", "Incubators whose bridges are converted (0 to 16; default 1)."},
       SetsWholeNumber(&UsbipLine::count, 0, 16, "--count takes a number from 0 to 16")},
      {{{"ea60"},
        "M",
        "Incubators whose bridges are still on the serial-port driver (0 to 16; default 0)."},
       SetsWholeNumber(&UsbipLine::ea60, 0, 16, "--ea60 takes a number from 0 to 16")},
      {{{"seed"}, "S", "Play another lab day (0 to 4294967295; default 1)."},
       SetsWholeNumber(&UsbipLine::seed, 0, 0xFFFF'FFFFu,
                       "--seed takes a whole number from 0 to 4294967295")},
      {{{"quiet"}, {}, "Steady incubators that do nothing by themselves."},
       Sets(&UsbipLine::quiet)},
      {{{"scenario"}, "FILE", "Play the script FILE on the steady incubators."},
       [](UsbipLine& line, const QString& value) {
         if (value.isEmpty()) return QStringLiteral("--scenario takes a file");
         line.scenario_path = value;
         return QString();
       }},
      HelpOption(&UsbipLine::help),
  };
}

QString UsbipHelp() {
  return LineHelp(
      QStringLiteral("dova300-sim --usbip"),
      QStringLiteral(
          "Serves simulated DOVA-300 incubators as CP210x USB bridges on the kernel's virtual\n"
          "USB host controller (modules vhci-hcd and cp210x; root). The first --count bridges\n"
          "have product ID 0xEA61 and serials dova300-000n; the --ea60 bridges after them are\n"
          "still on the serial-port driver (product ID 0xEA60, serial VCP000n)."),
      UsbipOptions(), QString::fromLatin1(kCommands));
}

bool ParseOnOff(const std::string& word, bool* on) {
  if (word == "on")
    *on = true;
  else if (word == "off")
    *on = false;
  else
    return false;
  return true;
}

}  // namespace

bool WantsUsbip(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == "--usbip") return true;
  return false;
}

int RunUsbipSimulator(int argc, char** argv) {
  UsbipLine line;
  {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
      arguments << QString::fromLocal8Bit(argv[i]);
    const QString error = ParseLine(UsbipOptions(), arguments, line);
    if (error.isEmpty() && line.count + line.ea60 < 1) {
      std::cerr << "dova300-sim: --count and --ea60 together serve at least one incubator\n";
      return 2;
    }
    if (!error.isEmpty()) {
      std::cerr << "dova300-sim: " << error.toStdString() << "\n";
      return 2;
    }
  }
  if (line.help) {
    std::cout << UsbipHelp().toLocal8Bit().toStdString() << "\n";
    return 0;
  }
  QCoreApplication app(argc, argv);
  const int count = static_cast<int>(line.count);
  const int ea60 = static_cast<int>(line.ea60);
  const QString scenario_path = line.scenario_path;
  std::vector<ScenarioStep> steps;
  if (!scenario_path.isEmpty()) {
    std::string error;
    auto loaded = LoadScenarioFile(scenario_path, &error);
    if (!loaded) {
      std::cerr << "dova300-sim: " << error << "\n";
      return 2;
    }
    steps = std::move(*loaded);
  }
  const bool lab_day = !line.quiet && scenario_path.isEmpty();
  const auto bench_seed = static_cast<std::uint32_t>(line.seed);

  QtScheduler scheduler;
  Bench bench;
  std::vector<std::unique_ptr<Served>> served;
  try {
    for (int n = 1; n <= count + ea60; ++n) {
      auto s = std::make_unique<Served>();
      s->number = n;
      BridgeIdentity identity;
      if (n <= count) {
        identity.serial = SimulatedIncubators::BridgeSerial(n);
      } else {
        identity.product_id = 0xEA60;
        const std::string digits = std::to_string(n);
        identity.serial =
            "VCP" + std::string(4 - std::min<std::size_t>(4, digits.size()), '0') + digits;
      }
      s->bridge = std::make_unique<SimulatedCp210x>(identity);
      s->incubator = std::make_unique<Incubator>(
          scheduler, lab_day ? LabDayConfig(n, bench_seed)
                             : SimulatedIncubators::DefaultConfig(n, bench_seed));
      Served* raw = s.get();
      s->bridge->SetTrace(
          [n](const std::string& line) { Say("bridge " + std::to_string(n) + ": " + line); });
      s->bridge->SetToIncubator([raw](std::string_view bytes) { raw->incubator->Receive(bytes); });
      Endpoint endpoint;
      endpoint.send = [raw](std::string_view bytes) {
        if (!raw->link || !raw->link->Open()) return;  // the cable is out: lost
        std::string out;
        raw->bridge->FromIncubator(bytes, &out);
        raw->link->Write(out);
      };
      endpoint.unplug = [&bench, raw] { bench.Unplug(*raw); };
      s->incubator->SetEndpoint(std::move(endpoint));
      served.push_back(std::move(s));
    }
    for (auto& s : served)
      bench.Plug(*s);
  } catch (const Exception& e) {
    std::cerr << "dova300-sim: " << e.what() << "\n";
    return 1;
  }

  // Every target of a command: one bridge, or all of them for 0.
  const auto each = [&served](int target, const std::function<void(Served&)>& f) {
    if (target > static_cast<int>(served.size())) {
      std::cerr << "dova300-sim: no incubator " << target << "\n";
      return;
    }
    for (auto& s : served)
      if (target == 0 || s->number == target) f(*s);
  };
  // Unplugging goes through the bridge: the incubator stays, so it can be plugged in again.
  const auto apply = [&](const Action& action) {
    each(action.target, [&](Served& s) {
      if (action.verb == Action::Verb::Unplug)
        bench.Unplug(s);
      else if (action.verb != Action::Verb::Overrun)
        ApplyAction(action, *s.incubator);
    });
  };
  ScenarioRunner runner(scheduler, std::move(steps), apply);
  runner.Start();
  LabDay day(scheduler, bench_seed, apply);
  if (lab_day) {
    for (int n = 1; n <= count + ea60; ++n)
      day.Start(n);
  }

  // The bridge's own commands; false when the line is none of them.
  const auto bridge_command = [&](const std::string& line) {
    std::istringstream words(line);
    std::string verb;
    words >> verb;
    if (verb != "replug" && verb != "state" && verb != "stallwrites" && verb != "keepidentity")
      return false;
    std::vector<std::string> rest;
    for (std::string w; words >> w;)
      rest.push_back(w);
    int target = 0;
    if (!rest.empty() && rest.front().find_first_not_of("0123456789") == std::string::npos) {
      target = std::stoi(rest.front().substr(0, 3));
      rest.erase(rest.begin());
    }
    bool on = false;
    const bool fault = verb == "stallwrites" || verb == "keepidentity";
    if ((fault && (rest.size() != 1 || !ParseOnOff(rest[0], &on))) || (!fault && !rest.empty())) {
      std::cerr << "dova300-sim: usage: " << verb << (fault ? " [N] on|off\n" : " [N]\n");
      return true;
    }
    each(target, [&](Served& s) {
      try {
        if (verb == "replug")
          bench.Plug(s);
        else if (verb == "state")
          bench.State(s);
        else if (verb == "stallwrites")
          s.bridge->SetStallWrites(on);
        else
          s.bridge->SetKeepIdentity(on);
      } catch (const Exception& e) {
        std::cerr << "dova300-sim: " << e.what() << "\n";
      }
    });
    return true;
  };

  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
  ConsoleInput console;
  CommandInput commands([&console](bool* closed) { return console.TakeLines(closed); }, apply,
                        bridge_command, std::cerr);
  Timer tick(scheduler, kTickMs, true);
  tick.SetOnTimer([&] {
    if (g_stop) {
      tick.SetEnabled(false);
      QCoreApplication::quit();
      return;
    }
    for (auto& s : served) {
      bench.Flush(*s);
      if (s->link && !s->link->Open() && s->notifier) {
        s->notifier.reset();
        Say("bridge " + std::to_string(s->number) + " dropped by the host");
      }
    }
    if (!commands.Poll()) QCoreApplication::quit();
  });

  const int rc = QCoreApplication::exec();
  // Every cable out before the incubators go: they hold callbacks into their bridges.
  for (auto& s : served)
    bench.Unplug(*s);
  served.clear();
  return rc;
}

}  // namespace dova::sim::usbip
