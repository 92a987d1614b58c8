// Renders the three windows of an incubator after a few virtual hours with lid openings,
// purges and an error to PNG files (in DOVA_TREND_PNG_DIR when set), and checks the look.
#include <gtest/gtest.h>

#include <QDir>

#include "trend_fixture.h"

namespace dova::ui::testing {
namespace {

// Four hours of a lab morning: a cold start, lids opened now and then, purges of the gas line,
// a temperature error on the right chamber.
void LabMorning(TrendFixture& f) {
  double left = 24.0, right = 23.5;
  double flow = 0;
  int purge_left = 0;
  for (int s = 0; s < 4 * 3600; ++s) {
    const bool left_lid = (s % 2700) >= 1800 && (s % 2700) < 1860;
    const bool right_lid = (s % 3100) >= 2000 && (s % 3100) < 2090;
    if ((s % 2700) == 1800) f.left.AddEvent("Lid Open");
    if ((s % 2700) == 1860) f.left.AddEvent("Lid Closed");
    if ((s % 3100) == 2000) f.right.AddEvent("Lid Open");
    if ((s % 3100) == 2090) f.right.AddEvent("Lid Closed");
    if (s == 5400) f.right.AddEvent("Temperature Error");
    if (s == 5460) f.right.AddEvent("Chamber On");
    left += ((left_lid ? 26.0 : 37.0) - left) * (left_lid ? 0.02 : 0.004);
    right += ((right_lid ? 27.0 : 37.0) - right) * (right_lid ? 0.015 : 0.0035);
    if (s == 600) f.gas.AddEvent("Flow On");
    if (s > 600 && s % 3600 == 1200) {
      f.gas.AddEvent("Purge Start");
      purge_left = 120;
    }
    const double want = s < 600 ? 0 : (purge_left > 0 ? 50 : 20);
    if (purge_left > 0 && --purge_left == 0) f.gas.AddEvent("Purge Stop");
    flow += (want - flow) * 0.2;
    f.left.AddTemps(left, 37.0);
    f.right.AddTemps(right, s < 7200 ? 37.0 : 37.5);
    f.gas.AddFlows(flow + ((s / 7) % 3 == 0 ? 1.0 : 0), s < 600 ? 0.1 : (purge_left ? 50 : 20));
    f.Tick();
  }
}

TEST(RenderIncubatorTest, ThreeWindowsOfALabMorning) {
  TrendFixture f;
  for (auto* m : {static_cast<TTrendGraph*>(&f.left), static_cast<TTrendGraph*>(&f.gas),
                  static_cast<TTrendGraph*>(&f.right)})
    m->setGraphWidth(720);
  TTempGraph left(f.left);
  TGasGraph gas(f.gas);
  TTempGraph right(f.right);
  left.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
  gas.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
  right.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
  f.left.SetCaption("Bench 1: dova3001234 Left Temperature");
  LabMorning(f);
  left.show();
  gas.show();
  right.show();
  const QString dir = qEnvironmentVariable("DOVA_TREND_PNG_DIR", QDir::tempPath());
  const QImage l = Picture(left);
  const QImage g = Picture(gas);
  const QImage r = Picture(right);
  EXPECT_EQ(l.size(), QSize(693, 165));
  EXPECT_EQ(g.size(), QSize(545, 261));
  EXPECT_TRUE(l.save(dir + "/trend-left.png"));
  EXPECT_TRUE(g.save(dir + "/trend-gas.png"));
  EXPECT_TRUE(r.save(dir + "/trend-right.png"));
  EXPECT_EQ(left.windowTitle(), "Bench 1: dova3001234 Left Temperature");

  // The same left window zoomed into the second lid opening, and the gas window in German.
  const QRect plot = left.Chart1().axisRect()->rect();
  Drag(left.Chart1(), plot.topLeft() + QPoint(plot.width() / 5, 5),
       plot.topLeft() + QPoint(plot.width() * 2 / 5, plot.height() - 5), Qt::LeftButton);
  f.sched.AdvanceBy(TTrendGraphWindow::kZoomStepMs * TTrendGraphWindow::kZoomSteps);
  EXPECT_TRUE(f.left.Zoomed());
  EXPECT_TRUE(Picture(left).save(dir + "/trend-left-zoomed.png"));
  gas.setLocale(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_TRUE(Picture(gas).save(dir + "/trend-gas-german.png"));
}

}  // namespace
}  // namespace dova::ui::testing
