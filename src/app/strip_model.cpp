#include "app/strip_model.h"

#include <algorithm>

#include "monitor/dova_panel.h"

namespace dova {

TStripModel::TStripModel() : BannerHeight(kTileHeight) {}

void TStripModel::PlaceNew(const TDovaPanel* panel) {
  rects_[panel] = TRect{Width - kTileWidth, kTileGap, kTileWidth, kTileHeight};
}

bool TStripModel::Remove(const TDovaPanel* panel) {
  const auto it = std::find(Tiles.begin(), Tiles.end(), panel);
  if (it == Tiles.end()) return false;
  Tiles.erase(it);
  return true;
}

bool TStripModel::Arrange() {
  SortByCaption(Tiles, [](const TDovaPanel* p) { return QStringView(p->Caption.Text); });
  if (Tiles.empty()) return false;
  const TStripLayout layout =
      ArrangeStrip(Width, kBannerWidth, kTileWidth, kTileHeight, static_cast<int>(Tiles.size()));
  for (std::size_t i = 0; i < Tiles.size(); ++i)
    rects_[Tiles[i]] = layout.Tiles[i];
  Height = layout.StripHeight;
  return true;
}

TRect TStripModel::Rect(const TDovaPanel& panel) const {
  const auto it = rects_.find(&panel);
  return it == rects_.end() ? TRect{} : it->second;
}

void TStripModel::ResetHeights() {
  BannerHeight = kTileHeight;
  Height = std::max(kStripMinHeight, kTileHeight);
}

}  // namespace dova
