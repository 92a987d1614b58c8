#include "graphs/line_pixels.h"

#include <algorithm>
#include <cmath>

namespace dova {

namespace {

// One pixel column's points while it is being read.
struct TColumn {
  double column = 0;
  QPointF first, low, high, last;
  bool low_first = true;  // the lowest came before the highest
  int count = 0;

  void Start(double c, QPointF p) {
    column = c;
    first = low = high = last = p;
    low_first = true;
    count = 1;
  }
  void Take(QPointF p) {
    // Pixel y grows downwards: the lowest value has the largest y.
    if (p.y() > low.y()) {
      low = p;
      low_first = false;
    } else if (p.y() < high.y()) {
      high = p;
      low_first = true;
    }
    last = p;
    ++count;
  }
  void Emit(QVector<QPointF>& out) const {
    const auto add = [&out](QPointF p) {
      if (out.isEmpty() || out.back() != p) out.append(p);
    };
    add(first);
    if (count > 1) {
      add(low_first ? low : high);
      add(low_first ? high : low);
      add(last);
    }
  }
};

}  // namespace

void LinePixels(const TLineSeries& series, double lower, double upper, const TPixelMap& map,
                QVector<QPointF>& out) {
  out.clear();
  if (series.Empty() || !(upper >= lower)) return;
  const auto by_time = [](const TChartPoint& p, double x) { return p.x < x; };
  auto begin = std::lower_bound(series.begin(), series.end(), lower, by_time);
  if (begin != series.begin()) --begin;
  auto end = std::upper_bound(begin, series.end(), upper,
                              [](double x, const TChartPoint& p) { return x < p.x; });
  if (end != series.end()) ++end;
  const auto count = static_cast<double>(end - begin);
  if (count <= 0) return;

  const double span = std::abs(map.XScale * (std::prev(end)->x - begin->x));
  if (count < 2 * span + 2) {
    out.reserve(static_cast<qsizetype>(count));
    for (auto it = begin; it != end; ++it)
      out.append(map(*it));
    return;
  }
  out.reserve(static_cast<qsizetype>(4 * span + 8));
  TColumn column;
  bool open = false;
  for (auto it = begin; it != end; ++it) {
    const double px = map.XOffset + map.XScale * it->x;
    const double py = map.YOffset + map.YScale * it->y;
    if (std::isnan(py)) {
      // A break in the line goes through as it is.
      if (open) column.Emit(out);
      out.append(QPointF(px, py));
      open = false;
      continue;
    }
    // The column, as std::floor gives it, without a call into the maths library for each of
    // the hundreds of points a column holds over a year.
    double c = static_cast<double>(static_cast<long long>(px));
    if (c > px) c -= 1;
    if (open && c == column.column) {
      column.Take(QPointF(px, py));
    } else {
      if (open) column.Emit(out);
      column.Start(c, QPointF(px, py));
      open = true;
    }
  }
  if (open) column.Emit(out);
}

}  // namespace dova
