#include "app/command_line.h"

#include "platform/command_options.h"

namespace dova {

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
  if (address.Host.contains(u' ')) return std::nullopt;
  const auto n = WholeNumber(port, 1, 65535);
  if (!n) return std::nullopt;
  address.Port = static_cast<std::uint16_t>(*n);
  return address;
}

namespace {

using TOption = TLineOption<TCommandLine>;

// A text that may not be empty.
TOption::TTake SetsText(QString TCommandLine::*field, const char* error) {
  return [field, error](TCommandLine& line, const QString& value) {
    if (value.isEmpty()) return QString::fromLatin1(error);
    line.*field = value;
    return QString();
  };
}

// A number of incubators for --simulate and --simulate-vcp.
TOption::TTake Incubators(int TCommandLine::*field, const QString& name) {
  return SetsWholeNumber(field, 1, 99,
                         name + QStringLiteral(" takes a number of incubators from 1 to 99"));
}

// Every option of the logger, one row each, in the order --help lists them. The options
// of the simulated incubators only make sense with --simulate: `needs_simulate` gets the
// first of them given.
std::vector<TOption> Options(QString* needs_simulate) {
  const auto simulation = [needs_simulate](const QString& name, TOption::TTake take) {
    return [needs_simulate, name, take](TCommandLine& line, const QString& value) {
      if (needs_simulate->isEmpty()) *needs_simulate = name;
      return take(line, value);
    };
  };
  return {
      {{{"headless"},
        {},
        "Run without windows: find, poll and log every incubator, show a live table on a "
        "terminal (plain lines otherwise). Ctrl+C or SIGTERM closes every log file with its "
        "last line."},
       Sets(&TCommandLine::Headless)},
      {{{"simulate"},
        "N",
        "Plug in N simulated incubators (1 to 99) instead of looking for real ones. They "
        "play a lab day: names and set-points of their own, chambers warming up from room "
        "temperature, lids opened for some seconds, purges, set-points adjusted, now and "
        "then an error that clears."},
       Incubators(&TCommandLine::Simulate, "--simulate")},
      {{{"seed"},
        "N",
        "With --simulate: play another lab day (0 to 4294967295; default 1). The same seed "
        "plays the same day and writes the same log lines."},
       simulation("--seed", SetsWholeNumber(&TCommandLine::Seed, 0, 0xFFFF'FFFFu,
                                            "--seed takes a whole number from 0 to 4294967295"))},
      {{{"scenario"},
        "FILE",
        "With --simulate: play the script FILE on steady simulated incubators instead of the "
        "lab day, one action a line, for example \"at 60s lid 1 left open\" or \"every 10m "
        "purge 2 30s\" (the actions of dova300-sim --help)."},
       simulation("--scenario",
                  [](TCommandLine& line, const QString& value) {
                    // Only the name is checked here; the file is read when the run starts.
                    if (value.isEmpty()) return QStringLiteral("--scenario takes a file");
                    line.Scenario = value;
                    return QString();
                  })},
      {{{"simulate-quiet"},
        {},
        "With --simulate: steady simulated incubators (\"DOVA n\", 37.0 C, 20 ml/min) that "
        "do nothing by themselves, for tests and benchmarks."},
       simulation("--simulate-quiet", Sets(&TCommandLine::SimulateQuiet))},
      {{{"simulate-vcp"},
        "N",
        "Plug in N simulated incubators (1 to 99) whose bridges are still on the serial-port "
        "driver; the converter finds them, reprograms them and they are then logged like the "
        "others."},
       Incubators(&TCommandLine::SimulateVcp, "--simulate-vcp")},
      {{{"device"},
        "PATH[=SERIAL]",
        "Also treat the serial device PATH (a pseudo-terminal, an RS-232 adapter) as an "
        "incubator bridge; SERIAL is the serial number it is known by (default: one made "
        "from the path). May be given more than once."},
       [](TCommandLine& line, const QString& value) {
         if (value.isEmpty() || value.startsWith(u'='))
           return QStringLiteral("--device takes PATH or PATH=SERIAL");
         line.Devices.append(value);
         return QString();
       }},
      {{{"data-dir"},
        "DIR",
        "Write the log files into DIR for this run (the stored data folder is not changed)."},
       [](TCommandLine& line, const QString& value) {
         if (value.isEmpty()) return QStringLiteral("--data-dir takes a folder");
         line.DataDir = value;
         return QString();
       }},
      {{{"log-interval"},
        "MIN",
        "Minutes between periodic log records for this run, 1 to 10 (the stored interval is "
        "not changed)."},
       SetsWholeNumber(&TCommandLine::LogInterval, 1, 10,
                       "--log-interval takes whole minutes from 1 to 10")},
      {{{"metrics"},
        "[ADDR:]PORT",
        "Serve metrics for Prometheus at http://ADDR:PORT/metrics (default address "
        "127.0.0.1, this computer only; 0.0.0.0 or [::] for the network). Overrides the "
        "Metrics setting."},
       [](TCommandLine& line, const QString& value) {
         line.Metrics = ParseMetricsAddress(value);
         if (!line.Metrics)
           return QStringLiteral("--metrics takes [ADDRESS:]PORT, a port from 1 to 65535");
         return QString();
       }},
      {{{"alarm-command"},
        "PROGRAM",
        "Run PROGRAM (no shell, no arguments) on every alarm raised, announced again, "
        "acknowledged or cleared, with the details in DOVA300_ALARM_* environment variables. "
        "Overrides the Alarms/Command setting."},
       SetsText(&TCommandLine::AlarmCommand, "--alarm-command takes a program")},
      {{{"verify-journal"},
        "FILE",
        "Check the alarm journal FILE: print \"intact, N entries\" or the first line that "
        "was changed, inserted or removed (exit code 1), and end."},
       SetsText(&TCommandLine::VerifyJournal, "--verify-journal takes a file")},
      {{{"report"},
        "FILE",
        "Write a period report of the stored log FILE as a PDF to --out and end: the "
        "incubator, the statistics of each reading, the three charts, the excursions and "
        "events. Runs without a display."},
       SetsText(&TCommandLine::Report, "--report takes a log file")},
      {{{"export-csv"},
        "FILE",
        "Write the stored log FILE as a table for spreadsheets to --out and end: time_utc, "
        "time_local, the six readings and the event of each recorded moment."},
       SetsText(&TCommandLine::ExportCsv, "--export-csv takes a log file")},
      {{{"out"}, "FILE", "With --report or --export-csv: the file to write."},
       SetsText(&TCommandLine::Out, "--out takes a file")},
      {{{"from"},
        "ISO-TIME",
        "With --report or --export-csv: the start of the period (2026-12-07 or "
        "2026-12-07T09:00; default: the start of the log)."},
       SetsText(&TCommandLine::From, "--from takes an ISO 8601 time")},
      {{{"to"},
        "ISO-TIME",
        "With --report or --export-csv: the end of the period (default: the end of the log)."},
       SetsText(&TCommandLine::To, "--to takes an ISO 8601 time")},
      {{{"locale"},
        "NAME",
        "With --report or --export-csv: the locale the log was written under (en_US, de_DE, "
        "...; default: guessed from its dates), also used for the report's texts."},
       SetsText(&TCommandLine::Locale, "--locale takes a locale name")},
      {{{"page"},
        "SIZE",
        "With --report: the paper size, a4 or letter (default: letter where US units are used, "
        "a4 elsewhere)."},
       SetsText(&TCommandLine::Page, "--page takes a4 or letter")},
      {{{"name"},
        "NAME",
        "With --report: the incubator's name in the report (default: from the file name, "
        "\"<name> <serial>.csv\")."},
       SetsText(&TCommandLine::Name, "--name takes the incubator's name")},
      {{{"serial"},
        "SERIAL",
        "With --report: the incubator's serial number in the report (default: from the file "
        "name); its alarm settings give the alarm band, its entries in the alarm journal "
        "beside the log are listed."},
       SetsText(&TCommandLine::Serial, "--serial takes a serial number")},
      VersionOption(&TCommandLine::Version),
      HelpOption(&TCommandLine::Help),
  };
}

}  // namespace

