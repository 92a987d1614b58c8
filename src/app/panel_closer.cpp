#include "app/panel_closer.h"

#include "monitor/dova_panel.h"

namespace dova {

TPanelCloser::TPanelCloser(TPanelRoster& roster, TStripModel& strip, TDovaPanel*& selected,
                           TPanelChanges& changes)
    : roster_(roster), strip_(strip), selected_(selected), changes_(changes) {}

std::exception_ptr TPanelCloser::FreeClosing() {
  std::exception_ptr first_error;
  const std::vector<TDovaPanel*> closing = roster_.InStage(TPanelStage::Closing);
  if (closing.empty()) return first_error;
  for (TDovaPanel* p : closing) {
    // A tile the main window is calling into (inside a modal box) waits for a later tick.
    if (!roster_.Is(p, TPanelStage::Closing) || roster_.InUse(p)) continue;
    try {
      p->Disconnect();
    } catch (...) {
      // The tile goes all the same; the error is shown once the tick's work is done.
      if (!first_error) first_error = std::current_exception();
    }
    changes_.Notify(TPanelChange::Freed, p);
    Free(p);
  }
  if (!strip_.Tiles.empty()) {
    if (strip_.Arrange()) changes_.Notify(TPanelChange::StripChanged, nullptr);
    if (!selected_) {
      TDovaPanel* first = strip_.Tiles.front();
      first->Select();
      selected_ = first;
      changes_.Notify(TPanelChange::Selected, first);
    }
  } else {
    selected_ = nullptr;
  }
  return first_error;
}

std::exception_ptr TPanelCloser::CloseAll() {
  std::exception_ptr first_error;
  std::vector<TDovaPanel*> all = strip_.Tiles;
  for (TPanelStage stage : {TPanelStage::Closing, TPanelStage::Unnamed, TPanelStage::Adding}) {
    const std::vector<TDovaPanel*> more = roster_.InStage(stage);
    all.insert(all.end(), more.begin(), more.end());
  }
  DisconnectAll(all, first_error);
  return first_error;
}

void TPanelCloser::DisconnectAll(const std::vector<TDovaPanel*>& panels,
                                 std::exception_ptr& first_error) {
  for (TDovaPanel* p : panels) {
    if (roster_.Is(p, TPanelStage::None)) continue;
    strip_.Remove(p);
    // A tile still in use (inside a modal box) waits as closing; the form frees it at last.
    roster_.Move(p, TPanelStage::Closing);
    if (selected_ == p) selected_ = nullptr;
    try {
      p->Disconnect();
    } catch (...) {
      if (!first_error) first_error = std::current_exception();
    }
    changes_.Notify(TPanelChange::Freed, p);
    if (!roster_.InUse(p)) Free(p);
  }
}

void TPanelCloser::Free(TDovaPanel* panel) {
  strip_.Forget(panel);
  roster_.Free(panel);
}

}  // namespace dova
