#pragma once

#include <QPushButton>
#include <QString>
#include <functional>
#include <memory>

#include "alarms/alarm_announcer.h"
#include "alarms/alarm_board.h"
#include "alarms/alarm_settings.h"

class QAction;
class QDockWidget;
class QMainWindow;
class QMenu;

namespace dova {
class SettingsStore;
}

namespace dova::ui {

class TAcknowledgeDialog;
class TAlarmLimitsDialog;
class TAlarmList;
class TShelveDialog;

// The alarms in the windowed program: the board and the announcer over the engine, the
// "&Alarms" menu, the alarm list docked in the main window, the status bar's summary that
// opens the list, and the dialogs. Widgets draw the board's state and forward the user's
// answers to the engine.
class TAlarmsUi {
 public:
  struct TServices {
    Scheduler& Sched;
    TAlarmEngine& Engine;
    TAlarmSettings& Settings;
    SettingsStore& Store;
    AlarmSound& Sound;
    DesktopNotifier& Notifier;
    // The selected incubator's serial and name; an empty serial when none is selected.
    std::function<std::pair<QString, QString>()> Selected;
    std::function<QString()> Login;
    std::function<QString()> JournalPath;
    // How dialogs tell what they refuse; message boxes when not given.
    std::function<void(QWidget*, const QString&)> Refusal;
  };

  TAlarmsUi(TServices services, QMainWindow& window);
  ~TAlarmsUi();
  TAlarmsUi(const TAlarmsUi&) = delete;
  TAlarmsUi& operator=(const TAlarmsUi&) = delete;

  TAlarmBoard& Board() { return board_; }
  TAlarmAnnouncer& Announcer() { return announcer_; }
  // The menu, to be put between View and Window.
  QMenu* Menu() { return menu_; }
  QPushButton* Summary() { return summary_; }
  QDockWidget* ListDock() { return dock_; }
  TAlarmList& List() { return *list_; }
  TAcknowledgeDialog& AcknowledgeDialog() { return *acknowledge_; }
  TShelveDialog& ShelveDialog() { return *shelve_; }
  TAlarmLimitsDialog& LimitsDialog() { return *limits_; }

  // The menu's commands.
  void ShowList();
  int AcknowledgeAll();
  bool EditLimits();
  bool ShelveSelected();
  bool EndShelving();
  void MuteSound();

  QAction* ListAction = nullptr;
  QAction* AcknowledgeAllAction = nullptr;
  QAction* LimitsAction = nullptr;
  QAction* ShelveAction = nullptr;
  QAction* EndShelvingAction = nullptr;
  QAction* MuteAction = nullptr;

 private:
  void Update();

  TServices services_;
  QMainWindow& window_;
  TAlarmBoard board_;
  TAlarmAnnouncer announcer_;
  std::unique_ptr<TAcknowledgeDialog> acknowledge_;
  std::unique_ptr<TShelveDialog> shelve_;
  std::unique_ptr<TAlarmLimitsDialog> limits_;
  TAlarmList* list_ = nullptr;
  QDockWidget* dock_ = nullptr;
  QMenu* menu_ = nullptr;
  QPushButton* summary_ = nullptr;
  TScopedSubscription board_changed_;
  TScopedSubscription raised_;
  TScopedSubscription mute_changed_;
};

}  // namespace dova::ui
