#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "app/dialogs.h"
#include "monitor/panel_host.h"

namespace dova {

// The dialogs as the main window's logic sees them, before they exist. The program makes
// its main window first and its dialogs afterwards, while the logic is handed its dialogs
// when it is made: these stand-ins take the calls and pass them on once Bind has been
// called. Unbound, they answer as a console would: every dialog Cancel, every question No,
// and messages become lines on `print`.
class TLateDialogs {
 public:
  explicit TLateDialogs(std::function<void(const QString&)> print);
  TLateDialogs(const TLateDialogs&) = delete;
  TLateDialogs& operator=(const TLateDialogs&) = delete;

  // Where the calls go from now on.
  void Bind(const TDialogs& dialogs, IMessageBoxes& boxes);

  TDialogs Dialogs();
  IMessageBoxes& MessageBoxes() { return boxes_; }

 private:
  struct TInterval : ILogIntervalDlg {
    TLateDialogs& owner;
    explicit TInterval(TLateDialogs& o) : owner(o) {}
    std::optional<QString> Execute(std::uint8_t interval) override;
  };
  struct TFolders : IFoldersDlg {
    TLateDialogs& owner;
    explicit TFolders(TLateDialogs& o) : owner(o) {}
    std::optional<QString> Execute(const QString& directory) override;
  };
  struct TName : IEditNameDlg {
    TLateDialogs& owner;
    explicit TName(TLateDialogs& o) : owner(o) {}
    std::optional<QString> Execute(const QString& name) override;
  };
  struct TAbout : IAboutBox {
    TLateDialogs& owner;
    explicit TAbout(TLateDialogs& o) : owner(o) {}
    void ShowModal() override;
  };
  struct TConfirm : IConfirmBoxes {
    TLateDialogs& owner;
    explicit TConfirm(TLateDialogs& o) : owner(o) {}
    bool Confirm(const QString& text) override;
    void ShowError(const QString& text) override;
  };
  struct TBoxes : IMessageBoxes {
    TLateDialogs& owner;
    explicit TBoxes(TLateDialogs& o) : owner(o) {}
    void ShowWarning(const QString& text) override;
    void DisplayMessage(const QString& message, const QString& caption) override;
  };

  std::function<void(const QString&)> print_;
  std::optional<TDialogs> target_;
  IMessageBoxes* target_boxes_ = nullptr;
  TInterval interval_{*this};
  TFolders folders_{*this};
  TName name_{*this};
  TAbout about_{*this};
  TConfirm confirm_{*this};
  TBoxes boxes_{*this};
};

}  // namespace dova
