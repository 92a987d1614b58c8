#pragma once

#include <QMainWindow>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/main_form.h"
#include "app/mdi_geometry.h"
#include "ui/mainwindow/background_mdi_area.h"
#include "ui/mainwindow/tile_views.h"

class QAction;
class QActionGroup;
class QLabel;
class QMdiSubWindow;
class QMenu;

namespace dova {

class TTileWidget;

// The program's main window on screen: the strip with the banner and the tiles, the MDI
// area with the selected tile's trend windows, the status bar with the long part of the
// current hint, and the menu built from the command table. It draws what TMainForm holds,
// follows its panel changes and forwards the user's menu choices and clicks to it; exceptions that
// leave a command go to `on_error` (the error box). The form must outlive the window.
class TMainWindow : public QMainWindow {
 public:
  using TErrorSink = std::function<void(std::exception_ptr)>;

  static constexpr int kMinimumOuterWidth = 682;
  static constexpr int kMinimumOuterHeight = 250;
  static constexpr int kStatusBarHeight = 19;

  // `charts` makes the trend windows' widgets (MakeTrendWindow when not given).
  TMainWindow(TMainForm& form, TChartFactory charts, TErrorSink on_error);
  ~TMainWindow() override;
  TMainWindow(const TMainWindow&) = delete;
  TMainWindow& operator=(const TMainWindow&) = delete;

  // Opens the window maximised (filling the screen also where no window manager
  // maximises it).
  void ShowMaximized();

  TMainForm& Form() const { return form_; }
  QWidget* Strip() const { return strip_; }
  QMdiArea* MdiArea() const { return mdi_; }
  QLabel* StatusText() const { return status_text_; }
  QMenu* WindowMenu() const { return window_menu_; }
  // A menu command by its component name ("FileExit1", "ViewLast6Hours", ...).
  QAction* Command(const QString& name) const;
  // The tile's widget and the frame that holds a trend window in the MDI area (null when
  // the window is no MDI child).
  TTileWidget* TileOf(const TDovaPanel& panel) const;
  QMdiSubWindow* FrameOf(const TGraphWindow& window) const;
  // The MDI frames that are open, in the order the tiles' windows stack (top first).
  std::vector<QMdiSubWindow*> Frames() const;

  // The Window menu's commands.
  void Cascade();
  void TileHorizontally();
  void TileVertically();
  void MinimizeAll();
  void ArrangeAll();

  // Runs a handler of ours: an exception goes to the error box, then the screen catches up
  // with the form.
  void Guard(const std::function<void()>& handler);
  // Puts the strip, the tiles and the MDI area where the form says.
  void SyncStrip();

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  class TClientArea;

  void BuildMenu();
  void AddRecentLogs(QMenu& file);
  // What the window does for a command of its own (null for a form command).
  std::function<void()> WindowHandler(const TCommand& command);
  void OnPanelChange(TMainForm::TPanelChange change, const TDovaPanel* panel);
  void AdoptNewPanels();
  void DropPanel(const TDovaPanel& panel);
  void UpdateWindowMenu();
  void UpdateViewChecks();
  void LayoutClient();
  void ApplyMinimumSize();
  mdi::TSize AreaSize() const;
  std::vector<QMdiSubWindow*> ArrangeableFrames() const;
  // Puts the frames where the geometry says, in order.
  static void Place(const std::vector<QMdiSubWindow*>& frames, const std::vector<TRect>& rects);

  TMainForm& form_;
  TChartFactory charts_;
  TErrorSink on_error_;
  TClientArea* client_ = nullptr;
  QWidget* strip_ = nullptr;
  QLabel* banner_ = nullptr;
  TBackgroundMdiArea* mdi_ = nullptr;
  QLabel* status_text_ = nullptr;
  QMenu* window_menu_ = nullptr;
  QActionGroup* view_group_ = nullptr;
  std::vector<QAction*> window_commands_;  // enabled while trend windows are shown
  std::vector<QAction*> window_list_;
  std::map<int, QAction*> view_actions_;
  std::map<const TDovaPanel*, std::unique_ptr<TTileViews>> panels_;
  TScopedSubscription panel_changes_;
  bool shown_ = false;
};

}  // namespace dova
