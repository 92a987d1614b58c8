#include "history/period_stats.h"

#include <QBuffer>

#include "history/period_report.h"
#include "history/stored_graphs.h"
#include "platform/virtual_scheduler.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "log_text.h"

namespace dova {
namespace {

using testing::Append;
using testing::Block;
using testing::LogBytes;
using testing::LogLine;

constexpr TDateTime kMin = kOneMinute;
constexpr double kTight = 1e-9;

// Two links of a small lab morning, ten minutes between blocks:
//   left  37.0, 37.6, 37.2, 38.0 | gap 40..60 min | 37.0, 37.0   (set-point 37.0)
//   gas   20,   26,   20,   20   |                | 20,   20     (set-point 20)
// the left lid open 12..15 min, a purge 25..27 min, a left temperature error 65..70 min.
class PeriodStatsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const LogFormat f = LogFormat::ForLocale(QLocale(QStringLiteral("en_US")));
    std::vector<LogLine> lines;
    auto state = [&](TDateTime t) {
      Append(lines, {{t, QStringLiteral("Connected")},
                     {t, QStringLiteral("Left Chamber On")},
                     {t, QStringLiteral("Left Lid Closed")},
                     {t, QStringLiteral("Right Chamber On")},
                     {t, QStringLiteral("Right Lid Closed")},
                     {t, QStringLiteral("Gas Flow On")}});
    };
    auto block = [&](double minutes, double left, double flow) {
      Append(lines, Block(f, t0 + minutes * kMin, left, 37, 37, 37, flow, 20));
    };
    auto line = [&](double minutes, const char* text) {
      lines.push_back({t0 + minutes * kMin, QString::fromLatin1(text)});
    };
    state(t0);
    block(0, 37.0, 20);
    block(10, 37.6, 26);
    line(12, "Left Lid Open");
    line(15, "Left Lid Closed");
    block(20, 37.2, 20);
    line(25, "Gas Purge Start");
    line(27, "Gas Purge Stop");
    block(30, 38.0, 20);
    line(40, "Disconnected");
    state(t0 + 60 * kMin);
    block(60, 37.0, 20);
    line(65, "Left Temperature Error");
    line(70, "Left Lid Closed");
    block(70, 37.0, 20);
    line(80, "Disconnected");
    const QString path = dir.filePath(QStringLiteral("Lab1 1234.csv"));
    ASSERT_TRUE(testing::WriteLogFile(path, LogBytes(f, lines), t0 + 0.1));
    reader = std::make_unique<TStoredLogReader>(
        path, TStoredLogReader::TOptions{QLocale(QStringLiteral("en_US")), QLocale::c()});
    ASSERT_EQ(reader->Refresh(), TStoredLogReader::TResult::Read);
    ASSERT_EQ(reader->Log().Unread.Count, 0u);
  }

  const TDateTime t0 = EncodeDateTime(2026, 12, 14, 10, 0, 0);
  QTemporaryDir dir;
  std::unique_ptr<TStoredLogReader> reader;
};

TEST_F(PeriodStatsTest, WholeFileAgainstHandComputedFigures) {
  const TPeriodStats s = ComputePeriodStats(reader->Log(), t0 - 1, t0 + 1);
  const TReadingStats& left = s.Left;
  // 60 minutes of data: (37.0*10 + 37.6*10 + 37.2*10 + 38.0*10 + 37.0*20) / 60.
  EXPECT_NEAR(left.Covered, 60 * kMin, kTight);
  EXPECT_NEAR(left.Mean, 37.3, kTight);
  // Squared deviations 0.09*10 + 0.09*10 + 0.01*10 + 0.49*10 + 0.09*20 = 8.6 over 60.
  EXPECT_NEAR(left.StandardDeviation, 0.3785938897200183, 1e-9);
  // 10000 / -ln(sum w exp(-10000/T) / sum w) - 273.15.
  EXPECT_NEAR(left.MeanKinetic, 37.30704378685277, 1e-9);
  EXPECT_EQ(left.Minimum, 37.0);
  EXPECT_NEAR(left.MinimumAt, t0, kTight);
  EXPECT_EQ(left.Maximum, 38.0);
  EXPECT_NEAR(left.MaximumAt, t0 + 30 * kMin, kTight);
  // 37.6 and 38.0 lie beyond 0.5 °C: 40 of 60 minutes in band, two excursions, the second
  // ended by the link's end.
  EXPECT_NEAR(left.InBandShare, 40.0 / 60.0, kTight);
  ASSERT_EQ(left.Excursions.size(), 2u);
  EXPECT_NEAR(left.Excursions[0].Start, t0 + 10 * kMin, kTight);
  EXPECT_NEAR(left.Excursions[0].Duration, 10 * kMin, kTight);
  EXPECT_EQ(left.Excursions[0].Extreme, 37.6);
  EXPECT_NEAR(left.Excursions[1].Start, t0 + 30 * kMin, kTight);
  EXPECT_NEAR(left.Excursions[1].Duration, 10 * kMin, kTight);
  EXPECT_EQ(left.Excursions[1].Extreme, 38.0);

  EXPECT_NEAR(s.Gas.Mean, 21.0, kTight);
  EXPECT_TRUE(std::isnan(s.Gas.MeanKinetic));
  EXPECT_NEAR(s.Gas.InBandShare, 50.0 / 60.0, kTight);
  // The right chamber stood at its set-point throughout.
  EXPECT_NEAR(s.Right.InBandShare, 1.0, kTight);
  EXPECT_TRUE(s.Right.Excursions.empty());

  ASSERT_EQ(s.LeftLid.Count(), 1);
  EXPECT_NEAR(s.LeftLid.Total(), 3 * kMin, kTight);
  EXPECT_EQ(s.RightLid.Count(), 0);
  ASSERT_EQ(s.Purges.Count(), 1);
  EXPECT_NEAR(s.Purges.Periods[0].Start, t0 + 25 * kMin, kTight);
  EXPECT_NEAR(s.Purges.Total(), 2 * kMin, kTight);
  ASSERT_EQ(s.LeftTemperatureErrors.Count(), 1);
  EXPECT_NEAR(s.LeftTemperatureErrors.Total(), 5 * kMin, kTight);
  EXPECT_EQ(s.CO2Errors.Count(), 0);
  ASSERT_EQ(s.Gaps.Count(), 1);
  EXPECT_NEAR(s.Gaps.Periods[0].Start, t0 + 40 * kMin, kTight);
  EXPECT_NEAR(s.Gaps.Total(), 20 * kMin, kTight);
}

