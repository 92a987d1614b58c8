#include "ui/mainwindow/windowed_program.h"

#include <QApplication>
#include <QByteArray>
#include <QIcon>
#include <cstdio>
#include <memory>

#include "alarms/alarm_service.h"
#include "app/run.h"
#include "convert/vcp_to_usbx_conv.h"
#include "metrics/http/metrics_endpoint.h"
#include "platform/error_reporter.h"
#include "platform/qt_scheduler.h"
#include "ui/dialogs/widget_dialogs.h"
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

  // The single instances, alive until the program ends; they go in the reverse order.
  class TWindowedFrontEnd : public IFrontEnd {
   public:
    TWindowedFrontEnd(QtScheduler& sched, ui::TErrorBox& error_box, const TCommandLine& line)
        : sched_(sched), error_box_(error_box), line_(line) {}
    // Every dialog is made at once, hidden, before the main window's logic that uses them.
    void MakeDialogs() override { dialogs_ = std::make_unique<ui::TWidgetDialogs>(&error_box_); }
    TMainForm& MakeMainForm(TRunServices& services) override {
      form_ = std::make_unique<TWindowedMainForm>(
          services.MainFormServices(dialogs_->MessageBoxes(), dialogs_->Dialogs()));
      form_->OnClosed = [this] {
        // A converter report that is open ends with the window.
        dialogs_->CloseConverterReport();
        QCoreApplication::quit();
      };
      window_ = std::make_unique<TMainWindow>(
          *form_, MakeTrendWindow,
          [this](std::exception_ptr error) { sched_.ReportException(error); });
      window_->ShowMaximized();
      // --metrics or the Metrics setting: the endpoint for Prometheus.
      metrics_ = StartMetricsService(*form_, line_.Metrics, services.Settings(), Print);
      // The alarms, journaled in the data folder of this run.
      alarms_ = StartAlarmService(sched_, *form_, services.Settings(),
                                  line_.DataDir.value_or(form_->Directory), QString(), Print);
      if (metrics_) metrics_->ServeAlarms(&alarms_->Engine());
      return *form_;
    }
    IConverterReport& ConverterReport() override { return dialogs_->ConverterReport(); }
    void RunEventLoop() override {
      if (form_ && !form_->Closed()) QApplication::exec();
    }
    void Close() override {
      if (window_) window_->close();
    }
    void Teardown() override {
      metrics_.reset();
      alarms_.reset();
      window_.reset();
      form_.reset();
      dialogs_.reset();
    }

   private:
    QtScheduler& sched_;
    ui::TErrorBox& error_box_;
    const TCommandLine& line_;
    std::unique_ptr<ui::TWidgetDialogs> dialogs_;
    std::unique_ptr<TWindowedMainForm> form_;
    std::unique_ptr<TMainWindow> window_;
    std::unique_ptr<TMetricsService> metrics_;
    std::unique_ptr<TAlarmService> alarms_;
  };

  TWindowedFrontEnd front(sched, error_box, line);
  const int code = RunLogger(sched, line, front, Print);
  sched.SetErrorReporter(nullptr);
  return code;
}

}  // namespace dova
