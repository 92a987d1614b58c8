// The polyline a trend chart draws: every point while there are few, a handful per pixel
// column once there are many, and always on to the plot's edges.
#include "graphs/line_pixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace dova {
namespace {

// One pixel per unit of time, values upside down as on screen.
const TPixelMap kMap{1, 0, -1, 100};

TLineSeries Series(int n, double (*value)(int)) {
  TLineSeries s;
  for (int i = 0; i < n; ++i)
    s.Add({i / 10.0, value(i)});  // ten points per pixel column
  return s;
}

TEST(LinePixels, FewPointsAreAllDrawnWithOneBeyondEachEdge) {
  TLineSeries s;
  for (int i = 0; i < 10; ++i)
    s.Add({i * 10.0, double(i)});
  QVector<QPointF> out;
  LinePixels(s, 25, 55, kMap, out);
  // 20 (before 25), 30, 40, 50, 60 (after 55).
  ASSERT_EQ(out.size(), 5);
  EXPECT_EQ(out.front(), QPointF(20, 98));
  EXPECT_EQ(out.back(), QPointF(60, 94));

  LinePixels(s, 200, 300, kMap, out);  // after the newest point: the last one only
  EXPECT_EQ(out.size(), 1);
  LinePixels(TLineSeries{}, 0, 100, kMap, out);
  EXPECT_TRUE(out.isEmpty());
}

// Many points per column: at most four each, and the column still spans its lowest and highest
// value in the order they came, and joins its neighbours from its first and last point.
TEST(LinePixels, DenseLinesKeepEveryColumnsExtremesInOrder) {
  const struct {
    const char* name;
    double (*value)(int);
  } cases[] = {
      {"zig-zag", [](int i) { return (i % 2) ? 1.0 : -1.0; }},
      {"rising", [](int i) { return i * 0.01; }},
      {"falling then spike", [](int i) { return (i % 10 == 3) ? 50.0 : -i * 0.01; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TLineSeries s = Series(10000, c.value);
    QVector<QPointF> out;
    LinePixels(s, 0, s.Last().x, kMap, out);
    EXPECT_LE(out.size(), 4 * 1000 + 4);
    EXPECT_GE(out.size(), 1000);
    for (int column = 0; column < 1000; ++column) {
      double low = 1e9, high = -1e9;
      for (int i = column * 10; i < column * 10 + 10; ++i) {
        low = std::min(low, c.value(i));
        high = std::max(high, c.value(i));
      }
      double drawn_low = 1e9, drawn_high = -1e9;
      for (const QPointF& p : out)
        if (std::floor(p.x()) == column) {
          drawn_low = std::min(drawn_low, 100 - p.y());
          drawn_high = std::max(drawn_high, 100 - p.y());
        }
      ASSERT_NEAR(drawn_low, low, 1e-9) << "column " << column;
      ASSERT_NEAR(drawn_high, high, 1e-9) << "column " << column;
    }
    // Points stay in time order, and the line starts and ends at the real first and last point.
    EXPECT_TRUE(
        std::is_sorted(out.begin(), out.end(), [](QPointF a, QPointF b) { return a.x() < b.x(); }));
    EXPECT_EQ(out.front(), kMap(s.First()));
    EXPECT_EQ(out.back(), kMap(s.Last()));
  }
}

}  // namespace
}  // namespace dova

namespace dova {
namespace {

TEST(LinePixels, APointWithoutValueBreaksTheLineWhetherSampledOrNot) {
  // Dense (ten points a column) and sparse (one point every ten columns).
  for (const double step : {0.1, 10.0}) {
    TLineSeries s;
    for (int i = 0; i < 400; ++i)
      s.Add({i * step, i == 200 ? std::nan("") : double(i % 7)});
    QVector<QPointF> out;
    LinePixels(s, 0, 400 * step, kMap, out);
    const auto breaks =
        std::count_if(out.begin(), out.end(), [](const QPointF& p) { return std::isnan(p.y()); });
    EXPECT_EQ(breaks, 1) << step;
    // The break stands where its point does, between the stretches before and after it.
    const auto at =
        std::find_if(out.begin(), out.end(), [](const QPointF& p) { return std::isnan(p.y()); });
    ASSERT_NE(at, out.end());
    EXPECT_DOUBLE_EQ(at->x(), 200 * step);
    EXPECT_LT((at - 1)->x(), at->x());
    EXPECT_GT((at + 1)->x(), at->x());
  }
}

}  // namespace
}  // namespace dova
