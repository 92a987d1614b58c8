#include "ui/mainwindow/late_dialogs.h"

namespace dova {

TLateDialogs::TLateDialogs(std::function<void(const QString&)> print) : print_(std::move(print)) {}

void TLateDialogs::Bind(const TDialogs& dialogs, IMessageBoxes& boxes) {
  target_.emplace(dialogs);
  target_boxes_ = &boxes;
}

TDialogs TLateDialogs::Dialogs() {
  return TDialogs{interval_, folders_, name_, about_, confirm_};
}

std::optional<QString> TLateDialogs::TInterval::Execute(std::uint8_t interval) {
  if (!owner.target_) return std::nullopt;
  return owner.target_->LogIntervalDlg.Execute(interval);
}

std::optional<QString> TLateDialogs::TFolders::Execute(const QString& directory) {
  if (!owner.target_) return std::nullopt;
  return owner.target_->FoldersDlg.Execute(directory);
}

std::optional<QString> TLateDialogs::TName::Execute(const QString& name) {
  if (!owner.target_) return std::nullopt;
  return owner.target_->EditNameDlg.Execute(name);
}

void TLateDialogs::TAbout::ShowModal() {
  if (owner.target_) owner.target_->AboutBox.ShowModal();
}

bool TLateDialogs::TConfirm::Confirm(const QString& text) {
  if (!owner.target_) return false;
  return owner.target_->Boxes.Confirm(text);
}

void TLateDialogs::TConfirm::ShowError(const QString& text) {
  if (owner.target_) {
    owner.target_->Boxes.ShowError(text);
  } else if (owner.print_) {
    owner.print_(QStringLiteral("Error: ") + text);
  }
}

void TLateDialogs::TBoxes::ShowWarning(const QString& text) {
  if (owner.target_boxes_) {
    owner.target_boxes_->ShowWarning(text);
  } else if (owner.print_) {
    owner.print_(QStringLiteral("Warning: ") + text);
  }
}

void TLateDialogs::TBoxes::DisplayMessage(const QString& message, const QString& caption) {
  if (owner.target_boxes_) {
    owner.target_boxes_->DisplayMessage(message, caption);
  } else if (owner.print_) {
    owner.print_(caption + QStringLiteral(": ") + message);
  }
}

}  // namespace dova
