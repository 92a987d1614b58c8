#include "ui/mainwindow/main_menu.h"

#include <QAction>
#include <QActionGroup>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

#include "ui/history/log_viewer.h"
#include "ui/mainwindow/main_window.h"
#include "ui/tile/hint_text.h"

namespace dova {

namespace {

void SetHint(QAction* action, const char* hint) {
  if (*hint == 0) return;
  const QString text = QString::fromUtf8(hint);
  action->setToolTip(ShortHint(text));
  action->setStatusTip(LongHint(text));
}

}  // namespace

TMainMenu::TMainMenu(TMainWindow& window) : window_(window) {
  Build();
}

QAction* TMainMenu::Command(const QString& name) const {
  return window_.findChild<QAction*>(name);
}

std::function<void()> TMainMenu::WindowHandler(const TCommand& command) {
  const std::string_view name = command.Name;
  if (name == "FileExit1") {
    // The form closes first (every log gets its last line), then the window goes, also
    // when closing the form failed.
    return [this] {
      try {
        window_.Form().FileExit1Execute();
      } catch (...) {
        window_.close();
        throw;
      }
      window_.close();
    };
  }
  if (name == "OpenLog1") return [this] { ui::OpenLogViewer(&window_); };
  if (name == "WindowCascade1") return [this] { window_.Cascade(); };
  if (name == "WindowTileHorizontal1") return [this] { window_.TileHorizontally(); };
  if (name == "WindowTileVertical1") return [this] { window_.TileVertically(); };
  if (name == "WindowMinimizeAll1") return [this] { window_.MinimizeAll(); };
  if (name == "WindowArrangeAll1") return [this] { window_.ArrangeAll(); };
  return nullptr;
}

void TMainMenu::Build() {
  view_group_ = new QActionGroup(this);
  view_group_->setExclusive(true);
  for (const TMenu& entry : MenuTable()) {
    QMenu* menu = window_.menuBar()->addMenu(QString::fromUtf8(entry.Caption));
    menu->setObjectName(QString::fromLatin1(entry.Name));
    menu->menuAction()->setObjectName(QString::fromLatin1(entry.Name));
    menu->setToolTipsVisible(true);
    SetHint(menu->menuAction(), entry.Hint);
    if (std::string_view(entry.Name) == "Window1") {
      window_menu_ = menu;
      connect(menu, &QMenu::aboutToShow, this, [this] { UpdateWindowMenu(); });
    }
    for (const TCommand& command : entry.Commands) {
      if (std::string_view(command.Name) == "FileExit1") AddRecentLogs(*menu);
      QAction* action = menu->addAction(QString::fromUtf8(command.Caption));
      action->setObjectName(QString::fromLatin1(command.Name));
      SetHint(action, command.Hint);
      std::function<void()> handler = WindowHandler(command);
      if (!handler && command.Run) handler = [this, run = command.Run] { run(window_.Form()); };
      connect(action, &QAction::triggered, this,
              [this, handler = std::move(handler)] { window_.Guard(handler); });
      if (command.ViewMinutes > 0) {
        action->setCheckable(true);
        view_group_->addAction(action);
        view_actions_[command.ViewMinutes] = action;
      }
      if (command.EnabledWhen == TEnabledWhen::TrendWindowsShown)
        window_commands_.push_back(action);
    }
  }
}

void TMainMenu::AddRecentLogs(QMenu& file) {
  QMenu* recent = file.addMenu(QStringLiteral("Recent &Logs"));
  recent->menuAction()->setObjectName(QStringLiteral("RecentLogs1"));
  connect(recent, &QMenu::aboutToShow, this, [this, recent] {
    recent->clear();
    for (const QString& path : ui::RecentLogs())
      connect(recent->addAction(path), &QAction::triggered, this,
              [this, path] { ui::OpenLogViewer(&window_, path); });
  });
}

void TMainMenu::UpdateViewChecks() {
  auto it = view_actions_.find(window_.Form().ViewRangeChecked);
  if (it != view_actions_.end()) it->second->setChecked(true);
}

void TMainMenu::UpdateWindowMenu() {
  QMdiArea* mdi = window_.MdiArea();
  const QList<QMdiSubWindow*> frames = mdi->subWindowList();
  for (QAction* a : window_commands_)
    a->setEnabled(!frames.isEmpty());
  for (QAction* a : window_list_) {
    window_menu_->removeAction(a);
    delete a;
  }
  window_list_.clear();
  if (frames.isEmpty()) return;
  window_list_.push_back(window_menu_->addSeparator());
  int number = 1;
  for (QMdiSubWindow* f : window_.Frames()) {
    QAction* a = window_menu_->addAction(QStringLiteral("&%1 %2").arg(number++).arg(
        f->windowTitle().replace(QStringLiteral("&"), QStringLiteral("&&"))));
    a->setCheckable(true);
    a->setChecked(f == mdi->activeSubWindow());
    connect(a, &QAction::triggered, this, [mdi, frame = QPointer<QMdiSubWindow>(f)] {
      if (!frame) return;
      if (frame->isMinimized()) frame->showNormal();
      mdi->setActiveSubWindow(frame);
    });
    window_list_.push_back(a);
  }
}

}  // namespace dova
