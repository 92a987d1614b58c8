#include "ui/dialogs/widget_dialogs.h"

namespace dova::ui {

TWidgetDialogs::TWidgetDialogs(ErrorReporter* error_box) {
  AboutBox = std::make_unique<TAboutBox>();
  EditNameDlg = std::make_unique<TEditNameDlg>();
  FoldersDlg = std::make_unique<TFoldersDlg>(error_box ? *error_box : error_box_);
  NewNameDlg = std::make_unique<TNewNameDlg>();
  FoldersDlg->SetNewNameDlg(NewNameDlg.get());
  LogIntervalDlg = std::make_unique<TLogIntervalDlg>();
  ModelessDialog = std::make_unique<TModelessDialog>();
  boxes_ = std::make_unique<TStandardBoxes>(*ModelessDialog);
  VCPtoUSBXConv = std::make_unique<TVCPtoUSBXConvDlg>();
}

TDialogs TWidgetDialogs::Dialogs() {
  return TDialogs{*LogIntervalDlg, *FoldersDlg, *EditNameDlg, *AboutBox, *boxes_};
}

void TWidgetDialogs::CloseConverterReport() {
  if (VCPtoUSBXConv->isVisible()) VCPtoUSBXConv->reject();
}

}  // namespace dova::ui
