#include "history/stored_log.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>

#include "log_text.h"

namespace dova {
namespace {

using testing::Append;
using testing::Block;
using testing::LogBytes;
using testing::LogLine;
using testing::WriteLogFile;

std::vector<double> Ys(const TLineSeries& series) {
  std::vector<double> out;
  for (const TChartPoint& p : series)
    out.push_back(p.y);
  return out;
}

std::vector<QString> Labels(const TMarkSeries& series) {
  std::vector<QString> out;
  for (const TMarkPoint& p : series)
    out.push_back(p.label);
  return out;
}

// A short link: connected with the state block, two reading blocks, a lid opening, a
// set-point change and a temperature error, then the end of the link.
std::vector<LogLine> LabLink(const LogFormat& f, TDateTime t0) {
  const TDateTime s = kOneSecond;
  std::vector<LogLine> lines{{t0, QStringLiteral("Connected")},
                             {t0, QStringLiteral("Left Chamber On")},
                             {t0, QStringLiteral("Left Lid Closed")},
                             {t0, QStringLiteral("Right Chamber Off")},
                             {t0, QStringLiteral("Gas Flow On")}};
  Append(lines, Block(f, t0 + s, 37.5, 37.5, 24.6, 37, 20, 20));
  Append(lines, {{t0 + 150 * s, QStringLiteral("Left Lid Open")},
                 {t0 + 170 * s, QStringLiteral("Left Lid Closed")},
                 {t0 + 200 * s, QStringLiteral("Left Set-Point Adjusted, ") + f.Number(36.5, 1)}});
  Append(lines, Block(f, t0 + 301 * s, 37.1, 36.5, 24.6, 37, 15, 20));
  Append(lines, {{t0 + 400 * s, QStringLiteral("Gas CO2 Error")},
                 {t0 + 500 * s, QStringLiteral("Disconnected")}});
  return lines;
}

struct LocaleCase {
  const char* locale;
  const char* eol;
};

class StoredLogLocales : public ::testing::TestWithParam<LocaleCase> {};

TEST_P(StoredLogLocales, ReadsTheLinkBackUnderTheWritersLocale) {
  const LocaleCase c = GetParam();
  const LogFormat format = LogFormat::ForLocale(QLocale(QString::fromLatin1(c.locale)));
  // Day 14: no locale can take the day for a month.
  const TDateTime t0 = EncodeDateTime(2026, 12, 14, 14, 5, 9);
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("Lab1 1234.csv"));
  ASSERT_TRUE(WriteLogFile(path, LogBytes(format, LabLink(format, t0), c.eol), t0 + 0.01));

