#pragma once

#include <vector>

#include "app/strip_layout.h"

namespace dova::mdi {

// A width and a height in pixels.
struct TSize {
  int Width = 0;
  int Height = 0;
  bool operator==(const TSize&) const = default;
};

// Where the Window menu's commands put the trend windows, as plain geometry over the size of
// the MDI area. The windows are given in the order they are listed (top of the stack first)
// and the rectangles come back in the same order.

// One above the other, each as wide as the area; the last one takes what the division left.
std::vector<TRect> TileHorizontally(TSize area, int count);
// Side by side, each as high as the area; the last one takes what the division left.
std::vector<TRect> TileVertically(TSize area, int count);
// Here the windows are given bottom of the stack first: the first at the top left corner,
// each next one `step` pixels further right and down, all of one size that leaves room for
// the steps (but no smaller than 240 x 160 where the area has that much).
std::vector<TRect> Cascade(TSize area, int count, int step);
// The minimised windows of the given sizes in rows along the bottom of the area, left to
// right; a row that is full starts another one above it.
std::vector<TRect> ArrangeMinimised(TSize area, const std::vector<TSize>& sizes);

}  // namespace dova::mdi
