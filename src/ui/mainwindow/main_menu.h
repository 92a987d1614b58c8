#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <vector>

#include "app/command_table.h"

class QAction;
class QActionGroup;
class QMenu;

namespace dova {

class TMainWindow;

// The main window's menu bar, built from the command table. A form command runs on the
// form, a command of the window's own (exit, the old logs, the arrangements of the trend
// windows) on the window, each inside the window's error guard. The menu keeps the View
// menu's check mark on the form's range, the Window menu's arrangements enabled while trend
// windows are shown, and the Window menu's list of the open trend windows.
class TMainMenu : public QObject {
 public:
  // Fills the window's menu bar; the window must outlive the menu.
  explicit TMainMenu(TMainWindow& window);

  // A menu command by its component name ("FileExit1", "ViewLast6Hours", ...).
  QAction* Command(const QString& name) const;
  QMenu* WindowMenu() const { return window_menu_; }

  // Checks the View menu's entry of the form's range.
  void UpdateViewChecks();
  // Enables the arrangements and lists the trend windows as the MDI area holds them now.
  void UpdateWindowMenu();

 private:
  void Build();
  void AddRecentLogs(QMenu& file);
  // What the window does for a command of its own (null for a form command).
  std::function<void()> WindowHandler(const TCommand& command);

  TMainWindow& window_;
  QMenu* window_menu_ = nullptr;
  QActionGroup* view_group_ = nullptr;
  std::vector<QAction*> window_commands_;  // enabled while trend windows are shown
  std::vector<QAction*> window_list_;
  std::map<int, QAction*> view_actions_;
};

}  // namespace dova
