// What the screens and speakers make of the alarms: the tile's frame with its flashing, the
// hint and summary texts, the list's order, the tone with its repeat and mute, and notices.
#include <gtest/gtest.h>

#include "alarm_fixture.h"
#include "alarms/alarm_announcer.h"
#include "alarms/alarm_board.h"

namespace dova::testing {
namespace {

struct ScreensTest : ::testing::Test {
  AlarmBench b;
  TAlarmBoard board{b.sched, b.engine};
  RecordingAlarmSound sound;
  RecordingDesktopNotifier notifier;
  TAlarmAnnouncer announcer{b.sched, b.engine, sound, notifier};
  int changes = 0;
  TScopedSubscription changed{board.Changed(), [this] { ++changes; }};

  ScreensTest() {
    b.LinkUp();
    b.Minutes(2);  // armed
  }
  void OpenLeftLidFor(double minutes) {
    b.Send(TTileEventKind::LidOpen, TTileSide::Left);
    b.Minutes(minutes);
  }
};

TEST_F(ScreensTest, AnUnacknowledgedAlarmFlashesOnceASecondAcknowledgedItIsSteady) {
  EXPECT_EQ(board.Frame(b.serial), TAlarmFrame::None);
  EXPECT_EQ(board.Summary(), "No alarms");
  OpenLeftLidFor(3);
  ASSERT_EQ(board.Frame(b.serial), TAlarmFrame::Flashing);
  EXPECT_EQ(board.Summary(), "1 alarm, 1 unacknowledged");
  EXPECT_EQ(board.HintText(b.serial), "Alarms: Left lid open too long (active, unacknowledged)");
  // On for half a second, off for half a second.
  std::vector<bool> phases;
  for (int i = 0; i < 4; ++i) {
    phases.push_back(board.FlashOn());
    b.sched.AdvanceBy(TAlarmBoard::kFlashIntervalMs);
  }
  EXPECT_EQ(phases, (std::vector<bool>{true, false, true, false}));

  ASSERT_TRUE(b.engine.Acknowledge(b.serial, {TAlarmKind::LidOpen, TAlarmSide::Left}, "ann"));
  EXPECT_EQ(board.Frame(b.serial), TAlarmFrame::Steady);
  EXPECT_TRUE(board.FlashOn());
  EXPECT_EQ(board.Summary(), "1 alarm");
  // The flash timer stops with the last flashing frame: no more changes while steady.
  const int before = changes;
  b.sched.AdvanceBy(5 * TAlarmBoard::kFlashIntervalMs);
  EXPECT_EQ(changes, before);

  b.Send(TTileEventKind::LidClosed, TTileSide::Left);
  EXPECT_EQ(board.Frame(b.serial), TAlarmFrame::None);
  EXPECT_EQ(board.HintText(b.serial), "");
}

TEST_F(ScreensTest, AShelvedIncubatorShowsItsShelfAndStaysSilent) {
  QString error;
  ASSERT_TRUE(b.engine.Shelve(b.serial, 3600'000, "calibration", "ann", &error))
      << error.toStdString();
  OpenLeftLidFor(4);
  EXPECT_EQ(board.Frame(b.serial), TAlarmFrame::Shelved);
  EXPECT_TRUE(board.HintText(b.serial).startsWith("Alarms: shelved"));
  EXPECT_EQ(sound.plays, 0);
  EXPECT_TRUE(notifier.notices.empty());
  EXPECT_FALSE(announcer.Sounding());
}

TEST_F(ScreensTest, TheListPutsUnacknowledgedAlarmsFirstThenTheNewest) {
  OpenLeftLidFor(3);  // raised at 5 min
  b.Send(TTileEventKind::LidOpen, TTileSide::Right);
  b.Minutes(3);  // raised at 8 min
  ASSERT_TRUE(b.engine.Acknowledge(b.serial, {TAlarmKind::LidOpen, TAlarmSide::Right}, "ann"));
  b.replying = false;
  b.Minutes(1.5);  // no data, the newest of all, unacknowledged
  const std::vector<TAlarmInfo> rows = board.Rows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].Key.Kind, TAlarmKind::NoData);
  EXPECT_EQ(rows[1].Key, (TAlarmKey{TAlarmKind::LidOpen, TAlarmSide::Left}));
  EXPECT_EQ(rows[2].Key, (TAlarmKey{TAlarmKind::LidOpen, TAlarmSide::Right}));
  EXPECT_EQ(board.Summary(), "3 alarms, 2 unacknowledged");
}

TEST_F(ScreensTest, TheToneRepeatsEveryFiveSecondsUntilAcknowledged) {
  OpenLeftLidFor(3);
  ASSERT_EQ(sound.plays, 1);  // at once
  b.sched.AdvanceBy(TAlarmAnnouncer::kRepeatMs - 1);
  EXPECT_EQ(sound.plays, 1);
  b.sched.AdvanceBy(1);
  EXPECT_EQ(sound.plays, 2);
  b.sched.AdvanceBy(2 * TAlarmAnnouncer::kRepeatMs);
  EXPECT_EQ(sound.plays, 4);
  b.engine.AcknowledgeAll("ann");
  b.sched.AdvanceBy(10 * TAlarmAnnouncer::kRepeatMs);
  EXPECT_EQ(sound.plays, 4);
  EXPECT_FALSE(announcer.Sounding());
}

TEST_F(ScreensTest, MutingLastsFifteenMinutesAndANewAlarmEndsIt) {
  OpenLeftLidFor(3);
  announcer.Mute();
  const int muted_at = sound.plays;
  b.sched.AdvanceBy(TAlarmAnnouncer::kMuteMs - 1);
  EXPECT_EQ(sound.plays, muted_at);
  EXPECT_TRUE(announcer.Muted());
  b.sched.AdvanceBy(1);
  EXPECT_FALSE(announcer.Muted());
  EXPECT_EQ(sound.plays, muted_at + 1);  // heard again at once

  announcer.Mute();
  const int muted_again = sound.plays;
  b.Send(TTileEventKind::LidOpen, TTileSide::Right);
  b.Minutes(3);  // a new alarm
  EXPECT_FALSE(announcer.Muted());
  EXPECT_GT(sound.plays, muted_again);
}

TEST_F(ScreensTest, EveryRaiseIsANoticeWithTheIncubatorTheKindAndTheValue) {
  b.left = 38.2;
  b.Minutes(10.1);
  ASSERT_EQ(notifier.notices.size(), 1u);
  EXPECT_EQ(notifier.notices[0].Summary, "Bench, \"B\" (a1b2c3): Left temperature high");
  EXPECT_EQ(notifier.notices[0].Body, "38.2, limit 37.5");
  EXPECT_TRUE(notifier.notices[0].Urgent);
  b.engine.AcknowledgeAll("ann");
  b.left = 37;
  b.Minutes(1);
  EXPECT_EQ(notifier.notices.size(), 1u);  // acknowledging and clearing are no notices
}

}  // namespace
}  // namespace dova::testing
