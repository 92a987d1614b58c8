#include <gtest/gtest.h>

#include <QDateTime>

#include "platform/datetime.h"

namespace dova {
namespace {

TEST(DateTimeTest, CountsDaysFrom1899AndConvertsBack) {
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1900, 1, 1, 12), 2.5);
  const TDateTime t = EncodeDateTime(2010, 3, 8, 14, 5, 9, 250);
  EXPECT_DOUBLE_EQ(std::floor(t), 40245.0);
  const QDateTime q = QDateTimeFromDateTime(t);
  EXPECT_EQ(q.date(), QDate(2010, 3, 8));
  EXPECT_EQ(q.time(), QTime(14, 5, 9, 250));
  EXPECT_EQ(MillisecondsBetween(t, t + 2 * kOneSecond), 2000);
  EXPECT_EQ(MillisecondsBetween(t, t + kOneMinute), 60000);
}

}  // namespace
}  // namespace dova
