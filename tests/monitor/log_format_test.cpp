#include <gtest/gtest.h>

#include <QString>
#include <optional>

#include "monitor/log_format.h"
#include "platform/datetime.h"

namespace dova {
namespace {

TEST(LogFormatTest, NumbersRoundHalvesToEvenAndDropTrailingZeros) {
  const LogFormat f = LogFormat::Pinned();
  struct Case {
    double value;
    int decimals;
    const char* text;
  } cases[] = {
      {37.0, 1, "37"},
      {37.5, 1, "37.5"},
      {24.6, 1, "24.6"},
      {37.25, 1, "37.2"},
      {37.35, 1, "37.4"},
      {0.15, 1, "0.2"},
      {0.25, 1, "0.2"},
      {-0.04, 1, "0"},
      {-1.5, 1, "-1.5"},
      {-37.25, 1, "-37.2"},
      {45, 0, "45"},
      {0, 0, "0"},
      {2.5, 0, "2"},
      {3.5, 0, "4"},
      {99.95, 1, "100"},
      {9.96, 1, "10"},
      {0.04, 1, "0"},
      {0.05, 1, "0"},
      {0.06, 1, "0.1"},
      {214748364.7, 1, "214748364.7"},
      {-214748364.8, 1, "-214748364.8"},
      {1234567, 0, "1234567"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(f.Number(c.value, c.decimals), QString::fromLatin1(c.text))
        << c.value << " with " << c.decimals;
  }
  const LogFormat comma(QStringLiteral("d/MM/yyyy"), QStringLiteral("h:mm:ss AP"), u',');
  EXPECT_EQ(comma.Number(37.5, 1), QStringLiteral("37,5"));
  EXPECT_EQ(comma.Number(37.0, 1), QStringLiteral("37"));
}

TEST(LogFormatTest, TimestampUsesShortDateAndLongTimeAndDateAloneAtMidnight) {
  const LogFormat f = LogFormat::Pinned();
  EXPECT_EQ(f.Timestamp(EncodeDateTime(2010, 3, 8, 14, 5, 9)),
            QStringLiteral("8/03/2010 2:05:09 PM"));
  EXPECT_EQ(f.Timestamp(EncodeDateTime(2010, 3, 8, 14, 5, 9, 999)),
            QStringLiteral("8/03/2010 2:05:09 PM"));
  EXPECT_EQ(f.Timestamp(EncodeDateTime(2010, 12, 31, 9, 0, 0)),
            QStringLiteral("31/12/2010 9:00:00 AM"));
  EXPECT_EQ(f.Timestamp(EncodeDateTime(2010, 3, 9)), QStringLiteral("9/03/2010"));
  EXPECT_EQ(f.Timestamp(EncodeDateTime(2010, 3, 9, 0, 0, 0, 1)),
            QStringLiteral("9/03/2010 12:00:00 AM"));
  // The same time of another day, and back: the date is the stamp's own every time.
  EXPECT_EQ(f.Timestamp(EncodeDateTime(2010, 3, 10, 0, 0, 0, 1)),
            QStringLiteral("10/03/2010 12:00:00 AM"));
  EXPECT_EQ(f.Timestamp(EncodeDateTime(2010, 3, 9, 0, 0, 0, 1)),
            QStringLiteral("9/03/2010 12:00:00 AM"));
  // A format with milliseconds tells two stamps of one second apart.
  const LogFormat ms(QStringLiteral("d/MM/yyyy"), QStringLiteral("hh:mm:ss.zzz"), u'.');
  EXPECT_EQ(ms.Timestamp(EncodeDateTime(2010, 3, 8, 14, 5, 9, 10)),
            QStringLiteral("8/03/2010 14:05:09.010"));
  EXPECT_EQ(ms.Timestamp(EncodeDateTime(2010, 3, 8, 14, 5, 9, 20)),
            QStringLiteral("8/03/2010 14:05:09.020"));
}

TEST(LogFormatTest, TimeZoneFieldLeavesTheLongTimeFormat) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"h:mm:ss AP t", "h:mm:ss AP"},
      {"HH:mm:ss t", "HH:mm:ss"},
      {"t HH:mm:ss", "HH:mm:ss"},
      {"HH:mm:ss tttt", "HH:mm:ss"},
      {"HH:mm:ss", "HH:mm:ss"},
      {"HH 'h' mm 'min' ss 's' t", "HH 'h' mm 'min' ss 's'"},  // quoted text keeps its t
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LogFormat::RemoveTimeZoneField(QString::fromLatin1(c.in)),
              QString::fromLatin1(c.out));
  }
  EXPECT_FALSE(LogFormat::FromSystem().LongTimeFormat().contains(u't'));
}

TEST(LogFormatTest, DisplayTextReadsWithTheLocaleSeparator) {
  const LogFormat dot = LogFormat::Pinned();
  const LogFormat comma(QStringLiteral("d/MM/yyyy"), QStringLiteral("h:mm:ss AP"), u',');
  struct Case {
    const char* text;
    std::optional<std::int32_t> dot;
    std::optional<std::int32_t> comma;
  } cases[] = {
      {"37.2", 372, std::nullopt},  // the display always writes a point
      {"37,2", std::nullopt, 372},           {"37", 370, 370},
      {"-1.5", -15, std::nullopt},           {"-1,5", std::nullopt, -15},
      {"37.25", 372, std::nullopt},  // the fraction beyond tenths is dropped
      {"OFF", std::nullopt, std::nullopt},   {"LID", std::nullopt, std::nullopt},
      {"Err", std::nullopt, std::nullopt},   {"", std::nullopt, std::nullopt},
      {".", std::nullopt, std::nullopt},     {"1e2", 1000, 1000},
      {"3e9", std::nullopt, std::nullopt},  // does not fit 32 bits
      {"37.2x", std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    const QString text = QString::fromLatin1(c.text);
    EXPECT_EQ(dot.DisplayTenths(text), c.dot) << c.text;
    EXPECT_EQ(comma.DisplayTenths(text), c.comma) << c.text;
  }
}

}  // namespace
}  // namespace dova
