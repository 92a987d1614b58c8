#pragma once

#include <memory>

#include "app/dialogs.h"
#include "monitor/panel_host.h"
#include "platform/error_reporter.h"
#include "ui/dialogs/about_box.h"
#include "ui/dialogs/converter_report_dlg.h"
#include "ui/dialogs/edit_dialogs.h"
#include "ui/dialogs/folders_dlg.h"
#include "ui/dialogs/modeless_dialog.h"
#include "ui/dialogs/standard_boxes.h"

namespace dova::ui {

// Every dialog and message box of the windowed program, each created once and kept until
// the program ends, so that each keeps its state (typed text, tree expansion) between uses.
//
// Use, from the front end (IFrontEnd): make it in MakeDialogs, before the main window whose
// logic is handed its dialogs.
//
//   auto dialogs = std::make_unique<ui::TWidgetDialogs>();   // every dialog, hidden
//   sched.SetErrorReporter(&dialogs->ErrorBox());            // escaped errors: error box
//   services.MainFormServices(dialogs->MessageBoxes(), dialogs->Dialogs());
//   front.ConverterReport = [&]() -> IConverterReport& { return dialogs->ConverterReport(); };
//   // when the main window closes, also end a report that is open:
//   dialogs->CloseConverterReport();
//
// The main window's commands reach the dialogs through TDialogs, the tiles reach the
// warning and the non-blocking box through MessageBoxes(). Everything here lives on the
// user-interface thread. Free it after the converter (which reports to it) and after the
// main window's logic (whose tiles may show messages while they close), and before the
// scheduler.
class TWidgetDialogs {
  TErrorBox error_box_;

 public:
  // error_box: where the folder dialog reports a folder it cannot enter; the program's
  // own standard error box when not given.
  explicit TWidgetDialogs(ErrorReporter* error_box = nullptr);
  TWidgetDialogs(const TWidgetDialogs&) = delete;
  TWidgetDialogs& operator=(const TWidgetDialogs&) = delete;

  // What the main window's menu commands use.
  TDialogs Dialogs();
  // The warning and the non-blocking box, for the tiles.
  IMessageBoxes& MessageBoxes() { return *boxes_; }
  // The standard error box for errors that leave an event handler.
  ErrorReporter& ErrorBox() { return error_box_; }
  // The converter's report dialog.
  IConverterReport& ConverterReport() { return *VCPtoUSBXConv; }

  // The main window is closing: a report that is open ends (its converter stops).
  void CloseConverterReport();

  // The windows, in the order they are created.
  std::unique_ptr<TAboutBox> AboutBox;
  std::unique_ptr<TEditNameDlg> EditNameDlg;
  std::unique_ptr<TFoldersDlg> FoldersDlg;
  std::unique_ptr<TNewNameDlg> NewNameDlg;
  std::unique_ptr<TLogIntervalDlg> LogIntervalDlg;
  std::unique_ptr<TModelessDialog> ModelessDialog;
  std::unique_ptr<TVCPtoUSBXConvDlg> VCPtoUSBXConv;

 private:
  std::unique_ptr<TStandardBoxes> boxes_;
};

}  // namespace dova::ui
