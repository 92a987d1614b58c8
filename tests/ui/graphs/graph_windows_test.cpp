// The trend windows as a user sees and handles them, offscreen.
#include "ui/graphs/graph_windows.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRegularExpression>
#include <QTest>

#include "graphs/axis_labels.h"
#include "trend_fixture.h"

namespace dova::ui::testing {
namespace {

const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);
const QLocale kGerman(QLocale::German, QLocale::Germany);
const QColor kRed(230, 0, 0);
const QColor kGrey(210, 210, 210);
const QColor kGreenLine(55, 190, 16);
const QColor kGreenBox(0, 128, 0);
const QColor kRedBox(220, 0, 0);

struct TempWindowTest : ::testing::Test, TrendFixture {
  TTempGraph window{left};
  TTrendChart& chart = window.Chart1();

  void SetUp() override {
    window.setLocale(kEnglish);
    left.setGraphWidth(720);
  }
  // Temperature and set-point for n ticks.
  void Feed(int n, double temp, double set_point) {
    for (int i = 0; i < n; ++i) {
      left.AddTemps(temp, set_point);
      Tick();
    }
  }
  QCPRange TimeShown() const { return chart.xAxis->range(); }
  // Model ranges as the chart shows them.
  void ExpectChartShowsModel() {
    Settle();
    const TChart& c = left.Chart1();
    EXPECT_DOUBLE_EQ(chart.xAxis->range().lower, c.BottomAxis.Minimum);
    const QRect plot = chart.axisRect()->rect();
    EXPECT_NEAR(chart.xAxis->coordToPixel(c.BottomAxis.Maximum),
                plot.left() + plot.width() - TTrendGraphWindow::kRoomBeyondNewest, 0.5);
    EXPECT_DOUBLE_EQ(chart.yAxis->range().lower, c.LeftAxis.Minimum);
    EXPECT_DOUBLE_EQ(chart.yAxis->range().upper, c.LeftAxis.Maximum);
  }
  QPoint PlotPoint(double fx, double fy) const {
    const QRect r = chart.axisRect()->rect();
    return QPoint(r.left() + qRound(r.width() * fx), r.top() + qRound(r.height() * fy));
  }
};

TEST_F(TempWindowTest, LooksAndLegend) {
  window.show();
  const QImage image = Picture(window);
  EXPECT_EQ(image.size(), QSize(693, 165));
  EXPECT_EQ(QColor(image.pixel(2, 2)), QColor(208, 225, 234));
  EXPECT_EQ(QColor(image.pixel(PlotPoint(0.5, 0.5))), QColor(Qt::white));
  EXPECT_EQ(chart.toolTip(), "Left button to zoom, Right button to drag, Double click to un-zoom");
  EXPECT_EQ(chart.yAxis->label(), QString::fromUtf8("Temperature (°C)"));
  EXPECT_EQ(chart.selectionRect()->pen(), QPen(Qt::black, 1, Qt::DotLine));  // the zoom outline
  EXPECT_FALSE(chart.yAxis2->visible());
  EXPECT_EQ(chart.yAxis2->range(), QCPRange(-0.25, 8.85));

  // Legend: "Temperature" above "Set Point        ", 12 pixels right of the plot, with a shadow.
  QCPLegend* legend = chart.legend;
  ASSERT_EQ(legend->itemCount(), 2);
  auto name = [&](int i) {
    return static_cast<QCPPlottableLegendItem*>(legend->item(i))->plottable()->name();
  };
  EXPECT_EQ(name(0), "Temperature");
  EXPECT_EQ(name(1), "Set Point        ");
  EXPECT_LT(legend->item(0)->rect().top(), legend->item(1)->rect().top());
  EXPECT_EQ(legend->outerRect().left(), chart.axisRect()->rect().right() + 1 + 12);
  EXPECT_NEAR(legend->outerRect().top(), 0.11 * 165, 1);
  const QPoint shadow = legend->outerRect().bottomRight() + QPoint(2, 2);
  EXPECT_LT(QColor(image.pixel(shadow)).lightness(), QColor(208, 225, 234).lightness() - 40);
}

TEST_F(TempWindowTest, LinesAndMarksStandWhereTheValuesPutThem) {
  Feed(300, 36.0, 37.0);
  const TDateTime lid = sched.Now();
  left.AddEvent("Lid Open");
  Feed(300, 38.0, 37.0);
  const TDateTime error = sched.Now();
  left.AddEvent("Temperature Error");
  Feed(300, 38.0, 37.0);
  window.show();
  const QImage image = Picture(window);
  image.save(QDir::tempPath() + "/trend-lines.png");

  const TDateTime early = lid - 150 * kOneSecond;
  const TDateTime late = sched.Now() - 100 * kOneSecond;
  EXPECT_GE(ColourNear(image, Pixel(chart, early, 37.0), kGrey, 1), 3);
  EXPECT_GE(ColourNear(image, Pixel(chart, early, 36.0), kRed, 1), 2);
  EXPECT_GE(ColourNear(image, Pixel(chart, late, 38.0), kRed, 1), 2);
  EXPECT_EQ(ColourNear(image, Pixel(chart, late, 36.5), kRed, 3), 0);

  // The boxes stand above their points on rows 0 and 1: green for the event, red for the error.
  const QPoint lid_at = Pixel(chart, lid, 0, chart.yAxis2);
  const QPoint error_at = Pixel(chart, error, 1, chart.yAxis2);
  EXPECT_GE(ColourNear(image, lid_at + QPoint(0, -TMarksItem::kArrowLength - 6), kGreenBox, 2), 10);
  EXPECT_GE(ColourNear(image, error_at + QPoint(0, -TMarksItem::kArrowLength - 6), kRedBox, 2), 10);
  EXPECT_GE(ColourNear(image, lid_at, kGreenBox, 1), 3);                      // the diamond
  EXPECT_EQ(QColor(image.pixel(lid_at + QPoint(0, -3))), QColor(Qt::black));  // the arrow
}

TEST_F(TempWindowTest, AxisLabelsFollowTheUsersLocale) {
  Feed(600, 37.25, 37.0);
  window.show();
  Settle();
  const QVector<QString> english = chart.yAxis->tickVectorLabels();
  ASSERT_FALSE(english.isEmpty());
  EXPECT_TRUE(english.contains("37.0")) << english.join('|').toStdString();
  const QVector<QString> times = chart.xAxis->tickVectorLabels();
  ASSERT_FALSE(times.isEmpty());
  for (const QString& t : times)
    EXPECT_TRUE(QRegularExpression("^8Mar [0-9]{1,2}:[0-9]{2}pm$").match(t).hasMatch())
        << t.toStdString();
  // Labels at least a minute apart.
  EXPECT_GE(chart.xAxis->tickVector().at(1) - chart.xAxis->tickVector().at(0), kOneMinute * 0.999);

  window.setLocale(kGerman);
  Settle();
  EXPECT_TRUE(chart.yAxis->tickVectorLabels().contains("37,0"));
  const QString german_time = chart.xAxis->tickVectorLabels().first();
  EXPECT_TRUE(german_time.startsWith("8" + kGerman.monthName(3, QLocale::ShortFormat) + " "))
      << german_time.toStdString();
}

TEST_F(TempWindowTest, AWindowZoomedIntoOneLidOpeningLabelsSeconds) {
  Feed(600, 37.25, 37.0);
  window.show();
  Settle();
  // A 40-second zoom, the length of one lid opening, between two whole minutes.
  const double seconds_per_pixel =
      chart.xAxis->range().size() / kOneSecond / chart.axisRect()->width();
  const int across = qRound(40 / seconds_per_pixel);
  const QPoint from = PlotPoint(0.5, 0.2);
  Drag(chart, from, from + QPoint(std::max(across, 17), 100), Qt::LeftButton);
  ASSERT_TRUE(left.Zoomed());
  sched.AdvanceBy(TTrendGraphWindow::kZoomStepMs * (TTrendGraphWindow::kZoomSteps + 2));
  Settle();
  ASSERT_LT(TimeShown().size(), 3 * kOneMinute);
  const QVector<QString> times = chart.xAxis->tickVectorLabels();
  ASSERT_GE(times.size(), 2) << "labels within the zoomed range";
  for (const QString& t : times)
    EXPECT_TRUE(QRegularExpression("^8Mar [0-9]{1,2}:[0-9]{2}:[0-9]{2}pm$").match(t).hasMatch())
        << t.toStdString();
  // Far enough apart for their width.
  const double step = chart.xAxis->tickVector().at(1) - chart.xAxis->tickVector().at(0);
  const QFontMetrics metrics(chart.xAxis->tickLabelFont());
  EXPECT_GE(chart.xAxis->coordToPixel(step) - chart.xAxis->coordToPixel(0),
            1.2 * metrics.horizontalAdvance(times.first()) - 1);

  // Back to the whole run: whole minutes again.
  QTest::mouseDClick(&chart, Qt::LeftButton, {}, PlotPoint(0.5, 0.5));
  Settle();
  for (const QString& t : chart.xAxis->tickVectorLabels())
    EXPECT_TRUE(QRegularExpression("^8Mar [0-9]{1,2}:[0-9]{2}pm$").match(t).hasMatch())
        << t.toStdString();
}

TEST(GasWindowTest, FlowAxisAndLegend) {
  TrendFixture f;
  TGasGraph window(f.gas);
  window.setLocale(kEnglish);
  f.Run(120, 37, 37, 0, 20);
  window.show();
  const QImage image = Picture(window);
  TTrendChart& chart = window.Chart1();
  EXPECT_EQ(image.size(), QSize(545, 261));
  EXPECT_EQ(chart.yAxis->label(), "Gas Flow (ml/min)");
  EXPECT_EQ(chart.yAxis->range(), QCPRange(-1, 60));
  const QVector<QString> labels = chart.yAxis->tickVectorLabels();
  EXPECT_TRUE(labels.contains("   0")) << labels.join('|').toStdString();
  EXPECT_TRUE(labels.contains("   60")) << labels.join('|').toStdString();
  auto name = [&](int i) {
    return static_cast<QCPPlottableLegendItem*>(chart.legend->item(i))->plottable()->name();
  };
  EXPECT_EQ(name(0), "Flow");
  EXPECT_EQ(name(1), "Set Point        ");
  const QPoint flow_at = Pixel(chart, f.sched.Now() - 30 * kOneSecond, 0);
  EXPECT_GE(ColourNear(image, flow_at, QColor(55, 190, 16), 1), 2);
}

TEST_F(TempWindowTest, MouseZoomPanAndUndo) {
  Feed(3600, 37.0, 37.0);
  window.show();
  ExpectChartShowsModel();
  const TChart before = left.Chart1();

  // No more than 16 pixels across or down: nothing happens.
  for (const QPoint d : {QPoint(16, 16), QPoint(-16, 40), QPoint(100, 16), QPoint(5, -5)}) {
    const QPoint from = PlotPoint(0.3, 0.3);
    Drag(chart, from, from + d, Qt::LeftButton);
    EXPECT_FALSE(left.Zoomed()) << d.x() << "," << d.y();
    EXPECT_EQ(left.Chart1().BottomAxis, before.BottomAxis);
    EXPECT_EQ(left.Chart1().LeftAxis, before.LeftAxis);
  }

  // Dragged backwards, up and left: zooms to the rectangle all the same, animated.
  const QPoint a = PlotPoint(0.6, 0.7);
  const QPoint b = PlotPoint(0.3, 0.2);
  const double x0 = chart.xAxis->pixelToCoord(b.x());
  const double x1 = chart.xAxis->pixelToCoord(a.x());
  const double y0 = chart.yAxis->pixelToCoord(a.y());
  const double y1 = chart.yAxis->pixelToCoord(b.y());
  Drag(chart, a, b, Qt::LeftButton);
  EXPECT_TRUE(left.Zoomed());
  EXPECT_DOUBLE_EQ(left.Chart1().BottomAxis.Minimum, x0);
  EXPECT_DOUBLE_EQ(left.Chart1().BottomAxis.Maximum, x1);
  EXPECT_DOUBLE_EQ(left.Chart1().LeftAxis.Minimum, y0);
  EXPECT_DOUBLE_EQ(left.Chart1().LeftAxis.Maximum, y1);
  EXPECT_TRUE(window.ZoomAnimating());
  sched.AdvanceBy(TTrendGraphWindow::kZoomStepMs * 3);
  Settle();
  EXPECT_GT(TimeShown().lower, before.BottomAxis.Minimum);  // on the way
  EXPECT_LT(TimeShown().lower, x0);
  sched.AdvanceBy(TTrendGraphWindow::kZoomStepMs * TTrendGraphWindow::kZoomSteps);
  EXPECT_FALSE(window.ZoomAnimating());
  ExpectChartShowsModel();

  // The plot tick adds points but leaves the axes where the user put them.
  const TChart zoomed = left.Chart1();
  const std::size_t count = left.TempSeries().Count();
  Feed(5, 37.3, 37.0);
  Settle();
  EXPECT_GT(left.TempSeries().Count(), count);
  EXPECT_EQ(left.Chart1().BottomAxis, zoomed.BottomAxis);
  EXPECT_EQ(left.Chart1().LeftAxis, zoomed.LeftAxis);
  ExpectChartShowsModel();

  // The right button pans both axes with the mouse.
  const QPoint p = PlotPoint(0.5, 0.5);
  const double days_per_pixel = chart.xAxis->range().size() / chart.axisRect()->width();
  const double units_per_pixel = chart.yAxis->range().size() / chart.axisRect()->height();
  Drag(chart, p, p + QPoint(40, 20), Qt::RightButton);
  EXPECT_NEAR(left.Chart1().BottomAxis.Minimum, zoomed.BottomAxis.Minimum - 40 * days_per_pixel,
              1e-9);
  EXPECT_NEAR(left.Chart1().LeftAxis.Minimum, zoomed.LeftAxis.Minimum + 20 * units_per_pixel, 1e-9);
  EXPECT_TRUE(left.Zoomed());
  ExpectChartShowsModel();

  // A double click goes back to the ranges from before the zoom; the next tick follows again.
  QTest::mouseDClick(&chart, Qt::LeftButton, {}, p);
  EXPECT_FALSE(left.Zoomed());
  EXPECT_EQ(left.Chart1().LeftAxis, before.LeftAxis);
  const TDateTime newest = left.TempSeries().Last().x;
  Feed(1, 37.3, 37.0);
  EXPECT_GT(left.TempSeries().Last().x, newest);
  EXPECT_EQ(left.Chart1().BottomAxis.Maximum, left.TempSeries().Last().x);
  ExpectChartShowsModel();
}

TEST_F(TempWindowTest, PanThenNewWidthFollowsTheClock) {
  Feed(7 * 3600, 37.0, 37.0);
  window.show();
  Settle();
  const QPoint p = PlotPoint(0.5, 0.5);
  Drag(chart, p, p + QPoint(-300, 0), Qt::RightButton);  // the whole window beyond the newest
  Drag(chart, p, p + QPoint(-300, 0), Qt::RightButton);
  EXPECT_GT(left.Chart1().BottomAxis.Minimum, sched.Now());
  left.setGraphWidth(360);
  Feed(1, 37.0, 37.0);
  EXPECT_FALSE(left.Zoomed());
  EXPECT_EQ(left.Chart1().BottomAxis.Maximum, sched.Now());
  EXPECT_DOUBLE_EQ(left.Chart1().BottomAxis.Minimum, sched.Now() - 360.0 / 1440);
  ExpectChartShowsModel();
}

TEST_F(TempWindowTest, HiddenWindowBuiltWithThreeDaysShowsTheWholePlot) {
  left.setGraphWidth(4320);
  for (int i = 0; i < 3 * 86400; ++i) {
    left.AddTemps(36.5 + (i % 2) * 0.5, 37.0);  // never a run
    Tick();
  }
  Settle();
  EXPECT_EQ(window.ReplotCount(), 0);
  EXPECT_EQ(chart.BufferBytes(), 0u);
  window.show();
  const QImage image = Picture(window);
  EXPECT_GE(window.ReplotCount(), 1);
  // The lines are drawn from the model's own series; the chart holds no copy.
  EXPECT_EQ(window.ValueLine().Series(), &left.TempSeries());
  EXPECT_EQ(window.SetPointLine().Series(), &left.SPSeries());
  EXPECT_DOUBLE_EQ(chart.xAxis->range().lower, left.TempSeries().First().x);
  // The red line spans the plot from its left edge to the newest time.
  const int y = qRound(chart.yAxis->coordToPixel(36.75));
  const int x_first = qRound(chart.xAxis->coordToPixel(left.TempSeries().First().x));
  const int x_last = qRound(chart.xAxis->coordToPixel(sched.Now()));
  EXPECT_EQ(QColor(image.pixel(x_first + 2, y)), kRed);
  EXPECT_EQ(QColor(image.pixel(x_last - 2, y)), kRed);
  EXPECT_EQ(QColor(image.pixel(x_last + 10, y)), QColor(Qt::white));
}

TEST_F(TempWindowTest, ReplotsAreCoalescedAndHiddenWindowsDrawNothing) {
  Feed(10, 37.0, 37.0);
  Settle();
  EXPECT_EQ(window.ReplotCount(), 0);
  window.show();
  Settle();
  const int shown = window.ReplotCount();
  EXPECT_EQ(shown, 1);
  Feed(1, 37.1, 37.0);
  left.AddEvent("Lid Open");
  left.AddEvent("Lid Closed");
  Settle();
  EXPECT_EQ(window.ReplotCount(), shown + 1);
  Feed(20, 37.2, 37.0);  // the event loop only comes round after twenty ticks
  Settle();
  EXPECT_EQ(window.ReplotCount(), shown + 2);
  EXPECT_GT(chart.BufferBytes(), 0u);

  window.hide();
  Feed(30, 37.3, 37.0);
  Settle();
  EXPECT_EQ(window.ReplotCount(), shown + 2);
  EXPECT_EQ(chart.BufferBytes(), 0u);  // a hidden window gives its pictures back
  window.show();
  const QImage image = Picture(window);
  EXPECT_EQ(window.ReplotCount(), shown + 3);
  // The newest values, fed while hidden, are on screen.
  EXPECT_GE(ColourNear(image, Pixel(chart, sched.Now() - 2 * kOneSecond, 37.3), kRed, 1), 2);
}

// The close box minimises; the temperature window goes on plotting (it used to freeze).
TEST(WindowCloseTest, CloseBoxMinimisesAndThePlotGoesOn) {
  TrendFixture f;
  QMdiArea area;
  area.resize(900, 700);
  auto* temp = new TTempGraph(f.left);
  auto* gas = new TGasGraph(f.gas);
  QMdiSubWindow* temp_frame = area.addSubWindow(temp);
  QMdiSubWindow* gas_frame = area.addSubWindow(gas);
  area.show();
  temp_frame->show();
  gas_frame->show();
  f.Run(10, 37.0, 37.0, 20, 20);
  Settle();

  EXPECT_FALSE(temp_frame->close());
  EXPECT_FALSE(gas_frame->close());
  Settle();
  EXPECT_TRUE(temp_frame->isMinimized());
  EXPECT_TRUE(gas_frame->isMinimized());
  EXPECT_EQ(area.subWindowList().size(), 2);
  EXPECT_TRUE(f.left.PlotTimer().Enabled());

  f.Run(200, 37.5, 37.0, 25, 20);
  temp_frame->showNormal();
  gas_frame->showNormal();
  Settle();
  const struct {
    TTrendGraphWindow* window;
    double newest;
    QColor colour;
  } shown[] = {{temp, 37.5, kRed}, {gas, 25, kGreenLine}};
  for (const auto& [w, newest, colour] : shown) {
    // The newest time on the time axis is now, and the line reaches it with the newest value.
    const QImage image = Picture(*w);
    TTrendChart& c = w->Chart1();
    EXPECT_NEAR(c.xAxis->coordToPixel(f.sched.Now()),
                c.axisRect()->rect().right() + 1 - TTrendGraphWindow::kRoomBeyondNewest, 0.5);
    EXPECT_GE(ColourNear(image, Pixel(c, f.sched.Now() - 2 * kOneSecond, newest), colour, 1), 2);
  }

  // At shutdown the host lets the windows really close.
  temp->SetCloseMinimises(false);
  gas->SetCloseMinimises(false);
  area.closeAllSubWindows();
  Settle();
  EXPECT_TRUE(area.subWindowList().isEmpty());
}

TEST(WindowLifeTest, AWindowOutlivingItsModelLetsGo) {
  VirtualScheduler sched;
  auto model = std::make_unique<dova::TGasGraph>(sched);
  TGasGraph window(*model);
  window.show();
  model->AddFlows(20, 20);
  sched.AdvanceBy(1000);
  model.reset();
  EXPECT_EQ(window.Model(), nullptr);
  window.Chart1().replot();
  Settle();
  window.close();
}

}  // namespace
}  // namespace dova::ui::testing
