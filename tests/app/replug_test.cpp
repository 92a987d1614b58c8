// An incubator unplugged and plugged in again, a thousand times: nothing piles up, and every
// connection has its log lines.
#include <gtest/gtest.h>

#include "app/main_form_fixture.h"

namespace dova::testing {
namespace {

TEST(ReplugTest, AThousandCyclesLeaveNothingBehindAndLogEveryConnection) {
  MainFormFixture f;
  TMainForm& form = f.Create();
  f.Plug("Cycler");
  ASSERT_EQ(form.ActivePanels.size(), 1u);
  const QString log = form.ActivePanels[0]->LogFilePath();
  const std::size_t ports = form.USBXpressEnumerator.Ports().size();
  const std::size_t tiles = form.Panels().size();
  constexpr int kCycles = 1000;
  for (int i = 0; i < kCycles; ++i) {
    f.fleet.At(0).Unplug();
    ASSERT_TRUE(f.sched.AdvanceUntil([&] { return form.ActivePanels.empty(); }, 1000)) << i;
    // Past the close timer: the old tile is freed before the incubator comes back.
    f.sched.AdvanceBy(1100);
    f.fleet.Replug(0);
    ASSERT_TRUE(f.sched.AdvanceUntil([&] { return form.ActivePanels.size() == 1; }, 3000)) << i;
    ASSERT_TRUE(f.sched.AdvanceUntil([&] { return !form.ActivePanels[0]->LogStatePending; }, 500));
  }
  f.sched.AdvanceBy(2100);  // the next scan frees the last closed port
  EXPECT_EQ(form.Panels().size(), tiles);
  EXPECT_EQ(form.USBXpressEnumerator.Ports().size(), ports);

  form.Close();
  // Every connection: "Connected" ... "Disconnected", in that order.
  int connected = 0;
  int disconnected = 0;
  bool open = false;
  for (const QString& line : MainFormFixture::LogLines(log)) {
    if (line.endsWith(QStringLiteral(", Connected"))) {
      EXPECT_FALSE(open) << "Connected twice without Disconnected";
      open = true;
      ++connected;
    } else if (line.endsWith(QStringLiteral(", Disconnected"))) {
      EXPECT_TRUE(open);
      open = false;
      ++disconnected;
    }
  }
  EXPECT_EQ(connected, kCycles + 1);
  EXPECT_EQ(disconnected, kCycles + 1);
  EXPECT_TRUE(f.errors.messages.empty());
}

// Plugged in again before the main window has freed the old tile: the new link must still
// log, after the old link's last line.
TEST(ReplugTest, AFastReplugLogsEveryConnectionInOrder) {
  for (const int delay_ms : {0, 50, 500}) {
    MainFormFixture f;
    TMainForm& form = f.Create();
    f.Plug("Quick");
    const QString log = form.ActivePanels[0]->LogFilePath();
    for (int i = 0; i < 5; ++i) {
      f.fleet.At(0).Unplug();
      f.sched.AdvanceBy(delay_ms);
      f.fleet.Replug(0);
      f.sched.AdvanceBy(6000);
    }
    form.Close();
    QStringList marks;
    for (const QString& line : MainFormFixture::LogLines(log)) {
      if (line.endsWith(QStringLiteral(", Connected"))) marks << QStringLiteral("C");
      if (line.endsWith(QStringLiteral(", Disconnected"))) marks << QStringLiteral("D");
    }
    EXPECT_EQ(marks.join(QString()), QStringLiteral("CDCDCDCDCDCD")) << delay_ms << " ms";
  }
}

}  // namespace
}  // namespace dova::testing
