// The logger's entry point. The windowed program comes later; until then the logger runs
// without widgets (--headless, --simulate, --device).
#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <memory>

#include <QStandardPaths>

#include "app/command_line.h"
#include "app/error_box.h"
#include "app/headless.h"
#include "app/startup.h"
#include "convert/vcp_to_usbx_conv.h"
#include "monitor/log_format.h"
#include "platform/bridge/linux/linux_library.h"
#include "platform/console.h"
#include "platform/instance/single_instance.h"
#include "platform/instance/termination_signals.h"
#include "platform/keepawake/keep_awake.h"
#include "platform/manufacturing/cp210x_usb_library.h"
#include "platform/manufacturing/linux/libusb_transport.h"
#include "platform/qt_scheduler.h"
#include "platform/serial/linux/sysfs_port_map.h"
#include "platform/serial/linux/va_comm_linux.h"
#include "platform/settings/settings_store.h"
#include "sim/simulated_incubators.h"
#include "sim/vcp/simulated_vcp.h"
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
  // The command line is checked before anything else happens.
  std::vector<bridge::UserDevice> devices;
  for (const QString& device : line.Devices) {
    auto parsed = bridge::ParseDeviceArgument(device.toStdString());
    if (!parsed) {
      Print(QStringLiteral("bad --device ") + device);
      return 2;
    }
    devices.push_back(*parsed);
  }
  if (!devices.empty() && line.Simulated()) {
    Print(QStringLiteral("--device cannot be combined with --simulate or --simulate-vcp"));
    return 2;
  }

  QtScheduler scheduler;
  ConsoleErrorReporter reporter;
  scheduler.SetErrorReporter(&reporter);

  // What the single instances are made of, alive until the program ends. Declared in the
  // order they are made, so they go in the reverse order.
  std::unique_ptr<sim::SimulatedIncubators> fleet;
  std::unique_ptr<bridge::LinuxSiLibrary> linux_library;
  QSettingsStore settings;
  std::unique_ptr<KeepAwake> awake;
  const LogFormat format = LogFormat::FromSystem();
  std::unique_ptr<THeadlessLogger> logger;
  std::unique_ptr<TerminationSignals> termination;
  std::unique_ptr<sim::SimulatedVcpBench> vcp_bench;
  std::unique_ptr<manufacturing::LibusbTransport> usb_transport;
  std::unique_ptr<manufacturing::UsbCP210xLibrary> cp210x_library;
  std::unique_ptr<SysfsSerialPortMap> port_map;
  ConsoleConverterReport converter_report(Print);
  std::unique_ptr<TVCPtoUSBXConv> converter;

  TSingleInstances create;
  // Without windows the template tile and the dialogs have nothing to make: every dialog
  // of the headless main window answers Cancel and every message becomes a console line.
  create.MainForm = [&] {
    bridge::SiLibrary* library = nullptr;
    if (line.Simulated()) {
      fleet = std::make_unique<sim::SimulatedIncubators>(scheduler, line.Simulate);
      library = &fleet->Library();
    } else {
      linux_library = std::make_unique<bridge::LinuxSiLibrary>();
      for (const auto& d : devices)
        linux_library->AddUserDevice(d.path, d.serial);
      library = linux_library.get();
    }
    awake = CreateKeepAwake([](const std::string& why) {
      Print(QStringLiteral("Note: ") + QString::fromStdString(why));
    });
    THeadlessLogger::TOptions options;
    options.DocumentsFolder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    options.DataDir = line.DataDir;
    options.LogInterval = line.LogInterval;
    options.Terminal = StandardOutputIsTerminal();
    logger = std::make_unique<THeadlessLogger>(scheduler, *library, settings, *awake, format,
                                               options, Print);
    logger->Form().OnClosed = [] { QCoreApplication::quit(); };
    termination = WatchTerminationSignals([&logger, &scheduler] {
      try {
        logger->Close();
      } catch (...) {
        scheduler.ReportException(std::current_exception());
      }
    });
  };
  // The driver converter runs from the start and reprograms incubators whose bridges are
  // still on the serial-port driver.
  create.VCPtoUSBXConv = [&] {
    std::unique_ptr<TVaCustomComm> comm;
    manufacturing::CP210xLibrary* manufacturing_library = nullptr;
    SerialPortMap* ports = nullptr;
    if (fleet) {
      vcp_bench = std::make_unique<sim::SimulatedVcpBench>(scheduler, fleet->Library());
      for (int i = 0; i < line.SimulateVcp; ++i) {
        vcp_bench->AddIncubator(sim::SimulatedIncubators::DefaultConfig(
            static_cast<int>(fleet->Count()) + 1 + i, /*seed=*/1));
      }
      comm = vcp_bench->NewComm();
      manufacturing_library = &vcp_bench->Library();
      ports = &vcp_bench->PortMap();
    } else {
      usb_transport = std::make_unique<manufacturing::LibusbTransport>();
      cp210x_library = std::make_unique<manufacturing::UsbCP210xLibrary>(*usb_transport);
      port_map = std::make_unique<SysfsSerialPortMap>();
      comm = std::make_unique<TVaComm>(scheduler);
      manufacturing_library = cp210x_library.get();
      ports = port_map.get();
    }
    converter = std::make_unique<TVCPtoUSBXConv>(scheduler, std::move(comm), *ports,
                                                 *manufacturing_library, converter_report);
    logger->Form().OnCloseConverter = [&converter] { converter->FormClose(); };
  };

  TStartup startup;
  startup.OnGuardUnavailable = [](const std::string& problem) {
    Print(QStringLiteral("Note: ") + QString::fromStdString(problem) +
          QStringLiteral("; not guarding against a second copy"));
  };
  startup.RunEventLoop = [] { QCoreApplication::exec(); };

  // One copy at a time; a second one ends at once and says nothing.
  auto instance = CreateSingleInstance("DOVA-300 Logger");
  const int code = RunProgram(*instance, create, startup);
  if (logger) logger->Form().OnCloseConverter = nullptr;
  return code;
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
