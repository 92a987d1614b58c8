#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace dova {

// Where the metrics endpoint listens: --metrics [ADDRESS:]PORT or the Metrics setting. The
// address is a literal IPv4 or IPv6 address (IPv6 in brackets when a port follows);
// without one the endpoint answers this computer only.
struct TMetricsAddress {
  QString Host = QStringLiteral("127.0.0.1");
  std::uint16_t Port = 0;
  // "127.0.0.1:9300", "[::1]:9300".
  QString Text() const;
};

// Reads "PORT", "ADDRESS:PORT" or "[IPV6]:PORT" (port 1 to 65535); nothing when the text is
// none of these. The address itself is checked when the endpoint starts.
std::optional<TMetricsAddress> ParseMetricsAddress(const QString& text);

// What the logger was asked to do on its command line.
struct TCommandLine {
  bool Help = false;
  // --version: print the version and end.
  bool Version = false;
  bool Headless = false;
  // Simulated incubators to plug in (--simulate N); 0 for none.
  int Simulate = 0;
  // Simulated incubators still on the serial-port driver (--simulate-vcp N); 0 for none.
  int SimulateVcp = 0;
  // What the --simulate incubators do. By default they play a lab day drawn from a seed.
  // --seed N picks the day (and the measurement noise); none: the simulator's fixed seed,
  // so that every run plays the same day.
  std::optional<std::uint32_t> Seed;
  // --scenario FILE: play this script instead of the lab day. Only the name is checked
  // here; the file is read when the run starts, and a missing or bad file is reported then.
  QString Scenario;
  // --simulate-quiet: steady incubators that do nothing by themselves.
  bool SimulateQuiet = false;
  // Devices named with --device PATH[=SERIAL], as given.
  QStringList Devices;
  // --data-dir and --log-interval: for this run only, not stored.
  std::optional<QString> DataDir;
  std::optional<int> LogInterval;
  // --metrics [ADDRESS:]PORT: serve metrics for Prometheus (windowed and console alike).
  std::optional<TMetricsAddress> Metrics;
  // --alarm-command PROGRAM: run PROGRAM on every announced alarm (overrides the
  // Alarms/Command setting).
  QString AlarmCommand;
  // --verify-journal FILE: check an alarm journal's chain and end.
  QString VerifyJournal;
  // --report FILE or --export-csv FILE: a period report (PDF) or table (CSV) of a stored
  // log instead of a run, written to --out, for the period --from..--to (ISO 8601), with
  // the dates read under --locale and the report printed on --page, the incubator named
  // --name and --serial where its file name does not name it right. The values are checked by
  // the stored-log front end.
  QString Report;
  QString ExportCsv;
  QString Out;
  QString From;
  QString To;
  QString Locale;
  QString Page;
  QString Name;
  QString Serial;
  // Set when the line cannot be used; the program then says so and ends with code 2.
  QString Error;

  // Any option that makes this run a logger without widgets.
  bool WantsLogger() const {
    return Headless || Simulate > 0 || SimulateVcp > 0 || !Devices.isEmpty();
  }
  // A report or table of a stored log: no run at all.
  bool WantsStoredLog() const { return !Report.isEmpty() || !ExportCsv.isEmpty(); }
  // Any simulated device: the whole run is then simulated.
  bool Simulated() const { return Simulate > 0 || SimulateVcp > 0; }
};

// Parses the arguments (without the program name).
TCommandLine ParseCommandLine(const QStringList& arguments);

// The --help text.
QString CommandLineHelp();

}  // namespace dova
