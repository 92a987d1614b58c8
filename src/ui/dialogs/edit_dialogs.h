#pragma once

#include <QDialog>
#include <QString>
#include <optional>

#include "app/dialogs.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace dova::ui {

// An OK/Cancel dialog around one edit field, inside a framed bevel with its label
// right-aligned before it. OK is the default button (Enter in the edit), Cancel the cancel
// button (Esc); Enter on a focused button presses that button. The close box counts as
// Cancel. The edit keeps what was typed between uses.
class TBevelEditDlg : public QDialog {
 public:
  QFrame* Bevel1 = nullptr;
  QLabel* Label1 = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 protected:
  TBevelEditDlg(const QString& caption, int width, const QString& label, int edit_width);
  // Shows the dialog modally, in the middle of the screen, with the edit's text selected.
  // The event loop runs meanwhile. The edit's text on OK.
  std::optional<QString> RunModal();
  QLineEdit* Edit() const { return edit_; }

 private:
  QLineEdit* edit_ = nullptr;
};

// "Set Logging Interval": the interval in minutes as text; the main window checks what
// was typed.
class TLogIntervalDlg : public TBevelEditDlg, public ILogIntervalDlg {
 public:
  static constexpr const char* kCaption = "Set Logging Interval";
  static constexpr const char* kLabel = "Enter new logging interval (1 to 10 minutes):";

  explicit TLogIntervalDlg();
  std::optional<QString> Execute(std::uint8_t interval) override;

  QLineEdit* Interval = nullptr;
};

// "Edit DOVA Name": the incubator's name, at most 127 characters.
class TEditNameDlg : public TBevelEditDlg, public IEditNameDlg {
 public:
  static constexpr const char* kCaption = "Edit DOVA Name";
  static constexpr const char* kLabel = "Enter new name for selected DOVA:";
  static constexpr int kMaxLength = 127;

  explicit TEditNameDlg();
  std::optional<QString> Execute(const QString& name) override;

  QLineEdit* Name = nullptr;
};

// "Enter New Folder Name", asked by the folder dialog's New Folder button. The name is
// never cleared, so the next use offers the last one again.
class TNewNameDlg : public QDialog {
 public:
  static constexpr const char* kCaption = "Enter New Folder Name";

  explicit TNewNameDlg();
  // Shows the dialog modally; true for OK. The name is then in FolderName.
  bool ShowModal();

  QLineEdit* FolderName = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;
};

}  // namespace dova::ui
