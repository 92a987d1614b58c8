#include "app/command_line.h"

namespace dova {

namespace {

// The value of an option given either as "--name VALUE" or "--name=VALUE".
bool TakeValue(const QStringList& args, qsizetype& i, const QString& name, QString* value,
               QString* error) {
  const QString& arg = args[i];
  if (arg == name) {
    if (i + 1 >= args.size()) {
      *error = name + QStringLiteral(" needs a value");
      return true;
    }
    *value = args[++i];
    return true;
  }
  if (arg.startsWith(name + u'=')) {
    *value = arg.mid(name.size() + 1);
    return true;
  }
  return false;
}

// A seed: plain decimal digits, 0 to 4294967295.
std::optional<std::uint32_t> Seed(const QString& text) {
  if (text.isEmpty() || text.size() > 10) return std::nullopt;
  std::uint64_t n = 0;
  for (const QChar c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    n = n * 10 + static_cast<std::uint64_t>(c.unicode() - u'0');
  }
  if (n > 0xFFFF'FFFFu) return std::nullopt;
  return static_cast<std::uint32_t>(n);
}

}  // namespace

QString TMetricsAddress::Text() const {
  const QString host = Host.contains(u':') ? u'[' + Host + u']' : Host;
  return host + u':' + QString::number(Port);
}

std::optional<TMetricsAddress> ParseMetricsAddress(const QString& text) {
  TMetricsAddress address;
  QString port = text;
  if (text.startsWith(u'[')) {
    const qsizetype close = text.indexOf(QLatin1String("]:"));
    if (close < 2) return std::nullopt;
    address.Host = text.mid(1, close - 1);
    port = text.mid(close + 2);
  } else if (const qsizetype colon = text.indexOf(u':'); colon >= 0) {
    // A bare IPv6 address leaves no way to tell where the port starts.
    if (colon == 0 || text.indexOf(u':', colon + 1) >= 0) return std::nullopt;
    address.Host = text.left(colon);
    port = text.mid(colon + 1);
  }
  if (address.Host.contains(u' ') || port.isEmpty() || port.size() > 5) return std::nullopt;
  std::uint32_t n = 0;
  for (const QChar c : port) {
    if (c < u'0' || c > u'9') return std::nullopt;
    n = n * 10 + static_cast<std::uint32_t>(c.unicode() - u'0');
  }
  if (n < 1 || n > 65535) return std::nullopt;
  address.Port = static_cast<std::uint16_t>(n);
  return address;
}

TCommandLine ParseCommandLine(const QStringList& arguments) {
  TCommandLine line;
  // The first option given that only makes sense with --simulate.
  QString needs_simulate;
  const auto simulation_option = [&needs_simulate](const QString& name) {
    if (needs_simulate.isEmpty()) needs_simulate = name;
  };
  for (qsizetype i = 0; i < arguments.size() && line.Error.isEmpty(); ++i) {
    const QString& arg = arguments[i];
    QString value;
    if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
      line.Help = true;
    } else if (arg == QLatin1String("--version")) {
      line.Version = true;
    } else if (arg == QLatin1String("--headless")) {
      line.Headless = true;
    } else if (TakeValue(arguments, i, QStringLiteral("--simulate"), &value, &line.Error)) {
      if (!line.Error.isEmpty()) break;
      bool ok = false;
      const int n = value.toInt(&ok);
      if (!ok || n < 1 || n > 99)
        line.Error = QStringLiteral("--simulate takes a number of incubators from 1 to 99");
      else
        line.Simulate = n;
    } else if (TakeValue(arguments, i, QStringLiteral("--simulate-vcp"), &value, &line.Error)) {
      if (!line.Error.isEmpty()) break;
      bool ok = false;
      const int n = value.toInt(&ok);
      if (!ok || n < 1 || n > 99)
        line.Error = QStringLiteral("--simulate-vcp takes a number of incubators from 1 to 99");
      else
        line.SimulateVcp = n;
    } else if (arg == QLatin1String("--simulate-quiet")) {
      line.SimulateQuiet = true;
      simulation_option(arg);
    } else if (TakeValue(arguments, i, QStringLiteral("--seed"), &value, &line.Error)) {
      if (!line.Error.isEmpty()) break;
      simulation_option(QStringLiteral("--seed"));
      const auto seed = Seed(value);
      if (!seed)
        line.Error = QStringLiteral("--seed takes a whole number from 0 to 4294967295");
      else
        line.Seed = *seed;
    } else if (TakeValue(arguments, i, QStringLiteral("--scenario"), &value, &line.Error)) {
      if (!line.Error.isEmpty()) break;
      simulation_option(QStringLiteral("--scenario"));
      if (value.isEmpty())
        line.Error = QStringLiteral("--scenario takes a file");
      else
        line.Scenario = value;
    } else if (TakeValue(arguments, i, QStringLiteral("--device"), &value, &line.Error)) {
      if (!line.Error.isEmpty()) break;
      if (value.isEmpty() || value.startsWith(u'='))
        line.Error = QStringLiteral("--device takes PATH or PATH=SERIAL");
      else
        line.Devices.append(value);
    } else if (TakeValue(arguments, i, QStringLiteral("--data-dir"), &value, &line.Error)) {
      if (!line.Error.isEmpty()) break;
      if (value.isEmpty())
        line.Error = QStringLiteral("--data-dir takes a folder");
      else
        line.DataDir = value;
    } else if (TakeValue(arguments, i, QStringLiteral("--log-interval"), &value, &line.Error)) {
      if (!line.Error.isEmpty()) break;
      bool ok = false;
      const int n = value.toInt(&ok);
      if (!ok || n < 1 || n > 10)
        line.Error = QStringLiteral("--log-interval takes whole minutes from 1 to 10");
      else
        line.LogInterval = n;
    } else if (TakeValue(arguments, i, QStringLiteral("--metrics"), &value, &line.Error)) {
      if (!line.Error.isEmpty()) break;
      line.Metrics = ParseMetricsAddress(value);
      if (!line.Metrics)
        line.Error = QStringLiteral("--metrics takes [ADDRESS:]PORT, a port from 1 to 65535");
    } else {
      line.Error = QStringLiteral("unknown option ") + arg;
    }
  }
  if (line.Error.isEmpty() && !needs_simulate.isEmpty() && line.Simulate == 0)
    line.Error = needs_simulate + QStringLiteral(" needs --simulate");
  return line;
}

QString CommandLineHelp() {
  return QStringLiteral(
      "Usage: dova300-logger [options]\n"
      "Monitors and logs DOVA-300 benchtop incubators connected by USB.\n"
      "\n"
      "Options:\n"
      "  --headless             Run without windows: find, poll and log every incubator,\n"
      "                         show a live table on a terminal (plain lines otherwise).\n"
      "                         Ctrl+C or SIGTERM closes every log file with its last line.\n"
      "  --simulate N           Plug in N simulated incubators (1 to 99) instead of\n"
      "                         looking for real ones. They play a lab day: names and\n"
      "                         set-points of their own, chambers warming up from room\n"
      "                         temperature, lids opened for some seconds, purges, set-points\n"
      "                         adjusted, now and then an error that clears.\n"
      "  --seed N               Play another lab day (0 to 4294967295; default 1). The same\n"
      "                         seed plays the same day and writes the same log lines.\n"
      "  --scenario FILE        Play the script FILE on steady simulated incubators instead\n"
      "                         of the lab day, one action a line, for example\n"
      "                         \"at 60s lid 1 left open\" or \"every 10m purge 2 30s\"\n"
      "                         (the actions of dova300-sim --help).\n"
      "  --simulate-quiet       Steady simulated incubators (\"DOVA n\", 37.0 C, 20 ml/min)\n"
      "                         that do nothing by themselves, for tests and benchmarks.\n"
      "  --simulate-vcp N       Plug in N simulated incubators (1 to 99) whose bridges are\n"
      "                         still on the serial-port driver; the converter finds them,\n"
      "                         reprograms them and they are then logged like the others.\n"
      "  --device PATH[=SERIAL] Also treat the serial device PATH (a pseudo-terminal, an\n"
      "                         RS-232 adapter) as an incubator bridge; SERIAL is the serial\n"
      "                         number it is known by (default: one made from the path).\n"
      "                         May be given more than once.\n"
      "  --data-dir DIR         Write the log files into DIR for this run (the stored data\n"
      "                         folder is not changed).\n"
      "  --log-interval MIN     Minutes between periodic log records for this run, 1 to 10\n"
      "                         (the stored interval is not changed).\n"
      "  --metrics [ADDR:]PORT  Serve metrics for Prometheus at http://ADDR:PORT/metrics\n"
      "                         (default address 127.0.0.1, this computer only; 0.0.0.0\n"
      "                         or [::] for the network). Overrides the Metrics setting.\n"
      "  --version              Show the version and end.\n"
      "  -h, --help             Show this text and end.\n"
      "\n"
      "Without --headless the logger opens its window; where no display can be opened it says\n"
      "so and runs without windows.\n"
      "Only one copy of the logger runs at a time; a second one ends at once.\n");
}

}  // namespace dova
