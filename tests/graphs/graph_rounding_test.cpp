#include "graphs/graph_rounding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace dova {
namespace {

TEST(GraphRoundingTest, TenthsGoHalfToEvenOnTheDecimalValue) {
  struct Case {
    double in;
    double out;
  };
  const Case cases[] = {
      {36.96, 37.0},
      {36.94, 36.9},
      {37.0, 37.0},
      {36.95, 37.0},  // 369.5 -> 370
      {36.85, 36.8},  // 368.5 -> 368
      {36.8500001, 36.9},
      {36.8499999, 36.8},  // not ties
      {0.25, 0.2},
      {0.35, 0.4},
      {0.05, 0.0},
      {0.04, 0.0},
      {-36.95, -37.0},
      {-36.85, -36.8},
      {-0.04, 0.0},
      {1234.56, 1234.6},
      {-5.05, -5.0},
      {36.75, 36.8},
      {0.15, 0.2},
      {1e9 + 0.25, 1e9 + 0.2},
      {36.849999999999994, 36.8},  // the double just below 36.85: not a whole hundredth
  };
  for (const auto& c : cases)
    EXPECT_EQ(RoundToTenth(c.in), c.out) << c.in;
  EXPECT_FALSE(std::signbit(RoundToTenth(-0.04)));
  EXPECT_EQ(RoundToTenth(1e300), 1e300);
  EXPECT_TRUE(std::isnan(RoundToTenth(std::nan(""))));
  EXPECT_EQ(RoundToTenth(-INFINITY), -INFINITY);
}

TEST(GraphRoundingTest, FivesGoHalfToTheMultipleOfTen) {
  struct Case {
    double in;
    double out;
  };
  const Case cases[] = {
      {23, 25},   {22.4, 20},  {12.5, 10},   {17.5, 20},      {22.5, 20},
      {27.5, 30}, {2.5, 0},    {2.6, 5},     {7.4, 5},        {0, 0},
      {-2.5, 0},  {-7.5, -10}, {-12.4, -10}, {12.500001, 15}, {1e9 + 2.5, 1e9},
  };
  for (const auto& c : cases)
    EXPECT_EQ(RoundToFive(c.in), c.out) << c.in;
  EXPECT_TRUE(std::isnan(RoundToFive(std::nan(""))));
}

TEST(GraphRoundingTest, AxisEndsStepPastTheBoundInOneGo) {
  constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
  constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
  EXPECT_EQ(RaisePast(380, 370.1L), 380);  // already above
  EXPECT_EQ(RaisePast(380, 380.0L), 381);  // an end never sits on the bound
  EXPECT_EQ(RaisePast(380, 380.1L), 381);
  EXPECT_EQ(RaisePast(380, 412.7L), 413);
  EXPECT_EQ(RaisePast(60, 1e12L), kMax);
  EXPECT_EQ(RaisePast(60, INFINITY), kMax);
  EXPECT_EQ(RaisePast(60, NAN), 60);
  EXPECT_EQ(LowerPast(360, 369.9L), 360);
  EXPECT_EQ(LowerPast(360, 360.0L), 359);
  EXPECT_EQ(LowerPast(360, 252.9L), 252);
  EXPECT_EQ(LowerPast(0, -0.01L), -1);
  EXPECT_EQ(LowerPast(0, -1e12L), kMin);
  EXPECT_EQ(LowerPast(0, NAN), 0);
}

}  // namespace
}  // namespace dova
