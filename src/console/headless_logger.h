#pragma once

#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "app/dialogs.h"
#include "app/main_form.h"
#include "monitor/log_format.h"
#include "platform/timer.h"

namespace dova {

// The dialogs of a run without windows: every dialog answers Cancel, every question No,
// and message boxes become console lines.
class THeadlessDialogs : public ILogIntervalDlg,
                         public IFoldersDlg,
                         public IEditNameDlg,
                         public IAboutBox,
                         public IConfirmBoxes,
                         public IMessageBoxes {
 public:
  explicit THeadlessDialogs(std::function<void(const QString&)> print) : print_(std::move(print)) {}
  std::optional<QString> Execute(std::uint8_t) override { return std::nullopt; }
  std::optional<QString> Execute(const QString&) override { return std::nullopt; }
  void ShowModal() override {}
  bool Confirm(const QString&) override { return false; }
  void ShowError(const QString& text) override { print_(QStringLiteral("Error: ") + text); }
  void ShowWarning(const QString& text) override { print_(QStringLiteral("Warning: ") + text); }
  void DisplayMessage(const QString& message, const QString& caption) override {
    print_(caption + QStringLiteral(": ") + message);
  }

 private:
  std::function<void(const QString&)> print_;
};

// Text from a device as the console may show it: control characters, escape sequences
// among them, become "\xHH".
QString Printable(const QString& text);

// One line of the live table: what the tile shows and what it last logged as an event.
QString StatusLine(const TDovaPanel& panel, const QString& last_event,
                   const QString& alarm = QString());
QString StatusHeader();

// The logger without widgets: the main window's logic over a bridge library, with the
// tiles' events and changes printed as they happen. On a terminal a compact table of the
// listed incubators is redrawn once a second below the event lines; otherwise only plain
// lines are printed.
class THeadlessLogger {
 public:
  struct TOptions {
    QString DocumentsFolder;
    std::optional<QString> DataDir;  // for this run, not stored
    std::optional<int> LogInterval;  // for this run, not stored
    bool Terminal = false;
    // The live table's alarm column for a tile (empty when there are no alarms).
    std::function<QString(const TDovaPanel&)> AlarmColumn;
  };
  static constexpr std::uint32_t kStatusMs = 1000;

  THeadlessLogger(Scheduler& sched, bridge::SiLibrary& library, SettingsStore& settings,
                  KeepAwake& awake, const LogFormat& format, TOptions options,
                  std::function<void(const QString&)> print);
  ~THeadlessLogger();

  TMainForm& Form() { return *form_; }
  // Closes as closing the main window does: every log file gets its last line.
  void Close();
  // Redraws the table on a terminal.
  void StatusTimerTimer();
  // A line above the table (which is drawn again on the next tick).
  void PrintLine(const QString& line) { Print(line); }

 private:
  void PrintEvent(const TDovaPanel& panel, const TTileEvent& e);
  void Print(const QString& line);
  void EraseTable();

  const LogFormat& format_;
  TOptions options_;
  std::function<void(const QString&)> print_;
  THeadlessDialogs dialogs_;
  std::unique_ptr<TMainForm> form_;
  Timer status_timer_;
  // Per tile: its subscription to the tile's events, and its last event.
  std::map<const TDovaPanel*, TTileEventStream::TSubscription> subscriptions_;
  std::map<const TDovaPanel*, QString> last_event_;
  int table_lines_ = 0;
};

}  // namespace dova