  TStoredLogReader reader(path, {std::nullopt, QLocale::c()});
  ASSERT_EQ(reader.Refresh(), TStoredLogReader::TResult::Read) << reader.Error().toStdString();
  const TStoredLog& log = reader.Log();
  EXPECT_TRUE(reader.Guess().Found);
  EXPECT_FALSE(reader.Guess().Ambiguous) << reader.Guess().Locale.name().toStdString();
  EXPECT_EQ(log.Unread.Count, 0u);
  EXPECT_EQ(log.UnendedLine, 0);
  EXPECT_EQ(log.LinesRead, 22);
  EXPECT_DOUBLE_EQ(log.FirstTime, t0);
  EXPECT_DOUBLE_EQ(log.LastTime, t0 + 500 * kOneSecond);
  // The values as written, the decimal comma included; the link's end leaves no value.
  const std::vector<double> left{37.5, 37.1};
  EXPECT_EQ(Ys(log.Left.Values).size(), 3u);
  EXPECT_EQ(Ys(log.Left.Values)[0], 37.5);
  EXPECT_EQ(Ys(log.Left.Values)[1], 37.1);
  EXPECT_TRUE(std::isnan(Ys(log.Left.Values)[2]));
  EXPECT_DOUBLE_EQ(log.Left.Values[1].x, t0 + 301 * kOneSecond);
  EXPECT_EQ(Ys(log.Left.SetPoints)[1], 36.5);
  EXPECT_EQ(Ys(log.Gas.Values)[1], 15);
  // Marks as the live window places them: the state block is no change and is not marked.
  EXPECT_EQ(Labels(log.Left.Events),
            (std::vector<QString>{QStringLiteral("Lid Open"), QStringLiteral("Lid Closed")}));
  EXPECT_EQ(log.Left.Events[1].y, 1);
  EXPECT_EQ(Labels(log.Gas.Errors), std::vector<QString>{QStringLiteral("CO2 ERROR")});
  EXPECT_TRUE(log.Gas.Events.Empty());
}

INSTANTIATE_TEST_SUITE_P(LocalesAndLineEnds, StoredLogLocales,
                         ::testing::Values(LocaleCase{"en_US", "\r"}, LocaleCase{"en_US", "\n"},
                                           LocaleCase{"en_US", "\r\n"}, LocaleCase{"en_GB", "\r"},
                                           LocaleCase{"de_DE", "\r\n"}, LocaleCase{"fr_FR", "\r"},
                                           LocaleCase{"es_ES", "\n"}, LocaleCase{"it_IT", "\r"},
                                           LocaleCase{"nl_NL", "\r"}, LocaleCase{"ja_JP", "\r"},
                                           LocaleCase{"zh_CN", "\r\n"}, LocaleCase{"ko_KR", "\r"},
                                           LocaleCase{"fi_FI", "\r"}));

TEST(StoredLogGuess, DayAndMonthThatBothFitAreAskedAboutUnlessTheFileTimeDecides) {
  // "3/5/26": 5 March in the United States, 3 May in Australia.
  const LogFormat us = LogFormat::ForLocale(QLocale(QStringLiteral("en_US")));
  const TDateTime t0 = EncodeDateTime(2026, 3, 5, 9, 0, 0);
  const QByteArray bytes = LogBytes(us, LabLink(us, t0));
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("Lab1 1234.csv"));
  const QLocale australia(QStringLiteral("en_AU"));

  struct Case {
    TDateTime modified;
    bool ambiguous;
    const char* chosen;
  };
  const Case cases[] = {
      // Changed the same day: 3 May lies after the file's last change, so not that.
      {t0 + 0.1, false, "en_US"},
      // Copied much later: both readings fit; the user's own comes first and is asked about.
      {t0 + 400, true, "en_AU"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteLogFile(path, bytes, c.modified));
    TStoredLogReader reader(path, {std::nullopt, australia});
    ASSERT_EQ(reader.Refresh(), TStoredLogReader::TResult::Read);
    EXPECT_EQ(reader.Guess().Ambiguous, c.ambiguous);
    EXPECT_EQ(reader.Guess().Locale.name(), QString::fromLatin1(c.chosen));
    if (c.ambiguous) {
      ASSERT_EQ(reader.Guess().Alternatives.size(), 1u);
      EXPECT_EQ(reader.Guess().Alternatives[0].name(), QStringLiteral("en_US"));
      // The user's answer reads the file again.
      ASSERT_EQ(reader.Reread(QLocale(QStringLiteral("en_US"))), TStoredLogReader::TResult::Read);
    }
    EXPECT_DOUBLE_EQ(reader.Log().FirstTime, t0);
  }
}

