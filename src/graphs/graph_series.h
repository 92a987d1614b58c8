#pragma once

#include <QString>
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
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

// What one change did to a series, so a chart that mirrors it can do the same in constant
// time instead of copying three days of points.
enum class TSeriesChangeKind : std::uint8_t {
  Appended,      // Value went in at the end
  Inserted,      // Value went in at Index (the clock was set back)
  FirstRemoved,  // the oldest point left
  LastRemoved,   // the newest point left (a run of equal values merged)
  Cleared,       // every point left
};

template <class Point>
struct TSeriesChange {
  TSeriesChangeKind Kind = TSeriesChangeKind::Cleared;
  std::size_t Index = 0;
  Point Value{};
};

// The points of one series in ascending time order. New points normally go at the end;
// when the clock has been set back, a point goes in after the last one whose time is not
// later than its own. The oldest point leaves from the front once a second, so the store
// is a deque: both ends are cheap, and indexing stays constant-time for the renderer.
//
// Every change counts one revision and is kept in a short journal. A view that remembers the
// revision it has drawn catches up with ChangesSince; when it has fallen further behind than
// the journal reaches (a hidden window, a long stall), it copies the points afresh.
template <class Point>
class TSeries {
 public:
  using const_iterator = typename std::deque<Point>::const_iterator;
  using TChange = TSeriesChange<Point>;

  // A plot tick makes at most three changes per series; this covers a good many ticks.
  static constexpr std::size_t kJournalLength = 64;

  std::size_t Count() const { return points_.size(); }
  bool Empty() const { return points_.empty(); }
  const Point& operator[](std::size_t i) const { return points_[i]; }
  const Point& First() const { return points_.front(); }
  const Point& Last() const { return points_.back(); }
  const_iterator begin() const { return points_.begin(); }
  const_iterator end() const { return points_.end(); }

  void Add(Point p) {
    if (points_.empty() || points_.back().x <= p.x) {
      points_.push_back(p);
      Record({TSeriesChangeKind::Appended, points_.size() - 1, std::move(p)});
      return;
    }
    const auto at = std::upper_bound(points_.begin(), points_.end(), p.x,
                                     [](TDateTime x, const Point& q) { return x < q.x; });
    const std::size_t index = static_cast<std::size_t>(at - points_.begin());
    points_.insert(at, p);
    Record({TSeriesChangeKind::Inserted, index, std::move(p)});
  }
  void DeleteFirst() {
    points_.pop_front();
    Record({TSeriesChangeKind::FirstRemoved, 0, {}});
  }
  void DeleteLast() {
    points_.pop_back();
    Record({TSeriesChangeKind::LastRemoved, points_.size(), {}});
  }
  void Clear() {
    points_.clear();
    Record({TSeriesChangeKind::Cleared, 0, {}});
  }

  // The number of changes since creation.
  std::uint64_t Revision() const { return revision_; }
  // Calls fn(const TChange&) for every change after `revision`, oldest first, and returns true;
  // returns false without calling fn when the journal no longer reaches back that far.
  template <class Fn>
  bool ChangesSince(std::uint64_t revision, Fn&& fn) const {
    if (revision > revision_ || revision_ - revision > kJournalLength) return false;
    for (std::uint64_t r = revision; r < revision_; ++r)
      fn(journal_[r % kJournalLength]);
    return true;
  }

 private:
  void Record(TChange change) {
    journal_[revision_ % kJournalLength] = std::move(change);
    ++revision_;
  }

  std::deque<Point> points_;
  std::uint64_t revision_ = 0;
  std::array<TChange, kJournalLength> journal_{};
};

using TLineSeries = TSeries<TChartPoint>;
using TMarkSeries = TSeries<TMarkPoint>;

}  // namespace dova
