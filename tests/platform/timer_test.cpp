#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <memory>
#include <stdexcept>
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

TEST(QtSchedulerTest, RunsTimersOnTheEventLoop) {
  QtScheduler sched;
  Timer t(sched, 5, true);
  int count = 0;
  t.SetOnTimer([&] {
    if (++count == 3) t.SetEnabled(false);
  });
  QElapsedTimer guard;
  guard.start();
  while (count < 3 && guard.elapsed() < 5000) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  EXPECT_EQ(count, 3);
  const TDateTime now = sched.Now();
  EXPECT_GT(now, 40000.0);  // some day after 2009
}

}  // namespace
}  // namespace dova
