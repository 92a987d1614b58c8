#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "app/command_line.h"
#include "app/dialogs.h"
#include "app/main_form.h"
#include "monitor/log_format.h"
#include "platform/instance/single_instance.h"

namespace dova {

class Scheduler;
class IConverterReport;
class TVCPtoUSBXConv;
class KeepAwake;
class SettingsStore;
namespace bridge {
class SiLibrary;
}
namespace sim {
struct TBenchOptions;
}

// The composition root: everything a run of the logger is made of, built from its command
// line and shared by every front end. It picks the bridge library (the real bridges with
// any --device, or simulated incubators), the keep-awake, the settings, the log format, and
// the driver converter with its port map and manufacturing library; it owns the converter and
// closes it. A front end adds its main window, dialogs and event loop (IFrontEnd) and calls
// RunLogger.
class TRunServices {
 public:
  // Checks the options that need checking before anything happens (the --device
  // arguments, combinations). Null with `error` set when the run cannot start.
  static std::unique_ptr<TRunServices> Create(Scheduler& sched, const TCommandLine& line,
                                              std::function<void(const QString&)> note,
                                              QString& error);
  ~TRunServices();
  TRunServices(const TRunServices&) = delete;
  TRunServices& operator=(const TRunServices&) = delete;

  Scheduler& Sched() { return sched_; }
  const TCommandLine& Line() const { return line_; }
  const LogFormat& Format() const { return format_; }
  SettingsStore& Settings();
  // Made on first use (the main window's step of the start-up); a one-line note when the
  // computer cannot be kept awake.
  bridge::SiLibrary& Library();
  KeepAwake& Awake();
  // The user's documents folder, for the first-run data folder.
  QString DocumentsFolder() const;
  // The simulated bench the command line asks for (--simulate, --seed, --scenario,
  // --simulate-quiet).
  sim::TBenchOptions BenchOptions() const;

  // What TMainForm needs, with the front end's message boxes and dialogs.
  TMainFormServices MainFormServices(IMessageBoxes& boxes, const TDialogs& dialogs);
  // The run-only choices of the command line (--data-dir, --log-interval), applied to a
  // main window just made, before any incubator can have told its name.
  void ApplyRunOptions(TMainForm& form);
  // Makes and starts the driver converter, reporting to `report`.
  TVCPtoUSBXConv& StartConverter(IConverterReport& report);
  // Closes and frees the converter once the main window has closed (before the report it
  // shows goes).
  void CloseConverter();

 private:
  struct TParts;
  TRunServices(Scheduler& sched, const TCommandLine& line,
               std::function<void(const QString&)> note);

  Scheduler& sched_;
  TCommandLine line_;
  std::function<void(const QString&)> note_;
  LogFormat format_;
  std::unique_ptr<TParts> parts_;
};

// The run-only choices of the command line, applied to a main window just made: a data
// folder for this run (made when missing) and a logging interval; neither is stored.
void ApplyRunOptions(TMainForm& form, const std::optional<QString>& data_dir,
                     const std::optional<int>& log_interval);

// What a front end brings to a run: its dialogs, its main window, its converter report and its
// event loop. RunLogger calls them in the program's fixed order: dialogs (every one made
// once, hidden), main window (handed those dialogs), the converter report (the converter
// starts right after), the event loop; Close when SIGINT or SIGTERM arrives; Teardown last.
class IFrontEnd {
 public:
  virtual ~IFrontEnd() = default;
  virtual void MakeDialogs() = 0;
  // Makes the main window (its logic and whatever draws it) and returns its logic.
  virtual TMainForm& MakeMainForm(TRunServices& services) = 0;
  // Where the driver converter reports (a dialog, or console lines).
  virtual IConverterReport& ConverterReport() = 0;
  // Runs the event loop until the main window has closed.
  virtual void RunEventLoop() = 0;
  // SIGINT or SIGTERM arrived: close the main window as its Exit command does.
  virtual void Close() = 0;
  // After the event loop and the converter: frees the main window and the dialogs, before
  // the services they use (bridge library, settings, keep-awake) go.
  virtual void Teardown() = 0;
};

// One run: the single-copy guard (a second copy ends at once with 0, showing nothing; a
// guard that cannot be made at all ends the program with 1 and one line, since two
// unguarded copies could write the same files), the front end's parts in their order, the
// termination signals, the event loop. Returns the exit code: 2 when the command line cannot
// be used. `guard` is this platform's own when not given.
int RunLogger(Scheduler& sched, const TCommandLine& line, IFrontEnd& front,
              std::function<void(const QString&)> note,
              std::unique_ptr<SingleInstance> guard = nullptr);

}  // namespace dova
