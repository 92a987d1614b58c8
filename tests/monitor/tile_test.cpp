// The tile as a visible object: selection looks, its trend windows, naming, settings.
#include <gtest/gtest.h>

#include "panel_fixture.h"

namespace dova::testing {
namespace {

class TileTest : public PanelTest {
 protected:
  void SetUp() override {
    Connect();
    Trace(*panel->LeftTempGraph, "Left");
    Trace(*panel->RightTempGraph, "Right");
    Trace(*panel->GasFlowGraph, "Gas");
    host.calls.clear();
  }
  // Window changes go into the host's call list, so their order against the host's
  // calls shows too.
  void Trace(TGraphWindow& w, std::string name) {
    w.SetOnWindowChange([this, name](TGraphWindow& g) {
      host.calls.push_back(name + (g.MdiChild() ? " mdi" : " plain") +
                           (g.Visible() ? " shown" : " hidden"));
    });
  }
};

TEST_F(TileTest, SelectedAndPlainLooks) {
  // A new tile comes up selected.
  EXPECT_TRUE(panel->Visible);
  EXPECT_EQ(panel->Caption.Background, clActiveCaption);
  EXPECT_EQ(panel->Caption.Font, Rgb(255, 255, 255));
  EXPECT_EQ(panel->LeftTempDisplay.Font, Rgb(255, 62, 62));
  EXPECT_EQ(panel->RightTempDisplay.Font, Rgb(255, 62, 62));
  EXPECT_EQ(panel->GasFlowDisplay.Font, Rgb(0, 255, 0));

  panel->Deselect();
  EXPECT_EQ(host.calls, (std::vector<std::string>{"Left plain shown", "Left plain hidden",
                                                  "Gas plain shown", "Gas plain hidden",
                                                  "Right plain shown", "Right plain hidden"}));
  EXPECT_TRUE(panel->Visible);  // the tile itself stays
  EXPECT_EQ(panel->Caption.Background, Rgb(39, 139, 224));
  EXPECT_EQ(panel->Caption.Font, Rgb(192, 192, 192));
  EXPECT_EQ(panel->LeftTempDisplay.Font, Rgb(240, 0, 0));
  EXPECT_EQ(panel->RightTempDisplay.Font, Rgb(240, 0, 0));
  EXPECT_EQ(panel->GasFlowDisplay.Font, Rgb(0, 213, 0));
  EXPECT_EQ(panel->LeftTempDisplay.Background, Rgb(128, 0, 0));  // backgrounds never change

  host.calls.clear();
  panel->Select();
  EXPECT_EQ(host.calls, (std::vector<std::string>{"Right mdi shown", "Gas mdi shown",
                                                  "Left mdi shown", "TileGraphWindows"}));
  EXPECT_EQ(panel->Caption.Font, Rgb(255, 255, 255));
}

TEST_F(TileTest, ClickAsksTheMainWindowToSelect) {
  panel->CaptionClick();
  EXPECT_EQ(host.calls, (std::vector<std::string>{"SelectPanel"}));
}

TEST_F(TileTest, RenameTellsTheIncubatorAndUsesThePluralCaptions) {
  const QString oldFile = panel->LogFile->Path();
  panel->Rename(QStringLiteral("Kühl 2"));
  EXPECT_EQ(panel->GetNick(), QStringLiteral("Kühl 2"));
  EXPECT_EQ(panel->Caption.Text, QStringLiteral("Kühl 2: 1234"));
  EXPECT_EQ(panel->LeftTempGraph->Caption(), QStringLiteral("Kühl 2: 1234 - Left Temperatures"));
  EXPECT_EQ(panel->RightTempGraph->Caption(), QStringLiteral("Kühl 2: 1234 - Right Temperatures"));
  EXPECT_EQ(panel->GasFlowGraph->Caption(), QStringLiteral("Kühl 2: 1234 - Gas Flow"));
  EXPECT_EQ(device.commands.back().second, std::string("!SET NICK K\xC3\xBChl 2"));
  // The open log keeps its name until it is opened again.
  EXPECT_EQ(panel->LogFile->Path(), oldFile);
  sched.AdvanceBy(5 * 60 * 1000);
  EXPECT_EQ(LogTexts(oldFile).back(), QStringLiteral("Gas Set-Point, 20"));
  panel->SetDirectory(dir.path());
  EXPECT_EQ(panel->LogFile->Path(), dir.filePath(QStringLiteral("Kühl 2 1234.csv")));
}

TEST_F(TileTest, RenameThatCannotBeSentEndsTheLink) {
  bridge->Unplug();
  panel->Rename(QStringLiteral("Gone"));
  EXPECT_EQ(host.Count("RemovePanel"), 1);
  EXPECT_FALSE(port->ReadTimer()->Enabled());
  EXPECT_EQ(panel->Nick, QStringLiteral("Gone"));
  EXPECT_TRUE(errors.messages.empty());
}

TEST_F(TileTest, ViewRangeReachesEveryWindowAndTheWindowsOfTheNextLink) {
  panel->SetViewRange(1440);
  EXPECT_EQ(panel->ViewRange(), 1440);
  EXPECT_EQ(panel->LeftTempGraph->GraphWidth(), 1440);
  EXPECT_EQ(panel->RightTempGraph->GraphWidth(), 1440);
  EXPECT_EQ(panel->GasFlowGraph->GraphWidth(), 1440);
  // A new tile shows the range it is handed before its link starts (the main window owns
  // the program's range and hands it over).
  auto next = NewPanel();
  EXPECT_EQ(next->ViewRange(), TDovaPanel::kDefaultViewRange);
  next->SetViewRange(1440);
  next->Attach(host, *port);
  EXPECT_EQ(next->GasFlowGraph->GraphWidth(), 1440);
}

TEST_F(TileTest, LogIntervalRestartsTheRecordTimer) {
  panel->SetLogInterval(10);
  EXPECT_EQ(panel->LogInterval, 10);
  EXPECT_EQ(panel->Timer2.Interval(), 1000u);
  EXPECT_NEAR(panel->NextRecordTime, sched.Now() + kOneSecond, 1e-9);
}

}  // namespace
}  // namespace dova::testing
