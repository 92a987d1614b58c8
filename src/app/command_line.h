#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace dova {

// What the logger was asked to do on its command line.
struct TCommandLine {
  bool Help = false;
  bool Headless = false;
  // Simulated incubators to plug in (--simulate N); 0 for none.
  int Simulate = 0;
  // Simulated incubators still on the serial-port driver (--simulate-vcp N); 0 for none.
  int SimulateVcp = 0;
  // Devices named with --device PATH[=SERIAL], as given.
  QStringList Devices;
  // --data-dir and --log-interval: for this run only, not stored.
  std::optional<QString> DataDir;
  std::optional<int> LogInterval;
  // Set when the line cannot be used; the program then says so and ends with code 2.
  QString Error;

  // Any option that makes this run a logger without widgets.
  bool WantsLogger() const {
    return Headless || Simulate > 0 || SimulateVcp > 0 || !Devices.isEmpty();
  }
  // Any simulated device: the whole run is then simulated.
  bool Simulated() const { return Simulate > 0 || SimulateVcp > 0; }
};

// Parses the arguments (without the program name).
TCommandLine ParseCommandLine(const QStringList& arguments);

// The --help text.
QString CommandLineHelp();

}  // namespace dova
