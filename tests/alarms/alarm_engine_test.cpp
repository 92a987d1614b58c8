#include <gtest/gtest.h>

#include <functional>

#include "alarm_fixture.h"

namespace dova::testing {
namespace {

using K = TAlarmKind;
using S = TAlarmSide;
using T = TAlarmTransitionKind;

// ---------------------------------------------------------------- raising at the delay

struct RaiseCase {
  const char* name;
  K kind;
  S side;
  // Makes the condition true right after a poll (virtual time on a whole second).
  std::function<void(AlarmBench&)> start;
  // From that moment until the condition holds (the next poll for readings, at once for an
  // event or for the last reply before the replies stopped).
  std::int64_t seen_after_ms;
  std::int64_t delay_ms;
  QString value;
  QString limit;
};

void PrintTo(const RaiseCase& c, std::ostream* os) {
  *os << c.name;
}

class RaiseAtDelay : public ::testing::TestWithParam<RaiseCase> {};

TEST_P(RaiseAtDelay, RaisesExactlyAtItsDelayNotBefore) {
  const RaiseCase& c = GetParam();
  AlarmBench b;
  b.LinkUp();
  b.Minutes(2);  // armed: every reading in its band
  ASSERT_TRUE(b.seen.empty());
  c.start(b);
  const std::int64_t from = b.sched.ElapsedMs() + c.seen_after_ms;
  if (c.delay_ms + c.seen_after_ms > 0) {
    b.sched.AdvanceBy(c.seen_after_ms + c.delay_ms - 1);
    EXPECT_EQ(b.Count(T::Raised, c.kind), 0) << "raised before its delay";
    b.sched.AdvanceBy(1);
  }
  ASSERT_EQ(b.Count(T::Raised, c.kind), 1);
  EXPECT_EQ(b.FirstAt(T::Raised, c.kind), from + c.delay_ms);
  const TAlarmTransition r = b.Of(T::Raised).front();
  EXPECT_EQ(r.Key->Side, c.side);
  EXPECT_EQ(r.Serial, b.serial);
  EXPECT_EQ(r.Value, c.value);
  EXPECT_EQ(r.Limit, c.limit);
  EXPECT_EQ(r.State, TAlarmState::ActiveUnacknowledged);
  EXPECT_EQ(r.Priority, PriorityOf(c.kind));
  b.Minutes(14);  // nothing more until the re-announcement
  EXPECT_EQ(b.seen.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, RaiseAtDelay,
    ::testing::Values(
        RaiseCase{"TemperatureHighLeft", K::TemperatureHigh, S::Left,
                  [](AlarmBench& b) { b.left = 37.6; }, 1000, 600000, "37.6", "37.5"},
        RaiseCase{"TemperatureLowRight", K::TemperatureLow, S::Right,
                  [](AlarmBench& b) { b.right = 36.4; }, 1000, 600000, "36.4", "36.5"},
        RaiseCase{"FlowHigh", K::FlowHigh, S::Gas, [](AlarmBench& b) { b.flow = 106; }, 1000,
                  600000, "106", "105"},
        RaiseCase{"FlowLow", K::FlowLow, S::Gas, [](AlarmBench& b) { b.flow = 94; }, 1000, 600000,
                  "94", "95"},
        RaiseCase{"LidOpenRight", K::LidOpen, S::Right,
                  [](AlarmBench& b) { b.Send(TTileEventKind::LidOpen, TTileSide::Right); }, 0,
                  180000, "open", "180 s"},
        RaiseCase{"TemperatureErrorLeft", K::DeviceError, S::Left,
                  [](AlarmBench& b) {
                    b.health.LeftTempError = true;
                    b.Send(TTileEventKind::TempError, TTileSide::Left);
                  },
                  0, 0, "Temperature Error", ""},
        RaiseCase{"CO2Error", K::DeviceError, S::Gas,
                  [](AlarmBench& b) {
                    b.health.CO2Error = true;
                    b.Send(TTileEventKind::CO2Error, TTileSide::Gas);
                  },
                  0, 0, "CO2 Error", ""},
        RaiseCase{"NoReplies", K::NoData, S::None, [](AlarmBench& b) { b.replying = false; }, 0,
                  60000, "no reply", "60 s"},
        RaiseCase{"LogCannotBeWritten", K::LogTrouble, S::None,
                  [](AlarmBench& b) {
                    b.health.LogPendingLines = 1;
                    TTileEvent e;
                    e.Kind = TTileEventKind::LogProblem;
                    e.Text = QStringLiteral("disk full");
                    b.engine.OnEvent(*b.inc, e);
                  },
                  0, 0, "disk full", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AlarmEngine, SettingsChangeTheDelayAndLimitAndCanTurnAKindOff) {
  AlarmBench b;
  b.store.values[QStringLiteral("Alarms/TemperatureDelay")] = 60;
  b.store.values[QStringLiteral("Alarms/a1b2c3/TemperatureLimit")] = QStringLiteral("1.0");
  b.store.values[QStringLiteral("Alarms/a1b2c3/LidOpenEnabled")] = QStringLiteral("false");
  b.LinkUp();
  b.Minutes(2);
  b.left = 37.8;  // inside this incubator's limit of 1 °C
  b.Send(TTileEventKind::LidOpen, TTileSide::Left);
  b.Minutes(20);
  EXPECT_TRUE(b.seen.empty());
  b.left = 38.1;
  b.sched.AdvanceBy(1000 + 60000);
  EXPECT_EQ(b.Count(T::Raised, K::TemperatureHigh), 1);
  EXPECT_EQ(b.Count(T::Raised, K::LidOpen), 0);
}

// ---------------------------------------------------------------- clearing with the margin

TEST(AlarmEngine, TemperatureClearsOnlyInsideTheOffMarginAndAtOnce) {
  AlarmBench b;
  b.LinkUp();
  b.Minutes(2);
  b.left = 37.7;
  b.Minutes(11);
  ASSERT_EQ(b.State(K::TemperatureHigh, S::Left), TAlarmState::ActiveUnacknowledged);
  b.left = 37.5;  // back at the limit, not inside the margin
  b.Minutes(1);
  EXPECT_EQ(b.Count(T::Cleared, K::TemperatureHigh), 0);
  b.left = 37.4;
  const std::int64_t at = b.sched.ElapsedMs() + 1000;
  b.sched.AdvanceBy(1000);
  ASSERT_EQ(b.Count(T::Cleared, K::TemperatureHigh), 1);
  EXPECT_EQ(b.FirstAt(T::Cleared, K::TemperatureHigh), at);
  EXPECT_EQ(b.State(K::TemperatureHigh, S::Left), TAlarmState::ClearedUnacknowledged);
}

TEST(AlarmEngine, ShortExcursionsAndFlowWithinItsLimitDoNotAlarm) {
  AlarmBench b;
  b.LinkUp();
  b.Minutes(2);
  for (int i = 0; i < 6; ++i) {
    b.left = 38.0;
    b.flow = 110;
    b.Minutes(9);  // just under the delay each time
    b.left = 37.0;
    b.flow = 104;
    b.Minutes(1);
  }
  EXPECT_TRUE(b.seen.empty());
}

TEST(AlarmEngine, FlowClearsWhenBackWithinTheLimitAndWhenTheGasGoesOff) {
  AlarmBench b;
  b.LinkUp();
  b.Minutes(2);
  b.flow = 90;
  b.Minutes(11);
  ASSERT_EQ(b.State(K::FlowLow, S::Gas), TAlarmState::ActiveUnacknowledged);
  b.flow = 95;
  b.sched.AdvanceBy(1000);
  EXPECT_EQ(b.State(K::FlowLow, S::Gas), TAlarmState::ClearedUnacknowledged);
  b.flow = 120;
  b.Minutes(11);
  ASSERT_EQ(b.State(K::FlowHigh, S::Gas), TAlarmState::ActiveUnacknowledged);
  b.Send(TTileEventKind::GasOff, TTileSide::Gas);
  EXPECT_EQ(b.State(K::FlowHigh, S::Gas), TAlarmState::ClearedUnacknowledged);
}

TEST(AlarmEngine, LidAndDeviceErrorClearWhenTheirStateEnds) {
  AlarmBench b;
  b.LinkUp();
  b.Send(TTileEventKind::LidOpen, TTileSide::Left);
  b.Minutes(3);
  ASSERT_EQ(b.State(K::LidOpen, S::Left), TAlarmState::ActiveUnacknowledged);
  b.Send(TTileEventKind::LidClosed, TTileSide::Left);
  EXPECT_EQ(b.State(K::LidOpen, S::Left), TAlarmState::ClearedUnacknowledged);

  b.health.FlowError = true;
  b.Send(TTileEventKind::FlowError, TTileSide::Gas);
  EXPECT_EQ(b.State(K::DeviceError, S::Gas), TAlarmState::ActiveUnacknowledged);
  b.Minutes(1);
  EXPECT_EQ(b.Count(T::Raised, K::DeviceError), 1);
  // The error's end is no event of its own: the next poll's state tells it.
  b.health.FlowError = false;
  b.sched.AdvanceBy(1000);
  EXPECT_EQ(b.State(K::DeviceError, S::Gas), TAlarmState::ClearedUnacknowledged);
}

// ---------------------------------------------------------------- arming

TEST(AlarmEngine, NoAlarmDuringWarmUpUntilTheBandIsReached) {
  AlarmBench b;
  b.left = 22.0;
  b.LinkUp();
  for (int m = 0; m < 50; ++m) {
    b.left = std::min(37.0, 22.0 + m * 0.4);  // warms up over 38 minutes
    b.Minutes(1);
  }
  EXPECT_TRUE(b.seen.empty());
  b.left = 36.3;  // armed now: a real drop alarms after its delay
  b.Minutes(10.1);
  EXPECT_EQ(b.Count(T::Raised, K::TemperatureLow), 1);
}

TEST(AlarmEngine, NoAlarmAfterASetPointStep) {
  AlarmBench b;
  b.LinkUp();
  b.Minutes(5);
  b.left_sp = 40.0;
  TTileEvent e;
  e.Kind = TTileEventKind::SetPointAdjusted;
  e.Side = TTileSide::Left;
  e.Value = 40.0;
  b.engine.OnEvent(*b.inc, e);
  for (int m = 0; m < 40; ++m) {
    b.left = std::min(40.0, 37.0 + m * 0.1);
    b.Minutes(1);
  }
  b.flow_sp = 200;  // the gas set-point steps too, and the flow needs a moment
  b.Minutes(5);
  b.flow = 200;
  b.Minutes(20);
  EXPECT_TRUE(b.seen.empty());
}

TEST(AlarmEngine, AHeaterThatNeverWarmsAlarmsSixtyMinutesAfterTheChamberCameOn) {
  AlarmBench b;
  b.Send(TTileEventKind::LinkUp);
  b.Send(TTileEventKind::ChamberOff, TTileSide::Left, true);
  b.Minutes(10);
  b.left = 21.0;
  b.Send(TTileEventKind::ChamberOn, TTileSide::Left);
  const std::int64_t on = b.sched.ElapsedMs();
  b.Minutes(69);
  EXPECT_EQ(b.Count(T::Raised, K::TemperatureLow), 0);
  b.Minutes(1.1);
  ASSERT_EQ(b.Count(T::Raised, K::TemperatureLow), 1);
  // Armed at the first poll at 60 minutes, raised 10 minutes after that.
  EXPECT_EQ(b.FirstAt(T::Raised, K::TemperatureLow), on + 70 * 60000);
  // A chamber switched off ends its temperature alarm.
  b.Send(TTileEventKind::ChamberOff, TTileSide::Left);
  EXPECT_EQ(b.State(K::TemperatureLow, S::Left), TAlarmState::ClearedUnacknowledged);
}

TEST(AlarmEngine, FlowRestsDuringAPurgeAndFiveMinutesAfter) {
  AlarmBench b;
  b.LinkUp();
  b.Minutes(2);
  b.Send(TTileEventKind::PurgeStart, TTileSide::Gas);
  b.flow = 400;
  b.Minutes(30);
  EXPECT_TRUE(b.seen.empty());
  b.Send(TTileEventKind::PurgeStop, TTileSide::Gas);
  const std::int64_t stop = b.sched.ElapsedMs();
  b.flow = 130;  // does not settle
  b.sched.AdvanceBy(15 * 60000 - 1);
  EXPECT_EQ(b.Count(T::Raised, K::FlowHigh), 0);
  b.sched.AdvanceBy(1);
  EXPECT_EQ(b.FirstAt(T::Raised, K::FlowHigh), stop + 15 * 60000);
}

// ---------------------------------------------------------------- no data

TEST(AlarmEngine, NoDataAfterAnUnplugAndClearedAtTheReplug) {
  AlarmBench b;
  b.LinkUp();
  b.Minutes(1);
  b.replying = false;
  b.Send(TTileEventKind::LinkDown);
  const std::int64_t down = b.sched.ElapsedMs();
  b.Minutes(5);
  ASSERT_EQ(b.Count(T::Raised, K::NoData), 1);
  EXPECT_EQ(b.FirstAt(T::Raised, K::NoData), down + 60000);
  EXPECT_EQ(b.Of(T::Raised).front().Value, "not linked");
  // Linked again: cleared with its first reply, not with the link alone.
  b.LinkUp();
  EXPECT_EQ(b.Count(T::Cleared, K::NoData), 0);
  b.replying = true;
  b.sched.AdvanceBy(1000);
  EXPECT_EQ(b.Count(T::Cleared, K::NoData), 1);
  // A replug within the minute is no alarm.
  b.replying = false;
  b.Send(TTileEventKind::LinkDown);
  b.sched.AdvanceBy(59000);
  b.LinkUp();
  b.replying = true;
  b.Minutes(5);
  EXPECT_EQ(b.Count(T::Raised, K::NoData), 1);
  // One queue entry per incubator keeps the watch, not one per reply.
  EXPECT_LE(b.engine.QueuedCount(), 3u);
}

TEST(AlarmEngine, LogTroubleForLinesWaitingAMinuteAndForLostLinesUntilAcknowledged) {
  AlarmBench b;
  b.LinkUp();
  b.Minutes(1);
  b.health.LogPendingLines = 3;
  b.sched.AdvanceBy(60000);
  EXPECT_EQ(b.Count(T::Raised, K::LogTrouble), 0);
  b.sched.AdvanceBy(1000);
  ASSERT_EQ(b.Count(T::Raised, K::LogTrouble), 1);
  b.health.LogPendingLines = 0;
  b.sched.AdvanceBy(1000);
  EXPECT_EQ(b.State(K::LogTrouble, S::None), TAlarmState::ClearedUnacknowledged);
  b.engine.AcknowledgeAll(QStringLiteral("ana"));
  b.health.LogDroppedLines = 12;
  b.sched.AdvanceBy(1000);
  EXPECT_EQ(b.State(K::LogTrouble, S::None), TAlarmState::ActiveUnacknowledged);
  b.Minutes(5);
  EXPECT_EQ(b.State(K::LogTrouble, S::None), TAlarmState::ActiveUnacknowledged);
  EXPECT_TRUE(b.engine.Acknowledge(b.serial, {K::LogTrouble, S::None}, QStringLiteral("ana")));
  EXPECT_EQ(b.State(K::LogTrouble, S::None), TAlarmState::Normal);
}

// ---------------------------------------------------------------- people

TEST(AlarmEngine, AcknowledgementRecordsWhoWhenAndWhyAndFollowsTheStates) {
  AlarmBench b;
  b.LinkUp();
  b.Send(TTileEventKind::LidOpen, TTileSide::Left);
  b.Send(TTileEventKind::LidOpen, TTileSide::Right);
  b.Minutes(4);
  const QString comment = QStringLiteral("door \"B\", checked");
  ASSERT_TRUE(b.engine.Acknowledge(b.serial, {K::LidOpen, S::Left}, "ana", comment));
  EXPECT_FALSE(b.engine.Acknowledge(b.serial, {K::LidOpen, S::Left}, "ana"));
  const auto a = b.engine.Find(b.serial, {K::LidOpen, S::Left});
  EXPECT_EQ(a->State, TAlarmState::ActiveAcknowledged);
  EXPECT_EQ(a->AcknowledgedBy, "ana");
  EXPECT_EQ(a->Comment, comment);
  EXPECT_DOUBLE_EQ(a->AcknowledgedAt, b.sched.Now());
  EXPECT_EQ(b.Of(T::Acknowledged).back().User, "ana");
  EXPECT_EQ(b.engine.UnacknowledgedCount(), 1);
  // Acknowledged and active: normal when it clears. Unacknowledged: returned until ack.
  b.Send(TTileEventKind::LidClosed, TTileSide::Left);
  b.Send(TTileEventKind::LidClosed, TTileSide::Right);
  EXPECT_EQ(b.State(K::LidOpen, S::Left), TAlarmState::Normal);
  EXPECT_EQ(b.State(K::LidOpen, S::Right), TAlarmState::ClearedUnacknowledged);
  EXPECT_EQ(b.engine.AcknowledgeAll("bo", "all seen"), 1);
  EXPECT_EQ(b.State(K::LidOpen, S::Right), TAlarmState::Normal);
  EXPECT_TRUE(b.engine.Alarms().empty());
  EXPECT_EQ(b.engine.UnacknowledgedCount(), 0);
}

TEST(AlarmEngine, ReannouncesEveryFifteenMinutesUntilAcknowledged) {
  AlarmBench b;
  b.LinkUp();
  b.Send(TTileEventKind::LidOpen, TTileSide::Left);
  b.Minutes(3);
  const std::int64_t raised = b.FirstAt(T::Raised, K::LidOpen);
  b.Minutes(31);
  ASSERT_EQ(b.Of(T::Reannounced).size(), 2u);
  EXPECT_EQ(b.seen_at[1], raised + 15 * 60000);
  EXPECT_EQ(b.seen_at[2], raised + 30 * 60000);
  b.engine.AcknowledgeAll("ana");
  b.Minutes(60);
  EXPECT_EQ(b.Of(T::Reannounced).size(), 2u);
}

TEST(AlarmEngine, ShelvedAlarmsAreToldButNotAnnouncedAndAnnouncedAtTheShelfEnd) {
  AlarmBench b;
  b.LinkUp();
  QString why;
  EXPECT_FALSE(b.engine.Shelve(b.serial, 9 * 3600000LL, "service", "ana", &why));
  EXPECT_FALSE(why.isEmpty());
  EXPECT_FALSE(b.engine.Shelve(b.serial, 3600000, "  ", "ana", &why));
  EXPECT_FALSE(b.engine.Shelve(b.serial, 0, "service", "ana", &why));
  ASSERT_TRUE(b.engine.Shelve(b.serial, 3600000, "service, fan", "ana", &why));
  EXPECT_TRUE(b.engine.IsShelved(b.serial));
  b.Send(TTileEventKind::LidOpen, TTileSide::Left);
  b.Minutes(59);
  ASSERT_EQ(b.Count(T::Raised, K::LidOpen), 1);
  EXPECT_FALSE(b.Of(T::Raised).front().Announce);
  EXPECT_TRUE(b.Of(T::Reannounced).empty());
  b.Minutes(1);
  EXPECT_FALSE(b.engine.IsShelved(b.serial));
  ASSERT_EQ(b.Of(T::Unshelved).size(), 1u);
  ASSERT_EQ(b.Of(T::Reannounced).size(), 1u);
  EXPECT_TRUE(b.Of(T::Reannounced).front().Announce);
  // Shelved again and ended early by hand: the same.
  ASSERT_TRUE(b.engine.Shelve(b.serial, 3600000, "service", "ana"));
  EXPECT_TRUE(b.engine.Unshelve(b.serial, "ana"));
  EXPECT_EQ(b.Of(T::Reannounced).size(), 2u);
}

}  // namespace
}  // namespace dova::testing
