#pragma once

#include <QString>
#include <QStringView>
#include <cstddef>
#include <utility>
#include <vector>

namespace dova {

// A rectangle in the strip, in pixels.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  bool operator==(const TRect&) const = default;
};

// Caption order: strings of 16-bit code units compared by value, no locale (upper case
// before lower case, a prefix before its extensions).
bool CaptionLess(QStringView a, QStringView b);

// Sorts the tiles by caption with neighbour swaps until a pass moves nothing, so tiles
// with equal captions keep their order. caption(item) gives the text.
template <typename T, typename CaptionOf>
void SortByCaption(std::vector<T>& items, CaptionOf caption) {
  if (items.size() < 2) return;
  bool moved = true;
  while (moved) {
    moved = false;
    for (std::size_t i = 0; i + 1 < items.size(); ++i) {
      if (CaptionLess(caption(items[i + 1]), caption(items[i]))) {
        std::swap(items[i], items[i + 1]);
        moved = true;
      }
    }
  }
}

// Where the tiles of the strip go.
struct TStripLayout {
  std::vector<TRect> Tiles;  // in list order
  int StripHeight = 0;
};

inline constexpr int kBannerWidth = 300;
inline constexpr int kStripMinHeight = 78;
inline constexpr int kTileGap = 2;

// Lays out `count` tiles of tile_width x tile_height in a strip `strip_width` wide with the
// banner at its left: right-aligned rows, the first beside the banner, the others full
// width below it, each further row taking its share of the tiles still to place and adding
// one cell height to the strip. A strip narrower than one cell gets one tile per row,
// right-aligned (the tile then reaches past the strip's left edge); a strip narrower than
// the banner leaves the first row empty.
TStripLayout ArrangeStrip(int strip_width, int banner_width, int tile_width, int tile_height,
                          int count);

}  // namespace dova
