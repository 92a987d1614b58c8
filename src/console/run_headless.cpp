#include "console/run_headless.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <cstdio>
#include <memory>

#include "alarms/alarm_service.h"
#include "app/run.h"
#include "console/alarm_lines.h"
#include "console/console_reports.h"
#include "console/headless_logger.h"
#include "metrics/http/metrics_endpoint.h"
#include "platform/console.h"
#include "platform/qt_scheduler.h"

namespace dova {

void PrintLine(const QString& text) {
  const QByteArray bytes = text.toLocal8Bit() + '\n';
  std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
  std::fflush(stdout);
}

namespace {

// --alarm-command, once the command line has it; the setting otherwise.
QString AlarmCommandOption(const TCommandLine&) {
  return QString();
}

}  // namespace

int RunHeadless(const TCommandLine& line) {
  QtScheduler scheduler;
  ConsoleErrorReporter reporter;
  scheduler.SetErrorReporter(&reporter);

  // Without windows there are no dialogs to make: every dialog of the headless main window
  // answers Cancel and every message becomes a console line.
  class THeadlessFrontEnd : public IFrontEnd {
   public:
    THeadlessFrontEnd(QtScheduler& sched, const TCommandLine& line)
        : sched_(sched), line_(line), converter_report_(PrintLine) {}
    void MakeDialogs() override {}
    TMainForm& MakeMainForm(TRunServices& run) override {
      THeadlessLogger::TOptions options;
      options.DocumentsFolder = run.DocumentsFolder();
      options.DataDir = line_.DataDir;
      options.LogInterval = line_.LogInterval;
      options.Terminal = StandardOutputIsTerminal();
      options.AlarmColumn = [this](const TDovaPanel& panel) {
        return alarms_ ? AlarmColumn(alarms_->Engine(), panel.Serial) : QString();
      };
      logger_ = std::make_unique<THeadlessLogger>(sched_, run.Library(), run.Settings(),
                                                  run.Awake(), run.Format(), options, PrintLine);
      logger_->Form().OnClosed = [] { QCoreApplication::quit(); };
      metrics_ = StartMetricsService(logger_->Form(), line_.Metrics, run.Settings(), PrintLine);
      // The alarms: journal in the data folder, a line per transition, the key `a`.
      const auto print = [this](const QString& text) { logger_->PrintLine(text); };
      alarms_ = StartAlarmService(sched_, logger_->Form(), run.Settings(),
                                  logger_->Form().Directory, AlarmCommandOption(line_),
                                  [print](const QString& text) { print("Alarms: " + text); });
      alarm_console_ = std::make_unique<TAlarmConsole>(alarms_->Engine(), print);
      if (metrics_) metrics_->ServeAlarms(&alarms_->Engine());
      if (options.Terminal) {
        keys_ = TerminalKeys::Start([this](char key) { alarm_console_->Key(key, LoginName()); });
      }
      return logger_->Form();
    }
    IConverterReport& ConverterReport() override { return converter_report_; }
    void RunEventLoop() override { QCoreApplication::exec(); }
    void Close() override {
      if (logger_) logger_->Close();
    }
    void Teardown() override {
      // The metrics endpoint and the alarms go before the main window they read.
      keys_.reset();
      metrics_.reset();
      alarm_console_.reset();
      alarms_.reset();
      logger_.reset();
    }

   private:
    QtScheduler& sched_;
    const TCommandLine& line_;
    ConsoleConverterReport converter_report_;
    std::unique_ptr<THeadlessLogger> logger_;
    std::unique_ptr<TMetricsService> metrics_;
    std::unique_ptr<TAlarmService> alarms_;
    std::unique_ptr<TAlarmConsole> alarm_console_;
    std::unique_ptr<TerminalKeys> keys_;
  };

  THeadlessFrontEnd front(scheduler, line);
  return RunLogger(scheduler, line, front, PrintLine);
}

}  // namespace dova
