#include "graphs/axis_labels.h"

#include <gtest/gtest.h>

namespace dova {
namespace {

const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);
const QLocale kGerman(QLocale::German, QLocale::Germany);

TEST(AxisLabelsTest, TimeLabels) {
  struct Case {
    TDateTime t;
    QString english;
  };
  const Case cases[] = {
      {EncodeDateTime(2026, 12, 8, 15, 5), "8Dec 3:05pm"},
      {EncodeDateTime(2026, 12, 8, 0, 0), "8Dec 12:00am"},
      {EncodeDateTime(2026, 12, 8, 12, 0), "8Dec 12:00pm"},
      {EncodeDateTime(2026, 1, 31, 9, 59, 59), "31Jan 9:59am"},    // seconds are dropped
      {EncodeDateTime(2026, 12, 8, 15, 5) - 1e-9, "8Dec 3:05pm"},  // a hair below the minute
      {EncodeDateTime(1899, 12, 29, 23, 0), "29Dec 11:00pm"},      // before the zero day
  };
  for (const Case& c : cases)
    EXPECT_EQ(FormatTimeLabel(c.t, kEnglish), c.english);
  EXPECT_EQ(FormatTimeLabel(EncodeDateTime(2026, 12, 8, 15, 5), kGerman),
            "8" + kGerman.monthName(12, QLocale::ShortFormat) + " 3:05pm");
}

TEST(AxisLabelsTest, NumbersKeepTheirDecimalsAndTheLocalesSeparators) {
  struct Case {
    double value;
    int min, max;
    QString english, german;
  };
  const Case cases[] = {
      {37, 1, 3, "37.0", "37,0"},
      {37.25, 1, 3, "37.25", "37,25"},
      {36.1234, 1, 3, "36.123", "36,123"},
      {1234.5, 1, 3, "1,234.5", "1.234,5"},
      {-0.00001, 1, 3, "0.0", "0,0"},
      {-1, 1, 3, "-1.0", "-1,0"},
      {60, 0, 3, "60", "60"},
      {2.5, 0, 3, "2.5", "2,5"},
      {12000, 0, 3, "12,000", "12.000"},
      {-1, 0, 3, "-1", "-1"},
  };
  QLocale no_groups = kEnglish;
  no_groups.setNumberOptions(QLocale::OmitGroupSeparator);
  for (const Case& c : cases) {
    EXPECT_EQ(FormatAxisNumber(c.value, kEnglish, c.min, c.max), c.english) << c.value;
    EXPECT_EQ(FormatAxisNumber(c.value, kGerman, c.min, c.max), c.german) << c.value;
    // The format asks for thousands separators whatever the locale object was told.
    EXPECT_EQ(FormatAxisNumber(c.value, no_groups, c.min, c.max), c.english) << c.value;
  }
}

TEST(AxisLabelsTest, TimeStepsLeaveRoomBetweenLabels) {
  // 600 pixels, labels 80 pixels wide: at least 96 pixels per step.
  EXPECT_DOUBLE_EQ(TimeLabelStep(2 * kOneMinute, 600, 80), kOneMinute);  // never below a minute
  EXPECT_DOUBLE_EQ(TimeLabelStep(60 * kOneMinute, 600, 80), 10 * kOneMinute);
  EXPECT_DOUBLE_EQ(TimeLabelStep(720 * kOneMinute, 600, 80), 120 * kOneMinute);
  EXPECT_DOUBLE_EQ(TimeLabelStep(3.0, 600, 80), 720 * kOneMinute);
  EXPECT_DOUBLE_EQ(TimeLabelStep(3.0, 1900, 80), 360 * kOneMinute);
}

TEST(AxisLabelsTest, ValueStepsLeaveRoomBetweenLabels) {
  // 100 pixels, labels 14 pixels high: at least 17.5 pixels per step.
  EXPECT_DOUBLE_EQ(ValueLabelStep(2.0, 100, 14, 0.1), 0.5);
  EXPECT_DOUBLE_EQ(ValueLabelStep(0.2, 100, 14, 0.1), 0.1);  // never below the least step
  EXPECT_DOUBLE_EQ(ValueLabelStep(61, 200, 14, 1), 10);
  EXPECT_DOUBLE_EQ(ValueLabelStep(4, 400, 14, 1), 1);
}

TEST(AxisLabelsTest, TicksAreTheMultiplesOfTheStepInRange) {
  EXPECT_EQ(TickPositions(36.0, 38.0, 0.5), (std::vector<double>{36.0, 36.5, 37.0, 37.5, 38.0}));
  EXPECT_EQ(TickPositions(-1, 60, 20), (std::vector<double>{0, 20, 40, 60}));
  EXPECT_TRUE(TickPositions(1, 0, 1).empty());
  EXPECT_TRUE(TickPositions(0, 1e12, 1).empty());
}

}  // namespace
}  // namespace dova
