#include "app/main_form.h"

#include <QDir>
#include <algorithm>
#include <cmath>
#include <exception>

#include "app/settings.h"
#include "graphs/graph_window.h"
#include "platform/random.h"
#include "protocol/protocol.h"

namespace dova {

namespace {

template <typename T>
bool Contains(const std::vector<T*>& list, const T* item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

template <typename T>
bool Erase(std::vector<T*>& list, const T* item) {
  auto it = std::find(list.begin(), list.end(), item);
  if (it == list.end()) return false;
  list.erase(it);
  return true;
}

}  // namespace

// Marks a tile as in use while the main window calls into it: a modal box inside that call
// lets the close timer run, and the timer must not free the tile under our feet.
class TMainForm::TPanelUse {
 public:
  TPanelUse(TMainForm& form, TDovaPanel* panel) : form_(form), panel_(panel) {
    ++form_.busy_[panel_];
  }
  ~TPanelUse() {
    if (--form_.busy_[panel_] == 0) form_.busy_.erase(panel_);
  }
  TPanelUse(const TPanelUse&) = delete;
  TPanelUse& operator=(const TPanelUse&) = delete;

 private:
  TMainForm& form_;
  TDovaPanel* panel_;
};

TMainForm::TMainForm(const TMainFormServices& services)
    : USBXpressEnumerator(services.Sched, services.Library),
      CloseDovaTimer(services.Sched, kCloseDovaTimerMs, true),
      services_(services),
      context_{services.Sched, services.MessageBoxes, services.Format, services.Files} {
  USBXpressEnumerator.SetSerialPrefix(QStringLiteral("dova300"));
  USBXpressEnumerator.SetSearchInterval(100);
  USBXpressEnumerator.OnNewPort = [this](TUSBXpressEnumerator& sender, TUSBXpress& port,
                                         const QString& serial) {
    USBXpressEnumeratorNewPort(sender, port, serial);
  };
  CloseDovaTimer.SetOnTimer([this] { CloseDovaTimerTimer(); });
  FormCreate();
  USBXpressEnumerator.Loaded();
}

TMainForm::~TMainForm() {
  // Tiles hold references to ports that the enumerator owns: they go first.
  ActivePanels.clear();
  ClosingPanels.clear();
  UnnamedPanels.clear();
  SelectedPanel = nullptr;
  panels_.clear();
}

// ---------------------------------------------------------------- tiles

void TMainForm::USBXpressEnumeratorNewPort(TUSBXpressEnumerator& /*Sender*/, TUSBXpress& Port,
                                           const QString& /*Serial*/) {
  CreatePanel(Port);
}

QString TMainForm::NewPanelName() const {
  // Names are drawn at random; a clash with a tile of this window draws again.
  for (;;) {
    const auto n = static_cast<int>(std::trunc(Random() * 1000000.0));
    const QString name = QStringLiteral("DOVAPanel") + QString::number(n);
    const bool taken =
        std::any_of(panels_.begin(), panels_.end(), [&](const auto& p) { return p->Name == name; });
    if (!taken) return name;
  }
}

TDovaPanel& TMainForm::CreatePanel(TUSBXpress& Port) {
  auto owned = std::make_unique<TDovaPanel>(context_);
  TDovaPanel* panel = owned.get();
  // A new tile is hidden, captioned "DOVA" and shows the main window's view range.
  panel->Name = NewPanelName();
  panel->SetViewRange(ViewRangeChecked);
  rects_[panel] = TRect{StripWidth - kTileWidth, kTileGap, kTileWidth, kTileHeight};
  panels_.push_back(std::move(owned));
  UnnamedPanels.push_back(panel);
  try {
    panel->Attach(*this, Port);
  } catch (...) {
    // The enumerator closes the device and offers it again; this tile never ran.
    Erase(UnnamedPanels, panel);
    FreePanel(panel);
    throw;
  }
  // Before its first selection: a renderer binds to the trend windows now.
  Notify(TPanelChange::Created, panel);
  return *panel;
}

void TMainForm::AddPanel(TDovaPanel& panel) {
  TDovaPanel* p = &panel;
  if (Contains(ClosingPanels, p) || Contains(adding_, p)) return;
  Notify(TPanelChange::Named, p);
  if (IsListed(p)) {
    // A second name reply for a listed tile (an incubator that answers "!SET NICK"): the
    // tile stays listed once. It is selected, and the strip is sorted again since its
    // caption may have changed; its log file and record timing are left alone.
    SelectPanel(panel);
    ArrangePanels();
    return;
  }
  Erase(UnnamedPanels, p);
  adding_.push_back(p);
  {
    TPanelUse use(*this, p);
    // Either call may open a modal box; if the link fails meanwhile, RemovePanel takes the
    // tile out of adding_ and it goes to the close list instead of the strip.
    panel.SetDirectory(Directory);
    if (!Contains(adding_, p)) return;
    panel.SetLogInterval(LogInterval);
    if (!Contains(adding_, p)) return;
  }
  Erase(adding_, p);
  if (SelectedPanel) SelectedPanel->Deselect();
  ActivePanels.push_back(p);
  SelectedPanel = p;
  panel.Select();
  ArrangePanels();
  TileGraphWindows();
  Notify(TPanelChange::Listed, p);
  Notify(TPanelChange::Selected, p);
}

void TMainForm::RemovePanel(TDovaPanel& panel) {
  TDovaPanel* p = &panel;
  if (IsListed(p)) {
    if (SelectedPanel == p) {
      panel.Deselect();
      SelectedPanel = nullptr;
    }
    panel.SetVisible(false);
    Erase(ActivePanels, p);
  } else if (Erase(UnnamedPanels, p) || Erase(adding_, p)) {
    // A link that fails before the incubator told its name ends like any other.
    panel.SetVisible(false);
  } else {
    return;  // already closing, or not ours
  }
  ClosingPanels.push_back(p);
  Notify(TPanelChange::Closing, p);
}

void TMainForm::SelectPanel(TDovaPanel& panel) {
  if (SelectedPanel == &panel || !IsListed(&panel)) return;
  if (SelectedPanel) SelectedPanel->Deselect();
  // Selecting the tile stacks its windows (it asks for that itself): once per click.
  panel.Select();
  SelectedPanel = &panel;
  Notify(TPanelChange::Selected, &panel);
}

void TMainForm::TileGraphWindows() {
  ++TileGraphWindowsCount;
  TiledWindows = MdiWindows();
}

void TMainForm::ArrangePanels() {
  SortByCaption(ActivePanels, [](const TDovaPanel* p) { return QStringView(p->Caption.Text); });
  if (ActivePanels.empty()) return;
  const TStripLayout layout = ArrangeStrip(StripWidth, kBannerWidth, kTileWidth, kTileHeight,
                                           static_cast<int>(ActivePanels.size()));
  for (std::size_t i = 0; i < ActivePanels.size(); ++i)
    rects_[ActivePanels[i]] = layout.Tiles[i];
  StripHeight = layout.StripHeight;
  Notify(TPanelChange::StripChanged);
}

void TMainForm::CloseDovaTimerTimer() {
  std::exception_ptr first_error;
  if (!ClosingPanels.empty()) {
    // A tile the main window is calling into (inside a modal box) waits for a later tick.
    std::vector<TDovaPanel*> keep;
    while (!ClosingPanels.empty()) {
      TDovaPanel* p = ClosingPanels.front();
      ClosingPanels.erase(ClosingPanels.begin());
      if (IsBusy(p)) {
        keep.push_back(p);
        continue;
      }
      try {
        p->Disconnect();
      } catch (...) {
        // The tile goes all the same; the error is shown once the tick's work is done.
        if (!first_error) first_error = std::current_exception();
      }
      Notify(TPanelChange::Freed, p);
      FreePanel(p);
    }
    ClosingPanels.insert(ClosingPanels.begin(), keep.begin(), keep.end());
    if (!ActivePanels.empty()) {
      ArrangePanels();
      if (!SelectedPanel) {
        TDovaPanel* first = ActivePanels.front();
        first->Select();
        SelectedPanel = first;
        Notify(TPanelChange::Selected, first);
      }
    } else {
      SelectedPanel = nullptr;
    }
  }
  services_.Awake.KeepSystemAwake();
  if (first_error) std::rethrow_exception(first_error);
}

// ---------------------------------------------------------------- life cycle

void TMainForm::FormCreate() {
  const TSettings settings =
      LoadSettings(services_.Settings, services_.DocumentsFolder, &SettingsProblems);
  Directory = settings.Directory;
  LogInterval = settings.LogInterval;
  // The documents folder is taken to exist, as it always does on Windows; a fresh Linux
  // account may not have one yet, and the default data folder lies right inside it.
  if (!services_.DocumentsFolder.isEmpty() &&
      Directory == DefaultDataDirectory(services_.DocumentsFolder))
    QDir().mkpath(services_.DocumentsFolder);
  // One level only; a failure shows up later as the log file's own error.
  if (!Directory.isEmpty()) QDir().mkdir(Directory);
  ActivePanels.reserve(100);
}

void TMainForm::FormShow() {
  BannerHeight = kTileHeight;
  StripHeight = std::max(kStripMinHeight, kTileHeight);
  Notify(TPanelChange::StripChanged);
}

void TMainForm::FormResize(int width) {
  StripWidth = width;
  ArrangePanels();
  ArrangePanels();
  Notify(TPanelChange::StripChanged);
}

void TMainForm::FormClose() {
  if (OnCloseConverter) OnCloseConverter();
  // Nothing new may arrive while the window goes.
  USBXpressEnumerator.SetSearchEnabled(false);
  CloseDovaTimer.SetEnabled(false);
  std::exception_ptr first_error;
  auto disconnect_all = [&](std::vector<TDovaPanel*>& list) {
    while (!list.empty()) {
      TDovaPanel* p = list.front();
      list.erase(list.begin());
      if (SelectedPanel == p) SelectedPanel = nullptr;
      try {
        p->Disconnect();
      } catch (...) {
        if (!first_error) first_error = std::current_exception();
      }
      Notify(TPanelChange::Freed, p);
      if (!IsBusy(p)) FreePanel(p);
    }
  };
  disconnect_all(ActivePanels);
  // Tiles that lost their link or never told their name get their last log line too.
  disconnect_all(ClosingPanels);
  disconnect_all(UnnamedPanels);
  disconnect_all(adding_);
  if (first_error) std::rethrow_exception(first_error);
}

void TMainForm::Close() {
  if (closed_) return;
  closed_ = true;
  try {
    FormClose();
  } catch (...) {
    if (OnClosed) OnClosed();
    throw;
  }
  if (OnClosed) OnClosed();
}

// ---------------------------------------------------------------- menu commands

void TMainForm::DataDirClick() {
  const std::optional<QString> folder = services_.Dialogs.FoldersDlg.Execute(Directory);
  if (!folder) return;
  Directory = *folder;
  SaveDirectory(services_.Settings, Directory);
  for (TDovaPanel* p : ListedSnapshot()) {
    if (!IsListed(p)) continue;
    TPanelUse use(*this, p);
    p->SetDirectory(Directory);
  }
}

void TMainForm::LoggingIntervalClick() {
  const std::optional<QString> text = services_.Dialogs.LogIntervalDlg.Execute(LogInterval);
  if (!text) return;
  // The whole-number syntax of the rest of the program: leading blanks, a sign, decimal or
  // "$"/"0x" hexadecimal, nothing after the digits.
  const std::optional<std::int32_t> minutes = protocol::ParseInteger(QStringView(*text));
  if (!minutes) {
    throw Exception(QStringLiteral("''%1'' is not a valid integer value").arg(*text).toStdString());
  }
  if (*minutes < 1 || *minutes > 10) return;
  LogInterval = static_cast<std::uint8_t>(*minutes);
  SaveLogInterval(services_.Settings, LogInterval);
  for (TDovaPanel* p : ListedSnapshot()) {
    if (!IsListed(p)) continue;
    TPanelUse use(*this, p);
    p->SetLogInterval(LogInterval);
  }
}

void TMainForm::ClearDOVAData1Click() {
  if (!SelectedPanel) return;
  const bool yes =
      services_.Dialogs.Boxes.Confirm(QStringLiteral("Delete all logged data for ") +
                                      SelectedPanel->Caption.Text + QStringLiteral("?"));
  // The box was modal: act on the tile selected now, if any.
  if (!yes || !SelectedPanel) return;
  TPanelUse use(*this, SelectedPanel);
  SelectedPanel->ClearLog();
}

void TMainForm::Name1Click() {
  if (!SelectedPanel) return;
  QString name = SelectedPanel->GetNick();
  for (;;) {
    const std::optional<QString> entered = services_.Dialogs.EditNameDlg.Execute(name);
    if (!entered) return;
    name = *entered;
    if (IsValidName(name)) break;
    services_.Dialogs.Boxes.ShowError(QString::fromUtf8(kInvalidNameText));
  }
  // The dialog was modal: rename the tile selected now; none selected, nothing to do.
  if (!SelectedPanel) return;
  {
    TPanelUse use(*this, SelectedPanel);
    SelectedPanel->Rename(name);
  }
  ArrangePanels();
}

void TMainForm::ViewRangeClick(int minutes) {
  ViewRangeChecked = minutes;
  for (TDovaPanel* p : ListedSnapshot()) {
    if (!IsListed(p)) continue;
    TPanelUse use(*this, p);
    p->SetViewRange(minutes);
  }
}

void TMainForm::HelpAbout1Execute() {
  services_.Dialogs.AboutBox.ShowModal();
}

// ---------------------------------------------------------------- helpers

TRect TMainForm::PanelRect(const TDovaPanel& panel) const {
  auto it = rects_.find(&panel);
  return it == rects_.end() ? TRect{} : it->second;
}

std::vector<const TDovaPanel*> TMainForm::Panels() const {
  std::vector<const TDovaPanel*> all;
  for (const auto& p : panels_)
    all.push_back(p.get());
  return all;
}

std::vector<const TGraphWindow*> TMainForm::MdiWindows() const {
  // A tile makes its windows MDI children right, gas, left, so left ends on top.
  std::vector<const TGraphWindow*> windows;
  for (const auto& p : panels_) {
    for (const TGraphWindow* w : {static_cast<const TGraphWindow*>(p->LeftTempGraph.get()),
                                  static_cast<const TGraphWindow*>(p->GasFlowGraph.get()),
                                  static_cast<const TGraphWindow*>(p->RightTempGraph.get())}) {
      if (w && w->MdiChild()) windows.push_back(w);
    }
  }
  return windows;
}

bool TMainForm::IsListed(const TDovaPanel* panel) const {
  return Contains(ActivePanels, panel);
}

bool TMainForm::IsBusy(const TDovaPanel* panel) const {
  return busy_.count(panel) > 0;
}

void TMainForm::FreePanel(TDovaPanel* panel) {
  rects_.erase(panel);
  auto it = std::find_if(panels_.begin(), panels_.end(),
                         [&](const auto& owned) { return owned.get() == panel; });
  if (it != panels_.end()) panels_.erase(it);
}

void TMainForm::Notify(TPanelChange change, const TDovaPanel* panel) {
  panel_changes_.Notify(change, panel);
}

}  // namespace dova
