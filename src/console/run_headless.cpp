#include "console/run_headless.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <cstdio>
#include <memory>

#include "app/attach_notices.h"
#include "app/run.h"
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

int RunHeadless(const TCommandLine& line) {
  QtScheduler scheduler;
  ConsoleErrorReporter reporter;
  scheduler.SetErrorReporter(&reporter);

  // Without windows the template tile and the dialogs have nothing to make: every dialog
  // of the headless main window answers Cancel and every message becomes a console line.
  std::unique_ptr<THeadlessLogger> logger;
  // The metrics endpoint, when asked for; it goes before the main window it reads.
  std::unique_ptr<TMetricsService> metrics;
  // Why nothing is logged: waiting for incubators, or a bridge the user may not open.
  std::unique_ptr<TAttachNotices> notices;
  ConsoleConverterReport converter_report(PrintLine);
  TFrontEnd front;
  front.MainForm = [&](TRunServices& run) -> TMainForm& {
    THeadlessLogger::TOptions options;
    options.DocumentsFolder = run.DocumentsFolder();
    options.DataDir = line.DataDir;
    options.LogInterval = line.LogInterval;
    options.Terminal = StandardOutputIsTerminal();
    logger = std::make_unique<THeadlessLogger>(scheduler, run.Library(), run.Settings(),
                                               run.Awake(), run.Format(), options, PrintLine);
    logger->Form().OnClosed = [] { QCoreApplication::quit(); };
    metrics = StartMetricsService(logger->Form(), line.Metrics, run.Settings(), PrintLine);
    notices = std::make_unique<TAttachNotices>(
        logger->Form(),
        [](const QString& status) {
          if (!status.isEmpty()) PrintLine(status);
        },
        PrintLine);
    return logger->Form();
  };
  front.ConverterReport = [&]() -> IConverterReport& { return converter_report; };
  front.RunEventLoop = [] { QCoreApplication::exec(); };
  front.Close = [&logger] {
    if (logger) logger->Close();
  };
  front.Teardown = [&logger, &metrics, &notices] {
    notices.reset();
    metrics.reset();
    logger.reset();
  };
  return RunLogger(scheduler, line, front, PrintLine);
}

}  // namespace dova
