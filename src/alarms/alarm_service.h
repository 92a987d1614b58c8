#pragma once

#include <QString>
#include <functional>
#include <map>
#include <memory>

#include "alarms/alarm_command.h"
#include "alarms/alarm_engine.h"
#include "alarms/alarm_journal.h"
#include "alarms/alarm_settings.h"
#include "platform/observer.h"

namespace dova {

class LogFiles;
class Scheduler;
class SettingsStore;
class TDovaPanel;
class TMainForm;

// Follows one tile for the engine: its events, and once per poll cycle the states whose end
// is no event (device errors) and how its log is doing. The tile's serial is known from the
// moment it tells its name; what comes before is not the engine's business.
class TPanelAlarmFeed {
 public:
  // `tracked` is called when the tile told its name and the engine took it up.
  TPanelAlarmFeed(TAlarmEngine& engine, const TDovaPanel& panel,
                  std::function<void()> tracked = {});
  ~TPanelAlarmFeed();
  TPanelAlarmFeed(const TPanelAlarmFeed&) = delete;
  TPanelAlarmFeed& operator=(const TPanelAlarmFeed&) = delete;

 private:
  void OnEvent(const TTileEvent& e);

  TAlarmEngine& engine_;
  const TDovaPanel& panel_;
  std::function<void()> tracked_;
  TAlarmEngine::TIncubator* incubator_ = nullptr;
  TScopedSubscription subscription_;
};

// The alarms of one run, as the composition root puts them together: settings, engine,
// journal (read back at start), the command and a feed per tile. Front ends add their own
// announcements by subscribing to Engine().Stream().
class TAlarmService {
 public:
  struct TOptions {
    // Where the journal lives (the data folder).
    QString Folder;
    // --alarm-command; empty: the "Alarms/Command" setting.
    QString Command;
    // The file layer the journal writes through; the real file system when not given.
    LogFiles* Files = nullptr;
    TAlarmJournal::TReader Reader;
  };

  // `note` gets the problems worth a line: unreadable settings, a damaged journal, the
  // first failure of the command.
  TAlarmService(Scheduler& sched, const SettingsStore* store, TOptions options,
                std::function<void(const QString&)> note);
  ~TAlarmService();
  TAlarmService(const TAlarmService&) = delete;
  TAlarmService& operator=(const TAlarmService&) = delete;

  // Follows the main window's tiles, the ones there now and every one made later.
  void FollowPanels(TMainForm& form);
  void Follow(const TDovaPanel& panel);
  void Forget(const TDovaPanel& panel);

  TAlarmEngine& Engine() { return engine_; }
  TAlarmJournal& Journal() { return journal_; }
  TAlarmSettings& Settings() { return settings_; }
  // Null when no command is set.
  TAlarmCommand* Command() { return command_.get(); }

 private:
  void TellProblems();

  TAlarmSettings settings_;
  TAlarmEngine engine_;
  TAlarmJournal journal_;
  std::unique_ptr<TAlarmCommand> command_;
  std::function<void(const QString&)> note_;
  std::map<const TDovaPanel*, std::unique_ptr<TPanelAlarmFeed>> feeds_;
  std::shared_ptr<TAlarmService*> self_;
  TScopedSubscription told_;
};

// The alarms of a front end's run, following its main window's tiles: the journal in
// `folder`, the command of --alarm-command (`command`) or else of the setting.
std::unique_ptr<TAlarmService> StartAlarmService(Scheduler& sched, TMainForm& form,
                                                 const SettingsStore& settings,
                                                 const QString& folder, const QString& command,
                                                 std::function<void(const QString&)> note);

}  // namespace dova
