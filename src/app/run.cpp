#include "app/run.h"

#include <QDir>
#include <QStandardPaths>
#include <vector>

#include "convert/vcp_to_usbx_conv.h"
#include "platform/bridge/bridge_factory.h"
#include "platform/instance/single_instance.h"
#include "platform/instance/termination_signals.h"
#include "platform/keepawake/keep_awake.h"
#include "platform/manufacturing/manufacturing_factory.h"
#include "platform/random.h"
#include "platform/scheduler.h"
#include "platform/serial/serial_factory.h"
#include "platform/settings/settings_store.h"
#include "sim/simulated_incubators.h"
#include "sim/vcp/simulated_vcp.h"

namespace dova {

// What the run is made of, alive until it ends. Declared in the order they are made, so
// they go in the reverse order.
struct TRunServices::TParts {
  std::unique_ptr<sim::SimulatedIncubators> fleet;
  std::unique_ptr<bridge::SiLibrary> bridge_library;
  QSettingsStore settings;
  std::unique_ptr<KeepAwake> awake;
  std::unique_ptr<sim::SimulatedVcpBench> vcp_bench;
  std::unique_ptr<manufacturing::CP210xLibrary> cp210x_library;
  std::unique_ptr<SerialPortMap> port_map;
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
  if (!line.Devices.isEmpty() && line.Simulated()) {
    error = QStringLiteral("--device cannot be combined with --simulate or --simulate-vcp");
    return nullptr;
  }
  if (!line.Simulated()) {
    // The real bridges, with the devices of the command line; nothing is opened yet.
    std::vector<std::string> devices;
    for (const QString& device : line.Devices)
      devices.push_back(device.toStdString());
    std::string problem;
    run->parts_->bridge_library = bridge::CreateBridgeLibrary(devices, problem);
    if (!run->parts_->bridge_library) {
      error = QString::fromStdString(problem);
      return nullptr;
    }
  } else {
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
  return *p.bridge_library;
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

TVCPtoUSBXConv& TRunServices::StartConverter(IConverterReport& report) {
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
    p.cp210x_library = manufacturing::CreateManufacturingLibrary();
    p.port_map = CreateSerialPortMap();
    // The converter waits out the pause after closing a probed port on its own timer.
    comm = CreateProbePort(sched_);
    // USB requests and a bridge's reset can take seconds: off the user-interface thread.
    worker = std::make_unique<TThreadWorker>();
    manufacturing_library = p.cp210x_library.get();
    ports = p.port_map.get();
  }
  p.converter = std::make_unique<TVCPtoUSBXConv>(sched_, std::move(comm), *ports,
                                                 *manufacturing_library, report, std::move(worker));
  return *p.converter;
}

void TRunServices::CloseConverter() {
  if (!parts_->converter) return;
  parts_->converter->FormClose();
  parts_->converter.reset();
}

int RunLogger(Scheduler& sched, const TCommandLine& line, IFrontEnd& front,
              std::function<void(const QString&)> note, std::unique_ptr<SingleInstance> guard) {
  QString error;
  auto services = TRunServices::Create(sched, line, note, error);
  if (!services) {
    if (note) note(error);
    return 2;
  }
  // One copy at a time; a second one ends at once and says nothing.
  if (!guard) guard = CreateSingleInstance("DOVA-300 Logger");
  switch (guard->Acquire()) {
    case SingleInstance::TAcquireResult::HeldElsewhere:
      return 0;
    case SingleInstance::TAcquireResult::Unavailable:
      if (note) {
        note(QStringLiteral("Cannot make sure that only one copy runs (") +
             QString::fromStdString(guard->Problem()) + QStringLiteral("): not starting"));
      }
      return 1;
    case SingleInstance::TAcquireResult::Acquired:
      break;
  }
  // Before the first window: the generator that names the tiles.
  Randomize();

  // The dialogs first, so the main window's logic is handed the real ones.
  front.MakeDialogs();
  TMainForm& form = front.MakeMainForm(*services);
  services->ApplyRunOptions(form);
  auto termination = WatchTerminationSignals([&front, &sched] {
    try {
      front.Close();
    } catch (...) {
      sched.ReportException(std::current_exception());
    }
  });
  // The driver converter runs from the start and reprograms incubators whose bridges are
  // still on the serial-port driver.
  services->StartConverter(front.ConverterReport());

  front.RunEventLoop();
  termination.reset();
  services->CloseConverter();
  front.Teardown();
  return 0;
}

}  // namespace dova