TEST_F(PeriodStatsTest, APeriodCutsReadingsAndStatesAtItsEnds) {
  const TPeriodStats s = ComputePeriodStats(reader->Log(), t0 + 15 * kMin, t0 + 35 * kMin);
  // 37.6 for 5 minutes, 37.2 for 10, 38.0 for 5.
  EXPECT_NEAR(s.Left.Covered, 20 * kMin, kTight);
  EXPECT_NEAR(s.Left.Mean, 37.5, kTight);
  EXPECT_NEAR(s.Left.MeanKinetic, 37.50537078425333, 1e-9);
  EXPECT_EQ(s.Left.Minimum, 37.2);
  EXPECT_NEAR(s.Left.MinimumAt, t0 + 20 * kMin, kTight);
  // The reading that stood when the period began counts from its start.
  ASSERT_EQ(s.Left.Excursions.size(), 2u);
  EXPECT_NEAR(s.Left.Excursions[0].Start, t0 + 15 * kMin, kTight);
  EXPECT_NEAR(s.Left.Excursions[0].Duration, 5 * kMin, kTight);
  EXPECT_NEAR(s.Left.Excursions[1].Duration, 5 * kMin, kTight);
  // The lid closed just as the period began; the purge lies inside it; the gap after it.
  EXPECT_EQ(s.LeftLid.Count(), 0);
  EXPECT_EQ(s.Purges.Count(), 1);
  EXPECT_EQ(s.Gaps.Count(), 0);

  // A wider band takes the excursions away.
  const TPeriodStats wide =
      ComputePeriodStats(reader->Log(), t0 + 15 * kMin, t0 + 35 * kMin, {1.0, 10.0});
  EXPECT_NEAR(wide.Left.InBandShare, 1.0, kTight);
  EXPECT_TRUE(wide.Left.Excursions.empty());
}

TEST_F(PeriodStatsTest, TidyCsvHoldsAReadingRowPerChangeAndAnEventRowPerEvent) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(WriteTidyCsv(reader->Log(), t0 + 5 * kMin, t0 + 30 * kMin, buffer));
  const QList<QByteArray> rows = buffer.data().split('\n');
  ASSERT_GE(rows.size(), 3);
  EXPECT_EQ(rows[0],
            "time_utc,time_local,left_temperature,left_setpoint,right_temperature,"
            "right_setpoint,gas_flow,gas_setpoint,event");
  const QByteArray local = QDateTimeFromDateTime(t0 + 12 * kMin)
                               .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))
                               .toLatin1();
  const QByteArray utc =
      QDateTimeFromDateTime(t0 + 12 * kMin).toUTC().toString(Qt::ISODate).toLatin1();
  EXPECT_TRUE(rows.contains(utc + ',' + local + ",37.6,37.0,37.0,37.0,26,20,Left Lid Open"))
      << buffer.data().toStdString();
  // Blocks at 10, 20 and 30 minutes (the right chamber's steady reading adds none), the lid,
  // the purge; the trailing line end leaves one empty piece.
  EXPECT_EQ(rows.size(), 1 + 3 + 2 + 2 + 1);
  EXPECT_TRUE(rows.last().isEmpty());
}

