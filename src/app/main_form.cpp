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
  strip_.Tiles.clear();
  SelectedPanel = nullptr;
  roster_.Clear();
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
    if (!roster_.NameTaken(name)) return name;
  }
}

TDovaPanel& TMainForm::CreatePanel(TUSBXpress& Port) {
  auto owned = std::make_unique<TDovaPanel>(context_);
  // A new tile is hidden, captioned "DOVA" and shows the main window's view range.
  owned->Name = NewPanelName();
  owned->SetViewRange(ViewRangeChecked);
  TDovaPanel* panel = &roster_.Adopt(std::move(owned));
  strip_.PlaceNew(panel);
  try {
    panel->Attach(*this, Port);
  } catch (...) {
    // The enumerator closes the device and offers it again; this tile never ran.
    FreePanel(panel);
    throw;
  }
  // Before its first selection: a renderer binds to the trend windows now.
  Notify(TPanelChange::Created, panel);
  return *panel;
}

void TMainForm::AddPanel(TDovaPanel& panel) {
  TDovaPanel* p = &panel;
  const TPanelStage stage = roster_.StageOf(p);
  if (stage != TPanelStage::Unnamed && stage != TPanelStage::Listed) return;
  Notify(TPanelChange::Named, p);
  if (stage == TPanelStage::Listed) {
    // A second name reply for a listed tile (an incubator that answers "!SET NICK"): the
    // tile stays listed once. It is selected, and the strip is sorted again since its
    // caption may have changed; its log file and record timing are left alone.
    SelectPanel(panel);
    ArrangePanels();
    return;
  }
  roster_.Move(p, TPanelStage::Adding);
  {
    TPanelUse use(roster_, p);
    // Opening the log may show the modal size warning, and timers run while it is open: if
    // the link fails meanwhile, RemovePanel moves the tile on to closing and it never joins
    // the strip. Setting the interval opens no box.
    panel.SetDirectory(Directory);
    if (!roster_.Is(p, TPanelStage::Adding)) return;
    panel.SetLogInterval(LogInterval);
  }
  roster_.Move(p, TPanelStage::Listed);
  if (SelectedPanel) SelectedPanel->Deselect();
  strip_.Append(p);
  SelectedPanel = p;
  panel.Select();
  ArrangePanels();
  TileGraphWindows();
  Notify(TPanelChange::Listed, p);
  Notify(TPanelChange::Selected, p);
}

void TMainForm::RemovePanel(TDovaPanel& panel) {
  TDovaPanel* p = &panel;
  switch (roster_.StageOf(p)) {
    case TPanelStage::Listed:
      if (SelectedPanel == p) {
        panel.Deselect();
        SelectedPanel = nullptr;
      }
      panel.SetVisible(false);
      strip_.Remove(p);
      break;
    case TPanelStage::Unnamed:
    case TPanelStage::Adding:
      // A link that fails before the incubator told its name ends like any other.
      panel.SetVisible(false);
      break;
    default:
      return;  // already closing, or not ours
  }
  roster_.Move(p, TPanelStage::Closing);
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
  if (strip_.Arrange()) Notify(TPanelChange::StripChanged);
}

void TMainForm::CloseDovaTimerTimer() {
  std::exception_ptr first_error;
  const std::vector<TDovaPanel*> closing = ClosingPanels();
  if (!closing.empty()) {
    for (TDovaPanel* p : closing) {
      // A tile the main window is calling into (inside a modal box) waits for a later tick.
      if (!roster_.Is(p, TPanelStage::Closing) || roster_.InUse(p)) continue;
      try {
        p->Disconnect();
      } catch (...) {
        // The tile goes all the same; the error is shown once the tick's work is done.
        if (!first_error) first_error = std::current_exception();
      }
      Notify(TPanelChange::Freed, p);
      FreePanel(p);
    }
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
  strip_.Tiles.reserve(100);
}

void TMainForm::FormShow() {
  strip_.ResetHeights();
  Notify(TPanelChange::StripChanged);
}

void TMainForm::FormResize(int width) {
  strip_.Width = width;
  strip_.Arrange();
  Notify(TPanelChange::StripChanged);
}

void TMainForm::FormClose() {
  // Nothing new may arrive while the window goes.
  USBXpressEnumerator.SetSearchEnabled(false);
  CloseDovaTimer.SetEnabled(false);
  std::exception_ptr first_error;
  // The listed tiles first, in strip order; then those that lost their link or never told
  // their name: they get their last log line too.
  std::vector<TDovaPanel*> all = ActivePanels;
  for (TPanelStage stage : {TPanelStage::Closing, TPanelStage::Unnamed, TPanelStage::Adding}) {
    const std::vector<TDovaPanel*> more = roster_.InStage(stage);
    all.insert(all.end(), more.begin(), more.end());
  }
  DisconnectAll(all, first_error);
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

// ---------------------------------------------------------------- helpers

TRect TMainForm::PanelRect(const TDovaPanel& panel) const {
  return strip_.Rect(panel);
}

std::vector<const TDovaPanel*> TMainForm::Panels() const {
  const std::vector<TDovaPanel*> all = roster_.All();
  return std::vector<const TDovaPanel*>(all.begin(), all.end());
}

std::vector<TDovaPanel*> TMainForm::Panels() {
  return roster_.All();
}

std::vector<const TGraphWindow*> TMainForm::MdiWindows() const {
  // A tile makes its windows MDI children right, gas, left, so left ends on top.
  std::vector<const TGraphWindow*> windows;
  for (const TDovaPanel* p : roster_.All()) {
    for (const TGraphWindow* w : {static_cast<const TGraphWindow*>(p->LeftTempGraph.get()),
                                  static_cast<const TGraphWindow*>(p->GasFlowGraph.get()),
                                  static_cast<const TGraphWindow*>(p->RightTempGraph.get())}) {
      if (w && w->MdiChild()) windows.push_back(w);
    }
  }
  return windows;
}

bool TMainForm::IsListed(const TDovaPanel* panel) const {
  return roster_.Is(panel, TPanelStage::Listed);
}

void TMainForm::ForEachListed(const std::function<void(TDovaPanel&)>& call) {
  for (TDovaPanel* p : std::vector<TDovaPanel*>(ActivePanels)) {
    if (!IsListed(p)) continue;
    TPanelUse use(roster_, p);
    call(*p);
  }
}

void TMainForm::DisconnectAll(const std::vector<TDovaPanel*>& panels,
                              std::exception_ptr& first_error) {
  for (TDovaPanel* p : panels) {
    if (roster_.Is(p, TPanelStage::None)) continue;
    strip_.Remove(p);
    // A tile still in use (inside a modal box) waits as closing; the form frees it at last.
    roster_.Move(p, TPanelStage::Closing);
    if (SelectedPanel == p) SelectedPanel = nullptr;
    try {
      p->Disconnect();
    } catch (...) {
      if (!first_error) first_error = std::current_exception();
    }
    Notify(TPanelChange::Freed, p);
    if (!roster_.InUse(p)) FreePanel(p);
  }
}

void TMainForm::FreePanel(TDovaPanel* panel) {
  strip_.Forget(panel);
  roster_.Free(panel);
}

void TMainForm::Notify(TPanelChange change, const TDovaPanel* panel) {
  panel_changes_.Notify(change, panel);
}

}  // namespace dova
