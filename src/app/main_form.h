#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/command_table.h"
#include "app/dialogs.h"
#include "app/panel_roster.h"
#include "app/strip_layout.h"
#include "app/strip_model.h"
#include "monitor/dova_panel.h"
#include "monitor/panel_host.h"
#include "monitor/tile_directory.h"
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

// The main window as plain state: the device enumerator, the tiles (a roster of their
// stages), the selection, the strip (a model of its layout), the close timer and the menu
// commands (command_table.h lists them). A renderer draws what it holds, follows its panel
// changes and forwards clicks and menu choices to it.
//
// Each tile has one stage while it exists: attached but not yet named (UnnamedPanels),
// being added, listed in the strip (ActivePanels), or waiting to be freed (ClosingPanels).
// A tile is freed only by the close timer or FormClose, never inside a call it makes, and
// never while the main window is inside a call to it.
class TMainForm : public IPanelHost, public ITileDirectory {
  // The parts come first: the references below point into them.
  TPanelRoster roster_;
  TStripModel strip_;

 public:
  // How the tiles changed (tile_directory.h tells each change).
  using TPanelChange = dova::TPanelChange;
  using TPanelChanges = dova::TPanelChanges;

  static constexpr const char* kCaption = "DOVA-300 Benchtop Incubator Logger ";
  static constexpr std::uint32_t kCloseDovaTimerMs = 1000;
  static constexpr int kInitialStripWidth = TStripModel::kInitialWidth;

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
  // The listed tiles, in strip order.
  const std::vector<TDovaPanel*>& ActivePanels = strip_.Tiles;
  // The tiles whose link ended, in the order they closed.
  std::vector<TDovaPanel*> ClosingPanels() const { return roster_.InStage(TPanelStage::Closing); }
  // Attached tiles whose incubator has not told its name yet.
  std::vector<TDovaPanel*> UnnamedPanels() const { return roster_.InStage(TPanelStage::Unnamed); }
  TDovaPanel* SelectedPanel = nullptr;
  QString Directory;
  std::uint8_t LogInterval = 5;

  QString Caption = QString::fromLatin1(kCaption);
  const int& StripWidth = strip_.Width;
  const int& StripHeight = strip_.Height;
  const int& BannerHeight = strip_.BannerHeight;
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
  std::vector<const TDovaPanel*> Panels() const override;
  std::vector<TDovaPanel*> Panels();
  // The MDI windows that exist now, top of the stack first.
  std::vector<const TGraphWindow*> MdiWindows() const;

  // Hooks for front ends.
  std::function<void()> OnClosed;
  // Every change of the tiles and the strip, in the order it happened.
  TPanelChanges& PanelChanges() override { return panel_changes_; }
  bool IsListed(const TDovaPanel& panel) const override { return IsListed(&panel); }
  // Problems met while loading the settings (the values then fell back to defaults).
  QStringList SettingsProblems;

 private:
  using TPanelUse = TPanelRoster::TUse;
  // Runs `call` on every listed tile; each is checked before its call, since a call may
  // open a modal box during which the close timer changes the lists.
  void ForEachListed(const std::function<void(TDovaPanel&)>& call);
  bool IsListed(const TDovaPanel* panel) const;
  // Disconnects the tiles, tells that they are freed and frees those not in use.
  void DisconnectAll(const std::vector<TDovaPanel*>& panels, std::exception_ptr& first_error);
  void FreePanel(TDovaPanel* panel);
  void Notify(TPanelChange change, const TDovaPanel* panel = nullptr);
  QString NewPanelName() const;

  TMainFormServices services_;
  TPanelChanges panel_changes_;
  TPanelContext context_;
  bool closed_ = false;
};

}  // namespace dova