TEST_F(PeriodStatsTest, ReportContentsCarryTheFiguresAndTheEvents) {
  TReportSource source{QStringLiteral("Lab1"),  QStringLiteral("1234"),
                       QStringLiteral("x.csv"), QStringLiteral("ab"),
                       QStringLiteral("1.0"),   QDateTime(QDate(2026, 12, 15), QTime(8, 0)),
                       QStringLiteral("UTC")};
  const QLocale en(QStringLiteral("en_US"));
  const TPeriodReport report = BuildPeriodReport(
      reader->Log(), ComputePeriodStats(reader->Log(), t0 - 1, t0 + 1), source, {}, en);
  auto row = [&](const char* label) {
    for (const auto& r : report.Statistics) {
      if (r.Label == QString::fromLatin1(label)) return r;
    }
    return TPeriodReport::TRow{};
  };
  EXPECT_EQ(row("Time-weighted mean").Left, QStringLiteral("37.30 \u00B0C"));
  EXPECT_EQ(row("Mean kinetic temperature").Left, QStringLiteral("37.31 \u00B0C"));
  EXPECT_EQ(row("Time within the alarm band").Gas, QStringLiteral("83.3 %"));
  EXPECT_EQ(row("Lid openings").Left, QStringLiteral("1 (3 min 00 s)"));
  EXPECT_EQ(row("Purges").Gas, QStringLiteral("1 (2 min 00 s)"));
  // Two excursions left, one of the gas, lid open and closed, the purge, the error, the
  // gap, and the links' own lines.
  std::vector<QString> what;
  for (const auto& e : report.Events)
    what.push_back(e.Where + u' ' + e.What);
  EXPECT_EQ(std::count(what.begin(), what.end(), QStringLiteral("Left Out of band")), 2);
  EXPECT_EQ(std::count(what.begin(), what.end(), QStringLiteral(" No data")), 1);
  EXPECT_EQ(std::count(what.begin(), what.end(), QStringLiteral("Left Temperature Error")), 1);
  EXPECT_TRUE(std::is_sorted(report.Events.begin(), report.Events.end(),
                             [](const auto& a, const auto& b) { return a.Time < b.Time; }));
}

TEST_F(PeriodStatsTest, WindowsThatTakeTheLinesKeepThemWholeAndGiveTheSameFigures) {
  const TPeriodStats from_log = ComputePeriodStats(reader->Log(), t0 - 1, t0 + 1);
  std::unique_ptr<TStoredLog> log = reader->TakeLog();
  const std::size_t points = log->Left.Values.Count();
  VirtualScheduler sched;
  TStoredTempGraph left(sched, std::move(log->Left));
  TStoredTempGraph right(sched, std::move(log->Right));
  TStoredGasGraph gas(sched, std::move(log->Gas));
  // Days later the plot tick has neither trimmed nor added a point.
  sched.AdvanceBy(4 * 86400 * 1000LL);
  EXPECT_EQ(left.TempSeries().Count(), points);
  EXPECT_EQ(left.EventSeries().Count(), 3u);
  const TReadingLines lines[3] = {left.Lines(), right.Lines(), gas.Lines()};
  const TPeriodStats from_windows = ComputePeriodStats(*log, lines, t0 - 1, t0 + 1, {});
  EXPECT_EQ(from_windows.Left.Mean, from_log.Left.Mean);
  EXPECT_EQ(from_windows.Gas.Excursions.size(), from_log.Gas.Excursions.size());

  left.ShowPeriod(t0 + 15 * kMin, t0 + 35 * kMin);
  EXPECT_DOUBLE_EQ(left.Chart1().BottomAxis.Minimum, t0 + 15 * kMin);
  EXPECT_NEAR(left.Chart1().LeftAxis.Minimum, 36.9, 1e-9);  // the 37.0 set-point less a step
  EXPECT_NEAR(left.Chart1().LeftAxis.Maximum, 38.1, 1e-9);
  // The user's zoom is undone back to the period.
  left.UserZoom(t0 + 20 * kMin, t0 + 21 * kMin, 37, 38);
  left.Chart1DblClick();
  EXPECT_DOUBLE_EQ(left.Chart1().BottomAxis.Maximum, t0 + 35 * kMin);
}

TEST(PeriodStatsEmpty, NoDataGivesNoFigures) {
  const TStoredLog log;
  const TPeriodStats s = ComputePeriodStats(log, 0, 1);
  EXPECT_FALSE(s.Left.HasData);
  EXPECT_TRUE(std::isnan(s.Left.Mean));
  EXPECT_EQ(s.Gaps.Count(), 0);
}

}  // namespace
}  // namespace dova
