#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QEnterEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QTest>
#include <QToolBar>
#include <functional>
#include <set>

#include "ui/graphs/graph_windows.h"
#include "ui/graphs/trend_chart.h"
#include "ui/mainwindow/window_fixture.h"

namespace dova::testing {
namespace {

using ::testing::ElementsAre;

const QColor kActiveCaption = ToQColor(clActiveCaption);
const QColor kTileColor = ToQColor(clTileBlue);

// The three trend windows fill the MDI area one above the other, each as wide as the area.
void ExpectStacked(const WindowFixture& f) {
  // The area shows or hides its scroll bars on the next turn of the event loop.
  QApplication::processEvents();
  auto frames = f.OpenFrames();
  ASSERT_EQ(frames.size(), 3);
  std::sort(frames.begin(), frames.end(),
            [](QMdiSubWindow* a, QMdiSubWindow* b) { return a->y() < b->y(); });
  const QSize area = f.window->MdiArea()->viewport()->size();
  int top = 0;
  for (QMdiSubWindow* frame : frames) {
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(frame->x(), 0);
    EXPECT_EQ(frame->width(), area.width());
    EXPECT_EQ(frame->y(), top);
    top = frame->geometry().bottom() + 1;
  }
  EXPECT_EQ(top, area.height());
}

QStringList Titles(const TDovaPanel& p, const QString& left, const QString& right) {
  return {p.Caption.Text + left, p.Caption.Text + " - Gas Flow", p.Caption.Text + right};
}

TEST_F(WindowFixture, TheFirstIncubatorGetsASelectedTileAtTheRightAndThreeStackedWindows) {
  Open();
  EXPECT_EQ(window->windowTitle(), "DOVA-300 Benchtop Incubator Logger ");
  EXPECT_TRUE(TileWidgets().empty());
  EXPECT_TRUE(OpenFrames().isEmpty());

  Plug("Alpha");
  TDovaPanel* a = Listed("Alpha");
  ASSERT_NE(a, nullptr);
  const int w = StripWidth();
  EXPECT_EQ(w, window->centralWidget()->width());
  EXPECT_EQ(window->Strip()->height(), 78);
  EXPECT_EQ(window->MdiArea()->y(), 78);
  TTileWidget* tile = Tile("Alpha");
  ASSERT_NE(tile, nullptr);
  EXPECT_TRUE(tile->isVisible());
  EXPECT_EQ(tile->geometry(), QRect(w - 194, 2, 192, 74));
  // The selected look: the caption on the active caption colour.
  EXPECT_EQ(PixelAt(tile, {186, 10}), kActiveCaption);

  EXPECT_EQ(TitlesTopDown(), Titles(*a, " - Left Temperature", " - Right Temperature"));
  ExpectStacked(*this);
  EXPECT_TRUE(errors.messages.empty());
}

TEST_F(WindowFixture, ClicksMoveTheSelectionExceptOnALamp) {
  Open();
  Plug("Alpha");
  Plug("Beta");
  TDovaPanel* a = Listed("Alpha");
  TDovaPanel* b = Listed("Beta");
  const int w = StripWidth();
  // The newer incubator takes the selection; the tiles stand in caption order.
  EXPECT_EQ(form->SelectedPanel, b);
  EXPECT_EQ(Tile("Alpha")->pos(), QPoint(w - 2 * 194, 2));
  EXPECT_EQ(Tile("Beta")->pos(), QPoint(w - 194, 2));
  EXPECT_EQ(TitlesTopDown(), Titles(*b, " - Left Temperature", " - Right Temperature"));
  EXPECT_EQ(PixelAt(Tile("Alpha"), {186, 10}), kTileColor);

  const struct {
    const char* nick;
    QPoint at;
    const char* selected;
  } clicks[] = {
      {"Alpha", {33, 57}, "Beta"},    // a lamp: nothing happens
      {"Alpha", {20, 10}, "Alpha"},   // the caption
      {"Beta", {30, 36}, "Beta"},     // a display
      {"Alpha", {100, 68}, "Alpha"},  // the front-panel picture
      {"Beta", {95, 57}, "Alpha"},    // the gas lamp
      {"Beta", {190, 72}, "Beta"},    // the tile's edge
  };
  for (const auto& c : clicks) {
    SCOPED_TRACE(std::string(c.nick) + " clicked, " + c.selected + " selected");
    QTest::mouseClick(Tile(c.nick), Qt::LeftButton, {}, c.at);
    TDovaPanel* selected = Listed(c.selected);
    TDovaPanel* other = selected == a ? b : a;
    EXPECT_EQ(form->SelectedPanel, selected);
    EXPECT_EQ(TitlesTopDown(), Titles(*selected, " - Left Temperature", " - Right Temperature"));
    ExpectStacked(*this);
    EXPECT_EQ(window->FrameOf(*other->LeftTempGraph), nullptr);
    EXPECT_FALSE(other->LeftTempGraph->Visible());
    EXPECT_EQ(PixelAt(window->TileOf(*selected), {186, 10}), kActiveCaption);
    EXPECT_EQ(PixelAt(window->TileOf(*other), {186, 10}), kTileColor);
  }
  EXPECT_TRUE(errors.messages.empty());
}

TEST_F(WindowFixture, UnpluggingTheSelectedIncubatorSelectsTheFirstTileWithinASecond) {
  Open();
  Plug("Alpha");
  Plug("Beta");
  sim::Incubator& c = Plug("Gamma");
  const int w = StripWidth();
  EXPECT_EQ(TileWidgets().size(), 3u);

  c.Unplug();
  ASSERT_TRUE(sched.AdvanceUntil([&] { return form->ClosingPanels().size() == 1; }, 1000));
  // At once: the tile and its windows are gone, nothing is selected yet.
  EXPECT_FALSE(window->TileOf(*form->ClosingPanels().front())->isVisible());
  EXPECT_TRUE(OpenFrames().isEmpty());
  EXPECT_FALSE(window->Command("WindowCascade1")->isEnabled());

  sched.AdvanceBy(1000);
  EXPECT_EQ(TileWidgets().size(), 2u);
  EXPECT_EQ(form->SelectedPanel, Listed("Alpha"));
  EXPECT_EQ(Tile("Alpha")->pos(), QPoint(w - 2 * 194, 2));
  EXPECT_EQ(Tile("Beta")->pos(), QPoint(w - 194, 2));
  EXPECT_EQ(PixelAt(Tile("Alpha"), {186, 10}), kActiveCaption);
  EXPECT_EQ(TitlesTopDown(),
            Titles(*Listed("Alpha"), " - Left Temperature", " - Right Temperature"));
  ExpectStacked(*this);
  EXPECT_TRUE(window->Command("WindowCascade1")->isEnabled());
  EXPECT_TRUE(errors.messages.empty());
}

TEST_F(WindowFixture, NarrowingTheWindowAddsARowOf76PixelsAndLeavesTheWindowsInPlace) {
  Open(1280, 800);
  for (const char* nick : {"A", "B", "C", "D"})
    Plug(nick);
  EXPECT_EQ(window->Strip()->height(), 78);
  std::vector<QRect> frames;
  for (auto* f : OpenFrames())
    frames.push_back(f->geometry());

  // 682 wide: one tile beside the banner, three in a row below it.
  window->resize(682, 800);
  QApplication::processEvents();
  ASSERT_EQ(StripWidth(), 682);
  EXPECT_EQ(window->Strip()->height(), 78 + 76);
  EXPECT_EQ(window->MdiArea()->y(), 78 + 76);
  EXPECT_EQ(Tile("A")->pos(), QPoint(682 - 194, 2));
  EXPECT_EQ(Tile("B")->pos(), QPoint(682 - 3 * 194, 78));
  EXPECT_EQ(Tile("D")->pos(), QPoint(682 - 194, 78));
  std::vector<QRect> after;
  for (auto* f : OpenFrames())
    after.push_back(f->geometry());
  EXPECT_EQ(after, frames);

  // Tile Horizontally stacks them again in the smaller area.
  window->Command("WindowTileHorizontal1")->trigger();
  ExpectStacked(*this);

  window->resize(1280, 800);
  QApplication::processEvents();
  EXPECT_EQ(window->Strip()->height(), 78);
  EXPECT_EQ(Tile("A")->pos(), QPoint(1280 - 4 * 194, 2));
}

// Windows left in place when the strip gains a row reach below the area: a scroll bar
// brings the lowest one into view.
TEST_F(WindowFixture, TheMdiAreaScrollsToWindowsThatReachBeyondIt) {
  Open(1280, 800);
  for (const char* nick : {"A", "B", "C", "D"})
    Plug(nick);
  QMdiArea* area = window->MdiArea();
  EXPECT_FALSE(area->verticalScrollBar()->isVisible()) << "the stacked windows fit";

  window->resize(682, 800);
  QApplication::processEvents();
  ASSERT_EQ(window->Strip()->height(), 78 + 76);
  auto frames = OpenFrames();
  std::sort(frames.begin(), frames.end(),
            [](QMdiSubWindow* a, QMdiSubWindow* b) { return a->y() < b->y(); });
  QMdiSubWindow* lowest = frames.back();
  ASSERT_GT(lowest->geometry().bottom(), area->viewport()->height() - 1)
      << "the lowest window reaches below the area";
  QScrollBar* bar = area->verticalScrollBar();
  EXPECT_TRUE(bar->isVisible());
  bar->setValue(bar->maximum());
  QApplication::processEvents();
  EXPECT_LE(lowest->geometry().bottom(), area->viewport()->height() - 1)
      << "scrolled down, the lowest window is whole in view";

  // Tiling from there stacks them in the area again, scrolled back to its top.
  window->Command("WindowTileHorizontal1")->trigger();
  ExpectStacked(*this);
  EXPECT_EQ(bar->value(), 0);
  EXPECT_FALSE(bar->isVisible());
}

// A trend window's hint goes to the status bar as the tiles' and the menus' do.
TEST_F(WindowFixture, AChartsHintShowsInTheStatusBar) {
  Open();
  Plug("Alpha");
  ASSERT_FALSE(OpenFrames().isEmpty());
  auto* chart = dynamic_cast<ui::TTrendGraphWindow*>(OpenFrames().front()->widget());
  ASSERT_NE(chart, nullptr);
  QWidget* plot = &chart->Chart1();
  EXPECT_EQ(plot->toolTip(), ui::TTrendGraphWindow::kToolTip);
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QApplication::sendEvent(plot, &enter);
  EXPECT_EQ(window->StatusText()->text(), ui::TTrendGraphWindow::kToolTip);
}

TEST_F(WindowFixture, TheMenuReadsAsDesigned) {
  Open();
  QStringList menus;
  for (QAction* a : window->menuBar()->actions())
    menus << a->text() + "|" + a->statusTip();
  EXPECT_THAT(menus, ElementsAre("&File|File related commands", "&Edit|Edit commands", "&View|",
                                 "&Window|Window related commands", "&Help|Help topics"));

  const struct {
    const char* name;
    const char* caption;
    const char* tip;     // tool tip ("" when it has no hint)
    const char* status;  // status-bar text
  } commands[] = {
      {"DataDir", "Select Data File &Folder", "", ""},
      {"SetLoggingInterval1", "Set Logging &Interval", "", ""},
      {"ClearDOVAData1", "&Clear Logged Data", "", ""},
      {"OpenLog1", "&Open Log...", "", ""},
      {"RecentLogs1", "Recent &Logs", "", ""},
      {"FileExit1", "E&xit", "Exit", "Exit application"},
      {"Name1", "DOVA &Name", "", ""},
      {"ViewLast6Hours", "Last 6 Hours", "", ""},
      {"ViewLast12Hours", "Last 12 Hours", "", ""},
      {"ViewLast24Hours", "Last 24 Hours", "", ""},
      {"ViewAll", "Last 3 Days", "", ""},
      {"WindowCascade1", "&Cascade", "Cascade", "Cascade"},
      {"WindowTileHorizontal1", "Tile &Horizontally", "Tile Horizontally", "Tile Horizontally"},
      {"WindowTileVertical1", "Tile &Vertically", "Tile Vertically", "Tile Vertically"},
      {"WindowMinimizeAll1", "&Minimize All", "Minimize All", "Minimize All"},
      {"WindowArrangeAll1", "&Arrange All", "Arrange All", "Arrange All"},
      {"HelpAbout1", "&About DOVA-300 Logger", "About", nullptr},
  };
  QStringList in_menus;
  for (QAction* top : window->menuBar()->actions())
    for (QAction* a : top->menu()->actions())
      if (!a->isSeparator()) in_menus << a->objectName();
  QStringList expected;
  for (const auto& c : commands) {
    SCOPED_TRACE(c.name);
    expected << c.name;
    QAction* a = window->Command(c.name);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->text(), c.caption);
    EXPECT_TRUE(a->shortcut().isEmpty());
    if (*c.tip == 0) {
      EXPECT_TRUE(a->statusTip().isEmpty());  // no hint
    } else {
      EXPECT_EQ(a->toolTip(), c.tip);
      EXPECT_EQ(a->statusTip(), c.status ? c.status : a->statusTip());
    }
  }
  EXPECT_EQ(in_menus, expected);
  EXPECT_THAT(window->Command("HelpAbout1")->statusTip().toStdString(),
              ::testing::HasSubstr("version"));
  EXPECT_TRUE(window->findChildren<QToolBar*>().isEmpty());

