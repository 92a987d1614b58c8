#include "app/run.h"

#include <QDir>
#include <QStandardPaths>
#include <vector>

#include "app/startup.h"
#include "convert/vcp_to_usbx_conv.h"
#include "platform/bridge/linux/linux_library.h"
#include "platform/instance/single_instance.h"
#include "platform/instance/termination_signals.h"
#include "platform/keepawake/keep_awake.h"
#include "platform/manufacturing/cp210x_usb_library.h"
#include "platform/manufacturing/linux/libusb_transport.h"
#include "platform/scheduler.h"
#include "platform/serial/linux/sysfs_port_map.h"
#include "platform/serial/linux/va_comm_linux.h"
#include "platform/settings/settings_store.h"
#include "sim/simulated_incubators.h"
#include "sim/vcp/simulated_vcp.h"

namespace dova {

// What the run is made of, alive until it ends. Declared in the order they are made, so
// they go in the reverse order.
struct TRunServices::TParts {
  std::vector<bridge::UserDevice> devices;
  std::unique_ptr<sim::SimulatedIncubators> fleet;
  std::unique_ptr<bridge::LinuxSiLibrary> linux_library;
  QSettingsStore settings;
  std::unique_ptr<KeepAwake> awake;
  std::unique_ptr<sim::SimulatedVcpBench> vcp_bench;
  std::unique_ptr<manufacturing::LibusbTransport> usb_transport;
  std::unique_ptr<manufacturing::UsbCP210xLibrary> cp210x_library;
  std::unique_ptr<SysfsSerialPortMap> port_map;
  std::unique_ptr<TVCPtoUSBXConv> converter;
};

TRunServices::TRunServices(Scheduler& sched, const TCommandLine& line,
                           std::function<void(const QString&)> note)
    : sched_(sched),
      line_(line),
      note_(std::move(note)),
      format_(LogFormat::FromSystem()),
      parts_(std::make_unique<TParts>()) {}

TRunServices::~TRunServices() = default;

std::unique_ptr<TRunServices> TRunServices::Create(Scheduler& sched, const TCommandLine& line,
                                                   std::function<void(const QString&)> note,
                                                   QString& error) {
  std::unique_ptr<TRunServices> run(new TRunServices(sched, line, std::move(note)));
  for (const QString& device : line.Devices) {
    auto parsed = bridge::ParseDeviceArgument(device.toStdString());
    if (!parsed) {
      error = QStringLiteral("bad --device ") + device;
      return nullptr;
    }
    run->parts_->devices.push_back(*parsed);
  }
  if (!run->parts_->devices.empty() && line.Simulated()) {
    error = QStringLiteral("--device cannot be combined with --simulate or --simulate-vcp");
    return nullptr;
  }
  if (line.Simulated()) {
    // A scenario that cannot be played is said before anything starts.
    const QString problem = sim::SimulatedIncubators::Check(run->BenchOptions());
    if (!problem.isEmpty()) {
      error = problem;
      return nullptr;
    }
  }
  return run;
}

sim::TBenchOptions TRunServices::BenchOptions() const {
  sim::TBenchOptions options;
  options.Count = line_.Simulate;
  if (line_.Seed) options.Seed = *line_.Seed;
  options.Quiet = line_.SimulateQuiet;
  options.ScenarioFile = line_.Scenario;
  return options;
}

SettingsStore& TRunServices::Settings() {
  return parts_->settings;
}

bridge::SiLibrary& TRunServices::Library() {
  TParts& p = *parts_;
  if (line_.Simulated()) {
    if (!p.fleet) p.fleet = std::make_unique<sim::SimulatedIncubators>(sched_, BenchOptions());
    return p.fleet->Library();
  }
  if (!p.linux_library) {
    p.linux_library = std::make_unique<bridge::LinuxSiLibrary>();
    for (const auto& d : p.devices)
      p.linux_library->AddUserDevice(d.path, d.serial);
  }
  return *p.linux_library;
}

KeepAwake& TRunServices::Awake() {
  if (!parts_->awake) {
    parts_->awake = CreateKeepAwake([this](const std::string& why) {
      if (note_) note_(QStringLiteral("Note: ") + QString::fromStdString(why));
    });
  }
  return *parts_->awake;
}

QString TRunServices::DocumentsFolder() const {
  return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

TMainFormServices TRunServices::MainFormServices(IMessageBoxes& boxes, const TDialogs& dialogs) {
  return TMainFormServices{sched_, Library(), Settings(), Awake(),
                           boxes,  format_,   dialogs,    DocumentsFolder()};
}

void ApplyRunOptions(TMainForm& form, const std::optional<QString>& data_dir,
                     const std::optional<int>& log_interval) {
  if (data_dir) {
    form.Directory = QDir::cleanPath(QDir::current().absoluteFilePath(*data_dir));
    QDir().mkpath(form.Directory);
  }
  if (log_interval) form.LogInterval = static_cast<std::uint8_t>(*log_interval);
}

void TRunServices::ApplyRunOptions(TMainForm& form) {
  dova::ApplyRunOptions(form, line_.DataDir, line_.LogInterval);
}

TVCPtoUSBXConv& TRunServices::StartConverter(IConverterReport& report, TMainForm& form) {
  TParts& p = *parts_;
  std::unique_ptr<TVaCustomComm> comm;
  manufacturing::CP210xLibrary* manufacturing_library = nullptr;
  SerialPortMap* ports = nullptr;
  std::unique_ptr<TConverterWorker> worker;
  if (line_.Simulated()) {
    // Incubators still on the serial-port driver join the simulated bench.
    Library();
    p.vcp_bench = std::make_unique<sim::SimulatedVcpBench>(sched_, p.fleet->Library());
    for (int i = 0; i < line_.SimulateVcp; ++i) {
      p.vcp_bench->AddIncubator(sim::SimulatedIncubators::DefaultConfig(
          static_cast<int>(p.fleet->Count()) + 1 + i, BenchOptions().Seed));
    }
    comm = p.vcp_bench->NewComm();
    manufacturing_library = &p.vcp_bench->Library();
    ports = &p.vcp_bench->PortMap();
  } else {
    p.usb_transport = std::make_unique<manufacturing::LibusbTransport>();
    p.cp210x_library = std::make_unique<manufacturing::UsbCP210xLibrary>(*p.usb_transport);
    p.port_map = std::make_unique<SysfsSerialPortMap>();
    auto tty = std::make_unique<TVaComm>(sched_);
    tty->SetPause([](int) {});  // the converter waits out the pause on its own timer
    comm = std::move(tty);
    worker = std::make_unique<TThreadWorker>();  // USB requests and resets can take seconds
    manufacturing_library = p.cp210x_library.get();
    ports = p.port_map.get();
  }
  p.converter = std::make_unique<TVCPtoUSBXConv>(sched_, std::move(comm), *ports,
                                                 *manufacturing_library, report, std::move(worker));
  TVCPtoUSBXConv* converter = p.converter.get();
  form.OnCloseConverter = [converter] { converter->FormClose(); };
  return *converter;
}

void TRunServices::FreeConverter() {
  parts_->converter.reset();
}

int RunLogger(Scheduler& sched, const TCommandLine& line, TFrontEnd& front,
              std::function<void(const QString&)> note) {
  QString error;
  auto services = TRunServices::Create(sched, line, note, error);
  if (!services) {
    if (note) note(error);
    return 2;
  }
  TMainForm* form = nullptr;
  std::unique_ptr<TerminationSignals> termination;

  TSingleInstances create;
  create.DovaPanel = front.DovaPanel;
  create.MainForm = [&] {
    form = &front.MainForm(*services);
    services->ApplyRunOptions(*form);
    termination = WatchTerminationSignals([&front, &sched] {
      try {
        if (front.Close) front.Close();
      } catch (...) {
        sched.ReportException(std::current_exception());
      }
    });
  };
  create.AboutBox = front.AboutBox;
  create.EditNameDlg = front.EditNameDlg;
  create.FoldersDlg = front.FoldersDlg;
  create.NewNameDlg = front.NewNameDlg;
  create.LogIntervalDlg = front.LogIntervalDlg;
  create.ModelessDialog = front.ModelessDialog;
  // The driver converter runs from the start and reprograms incubators whose bridges are
  // still on the serial-port driver.
  create.VCPtoUSBXConv = [&] {
    if (front.ConverterReport && form) services->StartConverter(front.ConverterReport(), *form);
  };

  TStartup startup;
  startup.OnGuardUnavailable = [&note](const std::string& problem) {
    if (note) {
      note(QStringLiteral("Note: ") + QString::fromStdString(problem) +
           QStringLiteral("; not guarding against a second copy"));
    }
  };
  startup.RunEventLoop = front.RunEventLoop;

  // One copy at a time; a second one ends at once and says nothing.
  auto instance = CreateSingleInstance("DOVA-300 Logger");
  const int code = RunProgram(*instance, create, startup);
  termination.reset();
  if (form) form->OnCloseConverter = nullptr;
  services->FreeConverter();
  if (front.Teardown) front.Teardown();
  return code;
}

}  // namespace dova
