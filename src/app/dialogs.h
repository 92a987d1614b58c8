#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace dova {

// The modal dialogs of the menu commands, one small interface each. Each call shows the
// dialog and returns when it closes; timers keep firing meanwhile. An empty result means
// Cancel (or the dialog's close box).

// "Set Logging Interval": shows the interval's decimal form; on OK the typed text.
class ILogIntervalDlg {
 public:
  virtual ~ILogIntervalDlg() = default;
  virtual std::optional<QString> Execute(std::uint8_t interval) = 0;
};

// "Select Folder": shows the current folder; on OK the text of its Folder field.
class IFoldersDlg {
 public:
  virtual ~IFoldersDlg() = default;
  virtual std::optional<QString> Execute(const QString& directory) = 0;
};

// "Edit DOVA Name": shows the given name (at most 127 characters); on OK the typed text.
class IEditNameDlg {
 public:
  virtual ~IEditNameDlg() = default;
  virtual std::optional<QString> Execute(const QString& name) = 0;
};

// "About DOVA-300 Logger".
class IAboutBox {
 public:
  virtual ~IAboutBox() = default;
  virtual void ShowModal() = 0;
};

// The platform's modal message boxes the commands use.
class IConfirmBoxes {
 public:
  virtual ~IConfirmBoxes() = default;
  // Question box with Yes and No (No the default); true for Yes.
  virtual bool Confirm(const QString& text) = 0;
  // Error box with one OK button.
  virtual void ShowError(const QString& text) = 0;
};

struct TDialogs {
  ILogIntervalDlg& LogIntervalDlg;
  IFoldersDlg& FoldersDlg;
  IEditNameDlg& EditNameDlg;
  IAboutBox& AboutBox;
  IConfirmBoxes& Boxes;
};

}  // namespace dova