  // A hint's long part goes to the status bar, as the menu shows it on hover.
  window->Command("FileExit1")->showStatusText(window->menuBar());
  EXPECT_EQ(window->StatusText()->text(), "Exit application");

  // The view range: one check mark, on "Last 12 Hours" at start.
  for (const char* name : {"ViewLast6Hours", "ViewLast12Hours", "ViewLast24Hours", "ViewAll"}) {
    EXPECT_TRUE(window->Command(name)->isCheckable());
    EXPECT_EQ(window->Command(name)->isChecked(), QString(name) == "ViewLast12Hours") << name;
  }
  // The Window commands wait for an MDI window.
  const char* window_commands[] = {"WindowCascade1", "WindowTileHorizontal1", "WindowTileVertical1",
                                   "WindowMinimizeAll1", "WindowArrangeAll1"};
  for (const char* name : window_commands)
    EXPECT_FALSE(window->Command(name)->isEnabled()) << name;

  Plug("Alpha");
  for (const char* name : window_commands)
    EXPECT_TRUE(window->Command(name)->isEnabled()) << name;
  // The list of open windows follows the commands.
  QStringList listed;
  for (QAction* a : window->WindowMenu()->actions())
    if (!a->isSeparator() && a->objectName().isEmpty()) listed << a->text();
  const QString caption = Listed("Alpha")->Caption.Text;
  EXPECT_THAT(listed,
              ElementsAre("&1 " + caption + " - Left Temperature", "&2 " + caption + " - Gas Flow",
                          "&3 " + caption + " - Right Temperature"));

