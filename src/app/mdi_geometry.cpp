#include "app/mdi_geometry.h"

#include <algorithm>

namespace dova::mdi {

std::vector<TRect> TileHorizontally(TSize area, int count) {
  std::vector<TRect> rects;
  if (count <= 0) return rects;
  const int each = area.Height / count;
  for (int i = 0; i < count; ++i) {
    const int top = i * each;
    rects.push_back(TRect{0, top, area.Width, i == count - 1 ? area.Height - top : each});
  }
  return rects;
}

std::vector<TRect> TileVertically(TSize area, int count) {
  std::vector<TRect> rects;
  if (count <= 0) return rects;
  const int each = area.Width / count;
  for (int i = 0; i < count; ++i) {
    const int left = i * each;
    rects.push_back(TRect{left, 0, i == count - 1 ? area.Width - left : each, area.Height});
  }
  return rects;
}

std::vector<TRect> Cascade(TSize area, int count, int step) {
  std::vector<TRect> rects;
  if (count <= 0) return rects;
  const int width = std::max(area.Width - step * (count - 1), std::min(area.Width, 240));
  const int height = std::max(area.Height - step * (count - 1), std::min(area.Height, 160));
  for (int i = 0; i < count; ++i)
    rects.push_back(TRect{i * step, i * step, width, height});
  return rects;
}

std::vector<TRect> ArrangeMinimised(TSize area, const std::vector<TSize>& sizes) {
  std::vector<TRect> rects;
  int left = 0;
  int bottom = area.Height;
  for (const TSize& size : sizes) {
    if (left > 0 && left + size.Width > area.Width) {
      left = 0;
      bottom -= size.Height;
    }
    rects.push_back(TRect{left, bottom - size.Height, size.Width, size.Height});
    left += size.Width;
  }
  return rects;
}

}  // namespace dova::mdi
