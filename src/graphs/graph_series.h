#pragma once

#include <QString>
#include <algorithm>
#include <cstddef>
#include <deque>

#include "platform/datetime.h"

namespace dova {

// One point of a line series. Three days at one point a second is about 260,000 of these
// per line, so they carry no label.
struct TChartPoint {
  TDateTime x = 0;
  double y = 0;
};

// One point of a mark series: the label is what the mark's box shows.
struct TMarkPoint {
  TDateTime x = 0;
  double y = 0;
  QString label;
};

// The points of one series in ascending time order. New points normally go at the end;
// when the clock has been set back, a point goes in after the last one whose time is not
// later than its own. The oldest point leaves from the front once a second, so the store
// is a deque: both ends are cheap, and indexing stays constant-time for the renderer.
template <class Point>
class TSeries {
 public:
  using const_iterator = typename std::deque<Point>::const_iterator;

  std::size_t Count() const { return points_.size(); }
  bool Empty() const { return points_.empty(); }
  const Point& operator[](std::size_t i) const { return points_[i]; }
  const Point& First() const { return points_.front(); }
  const Point& Last() const { return points_.back(); }
  const_iterator begin() const { return points_.begin(); }
  const_iterator end() const { return points_.end(); }

  void Add(Point p) {
    if (points_.empty() || points_.back().x <= p.x) {
      points_.push_back(std::move(p));
      return;
    }
    const auto at = std::upper_bound(points_.begin(), points_.end(), p.x,
                                     [](TDateTime x, const Point& q) { return x < q.x; });
    points_.insert(at, std::move(p));
  }
  void DeleteFirst() { points_.pop_front(); }
  void DeleteLast() { points_.pop_back(); }
  void Clear() { points_.clear(); }

 private:
  std::deque<Point> points_;
};

using TLineSeries = TSeries<TChartPoint>;
using TMarkSeries = TSeries<TMarkPoint>;

}  // namespace dova
