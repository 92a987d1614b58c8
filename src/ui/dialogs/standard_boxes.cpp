#include "ui/dialogs/standard_boxes.h"

#include "app/error_box.h"
#include "ui/dialogs/modeless_dialog.h"

namespace dova::ui {

QMessageBox::StandardButton RunMessageBox(QMessageBox::Icon icon, const QString& caption,
                                          const QString& text, QMessageBox::StandardButtons buttons,
                                          QMessageBox::StandardButton default_button) {
  QMessageBox box(icon, caption, text, buttons);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(default_button);
  // Esc and the close box give the answer that changes nothing.
  box.setEscapeButton(buttons.testFlag(QMessageBox::No) ? QMessageBox::No : default_button);
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  if (!clicked) return QMessageBox::NoButton;
  return box.standardButton(clicked);
}

bool TStandardBoxes::Confirm(const QString& text) {
  return RunMessageBox(QMessageBox::Question, QStringLiteral("Confirm"), text,
                       QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void TStandardBoxes::ShowError(const QString& text) {
  RunMessageBox(QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::Ok,
                QMessageBox::Ok);
}

void TStandardBoxes::ShowWarning(const QString& text) {
  RunMessageBox(QMessageBox::Warning, QStringLiteral("Warning"), text, QMessageBox::Ok,
                QMessageBox::Ok);
}

void TStandardBoxes::DisplayMessage(const QString& message, const QString& caption) {
  modeless_.DisplayMessage(message, caption);
}

void TErrorBox::ReportError(const std::string& message) {
  RunMessageBox(QMessageBox::Critical, ProgramTitle(),
                ErrorBoxText(QString::fromStdString(message)), QMessageBox::Ok, QMessageBox::Ok);
}

}  // namespace dova::ui
