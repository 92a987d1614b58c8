#include "app/panel_roster.h"

#include <algorithm>
#include <utility>

#include "monitor/dova_panel.h"

namespace dova {

TPanelRoster::~TPanelRoster() {
  Clear();
}

TDovaPanel& TPanelRoster::Adopt(std::unique_ptr<TDovaPanel> panel) {
  TDovaPanel& p = *panel;
  TEntry& entry = entries_[&p];
  entry.Panel = std::move(panel);
  entry.Made = entry.Since = ++clock_;
  return p;
}

TPanelStage TPanelRoster::StageOf(const TDovaPanel* panel) const {
  const auto it = entries_.find(panel);
  return it == entries_.end() ? TPanelStage::None : it->second.Stage;
}

void TPanelRoster::Move(const TDovaPanel* panel, TPanelStage stage) {
  const auto it = entries_.find(panel);
  if (it == entries_.end()) return;
  it->second.Stage = stage;
  it->second.Since = ++clock_;
}

std::vector<TDovaPanel*> TPanelRoster::Ordered(TPanelStage stage, bool by_stage) const {
  std::vector<const TEntry*> found;
  for (const auto& [panel, entry] : entries_)
    if (!by_stage || entry.Stage == stage) found.push_back(&entry);
  std::sort(found.begin(), found.end(), [by_stage](const TEntry* a, const TEntry* b) {
    return by_stage ? a->Since < b->Since : a->Made < b->Made;
  });
  std::vector<TDovaPanel*> panels;
  panels.reserve(found.size());
  for (const TEntry* entry : found)
    panels.push_back(entry->Panel.get());
  return panels;
}

std::vector<TDovaPanel*> TPanelRoster::InStage(TPanelStage stage) const {
  return Ordered(stage, true);
}

std::vector<TDovaPanel*> TPanelRoster::All() const {
  return Ordered(TPanelStage::None, false);
}

bool TPanelRoster::NameTaken(const QString& name) const {
  return std::any_of(entries_.begin(), entries_.end(),
                     [&](const auto& e) { return e.second.Panel->Name == name; });
}

TPanelRoster::TUse::TUse(TPanelRoster& roster, const TDovaPanel* panel)
    : roster_(roster), panel_(panel) {
  if (const auto it = roster_.entries_.find(panel_); it != roster_.entries_.end())
    ++it->second.Uses;
}

TPanelRoster::TUse::~TUse() {
  if (const auto it = roster_.entries_.find(panel_); it != roster_.entries_.end())
    --it->second.Uses;
}

bool TPanelRoster::InUse(const TDovaPanel* panel) const {
  const auto it = entries_.find(panel);
  return it != entries_.end() && it->second.Uses > 0;
}

void TPanelRoster::Free(const TDovaPanel* panel) {
  const auto it = entries_.find(panel);
  if (it == entries_.end()) return;
  // Out of the roster first: the tile's destructor finds it gone.
  std::unique_ptr<TDovaPanel> owned = std::move(it->second.Panel);
  entries_.erase(it);
}

void TPanelRoster::Clear() {
  while (!entries_.empty())
    Free(entries_.begin()->first);
}

}  // namespace dova
