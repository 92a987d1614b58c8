#include "app/strip_layout.h"

#include <algorithm>

namespace dova {

bool CaptionLess(QStringView a, QStringView b) {
  const std::size_t n = static_cast<std::size_t>(std::min(a.size(), b.size()));
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t x = a[static_cast<qsizetype>(i)].unicode();
    const char16_t y = b[static_cast<qsizetype>(i)].unicode();
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

TStripLayout ArrangeStrip(int strip_width, int banner_width, int tile_width, int tile_height,
                          int count) {
  TStripLayout layout;
  if (count <= 0) return layout;
  const int w = strip_width;
  const int cell_w = tile_width + kTileGap;
  const int cell_h = tile_height + kTileGap;
  layout.StripHeight = kStripMinHeight;
  // Both counts would go negative or zero in a strip narrower than the banner or than one
  // cell; clamp them so that the row arithmetic below never divides by zero.
  int free = std::max(0, (w - banner_width) / cell_w);
  const int per_row = std::max(1, w / cell_w);
  int cap = free;
  int x = w - free * cell_w;
  int y = kTileGap;
  int rest = count;
  layout.Tiles.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    if (rest > 0 && free == 0) {
      rest = count - i;
      if (rest > 0) {
        const int rows = rest / per_row + (rest % per_row > 0 ? 1 : 0);
        free = rest / rows;
        cap = free;
        x = w - free * cell_w;
        y += cell_h;
        layout.StripHeight += cell_h;
      }
    }
    if (rest < cap) {
      x += (cap - rest) * cell_w;
      cap = 0;
    }
    layout.Tiles.push_back({x, y, tile_width, tile_height});
    x += cell_w;
    --free;
  }
  return layout;
}

}  // namespace dova