TEST(StoredLogTimestamp, TwoDigitYearsTakeTheCenturyNearestTheFile) {
  const LogFormat us = LogFormat::ForLocale(QLocale(QStringLiteral("en_US")));
  struct Case {
    const char* text;
    int reference_year;
    int year;
  };
  const Case cases[] = {{"12/10/26 2:05:17 PM", 2026, 2026},
                        {"12/31/99 2:05:17 PM", 2001, 1999},
                        {"1/1/01 2:05:17 PM", 1998, 2001},
                        {"12/10/26 2:05:17 PM", 2075, 2026},
                        {"12/10/26 2:05:17 PM", 2077, 2126}};
  for (const Case& c : cases) {
    const TTimestampFormat format(us, c.reference_year);
    qsizetype used = 0;
    const QString text = QString::fromLatin1(c.text);
    const std::optional<TDateTime> t = format.Parse(text, used);
    ASSERT_TRUE(t) << c.text;
    EXPECT_EQ(used, text.size());
    EXPECT_EQ(QDateTimeFromDateTime(*t).date().year(), c.year) << c.text;
  }
  // Midnight is written as the date alone; hours beyond the clock are no time.
  const TTimestampFormat de(LogFormat::ForLocale(QLocale(QStringLiteral("de_DE"))), 2026);
  qsizetype used = 0;
  EXPECT_EQ(de.Parse(u"10.12.26, Connected", used), EncodeDateTime(2026, 12, 10));
  EXPECT_EQ(used, 8);
  const TTimestampFormat us26(us, 2026);
  EXPECT_FALSE(us26.Parse(u"2/30/26 2:05:17 PM", used));
  EXPECT_FALSE(us26.Parse(u"2/3/26 13:05:17 PM", used));
}

TEST(StoredLogDamage, UnreadableLinesAreSkippedCountedAndNamed) {
  const LogFormat f = LogFormat::ForLocale(QLocale(QStringLiteral("en_US")));
  const TDateTime t0 = EncodeDateTime(2026, 12, 14, 14, 5, 9);
  std::vector<LogLine> first = LabLink(f, t0);
  first.pop_back();                       // no "Disconnected": the power went
  QByteArray bytes = LogBytes(f, first);  // lines 1..21
  bytes += "garbage \xE9\xFF line\r";     // 22: not a log line (and not UTF-8)
  bytes += f.Timestamp(t0 + 0.001).toUtf8() + ", Left Temperature, 3x\r";  // 23
  bytes += f.Timestamp(t0 + 0.001).toUtf8() + ", Left Temper";  // cut by the power cut...
  bytes += QByteArray(300, '\0');                               // ...and NUL blocks after it
  const TDateTime t1 = t0 + 1;           // the next day the program starts again
  bytes += LogBytes(f, LabLink(f, t1));  // line 24 goes on after the NULs
  bytes += f.Timestamp(t1 + 0.01).toUtf8() + ", Left Tempera";  // being written
  QTemporaryDir dir;
  const QString path = dir.filePath(QString::fromUtf8("Br\xC3\xBCter 7 1234.csv"));
  ASSERT_TRUE(WriteLogFile(path, bytes, t1 + 0.02));

  TStoredLogReader reader(path, {std::nullopt, QLocale::c()});
  ASSERT_EQ(reader.Refresh(), TStoredLogReader::TResult::Read);
  const TStoredLog& log = reader.Log();
  EXPECT_EQ(log.Unread.Count, 3u);
  EXPECT_EQ(log.Unread.First, (std::vector<std::int64_t>{22, 23, 24}));
  EXPECT_EQ(log.UnendedLine, 24 + 22);
  EXPECT_EQ(log.LinesRead, 21 + 22);
  // The crash left a gap from the last line before it to the next "Connected", the second
  // link's end none (nothing came after it).
  ASSERT_EQ(log.Gaps.size(), 1u);
  EXPECT_FALSE(log.Gaps[0].Announced);
  EXPECT_DOUBLE_EQ(log.Gaps[0].Start, t0 + 400 * kOneSecond);
  EXPECT_DOUBLE_EQ(log.Gaps[0].End, t1);
  EXPECT_EQ(Ys(log.Left.Values).size(), 6u);
  EXPECT_TRUE(std::isnan(log.Left.Values[2].y));
  EXPECT_DOUBLE_EQ(log.Left.Values[2].x, t0 + 400 * kOneSecond);
  // The second link's marks go on with the rows where the first left them.
  EXPECT_EQ(log.Left.Events.Count(), 4u);
  EXPECT_EQ(log.Left.Events[3].y, 3);
  EXPECT_EQ(IncubatorFromFileName(path).Name, QStringLiteral("Br\u00FCter 7"));
  EXPECT_EQ(IncubatorFromFileName(path).Serial, QStringLiteral("1234"));
}

