#include "ui/mainwindow/windowed_program.h"

#include <QApplication>
#include <QByteArray>
#include <QIcon>
#include <cstdio>
#include <memory>

#include "app/run.h"
#include "convert/vcp_to_usbx_conv.h"
#include "metrics/http/metrics_endpoint.h"
#include "platform/error_reporter.h"
#include "platform/qt_scheduler.h"
#include "ui/dialogs/widget_dialogs.h"
#include "ui/mainwindow/late_dialogs.h"
#include "ui/mainwindow/main_window.h"

namespace dova {

namespace {

void Print(const QString& text) {
  const QByteArray bytes = text.toLocal8Bit() + '\n';
  std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
  std::fflush(stdout);
}

}  // namespace

bool DisplayAvailable() {
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return true;
  return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

int RunWindowed(const TCommandLine& line, int& argc, char** argv) {
  QApplication app(argc, argv);
  // The main window's logic ends the loop when the window closes; a dialog closing last
  // must not.
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/dova/dova300-logger.png")));

  QtScheduler sched;
  ui::TErrorBox error_box;
  sched.SetErrorReporter(&error_box);

  // The single instances, alive until the program ends; they go in the reverse order. The
  // main window's logic is handed its dialogs when it is made, before the dialogs exist:
  // it gets stand-ins that pass every call on once the dialogs are there.
  TLateDialogs late_dialogs(Print);
  std::unique_ptr<TWindowedMainForm> form;
  std::unique_ptr<TMainWindow> window;
  std::unique_ptr<ui::TWidgetDialogs> dialogs;
  std::unique_ptr<TMetricsService> metrics;

  TFrontEnd front;
  // The template tile's height is the tile's fixed height, which the form knows already.
  front.DovaPanel = [] {};
  front.MainForm = [&](TRunServices& services) -> TMainForm& {
    form = std::make_unique<TWindowedMainForm>(
        services.MainFormServices(late_dialogs.MessageBoxes(), late_dialogs.Dialogs()));
    form->OnClosed = [&dialogs] {
      // A converter report that is open ends with the window.
      if (dialogs) dialogs->CloseConverterReport();
      QCoreApplication::quit();
    };
    window = std::make_unique<TMainWindow>(
        *form, MakeTrendWindow,
        [&sched](std::exception_ptr error) { sched.ReportException(error); });
    window->ShowMaximized();
    // --metrics or the Metrics setting: the endpoint for Prometheus.
    metrics = StartMetricsService(*form, line.Metrics, services.Settings(), Print);
    return *form;
  };
  // Every dialog is made at once, hidden, after the main window.
  front.AboutBox = [&] {
    dialogs = std::make_unique<ui::TWidgetDialogs>(&error_box);
    late_dialogs.Bind(dialogs->Dialogs(), dialogs->MessageBoxes());
  };
  front.ConverterReport = [&]() -> IConverterReport& { return dialogs->ConverterReport(); };
  front.RunEventLoop = [&] {
    if (form && !form->Closed()) QApplication::exec();
  };
  front.Close = [&] {
    if (window) window->close();
  };
  front.Teardown = [&] {
    metrics.reset();
    window.reset();
    form.reset();
    dialogs.reset();
  };
  const int code = RunLogger(sched, line, front, Print);
  sched.SetErrorReporter(nullptr);
  return code;
}

}  // namespace dova
