#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>

#include "monitor/dova_panel.h"
#include "monitor/log_format.h"
#include "platform/virtual_scheduler.h"
#include "ui/tile/tile_widget.h"

namespace dova {
namespace {

struct QuietBoxes : IMessageBoxes {
  void ShowWarning(const QString&) override {}
  void DisplayMessage(const QString&, const QString&) override {}
};

// A tile that is not attached to an incubator, drawn offscreen.
struct TileTest : ::testing::Test {
  VirtualScheduler sched;
  QuietBoxes boxes;
  LogFormat format = LogFormat::Pinned();
  TDovaPanel panel{TPanelContext{sched, boxes, format}};
  TTileWidget tile{panel};
};

TEST_F(TileTest, ShowsAndHidesWithTheTile) {
  EXPECT_EQ(tile.size(), QSize(192, 74));
  EXPECT_TRUE(tile.isHidden());
  panel.Select();
  EXPECT_FALSE(tile.isHidden());
  panel.Deselect();
  EXPECT_FALSE(tile.isHidden());
  panel.SetVisible(false);
  EXPECT_TRUE(tile.isHidden());
  EXPECT_EQ(tile.toolTip(), "Click to select DOVA");
  EXPECT_EQ(tile.statusTip(), "Click to select DOVA");
}

// How many pixels inside `box` have exactly this colour.
int Count(const QImage& img, const QRect& box, const QColor& c) {
  int n = 0;
  for (int y = box.top(); y <= box.bottom(); ++y)
    for (int x = box.left(); x <= box.right(); ++x)
      n += img.pixelColor(x, y) == c;
  return n;
}

TEST(TileDrawingTest, DrawsTheSelectedAndThePlainLook) {
  TTileView view;
  view.SetCaptionText("Incubator 7: 123");
  view.LeftTempDisplay.Text = "37.0";
  view.GasFlowDisplay.Text = "OFF";
  view.RightTempDisplay.Text = "36.5";
  const struct {
    bool selected;
    QColor caption_back, caption_text, temp, gas;
  } looks[] = {
      {true, ToQColor(clActiveCaption), QColor(255, 255, 255), QColor(255, 62, 62),
       QColor(0, 255, 0)},
      {false, QColor(39, 139, 224), QColor(192, 192, 192), QColor(240, 0, 0), QColor(0, 213, 0)},
  };
  for (const auto& look : looks) {
    SCOPED_TRACE(look.selected ? "selected" : "plain");
    look.selected ? view.ShowSelected() : view.ShowPlain();
    const QImage img = TTileWidget::Render(view);
    EXPECT_EQ(img.pixelColor(1, 1), QColor(39, 139, 224));  // the tile's own margin
    EXPECT_EQ(img.pixelColor(186, 10), look.caption_back);
    EXPECT_GT(Count(img, TTileWidget::kCaptionRect, look.caption_text), 20);
    // The displays keep their backgrounds; their texts take the look's colours.
    EXPECT_EQ(img.pixelColor(14, 28), QColor(128, 0, 0));
    EXPECT_EQ(img.pixelColor(77, 28), QColor(0, 128, 0));
    EXPECT_GT(Count(img, TTileWidget::kLeftTempRect, look.temp), 10);
    EXPECT_GT(Count(img, TTileWidget::kRightTempRect, look.temp), 10);
    EXPECT_GT(Count(img, TTileWidget::kGasFlowRect, look.gas), 10);
  }
}

TEST(TileDrawingTest, LampsAreFilledFromTheStateWithAGreyOutlineInside) {
  TTileView view;
  view.LeftTLed = clLampRed;
  view.GasLed = clLampGreen;
  view.RightTLed = clLampAmber;
  const QImage img = TTileWidget::Render(view);
  const struct {
    QRect box;
    TColor fill;
  } lamps[] = {{TTileWidget::kLeftLampRect, clLampRed},
               {TTileWidget::kGasLampRect, clLampGreen},
               {TTileWidget::kRightLampRect, clLampAmber}};
  for (const auto& lamp : lamps) {
    const QPoint c = lamp.box.center();
    EXPECT_EQ(img.pixelColor(c), ToQColor(lamp.fill));
    // The outline: grey on the lamp's edge, inside its square; the corner shows the panel.
    const QColor edge = img.pixelColor(lamp.box.left(), c.y());
    EXPECT_NEAR(edge.red(), 128, 50);
    EXPECT_LT(std::abs(edge.red() - edge.green()) + std::abs(edge.green() - edge.blue()), 60);
    EXPECT_NE(img.pixelColor(lamp.box.left() - 1, c.y()), ToQColor(lamp.fill));
    EXPECT_NE(img.pixelColor(lamp.box.topLeft()), ToQColor(lamp.fill));
  }
}

TEST_F(TileTest, TheWidgetDrawsWhatTheTileHolds) {
  panel.Select();
  EXPECT_EQ(tile.grab().toImage(), TTileWidget::Render(panel.View()));
  panel.Deselect();
  EXPECT_EQ(tile.grab().toImage(), TTileWidget::Render(panel.View()));
  EXPECT_EQ(tile.grab().toImage().pixelColor(186, 10), QColor(39, 139, 224));
}

TEST(TileFontsTest, TextsFitTheirBoxes) {
  EXPECT_EQ(QFontInfo(TTileWidget::CaptionFont()).family(), "Liberation Sans");
  EXPECT_EQ(QFontInfo(TTileWidget::CaptionFont()).pixelSize(), 13);
  EXPECT_TRUE(QFontInfo(TTileWidget::CaptionFont()).bold());
  EXPECT_LE(QFontMetrics(TTileWidget::CaptionFont()).height(), 16);
  // What the displays show keeps its full size; anything wider shrinks until it fits.
  for (const char* text : {"37.0", "OFF", "88.8", "ON", "---", "-8.8", "20.0", "Err", "100.0"}) {
    SCOPED_TRACE(text);
    const QFont font = TTileWidget::ValueFont(text);
    EXPECT_EQ(QFontInfo(font).family(), "Liberation Sans");
    EXPECT_LE(QFontMetrics(font).horizontalAdvance(text), 39);
    EXPECT_LE(QFontMetrics(font).height(), 23);
    if (QString(text).size() <= 4) {
      EXPECT_EQ(font.pixelSize(), 19);
    }
  }
}

}  // namespace
}  // namespace dova