TCommandLine ParseCommandLine(const QStringList& arguments) {
  TCommandLine line;
  QString needs_simulate;
  line.Error = ParseLine(Options(&needs_simulate), arguments, line);
  if (line.Error.isEmpty() && !needs_simulate.isEmpty() && line.Simulate == 0)
    line.Error = needs_simulate + QStringLiteral(" needs --simulate");
  const bool period_options = !line.Out.isEmpty() || !line.From.isEmpty() || !line.To.isEmpty() ||
                              !line.Locale.isEmpty() || !line.Page.isEmpty();
  if (line.Error.isEmpty() && period_options && !line.WantsStoredLog())
    line.Error = QStringLiteral(
        "--out, --from, --to, --locale and --page need --report or "
        "--export-csv");
  if (line.Error.isEmpty() && !line.Report.isEmpty() && !line.ExportCsv.isEmpty())
    line.Error = QStringLiteral("--report and --export-csv go one at a time");
  if (line.Error.isEmpty() && (!line.Name.isEmpty() || !line.Serial.isEmpty()) &&
      line.Report.isEmpty())
    line.Error = QStringLiteral("--name and --serial need --report");
  return line;
}

QString CommandLineHelp() {
  QString unused;
  return LineHelp(
      QStringLiteral("dova300-logger"),
      QStringLiteral("Monitors and logs DOVA-300 benchtop incubators connected by USB."),
      Options(&unused),
      QStringLiteral(
          "Without --headless the logger opens its window; where no display can be opened it\n"
          "says so and runs without windows.\n"
          "Only one copy of the logger runs at a time; a second one ends at once."));
}

}  // namespace dova
