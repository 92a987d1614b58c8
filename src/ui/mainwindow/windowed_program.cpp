#include "ui/mainwindow/windowed_program.h"

#include <QApplication>
#include <QByteArray>
#include <QIcon>
#include <QStatusBar>
#include <cstdio>
#include <memory>

#include "alarms/alarm_service.h"
#include "app/attach_notices.h"
#include "app/error_box.h"
#include "app/run.h"
#include "convert/vcp_to_usbx_conv.h"
#include "metrics/http/metrics_endpoint.h"
#include "platform/console.h"
#include "platform/error_reporter.h"
#include "platform/notify/desktop_notifier.h"
#include "platform/qt_scheduler.h"
#include "platform/sound/alarm_sound.h"
#include "ui/alarms/alarms_ui.h"
#include "ui/dialogs/widget_dialogs.h"
#include "ui/mainwindow/alarm_tile_frames.h"
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
      form_ = std::make_unique<TMainForm>(
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
      // Why nothing is logged, in the status bar and a box; it goes with the window.
      new TAttachNotices(
          *form_, [w = window_.get()](const QString& text) { w->statusBar()->showMessage(text); },
          [this](const QString& line) {
            dialogs_->MessageBoxes().DisplayMessage(line, ProgramTitle());
          },
          window_.get());
      // --metrics or the Metrics setting: the endpoint for Prometheus.
      metrics_ = StartMetricsService(*form_, line_.Metrics, services.Settings(), Print);
      // The alarms, journaled in the data folder of this run.
      alarms_ =
          StartAlarmService(sched_, *form_, services.Settings(),
                            line_.DataDir.value_or(form_->Directory), line_.AlarmCommand, Print);
      if (metrics_) metrics_->ServeAlarms(&alarms_->Engine());
      // The alarms on screen: the Alarms menu, the list, the summary in the status bar, the
      // tone and the desktop notices.
      sound_ = CreateAlarmSound([](const std::string& why) {
        Print(QStringLiteral("Note: ") + QString::fromStdString(why));
      });
      notifier_ = CreateDesktopNotifier();
      alarms_ui_ = std::make_unique<ui::TAlarmsUi>(
          ui::TAlarmsUi::TServices{
              sched_, alarms_->Engine(), alarms_->Settings(), services.Settings(), *sound_,
              *notifier_,
              [this] {
                const TDovaPanel* p = form_ ? form_->SelectedPanel : nullptr;
                return p ? std::pair{p->Serial, p->Nick} : std::pair<QString, QString>{};
              },
              LoginName, [this] { return alarms_->Journal().Path(); }, nullptr},
          *window_);
      alarm_frames_ = AddAlarmsToWindow(*window_, *alarms_ui_);
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
      alarm_frames_.reset();
      alarms_ui_.reset();
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
    std::unique_ptr<TMainForm> form_;
    std::unique_ptr<TMainWindow> window_;
    std::unique_ptr<TMetricsService> metrics_;
    std::unique_ptr<TAlarmService> alarms_;
    std::unique_ptr<AlarmSound> sound_;
    std::unique_ptr<DesktopNotifier> notifier_;
    std::unique_ptr<ui::TAlarmsUi> alarms_ui_;
    std::unique_ptr<TAlarmTileFrames> alarm_frames_;
  };

  TWindowedFrontEnd front(sched, error_box, line);
  const int code = RunLogger(sched, line, front, Print);
  sched.SetErrorReporter(nullptr);
  return code;
}

}  // namespace dova
