#include "metrics/metrics_model.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>

#include "../app/main_form_fixture.h"
#include "alarms/alarm_engine.h"
#include "metrics_test_util.h"

namespace dova {
namespace {

using testing::ExpositionLines;
using testing::LinesOf;
using testing::MainFormFixture;

struct MetricsModelTest : ::testing::Test, MainFormFixture {
  QStringList Render(const TMetricsModel& model) { return ExpositionLines(model.Render()); }

  // A number as the exposition writes it (shortest form; whole numbers without a point).
  static QString Num(double v) { return QString::number(v, 'g', 15); }

  // Every line the model serves for a tile that is up and has been read.
  static QStringList Expected(const TDovaPanel& p) {
    const QString s = p.Serial;
    auto chamber = [&](const char* name, const QString& left, const QString& right) {
      return QStringList{QString("%1{serial=\"%2\",chamber=\"left\"} %3").arg(name, s, left),
                         QString("%1{serial=\"%2\",chamber=\"right\"} %3").arg(name, s, right)};
    };
    auto one = [&](const char* name, const QString& value) {
      return QString("%1{serial=\"%2\"} %3").arg(name, s, value);
    };
    auto flag = [](bool on) { return QString(on ? "1" : "0"); };
    QStringList lines;
    lines << one("dova300_incubator_up", "1");
    lines << chamber("dova300_chamber_temperature_celsius", Num(p.LeftTemp / 10.0),
                     Num(p.RightTemp / 10.0));
    lines << chamber("dova300_chamber_setpoint_celsius", Num(p.LeftSetPoint / 10.0),
                     Num(p.RightSetPoint / 10.0));
    lines << chamber("dova300_chamber_on", flag(p.LeftOn), flag(p.RightOn));
    lines << chamber("dova300_chamber_lid_open", flag(p.LeftLidOpen), flag(p.RightLidOpen));
    lines << chamber("dova300_chamber_temperature_error", flag(p.LeftTempError),
                     flag(p.RightTempError));
    lines << one("dova300_gas_flow_milliliters_per_minute", Num(p.GasFlow));
    lines << one("dova300_gas_setpoint_milliliters_per_minute", Num(p.GasSetPoint));
    lines << one("dova300_gas_purge_active", flag(p.Purging));
    lines << one("dova300_gas_co2_error", flag(p.CO2Error));
    lines << one("dova300_gas_flow_error", flag(p.FlowError));
    lines << one("dova300_log_lines_written_total", Num(double(p.Log().LinesWritten())));
    lines << one("dova300_log_write_failures_total", Num(double(p.Log().WriteFailures())));
    lines << one("dova300_log_lines_pending", "0");
    lines << one("dova300_log_lines_dropped_total", "0");
    return lines;
  }
};

// The time of the last reading a tile told of, in seconds since the epoch.
struct LastReading {
  double Seconds = 0;
  TTileEventStream::TSubscription Sub = 0;
  const TDovaPanel* Panel = nullptr;
  explicit LastReading(const TDovaPanel& p) : Panel(&p) {
    Sub = p.Events().Subscribe([this](const TTileEvent& e) {
      if (e.Kind == TTileEventKind::TempsRead || e.Kind == TTileEventKind::FlowRead)
        Seconds = QDateTimeFromDateTime(e.Time).toMSecsSinceEpoch() / 1000.0;
    });
  }
  ~LastReading() { Panel->Events().Unsubscribe(Sub); }
};

TEST_F(MetricsModelTest, TwoIncubatorsAreServedAsTheirTilesShowThem) {
  Create();
  TMetricsModel model(*form, "1.22");
  sim::Incubator& one = Plug("Bench 1");
  sim::Incubator& two = Plug("Lab \"B\" \\ 2");
  TDovaPanel* p1 = Listed("Bench 1");
  TDovaPanel* p2 = Listed("Lab \"B\" \\ 2");
  ASSERT_TRUE(p1 && p2);
  LastReading last2(*p2);
  two.SetSetPoint(sim::Side::Right, 3550);
  two.SetLidOpen(sim::Side::Left, true);
  two.StartPurge(60000);
  one.SetCO2Error(true);
  one.SetChamberOn(sim::Side::Right, false);
  sched.AdvanceBy(30000);
  ASSERT_TRUE(errors.messages.empty()) << errors.messages.front();

  const QStringList lines = Render(model);
  EXPECT_TRUE(lines.contains("dova300_build_info{version=\"1.22\"} 1"));
  EXPECT_TRUE(lines.contains("dova300_incubators_connected 2"));
  EXPECT_TRUE(lines.contains(
      QString("dova300_incubator_info{serial=\"%1\",name=\"Bench 1\"} 1").arg(p1->Serial)));
  EXPECT_TRUE(lines.contains(
      QString(R"(dova300_incubator_info{serial="%1",name="Lab \"B\" \\ 2"} 1)").arg(p2->Serial)));
  // The states set at the incubator are what the tile shows, and what is served.
  EXPECT_TRUE(p2->LeftLidOpen);
  EXPECT_TRUE(p2->Purging);
  EXPECT_TRUE(p1->CO2Error);
  EXPECT_FALSE(p1->RightOn);
  EXPECT_EQ(p2->RightSetPoint, 355);
  for (const TDovaPanel* p : {p1, p2}) {
    QStringList served = LinesOf(lines, p->Serial);
    served.removeIf([](const QString& l) {
      return l.startsWith("dova300_incubator_info") ||
             l.startsWith("dova300_incubator_last_reply_timestamp_seconds");
    });
    EXPECT_EQ(served, Expected(*p)) << p->Nick.toStdString();
  }
  EXPECT_TRUE(
      lines.contains(QString("dova300_incubator_last_reply_timestamp_seconds{serial=\"%1\"} %2")
                         .arg(p2->Serial, Num(last2.Seconds))));
  EXPECT_GT(last2.Seconds, 0);

  // Renaming changes only the info metric: every other series keeps its labels.
  const QStringList before = LinesOf(lines, p1->Serial);
  p1->Rename("Bench One");
  sched.AdvanceBy(2000);
  ASSERT_EQ(p1->Nick, "Bench One");
  const QStringList after = LinesOf(Render(model), p1->Serial);
  EXPECT_TRUE(after.contains(
      QString("dova300_incubator_info{serial=\"%1\",name=\"Bench One\"} 1").arg(p1->Serial)));
  ASSERT_EQ(before.size(), after.size());
  // The series of a line: everything before its value.
  auto series = [](const QString& line) { return line.left(line.lastIndexOf(u' ')); };
  for (qsizetype i = 0; i < before.size(); ++i)
    EXPECT_EQ(before[i].startsWith("dova300_incubator_info"), series(before[i]) != series(after[i]))
        << before[i].toStdString();
}

TEST_F(MetricsModelTest, TheTextIsWellFormed) {
  Create();
  TMetricsModel model(*form, "1.22");
  TAlarmSettings settings;
  TAlarmEngine alarms(sched, settings);
  model.ServeAlarms(&alarms);
  TTileEvent error;
  error.Kind = TTileEventKind::CO2Error;
  alarms.OnEvent(alarms.Track("s\"1", "One"), error);
  Plug("A");
  Plug("B");
  sched.AdvanceBy(2000);
  const QByteArray text = model.Render();
  ASSERT_TRUE(text.endsWith('\n'));
  EXPECT_FALSE(text.contains('\r'));
  // Every sample belongs to the family announced last; no family comes twice.
  QSet<QString> families;
  QString family;
  for (const QString& line : ExpositionLines(text)) {
    ASSERT_FALSE(line.isEmpty());
    if (line.startsWith("# HELP ")) continue;
    if (line.startsWith("# TYPE ")) {
      family = line.section(' ', 2, 2);
      EXPECT_FALSE(families.contains(family)) << family.toStdString();
      families.insert(family);
      const QString type = line.section(' ', 3);
      EXPECT_EQ(type, family.endsWith("_total") ? "counter" : "gauge") << line.toStdString();
      continue;
    }
    const QString name = line.section(QRegularExpression("[{ ]"), 0, 0);
    EXPECT_EQ(name, family) << line.toStdString();
    EXPECT_TRUE(name.startsWith("dova300_")) << line.toStdString();
  }

  // promtool reads it as Prometheus does and lints the names.
  if (!QFileInfo::exists(DOVA_PROMTOOL)) GTEST_SKIP() << "promtool is not installed";
  QProcess promtool;
  promtool.start(DOVA_PROMTOOL, {"check", "metrics"});
  ASSERT_TRUE(promtool.waitForStarted(10000));
  promtool.write(text);
  promtool.closeWriteChannel();
  ASSERT_TRUE(promtool.waitForFinished(30000));
  EXPECT_EQ(promtool.exitCode(), 0) << promtool.readAllStandardOutput().toStdString()
                                    << promtool.readAllStandardError().toStdString();
}

TEST_F(MetricsModelTest, ServesEveryAlarmOfTheEngineAndItsShelves) {
  Create();
  TMetricsModel model(*form, "1.22");
  EXPECT_TRUE(Render(model).contains("# TYPE dova300_alarm_active gauge"));
  TAlarmSettings settings;
  TAlarmEngine alarms(sched, settings);
  model.ServeAlarms(&alarms);
  TTileEvent lid;
  lid.Kind = TTileEventKind::LidOpen;
  lid.Side = TTileSide::Right;
  alarms.OnEvent(alarms.Track("s1", "One"), lid);
  const QString labels = R"({serial="s1",kind="lid_open_too_long",side="right",priority="medium"})";
  const QString quiet = R"({serial="s1",kind="no_data",side="",priority="high"} 0)";
  sched.AdvanceBy(180000);
  QStringList lines = Render(model);
  EXPECT_TRUE(lines.contains("dova300_alarm_active" + labels + " 1"));
  EXPECT_TRUE(lines.contains("dova300_alarm_unacknowledged" + labels + " 1"));
  EXPECT_TRUE(lines.contains("dova300_alarm_active" + quiet));
  EXPECT_TRUE(lines.contains(R"(dova300_alarm_shelved{serial="s1"} 0)"));
  alarms.AcknowledgeAll("ana");
  ASSERT_TRUE(alarms.Shelve("s1", 60000, "service", "ana"));
  lines = Render(model);
  EXPECT_TRUE(lines.contains("dova300_alarm_active" + labels + " 1"));
  EXPECT_TRUE(lines.contains("dova300_alarm_unacknowledged" + labels + " 0"));
  EXPECT_TRUE(lines.contains(R"(dova300_alarm_shelved{serial="s1"} 1)"));
}

TEST_F(MetricsModelTest, AnUnpluggedIncubatorGoesDownWithoutReadingsThenVanishes) {
  Create();
  TMetricsModel model(*form, "1.22");
  sim::Incubator& gone = Plug("Gone");
  Plug("Stays");
  sched.AdvanceBy(2000);
  const QString serial = Listed("Gone")->Serial;
  const QString stays = Listed("Stays")->Serial;
  const QStringList stays_before = LinesOf(Render(model), stays);

  gone.Unplug();
  ASSERT_TRUE(sched.AdvanceUntil([&] { return form->ActivePanels.size() == 1; }, 5000));
  ASSERT_EQ(form->Panels().size(), 2u) << "the tile waits for the close timer";
  QStringList lines = Render(model);
  EXPECT_TRUE(lines.contains("dova300_incubators_connected 1"));
  const QStringList down = LinesOf(lines, serial);
  EXPECT_TRUE(down.contains(QString("dova300_incubator_up{serial=\"%1\"} 0").arg(serial)));
  for (const QString& line : down) {
    // What stays: the name, when the last reading came, and the log's counters.
    EXPECT_TRUE(line.startsWith("dova300_incubator_") || line.startsWith("dova300_log_"))
        << "a stale value is served: " << line.toStdString();
  }
  EXPECT_TRUE(std::any_of(down.begin(), down.end(), [](const QString& l) {
    return l.startsWith("dova300_incubator_last_reply_timestamp_seconds");
  }));

  ASSERT_TRUE(sched.AdvanceUntil([&] { return form->Panels().size() == 1; }, 5000));
  lines = Render(model);
  EXPECT_TRUE(LinesOf(lines, serial).isEmpty()) << LinesOf(lines, serial).join('\n').toStdString();
  // The other incubator's series are still all there.
  EXPECT_EQ(LinesOf(lines, stays).size(), stays_before.size());
}

TEST_F(MetricsModelTest, LogCountersFollowTheLogWriter) {
  Create();
  TMetricsModel model(*form, "1.22");
  sim::Incubator& inc = Plug("Log");
  TDovaPanel* p = Listed("Log");
  inc.SetLidOpen(sim::Side::Left, true);
  sched.AdvanceBy(30000);
  inc.SetLidOpen(sim::Side::Left, false);
  sched.AdvanceBy(6 * 60000);
  // The file began empty: every line counted as written is in it, records and events.
  const QStringList file = LogLines(p->LogFilePath());
  ASSERT_TRUE(file.filter("Left Lid Open").size() == 1 && file.filter("Gas Flow, ").size() >= 2);
  EXPECT_EQ(p->Log().LinesWritten(), std::uint64_t(file.size()));
  EXPECT_EQ(p->Log().WriteFailures(), 0u);
  const QStringList lines = Render(model);
  EXPECT_TRUE(lines.contains(QString("dova300_log_lines_written_total{serial=\"%1\"} %2")
                                 .arg(p->Serial)
                                 .arg(file.size())));
  EXPECT_TRUE(
      lines.contains(QString("dova300_log_write_failures_total{serial=\"%1\"} 0").arg(p->Serial)));
}

TEST_F(MetricsModelTest, LinesOfALogThatCannotBeOpenedCountAsFailures) {
  // The data folder is a file: no log can be opened there.
  QFile blocker(dir.path() + "/data");
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  Create();
  TMetricsModel model(*form, "1.22");
  Plug("Nowhere");
  sched.AdvanceBy(3000);
  TDovaPanel* p = Listed("Nowhere");
  ASSERT_TRUE(p);
  EXPECT_FALSE(p->LogFile);
  EXPECT_EQ(p->Log().LinesWritten(), 0u);
  EXPECT_GE(p->Log().WriteFailures(), 1u) << "at least \"Connected\" was not written";
  EXPECT_GE(p->Log().PendingLines(), 1u) << "and waits to be written";
  const QStringList lines = Render(model);
  EXPECT_TRUE(lines.contains(QString("dova300_log_write_failures_total{serial=\"%1\"} %2")
                                 .arg(p->Serial)
                                 .arg(p->Log().WriteFailures())));
  EXPECT_TRUE(lines.contains(QString("dova300_log_lines_pending{serial=\"%1\"} %2")
                                 .arg(p->Serial)
                                 .arg(p->Log().PendingLines())));
  EXPECT_TRUE(
      lines.contains(QString("dova300_log_lines_written_total{serial=\"%1\"} 0").arg(p->Serial)));
}

TEST_F(MetricsModelTest, ChainsTheHandlerItFindsAndUnhooksWhenItGoes) {
  Create();
  std::vector<TMainForm::TPanelChange> seen;
  form->OnPanelChange = [&](const TDovaPanel&, TMainForm::TPanelChange c) { seen.push_back(c); };
  auto model = std::make_unique<TMetricsModel>(*form, "1.22");
  Plug("A");
  EXPECT_EQ(seen.front(), TMainForm::TPanelChange::Created);
  EXPECT_NE(std::find(seen.begin(), seen.end(), TMainForm::TPanelChange::Listed), seen.end());
  const TDovaPanel* a = Listed("A");
  const std::size_t listening = a->Events().ListenerCount();

  // A model made after the tile exists serves it too.
  TMetricsModel late(*form, "1.22");
  sched.AdvanceBy(1000);
  EXPECT_FALSE(LinesOf(ExpositionLines(late.Render()), a->Serial).isEmpty());
  EXPECT_EQ(a->Events().ListenerCount(), listening + 1);

  model.reset();
  EXPECT_EQ(a->Events().ListenerCount(), listening);
  seen.clear();
  Plug("B");
  fleet.At(0).Unplug();
  ASSERT_TRUE(sched.AdvanceUntil([&] { return form->Panels().size() == 1; }, 5000));
  EXPECT_NE(std::find(seen.begin(), seen.end(), TMainForm::TPanelChange::Freed), seen.end())
      << "the handler found first still hears every change";
  EXPECT_TRUE(errors.messages.empty());
}

}  // namespace
}  // namespace dova
