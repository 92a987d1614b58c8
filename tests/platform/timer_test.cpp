#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/error_reporter.h"
#include "platform/qt_scheduler.h"
#include "platform/timer.h"
#include "platform/virtual_scheduler.h"

namespace dova {
namespace {

struct TimerTest : ::testing::Test {
  VirtualScheduler sched;
  std::vector<std::int64_t> fired;
  void Record(Timer& t) {
    t.SetOnTimer([this] { fired.push_back(sched.ElapsedMs()); });
  }
};

TEST_F(TimerTest, FiresEveryIntervalWhileEnabled) {
  Timer t(sched, 20, true);
  Record(t);
  sched.AdvanceBy(100);
  EXPECT_EQ(fired, (std::vector<std::int64_t>{20, 40, 60, 80, 100}));
}

TEST_F(TimerTest, DisabledOrZeroIntervalOrNoHandlerNeverFires) {
  Timer disabled(sched, 20, false);
  Record(disabled);
  Timer zero(sched, 0, true);
  Record(zero);
  Timer no_handler(sched, 20, true);
  sched.AdvanceBy(1000);
  EXPECT_TRUE(fired.empty());
  EXPECT_EQ(sched.ArmedCount(), 0u);
}

TEST_F(TimerTest, EnablingAndChangingIntervalRestartTheCountdown) {
  Timer t(sched, 50, false);
  Record(t);
  sched.AdvanceBy(30);
  t.SetEnabled(true);  // counts from 30
  sched.AdvanceBy(40);
  EXPECT_EQ(fired, (std::vector<std::int64_t>{}));
  sched.AdvanceBy(10);
  EXPECT_EQ(fired, (std::vector<std::int64_t>{80}));
  sched.AdvanceBy(30);  // now 110
  t.SetInterval(20);    // restarts from 110
  sched.AdvanceBy(20);
  EXPECT_EQ(fired, (std::vector<std::int64_t>{80, 130}));
  // Same value again changes nothing.
  sched.AdvanceBy(10);  // 140
  t.SetInterval(20);
  t.SetEnabled(true);
  sched.AdvanceBy(10);
  EXPECT_EQ(fired, (std::vector<std::int64_t>{80, 130, 150}));
}

TEST_F(TimerTest, HandlerCanChangeItsOwnIntervalAndDisableOthers) {
  Timer a(sched, 50, true);
  Timer b(sched, 50, true);
  int b_count = 0;
  a.SetOnTimer([&] {
    fired.push_back(sched.ElapsedMs());
    a.SetInterval(20);
    b.SetEnabled(false);
  });
  b.SetOnTimer([&] { ++b_count; });
  sched.AdvanceBy(90);
  EXPECT_EQ(fired, (std::vector<std::int64_t>{50, 70, 90}));
  EXPECT_EQ(b_count, 0);  // a fired first (armed first) and disabled b
}

TEST_F(TimerTest, HandlerCanDeleteItselfAndOtherTimers) {
  auto a = std::make_unique<Timer>(sched, 10, true);
  auto b = std::make_unique<Timer>(sched, 10, true);
  int b_count = 0;
  a->SetOnTimer([&] {
    b.reset();
    a.reset();
  });
  b->SetOnTimer([&] { ++b_count; });
  sched.AdvanceBy(100);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(b_count, 0);
  EXPECT_EQ(sched.ArmedCount(), 0u);
}

TEST_F(TimerTest, ExceptionLeavingHandlerIsReportedAndTimerGoesOn) {
  RecordingErrorReporter errors;
  sched.SetErrorReporter(&errors);
  Timer t(sched, 10, true);
  int count = 0;
  t.SetOnTimer([&] {
    ++count;
    throw std::runtime_error("Error Reading");
  });
  sched.AdvanceBy(30);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(errors.messages, (std::vector<std::string>(3, "Error Reading")));
}

TEST_F(TimerTest, NestedRunFiresOtherTimersWhileHandlerWaits) {
  Timer modal(sched, 100, true);
  Timer poll(sched, 20, true);
  std::vector<std::string> log;
  modal.SetOnTimer([&] {
    modal.SetEnabled(false);
    log.push_back("open@" + std::to_string(sched.ElapsedMs()));
    sched.AdvanceBy(50);  // a dialog stays open for 50 ms
    log.push_back("close@" + std::to_string(sched.ElapsedMs()));
  });
  poll.SetOnTimer([&] { log.push_back("poll@" + std::to_string(sched.ElapsedMs())); });
  sched.AdvanceBy(170);
  EXPECT_EQ(
      log, (std::vector<std::string>{"poll@20", "poll@40", "poll@60", "poll@80", "open@100",
                                     "poll@100", "poll@120", "poll@140", "close@150", "poll@160"}));
}

TEST_F(TimerTest, WallClockShiftMovesNowButNotTimers) {
  Timer t(sched, 1000, true);
  Record(t);
  const TDateTime before = sched.Now();
  sched.ShiftWallClock(-1.0 / 24);
  EXPECT_NEAR(sched.Now(), before - 1.0 / 24, 1e-9);
  sched.AdvanceBy(1000);
  EXPECT_EQ(fired.size(), 1u);
}

TEST_F(TimerTest, CallsFromAnotherThreadRunOnTheSchedulerThread) {
  std::thread::id ran_on;
  std::thread worker([&] { sched.InvokeBlocking([&] { ran_on = std::this_thread::get_id(); }); });
  while (!sched.WaitAndRunPending(1000)) {
  }
  worker.join();
  EXPECT_EQ(ran_on, std::this_thread::get_id());
}

TEST_F(TimerTest, PostedCallsRunAfterTheHandlerBeforeTheNextTimerAtTheSameMoment) {
  RecordingErrorReporter errors;
  sched.SetErrorReporter(&errors);
  Timer reply(sched, 10, false);
  Timer next(sched, 10, false);
  std::vector<std::string> log;
  const auto at = [&](const char* what) {
    log.push_back(what + ("@" + std::to_string(sched.ElapsedMs())));
  };
  reply.SetOnTimer([&] {
    reply.SetEnabled(false);
    sched.Post([&] {
      at("first");
      sched.Post([&] { at("third"); });  // posted while posted calls run: runs in this round
    });
    sched.Post([&] {
      at("second");
      throw std::runtime_error("File Open Error");
    });
    at("handler");
  });
  next.SetOnTimer([&] {
    next.SetEnabled(false);
    at("next");
  });
  reply.SetEnabled(true);
  next.SetEnabled(true);  // due at the same moment, armed later
  sched.AdvanceBy(10);
  EXPECT_EQ(log, (std::vector<std::string>{"handler@10", "first@10", "second@10", "third@10",
                                           "next@10"}));
  EXPECT_EQ(errors.messages, std::vector<std::string>{"File Open Error"});
  // A call posted outside any handler waits for the scheduler to run again.
  log.clear();
  sched.Post([&] { at("outside"); });
  EXPECT_TRUE(log.empty());
  sched.AdvanceBy(0);
  EXPECT_EQ(log, std::vector<std::string>{"outside@10"});
}

TEST(QtSchedulerTest, RunsTimersOnTheEventLoop) {
  QtScheduler sched;
  Timer t(sched, 5, true);
  int count = 0;
  t.SetOnTimer([&] {
    if (++count == 3) t.SetEnabled(false);
  });
  QElapsedTimer guard;
  guard.start();
  while (count < 3 && guard.elapsed() < 60000) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  EXPECT_EQ(count, 3);
  const TDateTime now = sched.Now();
  EXPECT_GT(now, 40000.0);  // some day after 2009
}

// Now() looks up the offset from UTC once per minute; around the changes to and from
// daylight saving time it must still agree with Qt's own local time to the millisecond.
TEST(QtSchedulerTest, LocalTimeFollowsDaylightSavingChangesToTheMillisecond) {
  const QByteArray saved_tz = qgetenv("TZ");
  const bool had_tz = qEnvironmentVariableIsSet("TZ");
  qputenv("TZ", "Europe/Berlin");
  QtScheduler sched;
  // 29 March 2026, 01:00 UTC: 02:00 CET becomes 03:00 CEST; 25 October 2026, 01:00 UTC: back.
  const std::int64_t spring =
      QDateTime(QDate(2026, 3, 29), QTime(1, 0), Qt::UTC).toMSecsSinceEpoch();
  const std::int64_t autumn =
      QDateTime(QDate(2026, 10, 25), QTime(1, 0), Qt::UTC).toMSecsSinceEpoch();
  const std::int64_t instants[] = {
      spring - 60001,
      spring - 1,
      spring,
      spring + 1,
      spring + 59999,
      spring - 1,  // the clock set back across the change
      autumn - 1,
      autumn,
      autumn + 3600000,
      autumn - 1,
      0,
      -1,
  };
  for (const std::int64_t utc : instants) {
    EXPECT_EQ(sched.LocalTimeAt(utc), DateTimeFromQDateTime(QDateTime::fromMSecsSinceEpoch(utc)))
        << utc;
  }
  EXPECT_EQ(MillisecondsBetween(sched.LocalTimeAt(spring - 1), sched.LocalTimeAt(spring)), 3600001);
  if (had_tz) {
    qputenv("TZ", saved_tz);
  } else {
    qunsetenv("TZ");
  }
}

TEST(QtSchedulerTest, FirstFiringIsTheNextTickOfItsGridAtOrAfterTheDueTime) {
  struct Case {
    std::int64_t now;
    std::uint32_t interval;
    std::int64_t first;
  };
  const Case cases[] = {
      {0, 20, 20},         // on the grid already
      {7, 20, 40},         // due at 27: the next 20 ms tick
      {20, 20, 40},        //
      {21, 20, 60},        // due at 41
      {7, 1000, 1020},     // a multiple of 20 ms shares the 20 ms ticks
      {7, 50, 60},         // 50 ms: a 10 ms grid, every firing 50 ms apart
      {7, 30, 40},         // 30 ms: a 10 ms grid
      {7, 5, 15},          // 5 ms: a 5 ms grid
      {7, 37, 44},         // no common divisor: exactly when due
      {7, 59993, 60000},   // a wait worked out from the clock: a 1 ms grid
      {13, 59980, 60000},  // a multiple of 20 ms again: due at 59993, fired at 60000
  };
  for (const Case& c : cases) {
    const std::int64_t first = QtScheduler::FirstFiring(c.now, c.interval);
    EXPECT_EQ(first, c.first) << c.now << " + " << c.interval;
    // Never early, and late by less than one tick of the 20 ms grid.
    EXPECT_GE(first, c.now + c.interval);
    EXPECT_LT(first, c.now + c.interval + QtScheduler::kTickMs);
  }
}

// Runs the Qt event loop until done() holds. The bound only ends a test that would hang; it
// is far beyond any wait a loaded machine makes.
bool RunLoopUntil(const std::function<bool()>& done) {
  QElapsedTimer guard;
  guard.start();
  while (!done() && guard.elapsed() < 60000)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  return done();
}

TEST(QtSchedulerTest, PostedCallsRunOnTheEventLoopAfterTheHandler) {
  QtScheduler sched;
  Timer t(sched, 5, true);
  std::vector<std::string> log;
  t.SetOnTimer([&] {
    t.SetEnabled(false);
    sched.Post([&] { log.push_back("posted"); });
    log.push_back("handler");
  });
  ASSERT_TRUE(RunLoopUntil([&] { return log.size() == 2; }));
  EXPECT_EQ(log, (std::vector<std::string>{"handler", "posted"}));
  // With no timer running, a posted call wakes the event loop itself.
  sched.Post([&] { log.push_back("idle"); });
  EXPECT_EQ(log.size(), 2u);
  EXPECT_TRUE(RunLoopUntil([&] { return log.size() == 3; }));
}

TEST(QtSchedulerTest, TimersOfTheSameIntervalShareOneWakeUpAndFireInArmingOrder) {
  QtScheduler sched;
  // Ten tiles: a 20 ms read timer and a 20 ms poll timer each, and 1 s plot timers.
  constexpr int kFast = 20;
  std::vector<std::unique_ptr<Timer>> timers;
  std::vector<int> counts(kFast + 3, 0);
  std::vector<int> order;
  for (int i = 0; i < kFast + 3; ++i) {
    timers.push_back(std::make_unique<Timer>(sched, i < kFast ? 20 : 1000, true));
    timers.back()->SetOnTimer([&, i] {
      if (counts[i]++ == 0) order.push_back(i);
    });
  }
  ASSERT_TRUE(RunLoopUntil([&] { return counts[kFast] >= 1 && counts[0] >= 55; }));
  // Ids first fired in the order they were armed (a later arming is never due earlier).
  std::vector<int> armed(kFast + 3);
  std::iota(armed.begin(), armed.end(), 0);
  EXPECT_EQ(order, armed);
  EXPECT_EQ(sched.QtTimerCount(), 1u);
  // Every 20 ms timer fired on the same ticks (one may have been armed across a tick
  // boundary, one firing behind), and the 1 s ones came on those ticks too: the loop woke
  // about once per tick, not once per timer.
  for (int i = 0; i < kFast; ++i)
    EXPECT_NEAR(counts[i], counts[0], 1) << i;
  const std::uint64_t ticks = static_cast<std::uint64_t>(counts[0]);
  EXPECT_LE(sched.WakeUps(), ticks + 2);
  EXPECT_GE(sched.WakeUps(), ticks);
  // The Qt timer behind the wake-ups repeats by itself: it is started again when the next due
  // tick is not the next one of the grid or a whole tick was missed, not for every tick.
  EXPECT_LT(sched.WakerStarts(), sched.WakeUps() / 2);
}

// On the real clock only the order of events and "never before its due time" hold: a loaded
// machine makes any firing late, and a late firing followed by one on time makes an observed
// gap shorter than the interval. So every firing is checked against the tick the scheduler
// worked out for it, and the spacing of those ticks against the interval.
TEST(QtSchedulerTest, NeverFiresEarlyAndRestartingCountsFromTheRestart) {
  QtScheduler sched;
  Timer t(sched, 100, false);
  struct Firing {
    std::int64_t at;    // when the handler ran
    std::int64_t next;  // the tick the scheduler set for the next firing
  };
  std::vector<Firing> fired;
  t.SetOnTimer([&] { fired.push_back({sched.ElapsedMs(), sched.NextFiring(t)}); });
  // Arms the timer with `arm` and gives the tick its first firing is due on, which counts
  // from the moment of arming.
  const auto armed = [&](const std::function<void()>& arm) {
    const std::int64_t before = sched.ElapsedMs();
    arm();
    const std::int64_t due = sched.NextFiring(t);
    EXPECT_GE(due, QtScheduler::FirstFiring(before, t.Interval()));
    EXPECT_LE(due, QtScheduler::FirstFiring(sched.ElapsedMs(), t.Interval()));
    return due;
  };
  std::vector<std::int64_t> due;
  due.push_back(armed([&] { t.SetEnabled(true); }));
  ASSERT_TRUE(RunLoopUntil([&] { return fired.size() == 1; }));
  // Changing the interval restarts the countdown from here.
  due.push_back(armed([&] { t.SetInterval(60); }));
  ASSERT_TRUE(RunLoopUntil([&] { return fired.size() == 4; }));
  due.push_back(fired[1].next);
  due.push_back(fired[2].next);
  // Disabling and enabling again restarts it too.
  t.SetEnabled(false);
  EXPECT_EQ(sched.NextFiring(t), -1);
  due.push_back(armed([&] { t.SetEnabled(true); }));
  ASSERT_TRUE(RunLoopUntil([&] { return fired.size() == 5; }));
  t.SetEnabled(false);

  for (std::size_t i = 0; i < fired.size(); ++i) {
    EXPECT_GE(fired[i].at, due[i]) << "firing " << i << " came early";
    if (i > 0) {
      EXPECT_GE(fired[i].at, fired[i - 1].at) << i;
    }
  }
  // No faster than its interval: a firing's next tick is at least one interval on (more when
  // the loop was held up past it).
  for (std::size_t i = 1; i < 3; ++i)
    EXPECT_GE(fired[i].next - due[i], 60) << i;
}

TEST(QtSchedulerTest, AHandlerCanDeleteATimerDueOnTheSameTick) {
  QtScheduler sched;
  auto a = std::make_unique<Timer>(sched, 20, true);
  auto b = std::make_unique<Timer>(sched, 20, true);
  Timer c(sched, 20, true);
  int b_count = 0;
  int c_count = 0;
  a->SetOnTimer([&] {
    b.reset();
    a.reset();
  });
  b->SetOnTimer([&] { ++b_count; });
  c.SetOnTimer([&] { ++c_count; });
  ASSERT_TRUE(RunLoopUntil([&] { return c_count >= 3; }));
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(b_count, 0);
}

TEST(QtSchedulerTest, OtherTimersKeepFiringWhileAHandlerRunsANestedLoop) {
  QtScheduler sched;
  Timer modal(sched, 20, true);
  Timer poll(sched, 20, true);
  QEventLoop* box = nullptr;
  int modal_calls = 0;
  int modal_calls_inside = -1;
  int polls = 0;
  int polls_inside = -1;
  // A message box from a handler whose timer stays enabled (an error box): its own event
  // loop, open until the poll timer has fired five times. The handler arms no timer of ours,
  // so only the scheduler can keep the others going.
  modal.SetOnTimer([&] {
    if (++modal_calls > 1) return;
    QEventLoop loop;
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    guard.start(60000);  // only ends a test that would hang
    const int before = polls;
    box = &loop;
    loop.exec();
    box = nullptr;
    polls_inside = polls - before;
    modal_calls_inside = modal_calls;
  });
  poll.SetOnTimer([&] {
    if (++polls >= 5 && box) box->quit();
  });
  ASSERT_TRUE(RunLoopUntil([&] { return polls_inside >= 0; }));
  EXPECT_GE(polls_inside, 5);
  EXPECT_EQ(modal_calls_inside, 1);  // not entered again while its box was open
  // And both go on after the box has closed.
  const int after = polls;
  EXPECT_TRUE(RunLoopUntil([&] { return polls >= after + 3 && modal_calls >= 3; }));
}

}  // namespace
}  // namespace dova
