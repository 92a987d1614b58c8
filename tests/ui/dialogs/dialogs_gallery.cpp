// Renders every dialog and box as the user sees it into PNG files in the given folder:
//   dova_dialogs_gallery <folder>
// Run it under xvfb-run, or with QT_QPA_PLATFORM=offscreen.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "app/main_form.h"
#include "ui/dialogs/widget_dialogs.h"

namespace {

// Captures what is on screen: the whole screen where a display is there (with the window
// manager's frames, if any), the window's own rendering otherwise.
QPixmap Capture(QWidget* window) {
  QScreen* screen = window->screen();
  if (QGuiApplication::platformName() == QLatin1String("xcb") && screen) {
    const QRect frame = window->frameGeometry().adjusted(-4, -4, 4, 4);
    return screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
  }
  return window->grab();
}

void Save(QWidget* window, const QString& folder, const QString& name) {
  QApplication::processEvents();
  const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
  const bool ok = Capture(window).save(path);
  std::printf("%s %s\n", ok ? "saved" : "FAILED", qPrintable(path));
}

// Shows a modal window, takes its picture once it is on screen, and closes it.
void ShotWhileModal(const QString& folder, const QString& name, const std::function<void()>& open) {
  QTimer::singleShot(300, [folder, name] {
    QWidget* w = QApplication::activeModalWidget();
    if (!w) return;
    w->activateWindow();
    Save(w, folder, name);
    if (auto* d = qobject_cast<QDialog*>(w)) d->reject();
  });
  open();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
  QDir().mkpath(folder);
  using namespace dova::ui;
  TWidgetDialogs dialogs;

  ShotWhileModal(folder, "log_interval", [&] { dialogs.LogIntervalDlg->Execute(5); });
  ShotWhileModal(folder, "edit_name", [&] { dialogs.EditNameDlg->Execute("Bench 4"); });
  dialogs.NewNameDlg->FolderName->setText("Run 12");
  ShotWhileModal(folder, "new_folder_name", [&] { dialogs.NewNameDlg->ShowModal(); });
  ShotWhileModal(folder, "folders",
                 [&] { dialogs.FoldersDlg->Execute(QDir::homePath() + "/Documents/DOVA-300"); });
  ShotWhileModal(folder, "about", [&] { dialogs.AboutBox->ShowModal(); });

  // The report as a conversion shows it.
  TVCPtoUSBXConvDlg& report = *dialogs.VCPtoUSBXConv;
  report.VCPSerialText->setText("VCP0001");
  report.USBXSerialText->setText("DOVA300-ABCDEF01");
  report.VCPSerialText->adjustSize();
  report.USBXSerialText->adjustSize();
  ShotWhileModal(folder, "converter_report", [&] { report.exec(); });

  dialogs.ModelessDialog->DisplayMessage(
      "File Open Error! Cannot Open: /home/ann/Documents/DOVA-300/Bench 4_DOVA300-  1A2B3C.csv",
      "Error");
  Save(dialogs.ModelessDialog.get(), folder, "modeless");
  // A second message while the first is unread waits behind it.
  dialogs.ModelessDialog->DisplayMessage(
      "Writing to /home/ann/Documents/DOVA-300/Bench 4_DOVA300-  1A2B3C.csv again.", "Information");
  Save(dialogs.ModelessDialog.get(), folder, "modeless_waiting");
  dialogs.ModelessDialog->OKButtonClick();
  dialogs.ModelessDialog->OKButtonClick();

  dova::IConfirmBoxes& boxes = dialogs.Dialogs().Boxes;
  ShotWhileModal(folder, "confirm_clear",
                 [&] { boxes.Confirm("Delete all logged data for Bench 4: DOVA300-  1A2B3C?"); });
  ShotWhileModal(folder, "invalid_name",
                 [&] { boxes.ShowError(QString::fromUtf8(dova::kInvalidNameText)); });
  ShotWhileModal(folder, "warning_10mb", [&] {
    dialogs.MessageBoxes().ShowWarning(
        "File: /home/ann/Documents/DOVA-300/Bench 4_DOVA300-  1A2B3C.csv exceeds 10MB. "
        "Consider archiving and deleting");
  });
  ShotWhileModal(folder, "error_box",
                 [&] { dialogs.ErrorBox().ReportError("''abc'' is not a valid integer value"); });
  return 0;
}
