// The menu commands of the main window (command_table.h lists them with their captions).

#include <QDir>

#include "app/main_form.h"
#include "app/settings.h"
#include "platform/exception.h"
#include "protocol/names.h"
#include "protocol/protocol.h"

namespace dova {

void TMainForm::DataDirClick() {
  const std::optional<QString> folder = services_.Dialogs.FoldersDlg.Execute(Directory);
  if (!folder) return;
  Directory = *folder;
  SaveDirectory(services_.Settings, Directory);
  ForEachListed([this](TDovaPanel& p) { p.SetDirectory(Directory); });
}

void TMainForm::LoggingIntervalClick() {
  const std::optional<QString> text = services_.Dialogs.LogIntervalDlg.Execute(LogInterval);
  if (!text) return;
  // The whole-number syntax of the rest of the program: leading blanks, a sign, decimal or
  // "$"/"0x" hexadecimal, nothing after the digits.
  const std::optional<std::int32_t> minutes = protocol::ParseInteger(QStringView(*text));
  if (!minutes) {
    throw Exception(QStringLiteral("''%1'' is not a valid integer value").arg(*text).toStdString());
  }
  if (*minutes < 1 || *minutes > 10) return;
  LogInterval = static_cast<std::uint8_t>(*minutes);
  SaveLogInterval(services_.Settings, LogInterval);
  ForEachListed([this](TDovaPanel& p) { p.SetLogInterval(LogInterval); });
}

void TMainForm::ClearDOVAData1Click() {
  if (!SelectedPanel) return;
  const bool yes =
      services_.Dialogs.Boxes.Confirm(QStringLiteral("Delete all logged data for ") +
                                      SelectedPanel->Caption.Text + QStringLiteral("?"));
  // The box was modal: act on the tile selected now, if any.
  if (!yes || !SelectedPanel) return;
  TPanelUse use(roster_, SelectedPanel);
  SelectedPanel->ClearLog();
}

void TMainForm::Name1Click() {
  if (!SelectedPanel) return;
  QString name = SelectedPanel->GetNick();
  for (;;) {
    const std::optional<QString> entered = services_.Dialogs.EditNameDlg.Execute(name);
    if (!entered) return;
    name = *entered;
    if (IsValidName(name)) break;
    services_.Dialogs.Boxes.ShowError(QString::fromUtf8(kInvalidNameText));
  }
  // The dialog was modal: rename the tile selected now; none selected, nothing to do.
  if (!SelectedPanel) return;
  {
    TPanelUse use(roster_, SelectedPanel);
    SelectedPanel->Rename(name);
  }
  ArrangePanels();
}

void TMainForm::ViewRangeClick(int minutes) {
  ViewRangeChecked = minutes;
  ForEachListed([minutes](TDovaPanel& p) { p.SetViewRange(minutes); });
}

void TMainForm::HelpAbout1Execute() {
  services_.Dialogs.AboutBox.ShowModal();
}

}  // namespace dova