TEST(StoredLogRefresh, AFileBeingWrittenReadsTheSameInPiecesAsAtOnce) {
  const LogFormat f = LogFormat::ForLocale(QLocale(QStringLiteral("de_DE")));
  const TDateTime t0 = EncodeDateTime(2026, 12, 14, 14, 5, 9);
  std::vector<LogLine> lines = LabLink(f, t0);
  Append(lines, LabLink(f, t0 + 0.5));
  const QByteArray whole = LogBytes(f, lines, "\r\n");
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("Lab1 1234.csv"));
  const TDateTime modified = t0 + 0.6;

  ASSERT_TRUE(WriteLogFile(path, whole, modified));
  TStoredLogReader at_once(path, {std::nullopt, QLocale::c()});
  ASSERT_EQ(at_once.Refresh(), TStoredLogReader::TResult::Read);

  // Cut in the middle of a line and between the CR and the LF of a line end.
  const qsizetype cuts[] = {0, 200, whole.indexOf("\r\n", 700) + 1, whole.size() - 5, whole.size()};
  ASSERT_TRUE(WriteLogFile(path, whole.left(cuts[1]), modified));
  TStoredLogReader pieces(path, {std::nullopt, QLocale::c()});
  for (std::size_t i = 1; i < std::size(cuts); ++i) {
    ASSERT_TRUE(WriteLogFile(path, whole.mid(cuts[i - 1], cuts[i] - cuts[i - 1]), modified,
                             i == 1 ? QIODevice::WriteOnly : QIODevice::Append));
    ASSERT_EQ(pieces.Refresh(), TStoredLogReader::TResult::Read);
  }
  const TStoredLog& a = at_once.Log();
  const TStoredLog& b = pieces.Log();
  EXPECT_EQ(b.Unread.Count, 0u);
  EXPECT_EQ(b.UnendedLine, 0);
  EXPECT_EQ(b.LinesRead, a.LinesRead);
  EXPECT_EQ(b.Marks.size(), a.Marks.size());
  EXPECT_EQ(b.Gaps.size(), 1u);
  for (const TTileSide side : {TTileSide::Left, TTileSide::Right, TTileSide::Gas}) {
    const THistoryChart& ca = a.Chart(side);
    const THistoryChart& cb = b.Chart(side);
    ASSERT_EQ(cb.Values.Count(), ca.Values.Count());
    for (std::size_t i = 0; i < ca.Values.Count(); ++i) {
      EXPECT_EQ(cb.Values[i].x, ca.Values[i].x);
      EXPECT_TRUE(cb.Values[i].y == ca.Values[i].y ||
                  (std::isnan(cb.Values[i].y) && std::isnan(ca.Values[i].y)));
    }
    EXPECT_EQ(Labels(cb.Events), Labels(ca.Events));
  }

  // A cleared log is read again from its start.
  ASSERT_TRUE(WriteLogFile(path, LogBytes(f, LabLink(f, t0 + 1)), modified + 1));
  ASSERT_EQ(pieces.Refresh(), TStoredLogReader::TResult::Read);
  EXPECT_EQ(pieces.Log().LinesRead, 22);
  EXPECT_DOUBLE_EQ(pieces.Log().FirstTime, t0 + 1);
}

TEST(StoredLogRefresh, MissingAndUnreadableFilesSaySo) {
  QTemporaryDir dir;
  TStoredLogReader missing(dir.filePath(QStringLiteral("none.csv")));
  EXPECT_EQ(missing.Refresh(), TStoredLogReader::TResult::Unreadable);
  EXPECT_FALSE(missing.Error().isEmpty());
  const QString path = dir.filePath(QStringLiteral("x.csv"));
  ASSERT_TRUE(WriteLogFile(path, "not a log\rat all\r", EncodeDateTime(2026, 1, 1)));
  TStoredLogReader garbage(path);
  EXPECT_EQ(garbage.Refresh(), TStoredLogReader::TResult::Unreadable);
}

}  // namespace
}  // namespace dova
