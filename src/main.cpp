// The logger's entry point. The windowed program comes later; until then the logger runs
// without widgets (--headless, --simulate, --device).
#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <memory>

#include <unistd.h>
#include <QStandardPaths>

#include "app/command_line.h"
#include "app/error_box.h"
#include "app/headless.h"
#include "monitor/log_format.h"
#include "platform/bridge/linux/linux_library.h"
#include "platform/instance/single_instance.h"
#include "platform/instance/termination_signals.h"
#include "platform/keepawake/keep_awake.h"
#include "platform/qt_scheduler.h"
#include "platform/random.h"
#include "platform/settings/settings_store.h"
#include "sim/simulated_incubators.h"
#include "usb/usbxpress_enumerator.h"

namespace {

void Print(const QString& text) {
  const QByteArray bytes = text.toLocal8Bit() + '\n';
  std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
  std::fflush(stdout);
}

// The logger without widgets: everything the main window does, over simulated incubators
// or the real bridges (plus any --device), until Ctrl+C or SIGTERM.
int RunHeadless(const dova::TCommandLine& line) {
  using namespace dova;
  // One copy at a time; a second one ends at once and says nothing.
  auto instance = CreateSingleInstance("DOVA-300 Logger");
  switch (instance->Acquire()) {
    case SingleInstance::TAcquireResult::HeldElsewhere:
      return 0;
    case SingleInstance::TAcquireResult::Unavailable:
      Print(QStringLiteral("Note: ") + QString::fromStdString(instance->Problem()) +
            QStringLiteral("; not guarding against a second copy"));
      break;
    case SingleInstance::TAcquireResult::Acquired:
      break;
  }
  Randomize();
  CurrentGraphWidth = 720;

  QtScheduler scheduler;
  ConsoleErrorReporter reporter;
  scheduler.SetErrorReporter(&reporter);

  std::unique_ptr<sim::SimulatedIncubators> fleet;
  std::unique_ptr<bridge::LinuxSiLibrary> linux_library;
  bridge::SiLibrary* library = nullptr;
  if (line.Simulate > 0) {
    fleet = std::make_unique<sim::SimulatedIncubators>(scheduler, line.Simulate);
    library = &fleet->Library();
  } else {
    linux_library = std::make_unique<bridge::LinuxSiLibrary>();
    library = linux_library.get();
  }
  if (!line.Devices.isEmpty() && !linux_library) {
    Print(QStringLiteral("--device cannot be combined with --simulate"));
    return 2;
  }
  for (const QString& device : line.Devices) {
    auto parsed = bridge::ParseDeviceArgument(device.toStdString());
    if (!parsed) {
      Print(QStringLiteral("bad --device ") + device);
      return 2;
    }
    linux_library->AddUserDevice(parsed->path, parsed->serial);
  }

  QSettingsStore settings;
  auto awake = CreateKeepAwake([](const std::string& why) {
    Print(QStringLiteral("Note: ") + QString::fromStdString(why));
  });
  const LogFormat format = LogFormat::FromSystem();
  THeadlessLogger::TOptions options;
  options.DocumentsFolder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  options.DataDir = line.DataDir;
  options.LogInterval = line.LogInterval;
  options.Terminal = ::isatty(STDOUT_FILENO) == 1;
  THeadlessLogger logger(scheduler, *library, settings, *awake, format, options, Print);
  logger.Form().OnClosed = [] { QCoreApplication::quit(); };
  auto termination = WatchTerminationSignals([&logger, &scheduler] {
    try {
      logger.Close();
    } catch (...) {
      scheduler.ReportException(std::current_exception());
    }
  });
  QCoreApplication::exec();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const dova::TCommandLine line = dova::ParseCommandLine(app.arguments().mid(1));
  if (!line.Error.isEmpty()) {
    Print(line.Error + QStringLiteral("\n\n") + dova::CommandLineHelp());
    return 2;
  }
  if (line.Help) {
    Print(dova::CommandLineHelp());
    return 0;
  }
  if (!line.WantsLogger()) {
    Print(
        QStringLiteral("The windowed program is not available yet: run dova300-logger --headless "
                       "(see --help)."));
    return 2;
  }
  return RunHeadless(line);
}
