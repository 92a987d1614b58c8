#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/command_table.h"
#include "app/dialogs.h"
#include "app/strip_layout.h"
#include "monitor/dova_panel.h"
#include "monitor/panel_host.h"
#include "platform/bridge/si_library.h"
#include "platform/keepawake/keep_awake.h"
#include "platform/observer.h"
#include "platform/settings/settings_store.h"
#include "platform/timer.h"
#include "protocol/names.h"
#include "usb/usbxpress_enumerator.h"

namespace dova {

class TGraphWindow;

// What the main window works with.
struct TMainFormServices {
  Scheduler& Sched;
  bridge::SiLibrary& Library;
  SettingsStore& Settings;
  KeepAwake& Awake;
  IMessageBoxes& MessageBoxes;  // handed to every tile
  const LogFormat& Format;
  TDialogs Dialogs;
  // The user's documents folder, for the first-run data folder.
  QString DocumentsFolder;
  // Where log files are opened; the real file system when not given.
  LogFiles* Files = nullptr;
};

// The main window as plain state: the device enumerator, the tiles and their lists, the
// selection, the strip's layout, the close timer and the menu commands. A renderer draws
// what it holds and forwards clicks and menu choices to it.
//
// Tiles live in exactly one place while they exist: attached but not yet named
// (UnnamedPanels), listed in the strip (ActivePanels), or waiting to be freed
// (ClosingPanels). A tile is freed only by the close timer or FormClose, never inside a
// call it makes, and never while the main window is inside a call to it.
class TMainForm : public IPanelHost {
 public:
  // How the tiles changed, for the front ends that show or report them:
  //   Created   right after the tile was attached, before it is named or selected;
  //   Named     the incubator told its name (again, for a listed tile);
  //   Listed    the tile joined the strip;
  //   Selected  the tile became the selected one and its trend windows are to be stacked;
  //   Closing   its link ended: hidden, freed by the close timer soon;
  //   Freed     just before the tile is destroyed;
  //   StripChanged  the strip was laid out again (the tile is null).
  enum class TPanelChange { Created, Named, Listed, Selected, Closing, Freed, StripChanged };
  using TPanelChanges = TObservers<TPanelChange, const TDovaPanel*>;

  static constexpr const char* kCaption = "DOVA-300 Benchtop Incubator Logger ";
  static constexpr std::uint32_t kCloseDovaTimerMs = 1000;
  static constexpr int kInitialStripWidth = 1280;

  // Creates the components and runs FormCreate: settings, data folder, lists; scanning and
  // the close timer start at once.
  explicit TMainForm(const TMainFormServices& services);
  ~TMainForm() override;
  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;

  // ---- enumerator and tiles
  void USBXpressEnumeratorNewPort(TUSBXpressEnumerator& Sender, TUSBXpress& Port,
                                  const QString& Serial);
  TDovaPanel& CreatePanel(TUSBXpress& Port);
  void AddPanel(TDovaPanel& panel) override;
  void RemovePanel(TDovaPanel& panel) override;
  void SelectPanel(TDovaPanel& panel) override;
  void TileGraphWindows() override;
  void ArrangePanels();
  void CloseDovaTimerTimer();

  // ---- window life cycle
  void FormCreate();
  void FormShow();
  // The client area's new width (the strip spans it).
  void FormResize(int width);
  void FormClose();
  // Closes the window: FormClose once, then OnClosed (the front end ends its event loop).
  void Close();
  bool Closed() const { return closed_; }

  // ---- menu commands. Errors leave as exceptions (the caller's error box).
  void DataDirClick();
  void LoggingIntervalClick();
  void ClearDOVAData1Click();
  void Name1Click();
  // The View menu's entries (command_table.h has their ranges): every tile gets the range.
  void ViewRangeClick(int minutes);
  void ViewLast6HoursClick() { ViewRangeClick(kViewLast6Hours); }
  void ViewLast12HoursClick() { ViewRangeClick(kViewLast12Hours); }
  void ViewLast24HoursClick() { ViewRangeClick(kViewLast24Hours); }
  void ViewAllClick() { ViewRangeClick(kViewAll); }
  void HelpAbout1Execute();
  void FileExit1Execute() { Close(); }

  // ---- state
  TUSBXpressEnumerator USBXpressEnumerator;
  Timer CloseDovaTimer;
  std::vector<TDovaPanel*> ActivePanels;
  std::vector<TDovaPanel*> ClosingPanels;
  // Attached tiles whose incubator has not told its name yet.
  std::vector<TDovaPanel*> UnnamedPanels;
  TDovaPanel* SelectedPanel = nullptr;
  QString Directory;
  std::uint8_t LogInterval = 5;

  QString Caption = QString::fromLatin1(kCaption);
  int StripWidth = kInitialStripWidth;
  int StripHeight = kStripMinHeight;
  int BannerHeight = kTileHeight;
  // The view range of the trend windows in minutes: the View menu entry with the check
  // mark. Every tile gets it when it is made and whenever it changes.
  int ViewRangeChecked = kViewLast12Hours;
  // How often the MDI windows were tiled, and the MDI windows at the last tiling, top of
  // the stack first.
  int TileGraphWindowsCount = 0;
  std::vector<const TGraphWindow*> TiledWindows;

  // Where a tile stands in the strip (its rectangle from the last arrangement, or where
  // CreatePanel put it).
  TRect PanelRect(const TDovaPanel& panel) const;
  // Every tile the window owns, in creation order.
  std::vector<const TDovaPanel*> Panels() const;
  // The MDI windows that exist now, top of the stack first.
  std::vector<const TGraphWindow*> MdiWindows() const;

  // Hooks for front ends.
  std::function<void()> OnClosed;
  // Closes the converter report dialog when the window closes.
  std::function<void()> OnCloseConverter;
  // Every change of the tiles and the strip, in the order it happened.
  TPanelChanges& PanelChanges() { return panel_changes_; }
  // Problems met while loading the settings (the values then fell back to defaults).
  QStringList SettingsProblems;

 private:
  class TPanelUse;
  // The tiles of ActivePanels as they are now; calls on them check IsListed first, since a
  // call may open a modal box during which the close timer changes the lists.
  std::vector<TDovaPanel*> ListedSnapshot() const { return ActivePanels; }
  bool IsListed(const TDovaPanel* panel) const;
  bool IsBusy(const TDovaPanel* panel) const;
  void FreePanel(TDovaPanel* panel);
  void Notify(TPanelChange change, const TDovaPanel* panel = nullptr);
  QString NewPanelName() const;

  TMainFormServices services_;
  TPanelChanges panel_changes_;
  TPanelContext context_;
  std::vector<std::unique_ptr<TDovaPanel>> panels_;
  std::map<const TDovaPanel*, TRect> rects_;
  // Tiles the main window is calling into right now (with a depth count).
  std::map<const TDovaPanel*, int> busy_;
  // Tiles inside AddPanel, between being unnamed and being listed.
  std::vector<TDovaPanel*> adding_;
  bool closed_ = false;
};

}  // namespace dova
