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

TEST(AxisLabelsTest, TimeLabelsWithSeconds) {
  struct Case {
    TDateTime t;
    QString english;
  };
  const Case cases[] = {
      {EncodeDateTime(2026, 12, 8, 15, 5, 30), "8Dec 3:05:30pm"},
      {EncodeDateTime(2026, 12, 8, 15, 5, 0), "8Dec 3:05:00pm"},
      {EncodeDateTime(2026, 12, 8, 0, 0, 9), "8Dec 12:00:09am"},
      {EncodeDateTime(2026, 12, 8, 11, 59, 59), "8Dec 11:59:59am"},
      // A tick computed a hair below a whole second is labelled with that second.
      {EncodeDateTime(2026, 12, 8, 15, 5, 30) - 1e-10, "8Dec 3:05:30pm"},
      // The last second of a day rounds up into the next day.
      {EncodeDateTime(2026, 12, 31, 23, 59, 59) + 0.6 * kOneSecond, "1Jan 12:00:00am"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FormatTimeLabel(c.t, kEnglish, true), c.english);
}

TEST(AxisLabelsTest, RangesUnderThreeMinutesAreLabelledInSeconds) {
  // Whole-minute labels alone leave a short range bare: one lid opening of 40 seconds
  // between two minutes gets no label.
  const TDateTime lower = EncodeDateTime(2026, 12, 8, 15, 5, 10);
  const TDateTime upper = lower + 40 * kOneSecond;
  ASSERT_TRUE(TimeLabelsWithSeconds(upper - lower));
  EXPECT_TRUE(TickPositions(lower, upper, kOneMinute).empty());

  struct Case {
    double span_seconds;
    double pixels;
    double label_width;
    double step_seconds;
  };
  // At least 1.2 label widths per step.
  const Case cases[] = {
      {40, 600, 100, 10},     // 15 px a second: 120 px wanted, 8 s, so 10 s
      {40, 3000, 100, 2},     // 75 px a second
      {40, 12000, 100, 1},    // 300 px a second: never below a second
      {2, 600, 100, 1},       // two seconds
      {170, 600, 100, 60},    // 3.5 px a second: 34 s wanted, so a minute
      {179, 300, 100, 300},   // still under three minutes: 72 s wanted, so five minutes
      {180, 6000, 100, 60},   // three minutes and more: whole minutes only
      {600, 60000, 100, 60},  // ten minutes at 100 px a second: still whole minutes
  };
  for (const Case& c : cases) {
    const double span = c.span_seconds * kOneSecond;
    EXPECT_DOUBLE_EQ(TimeLabelStep(span, c.pixels, c.label_width), c.step_seconds * kOneSecond)
        << c.span_seconds << " s over " << c.pixels << " px";
  }
  EXPECT_TRUE(TimeLabelsWithSeconds(179.9 * kOneSecond));
  EXPECT_FALSE(TimeLabelsWithSeconds(3 * kOneMinute));

  // The 40 seconds at 600 pixels get labels every ten seconds, each with its seconds.
  const double step = TimeLabelStep(upper - lower, 600, 100);
  QStringList labels;
  for (const double t : TickPositions(lower, upper, step))
    labels << FormatTimeLabel(t, kEnglish, true);
  EXPECT_EQ(labels, (QStringList{"8Dec 3:05:10pm", "8Dec 3:05:20pm", "8Dec 3:05:30pm",
                                 "8Dec 3:05:40pm", "8Dec 3:05:50pm"}));
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
  EXPECT_DOUBLE_EQ(TimeLabelStep(3 * kOneMinute, 6000, 80), kOneMinute);  // never below a minute
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