  // The tile's hint: tool tip and status bar.
  TTileWidget* tile = Tile("Alpha");
  EXPECT_EQ(tile->toolTip(), "Click to select DOVA");
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QApplication::sendEvent(tile, &enter);
  EXPECT_EQ(window->StatusText()->text(), "Click to select DOVA");
}

TEST_F(WindowFixture, TheViewEntriesReachEveryTileAndMoveTheCheckMark) {
  Open();
  Plug("Alpha");
  Plug("Beta");
  const struct {
    const char* name;
    int minutes;
  } views[] = {{"ViewLast24Hours", 1440}, {"ViewAll", 4320}, {"ViewLast6Hours", 360}};
  for (const auto& v : views) {
    SCOPED_TRACE(v.name);
    window->Command(v.name)->trigger();
    EXPECT_TRUE(window->Command(v.name)->isChecked());
    EXPECT_FALSE(window->Command("ViewLast12Hours")->isChecked());
    for (const char* nick : {"Alpha", "Beta"}) {
      TDovaPanel* p = Listed(nick);
      EXPECT_EQ(p->LeftTempGraph->GraphWidth(), v.minutes);
      EXPECT_EQ(p->RightTempGraph->GraphWidth(), v.minutes);
      EXPECT_EQ(p->GasFlowGraph->GraphWidth(), v.minutes);
    }
  }
}

TEST_F(WindowFixture, WindowCommandsArrangeTheTrendWindows) {
  Open();
  Plug("Alpha");
  const QSize area = window->MdiArea()->viewport()->size();

  window->Command("WindowTileVertical1")->trigger();
  auto frames = OpenFrames();
  std::sort(frames.begin(), frames.end(),
            [](QMdiSubWindow* a, QMdiSubWindow* b) { return a->x() < b->x(); });
  int left = 0;
  for (QMdiSubWindow* f : frames) {
    EXPECT_EQ(f->x(), left);
    EXPECT_EQ(f->y(), 0);
    EXPECT_EQ(f->height(), area.height());
    left = f->geometry().right() + 1;
  }
  EXPECT_EQ(left, area.width());

  window->Command("WindowCascade1")->trigger();
  std::set<int> tops;
  for (QMdiSubWindow* f : OpenFrames())
    tops.insert(f->y());
  EXPECT_EQ(tops.size(), 3u);

  window->Command("WindowMinimizeAll1")->trigger();
  for (QMdiSubWindow* f : OpenFrames())
    EXPECT_TRUE(f->isMinimized());
  window->Command("WindowArrangeAll1")->trigger();
  for (QMdiSubWindow* f : OpenFrames())
    EXPECT_EQ(f->geometry().bottom(), area.height() - 1);

  // Closing a trend window minimises it: it belongs to its tile.
  window->Command("WindowTileHorizontal1")->trigger();
  QMdiSubWindow* top = OpenFrames().front();
  top->showNormal();
  top->close();
  EXPECT_EQ(OpenFrames().size(), 3);
  EXPECT_TRUE(top->isMinimized());
}

// Exit, and closing the window (which SIGINT and SIGTERM do), end the program's run: every
// tile is disconnected and its log ends with "Disconnected".
void ExpectClosingEndsEveryLog(WindowFixture& f, const std::function<void()>& close) {
  f.Open();
  f.Plug("Alpha");
  f.Plug("Beta");
  const QString a_log = f.Listed("Alpha")->LogFilePath();
  const QString b_log = f.Listed("Beta")->LogFilePath();
  close();
  EXPECT_TRUE(f.form->Closed());
  EXPECT_FALSE(f.window->isVisible());
  EXPECT_TRUE(f.TileWidgets().empty());
  EXPECT_TRUE(f.OpenFrames().isEmpty());
  EXPECT_EQ(f.LogLines(a_log).last().section(", ", 1), "Disconnected");
  EXPECT_EQ(f.LogLines(b_log).last().section(", ", 1), "Disconnected");
  EXPECT_TRUE(f.errors.messages.empty());
}

TEST_F(WindowFixture, ExitEndsEveryLog) {
  ExpectClosingEndsEveryLog(*this, [this] { window->Command("FileExit1")->trigger(); });
}

TEST_F(WindowFixture, ClosingTheWindowEndsEveryLog) {
  ExpectClosingEndsEveryLog(*this, [this] { window->close(); });
}

TEST_F(WindowFixture, AnExceptionFromACommandGoesToTheErrorBox) {
  Open();
  // An interval that is no whole number ends the command with an error.
  dialogs.Answers = {"abc"};
  window->Command("SetLoggingInterval1")->trigger();
  EXPECT_THAT(errors.messages, ElementsAre("''abc'' is not a valid integer value"));
  EXPECT_TRUE(window->isVisible());
}

TEST(BackgroundPictureTest, CentredAndShrunkToFitButNeverEnlarged) {
  const QSize picture(1868, 1524);
  const struct {
    QSize area;
    QRect drawn;
  } cases[] = {
      {{2000, 1600}, {66, 38, 1868, 1524}},  // room to spare: natural size, centred
      {{1868, 1524}, {0, 0, 1868, 1524}},    // exactly the picture
      {{1280, 860}, {113, 0, 1054, 860}},    // too high: fits the height
      {{934, 1524}, {0, 381, 934, 762}},     // too wide: fits the width
      {{1000, 200}, {377, 0, 245, 200}},     // a low strip of area
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(QString("%1x%2").arg(c.area.width()).arg(c.area.height()).toStdString());
    EXPECT_EQ(TBackgroundMdiArea::PictureRect(picture, c.area), c.drawn);
  }
}

TEST_F(WindowFixture, TheMdiAreaIsBlackAroundThePicture) {
  Open(1280, 800);
  const QImage area = window->MdiArea()->grab().toImage();
  // Wider than the picture's proportions at this height: black at the sides.
  EXPECT_EQ(area.pixelColor(2, area.height() / 2), QColor(Qt::black));
  EXPECT_EQ(area.pixelColor(area.width() - 3, area.height() / 2), QColor(Qt::black));
  EXPECT_NE(area.pixelColor(area.width() / 2, area.height() / 2), QColor(Qt::black));
}

}  // namespace
}  // namespace dova::testing
