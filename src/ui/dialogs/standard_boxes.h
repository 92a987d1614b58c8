#pragma once

#include <QMessageBox>
#include <QString>

#include "app/dialogs.h"
#include "monitor/panel_host.h"
#include "platform/error_reporter.h"

namespace dova::ui {

class TModelessDialog;

// The platform's message boxes, modal (the event loop and so every timer go on), in the
// platform's look: the clear-log question (Yes and No, No the default), the invalid-name
// error, the big-log-file warning, and the non-blocking box for a log file that cannot be
// opened.
class TStandardBoxes : public IConfirmBoxes, public IMessageBoxes {
 public:
  explicit TStandardBoxes(TModelessDialog& modeless) : modeless_(modeless) {}

  bool Confirm(const QString& text) override;
  void ShowError(const QString& text) override;
  void ShowWarning(const QString& text) override;
  void DisplayMessage(const QString& message, const QString& caption) override;

 private:
  TModelessDialog& modeless_;
};

// The standard error box for an error that left a window or timer event: the message with
// a full stop where it needs one, the error icon, one OK button, and the program's title as
// caption. The program goes on once it is closed.
class TErrorBox : public ErrorReporter {
 public:
  void ReportError(const std::string& message) override;
};

// Shows a message box modally in the middle of the screen; returns the button pressed.
QMessageBox::StandardButton RunMessageBox(QMessageBox::Icon icon, const QString& caption,
                                          const QString& text, QMessageBox::StandardButtons buttons,
                                          QMessageBox::StandardButton default_button);

}  // namespace dova::ui
