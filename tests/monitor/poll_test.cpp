// The link: attaching, the poll cycle, serial number and name, failed writes, shutting down.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <functional>

#include "panel_fixture.h"

namespace dova::testing {
namespace {

using Commands = std::vector<std::string>;

TEST_F(PanelTest, AttachStartsFromAKnownStateWithHiddenWindows) {
  EXPECT_EQ(panel->LastLBT1, 0);  // a new tile starts zeroed
  panel->SetViewRange(360);       // handed over by the main window before the link starts
  Attach();
  EXPECT_EQ(panel->Port, port.get());
  EXPECT_TRUE(port->HasOnLine());
  EXPECT_TRUE(panel->FirstCycle && panel->LeftOn && panel->RightOn);
  EXPECT_FALSE(panel->SerialKnown || panel->GasOn || panel->LogStatePending);
  for (std::int32_t v :
       {panel->LastLBT1, panel->LastRBT1, panel->LeftFiltered, panel->RightFiltered}) {
    EXPECT_EQ(v, -1000);
  }
  EXPECT_EQ(panel->LeftDisplayChanged, sched.Now());
  EXPECT_EQ(panel->LogInterval, 5);
  EXPECT_EQ(panel->Timer1.Interval(), 50u);
  EXPECT_TRUE(panel->Timer1.Enabled());
  EXPECT_FALSE(panel->Timer2.Enabled());
  EXPECT_FALSE(panel->Visible);
  EXPECT_EQ(panel->Caption.Text, QStringLiteral("DOVA"));
  for (TTrendGraph* g : {static_cast<TTrendGraph*>(panel->LeftTempGraph.get()),
                         static_cast<TTrendGraph*>(panel->RightTempGraph.get()),
                         static_cast<TTrendGraph*>(panel->GasFlowGraph.get())}) {
    ASSERT_NE(g, nullptr);
    EXPECT_FALSE(g->Visible() || g->MdiChild());
    EXPECT_EQ(g->GraphWidth(), 360);
  }
}

TEST_F(PanelTest, AnsweringIncubatorGetsTheCommandsInPollOrderAndCadence) {
  Attach();
  sched.AdvanceBy(100 + 20 * 19);
  const Commands expected{"!GET SERL",  "!GET SERL",  "!GET NICK",  "!GET LBSP",  "!READ DISP",
                          "!GET RBSP",  "!READ DISP", "!GET GFSP",  "!READ DISP", "!READ LBT1",
                          "!READ DISP", "!READ LBT2", "!READ DISP", "!READ RBT1", "!READ DISP",
                          "!READ RBT2", "!READ DISP", "!READ FLOW", "!READ DISP", "!GET LBSP",
                          "!READ DISP"};
  EXPECT_EQ(device.CommandTexts(), expected);
  // 50 ms while the serial number is unknown, then one command every 20 ms.
  ASSERT_EQ(device.commands.size(), expected.size());
  EXPECT_EQ(device.commands[0].first, 50);
  for (std::size_t i = 1; i < device.commands.size(); ++i) {
    EXPECT_EQ(device.commands[i].first, 100 + 20 * static_cast<std::int64_t>(i - 1)) << i;
  }
  EXPECT_EQ(device.commands.size(), expected.size());
  EXPECT_EQ(host.Count("AddPanel"), 1);
  EXPECT_TRUE(panel->Visible);
  EXPECT_EQ(panel->Caption.Text, QStringLiteral("Lab1: 1234"));
}

TEST_F(PanelTest, WithoutAValidSerialNumberOnlySerlIsAskedEvery50ms) {
  for (const bool silent : {true, false}) {
    SCOPED_TRACE(silent ? "silent device" : "serial A12");
    device.silent = silent;
    device.values["SERL"] = "A12";
    device.commands.clear();
    Attach();
    sched.AdvanceBy(1000);
    EXPECT_EQ(device.CommandTexts(), Commands(20, "!GET SERL"));
    EXPECT_EQ(device.commands.back().first - device.commands.front().first, 950);
    EXPECT_FALSE(panel->SerialKnown);
    EXPECT_EQ(panel->Serial, silent ? QString() : QStringLiteral("A12"));
    EXPECT_FALSE(panel->Visible);
    EXPECT_EQ(host.Count("AddPanel"), 0);
    panel->Disconnect();
    panel = NewPanel();
    port = OpenPort(0);  // Disconnect closed the device
  }
}

TEST_F(PanelTest, PurgeFlowIsAskedInsteadOfFlowWhilePurging) {
  Attach();
  auto flowCommands = [&] {
    std::string out;
    for (const auto& c : device.CommandTexts()) {
      if (c == "!READ FLOW") out += 'F';
      if (c == "!READ PFLW") out += 'P';
    }
    return out;
  };
  sched.AdvanceBy(100 + 20 * 17);  // first pass done
  device.values["DISP"] = "37.0OFF Pur  G G";
  sched.AdvanceBy(320 * 2);
  device.values["DISP"] = "37.0OFF  20  G G";
  sched.AdvanceBy(320 * 2);
  EXPECT_EQ(flowCommands(), "FPPFF");
}

TEST_F(PanelTest, SerialValueIsKeptAsTextEvenWhenItIsNoNumber) {
  Attach();
  Reply("SERL A12");
  EXPECT_EQ(panel->Serial, QStringLiteral("A12"));
  EXPECT_FALSE(panel->SerialKnown);
  Reply("SERL  00042");
  EXPECT_EQ(panel->Serial, QStringLiteral(" 00042"));  // the text as received
  EXPECT_TRUE(panel->SerialKnown);
}

TEST_F(PanelTest, NameReplyNamesTheTileAndItsWindowsAndHandsItToTheMainWindow) {
  Connect();
  EXPECT_EQ(panel->Nick, QStringLiteral("Lab1"));
  EXPECT_EQ(panel->LeftTempGraph->Caption(), QStringLiteral("Lab1: 1234 - Left Temperature"));
  EXPECT_EQ(panel->RightTempGraph->Caption(), QStringLiteral("Lab1: 1234 - Right Temperature"));
  EXPECT_EQ(panel->GasFlowGraph->Caption(), QStringLiteral("Lab1: 1234 - Gas Flow"));
  EXPECT_TRUE(panel->Timer2.Enabled());
  // A second NICK line (an answer to a rename, say) runs every step again.
  panel->Rename(QStringLiteral("Other"));
  Reply("NICK Lab 9 ");
  EXPECT_EQ(panel->Caption.Text, QStringLiteral("Lab 9 : 1234"));
  EXPECT_EQ(panel->LeftTempGraph->Caption(), QStringLiteral("Lab 9 : 1234 - Left Temperature"));
  sched.AdvanceBy(0);  // the main window hears of it once the reply has been handled
  EXPECT_EQ(host.Count("AddPanel"), 2);
  // A name line longer than the value field keeps 127 characters.
  Reply("NICK " + QByteArray(127, 'n') + "overflow");
  EXPECT_EQ(panel->Nick, QString(127, u'n'));
}

// The main window opens the log when it adds the tile, and that may show a modal box: it
// happens after the name reply's handling, and not at all once the tile or its link is gone.
TEST_F(PanelTest, TheMainWindowAddsTheTileAfterTheNameReplyOnlyWhileTheTileAndItsLinkLive) {
  struct Case {
    const char* meanwhile;
    std::function<void()> act;
    int adds;
  };
  const std::vector<Case> cases = {
      {"nothing", [] {}, 1},
      {"write fails",
       [this] {
         bridge->Unplug();
         panel->Timer1Timer();  // the next poll's write
       },
       0},
      {"disconnected", [this] { panel->Disconnect(); }, 0},
      {"freed", [this] { panel.reset(); }, 0},
  };
  const QString path = dir.filePath(QStringLiteral("Lab1 1234.csv"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.meanwhile);
    // Each case on a fresh tile and a bridge of its own (device number 0 again).
    panel.reset();
    port.reset();
    bridge->Unplug();
    bridge = library.AddBridge("dova300-0001");
    device.Serve(bridge);
    port = OpenPort(0);
    panel = NewPanel();
    host.calls.clear();
    QFile::remove(path);
    Attach();
    Reply("SERL 1234");
    Reply("NICK Lab1");
    EXPECT_EQ(host.Count("AddPanel"), 0);
    EXPECT_FALSE(QFile::exists(path));
    c.act();
    sched.AdvanceBy(0);
    EXPECT_EQ(host.Count("AddPanel"), c.adds);
    EXPECT_EQ(QFile::exists(path), c.adds == 1);
    if (panel) panel->Disconnect();
  }
}

TEST_F(PanelTest, FailedWriteStopsTheReaderAndHandsTheTileBack) {
  Connect();
  const auto sent = device.commands.size();
  bridge->Unplug();
  sched.AdvanceBy(20);
  EXPECT_EQ(host.Count("RemovePanel"), 1);
  EXPECT_FALSE(port->ReadTimer()->Enabled());
  EXPECT_EQ(device.commands.size(), sent);
  // The poll goes on until the main window disconnects the tile; each failure repeats.
  sched.AdvanceBy(40);
  EXPECT_EQ(host.Count("RemovePanel"), 3);
  panel->Disconnect();
  EXPECT_FALSE(panel->Timer1.Enabled() || panel->Timer2.Enabled() || panel->Visible);
  EXPECT_EQ(panel->LogFile, nullptr);
  EXPECT_EQ(Log().back(), QStringLiteral("Disconnected"));
  sched.AdvanceBy(1000);
  EXPECT_EQ(host.Count("RemovePanel"), 3);
}

TEST_F(PanelTest, DisconnectClosesTheLogEvenWhenItsLastLineIsLost) {
  Connect();
  files.FailWrites(1);
  panel->Disconnect();
  EXPECT_EQ(panel->LogFile, nullptr);
  EXPECT_FALSE(bridge->IsOpen());
  // The last line waited for one more try and made it (before, it was lost); the user
  // heard that writing had stopped. The file is free again for the next link.
  EXPECT_EQ(Log().back(), QStringLiteral("Disconnected"));
  ASSERT_FALSE(boxes.messages.empty());
  EXPECT_TRUE(boxes.messages.back().first.startsWith(QStringLiteral("Cannot write to ")));
  EXPECT_NE(SystemLogFiles().OpenExisting(dir.filePath(QStringLiteral("Lab1 1234.csv"))), nullptr);
}

TEST_F(PanelTest, DisconnectWithoutLogFileWritesNothingAndClosesTheDevice) {
  Attach();
  sched.AdvanceBy(60);
  panel->Disconnect();
  EXPECT_FALSE(bridge->IsOpen());
  EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
  const auto sent = device.commands.size();
  sched.AdvanceBy(1000);
  EXPECT_EQ(device.commands.size(), sent);
}

}  // namespace
}  // namespace dova::testing
