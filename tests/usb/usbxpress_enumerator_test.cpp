#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/bridge/sim/sim_library.h"
#include "platform/error_reporter.h"
#include "platform/virtual_scheduler.h"
#include "usb/usbxpress_enumerator.h"

namespace dova {
namespace {

using bridge::SiCall;

// The enumerator as the main window sets it up: prefix "dova300", 100 ms search.
struct EnumTest : ::testing::Test {
  VirtualScheduler sched;
  RecordingErrorReporter errors;
  bridge::SimLibrary lib;
  std::unique_ptr<TUSBXpressEnumerator> en;
  struct Report {
    TUSBXpress* port;
    QString serial;
    std::int64_t at;
  };
  std::vector<Report> reports;

  EnumTest() {
    sched.SetErrorReporter(&errors);
    en = std::make_unique<TUSBXpressEnumerator>(sched, lib);
    en->SetSerialPrefix("dova300");
    en->SetSearchInterval(100);
  }
  void Listen() {
    en->OnNewPort = [this](TUSBXpressEnumerator&, TUSBXpress& port, const QString& serial) {
      reports.push_back({&port, serial, sched.ElapsedMs()});
    };
  }
  void Start() {
    Listen();
    en->Loaded();
  }
  int Scans() const { return lib.CallCount(SiCall::GetNumDevices); }
};

TEST_F(EnumTest, ADeviceTheUserMayNotOpenIsReportedOncePerPlugIn) {
  lib.AddBridge("dova300-0001");
  lib.AddBridge("other-0002");
  QStringList denied;
  en->OnAccessDenied = [&](TUSBXpressEnumerator&, const QString& serial) { denied << serial; };
  lib.FailNext(SiCall::Open, 30, bridge::SI_ACCESS_DENIED);
  Start();
  sched.AdvanceBy(1000);
  EXPECT_EQ(denied, QStringList{"dova300-0001"});
  EXPECT_TRUE(reports.empty());
  EXPECT_TRUE(errors.messages.empty());
  // Unplugged and plugged in again, still refused: said again.
  lib.Bridges()[0]->Unplug();
  sched.AdvanceBy(3000);
  lib.AddBridge("dova300-0001");
  sched.AdvanceBy(3000);
  EXPECT_EQ(denied, (QStringList{"dova300-0001", "dova300-0001"}));
  // Mended: opened as any other.
  lib.FailNext(SiCall::Open, 0);
  sched.AdvanceBy(3000);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(denied.size(), 2);
}

TEST(AccessDeniedLineTest, NamesTheBridgeAndTheFix) {
  EXPECT_EQ(AccessDeniedLine("dova300-0001", "/dev/ttyUSB0"),
            "Permission denied: cannot open USB bridge dova300-0001 (/dev/ttyUSB0); install "
            "packaging/udev/70-dova300.rules, then unplug and plug in again");
  EXPECT_EQ(AccessDeniedLine("dova300-0001", {}),
            "Permission denied: cannot open USB bridge dova300-0001; install "
            "packaging/udev/70-dova300.rules, then unplug and plug in again");
}

TEST_F(EnumTest, DefaultsAndLibraryTimeouts) {
  TUSBXpressEnumerator fresh(sched, lib);
  EXPECT_EQ(lib.ReadTimeout(), 1000u);
  EXPECT_EQ(lib.WriteTimeout(), 1000u);
  EXPECT_EQ(fresh.SerialPrefix(), "");
  EXPECT_EQ(fresh.Delimiter(), 13);
  EXPECT_EQ(fresh.EscapeChar(), 0);
  EXPECT_EQ(fresh.BaudRate(), 57600u);
  EXPECT_EQ(fresh.ReadInterval(), 20u);
  EXPECT_EQ(fresh.SearchInterval(), 1000u);
  EXPECT_EQ(fresh.SlowSearchInterval(), 2000u);
  EXPECT_TRUE(fresh.SearchEnabled());
  EXPECT_FALSE(fresh.OnNewPort);
  EXPECT_FALSE(fresh.OnScanDone);
  // Nothing scans before the properties are loaded.
  EXPECT_FALSE(fresh.ScanTimer().Running());
}

TEST_F(EnumTest, ScanningStartsWhenLoadedAndReportsANewPortReadyForUse) {
  lib.AddBridge("dova300-0001");
  Listen();
  sched.AdvanceBy(5000);
  EXPECT_EQ(Scans(), 0);
  en->Loaded();
  EXPECT_EQ(en->ScanTimer().Interval(), 100u);
  sched.AdvanceBy(100);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].serial, "dova300-0001");
  TUSBXpress& port = *reports[0].port;
  EXPECT_EQ(en->Ports().size(), 1u);
  EXPECT_EQ(en->Ports()[0].get(), &port);
  EXPECT_EQ(port.Delimiter(), 13);
  EXPECT_EQ(port.EscapeChar(), 0);
  EXPECT_EQ(port.BaudRate(), 57600u);
  EXPECT_EQ(port.ReadInterval(), 20u);
  EXPECT_EQ(lib.Bridges()[0]->BaudRate(), 57600u);
  EXPECT_FALSE(port.HasOnLine());
  EXPECT_FALSE(port.ReadTimer()->Enabled());
  EXPECT_TRUE(lib.Bridges()[0]->IsOpen());
  EXPECT_EQ(en->ScanTimer().Interval(), 100u);
}

TEST_F(EnumTest, PrefixMatch) {
  struct Case {
    const char* prefix;
    std::string serial;
    bool match;
  };
  const std::vector<Case> cases = {
      {"dova300", "dova300-1a2b3c4d", true},  {"dova300", "dova300", true},
      {"dova300", "DOVA300-1A2B3C4D", false}, {"dova300", "Dova300-0001", false},
      {"dova300", "dova30", false},           {"dova300", "xdova300", false},
      {"", "anything at all", true},          {"", "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.serial);
    bridge::SimLibrary l;
    l.AddBridge(c.serial);
    TUSBXpressEnumerator e(sched, l);
    e.SetSerialPrefix(c.prefix);
    int reported = 0;
    e.OnNewPort = [&](TUSBXpressEnumerator&, TUSBXpress&, const QString& serial) {
      ++reported;
      EXPECT_EQ(serial, QString::fromStdString(c.serial));
    };
    e.Scan();
    EXPECT_EQ(reported, c.match ? 1 : 0);
    EXPECT_EQ(l.CallCount(SiCall::Open), c.match ? 1 : 0);
    EXPECT_EQ(e.ScanTimer().Interval(), c.match ? 1000u : 2000u);
  }
}

TEST_F(EnumTest, WithoutOnNewPortNothingIsLookedAt) {
  lib.AddBridge("dova300-0001");
  en->Loaded();
  sched.AdvanceBy(1000);
  EXPECT_EQ(Scans(), 0);
  EXPECT_EQ(lib.CallCount(SiCall::GetProductString), 0);
  EXPECT_EQ(lib.CallCount(SiCall::Open), 0);
}

TEST_F(EnumTest, NoDeviceKeepsThePeriod) {
  Start();
  sched.AdvanceBy(1000);
  EXPECT_EQ(Scans(), 10);
  EXPECT_EQ(en->ScanTimer().Interval(), 100u);
  EXPECT_TRUE(reports.empty());
  // A failing device count is the same as none.
  lib.FailNext(SiCall::GetNumDevices, 3);
  lib.AddBridge("dova300-0001");
  sched.AdvanceBy(300);
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(lib.CallCount(SiCall::GetProductString), 0);
  sched.AdvanceBy(100);
  EXPECT_EQ(reports.size(), 1u);
}

TEST_F(EnumTest, HeldDeviceIsPassedOverAndReportedAgainAfterClose) {
  lib.AddBridge("dova300-0001");
  Start();
  sched.AdvanceBy(100);
  ASSERT_EQ(reports.size(), 1u);
  // Held by its tile: seen, not opened, the period slows down.
  sched.AdvanceBy(100);
  EXPECT_EQ(reports.size(), 1u);
  EXPECT_EQ(en->ScanTimer().Interval(), 2000u);
  reports[0].port->Close();
  sched.AdvanceBy(1999);
  EXPECT_EQ(reports.size(), 1u);
  sched.AdvanceBy(1);
  ASSERT_EQ(reports.size(), 2u);
  // A new object (the closed one was freed first, so it may take the same address).
  EXPECT_FALSE(reports[1].port->Closed());
  EXPECT_FALSE(reports[1].port->HasOnLine());
  // The scan that found it again freed the closed one.
  ASSERT_EQ(en->Ports().size(), 1u);
  EXPECT_EQ(en->Ports()[0].get(), reports[1].port);
  EXPECT_EQ(en->ScanTimer().Interval(), 100u);
}

TEST_F(EnumTest, DeviceHeldByAnotherProgramIsPassedOver) {
  lib.AddBridge("dova300-0001");
  lib.AddBridge("dova300-0002");
  bridge::SiHandle other = 0;
  ASSERT_EQ(lib.SI_Open(0, &other), bridge::SI_SUCCESS);
  Start();
  sched.AdvanceBy(100);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].serial, "dova300-0002");
}

TEST_F(EnumTest, DevicesPluggedTogetherComeOnSuccessiveTicksLowerNumberFirst) {
  lib.AddBridge("printer-77");
  lib.AddBridge("dova300-0002");
  lib.AddBridge("dova300-0001");
  Start();
  sched.AdvanceBy(300);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].serial, "dova300-0002");
  EXPECT_EQ(reports[0].at, 100);
  EXPECT_EQ(reports[1].serial, "dova300-0001");
  EXPECT_EQ(reports[1].at, 200);
  EXPECT_EQ(en->ScanTimer().Interval(), 2000u);
}

TEST_F(EnumTest, RefusedPortIsClosedAndOfferedAgain) {
  auto dev = lib.AddBridge("dova300-0001");
  int offers = 0;
  en->OnNewPort = [&](TUSBXpressEnumerator&, TUSBXpress& port, const QString&) {
    ++offers;
    if (offers == 1) {
      // The handler got as far as starting the reader before it failed.
      port.SetOnLine([](TUSBXpress&, const QByteArray&) {});
      port.SetActive(true);
      throw std::runtime_error("no room for a tile");
    }
  };
  en->Loaded();
  sched.AdvanceBy(100);
  EXPECT_EQ(offers, 1);
  EXPECT_FALSE(dev->IsOpen());
  EXPECT_TRUE(errors.messages.empty());
  EXPECT_EQ(en->ScanTimer().Interval(), 100u);
  EXPECT_FALSE(en->Ports()[0]->ReadTimer()->Enabled());
  sched.AdvanceBy(100);
  EXPECT_EQ(offers, 2);
  EXPECT_TRUE(dev->IsOpen());
  EXPECT_EQ(en->Ports().size(), 1u);  // the refused one is gone
  // The refused port never reads again.
  dev->SendToHost("SERL 1\r");
  sched.AdvanceBy(200);
  EXPECT_EQ(lib.CallCount(SiCall::CheckRXQueue), 0);
  EXPECT_TRUE(errors.messages.empty());
}

TEST_F(EnumTest, BaudRateFailureClosesDeviceAndFreesTheHalfMadePortLater) {
  auto dev = lib.AddBridge("dova300-0001");
  lib.FailNext(SiCall::SetBaudRate);
  Start();
  sched.AdvanceBy(100);
  EXPECT_TRUE(reports.empty());
  EXPECT_FALSE(dev->IsOpen());
  EXPECT_EQ(lib.CallCount(SiCall::Close), 1);
  ASSERT_EQ(en->Ports().size(), 1u);
  EXPECT_EQ(en->Ports()[0]->ReadTimer(), nullptr);
  EXPECT_TRUE(errors.messages.empty());
  EXPECT_EQ(en->ScanTimer().Interval(), 100u);
  sched.AdvanceBy(100);
  ASSERT_EQ(reports.size(), 1u);
  ASSERT_EQ(en->Ports().size(), 1u);
  EXPECT_EQ(reports[0].port, en->Ports()[0].get());
}

TEST_F(EnumTest, ScanDoneStopsSearching) {
  lib.AddBridge("dova300-0001");
  lib.AddBridge("other");
  int done = 0;
  en->OnScanDone = [&](TUSBXpressEnumerator& sender) {
    ++done;
    EXPECT_TRUE(sender.SearchEnabled());
  };
  Start();
  sched.AdvanceBy(100);
  EXPECT_EQ(reports.size(), 1u);
  EXPECT_EQ(done, 0);
  sched.AdvanceBy(100);
  EXPECT_EQ(done, 1);
  EXPECT_FALSE(en->SearchEnabled());
  EXPECT_FALSE(en->ScanTimer().Enabled());
  const int scans = Scans();
  sched.AdvanceBy(10000);
  EXPECT_EQ(Scans(), scans);
  EXPECT_EQ(done, 1);
  en->SetSearchEnabled(true);
  sched.AdvanceBy(100);
  EXPECT_EQ(Scans(), scans + 1);
  EXPECT_EQ(done, 2);
}

TEST_F(EnumTest, SearchIntervalSetterRestartsOnlyOnChange) {
  Start();
  sched.AdvanceBy(60);
  en->SetSearchInterval(100);  // same value: the countdown goes on
  sched.AdvanceBy(40);
  EXPECT_EQ(Scans(), 1);
  sched.AdvanceBy(60);         // t = 160
  en->SetSearchInterval(300);  // restarts now
  sched.AdvanceBy(299);
  EXPECT_EQ(Scans(), 1);
  sched.AdvanceBy(1);
  EXPECT_EQ(Scans(), 2);
  // A stopped search stays stopped.
  en->SetSearchEnabled(false);
  en->SetSearchInterval(50);
  EXPECT_EQ(en->ScanTimer().Interval(), 50u);
  EXPECT_FALSE(en->ScanTimer().Enabled());
  sched.AdvanceBy(1000);
  EXPECT_EQ(Scans(), 2);
}

TEST_F(EnumTest, SerialLookupFailureEndsTheScanSilently) {
  lib.AddBridge("dova300-0001");
  Start();
  lib.FailNext(SiCall::GetProductString);
  sched.AdvanceBy(100);
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(lib.CallCount(SiCall::Open), 0);
  EXPECT_EQ(en->ScanTimer().Interval(), 100u);
  EXPECT_TRUE(errors.messages.empty());
  sched.AdvanceBy(100);
  EXPECT_EQ(reports.size(), 1u);
}

TEST_F(EnumTest, DeviceSerial) {
  const std::string longest(255, 'd');
  const std::string unterminated(256, 'd');
  lib.AddBridge("dova300-\xE9");
  lib.AddBridge(longest);
  lib.AddBridge(unterminated);
  lib.AddBridge("dova300-0009");
  EXPECT_EQ(en->DeviceCount(), 4u);
  // Bytes are characters of the same value.
  EXPECT_EQ(en->DeviceSerial(0), QString("dova300-") + QChar(0xE9));
  EXPECT_EQ(en->DeviceSerial(1), QString::fromStdString(longest));
  for (std::uint32_t i : {2u, 7u}) {
    try {
      en->DeviceSerial(i);
      ADD_FAILURE() << "no exception for device " << i;
    } catch (const TUSBXpressEnumExcept& e) {
      EXPECT_STREQ(e.what(), "Error getting Serial No");
    }
  }
  // A scan stops at the unterminated serial: the device after it is not reached.
  Start();
  en->SetSerialPrefix("dova300-0009");
  sched.AdvanceBy(100);
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(lib.CallCount(SiCall::Open), 0);
  lib.FailNext(SiCall::GetNumDevices);
  EXPECT_EQ(en->DeviceCount(), 0u);
}

// A tile's way with a port: it reads lines and, once the device is gone (a write fails),
// closes the port and clears its handler, as the tile's Disconnect does.
TEST_F(EnumTest, UnplugReplugCyclesLeaveNoPortObjectsBehind) {
  std::vector<TUSBXpress*> open;
  en->OnNewPort = [&](TUSBXpressEnumerator&, TUSBXpress& port, const QString&) {
    port.SetOnLine([](TUSBXpress&, const QByteArray&) {});
    port.SetActive(true);
    open.push_back(&port);
  };
  en->Loaded();
  // One incubator stays plugged in all along.
  auto steady = lib.AddBridge("dova300-0000");
  sched.AdvanceBy(100);
  ASSERT_EQ(open.size(), 1u);
  ASSERT_EQ(en->Ports().size(), 1u);
  TUSBXpress* const steady_port = open[0];
  for (int cycle = 0; cycle < 1000; ++cycle) {
    SCOPED_TRACE(cycle);
    auto dev = lib.AddBridge("dova300-0001");
    ASSERT_TRUE(sched.AdvanceUntil([&] { return open.size() == 2; }, 3000));
    TUSBXpress* port = open.back();
    dev->Unplug();
    ASSERT_THROW(port->Write("!GET SERL\r"), TUSBXpressExcept);
    port->Close();
    port->SetOnLine({});
    open.pop_back();
  }
  // The next scan frees the last closed port; the steady one was never touched.
  sched.AdvanceBy(2000);
  ASSERT_EQ(en->Ports().size(), 1u);
  EXPECT_EQ(en->Ports()[0].get(), steady_port);
  EXPECT_TRUE(steady->IsOpen());
  EXPECT_TRUE(steady_port->ReadTimer()->Enabled());
  EXPECT_TRUE(errors.messages.empty());
}

// A port closed from inside its own line handler, which then waits in a modal box while
// scans go on, lives until that handler has returned; then the next scan frees it.
TEST_F(EnumTest, APortClosedInsideItsOwnHandlerIsFreedOnlyAfterTheHandlerReturned) {
  auto dev = lib.AddBridge("dova300-0001");
  Start();
  sched.AdvanceBy(100);
  ASSERT_EQ(reports.size(), 1u);
  TUSBXpress* const old = reports[0].port;
  int lines = 0;
  std::size_t live_in_wait = 0;
  old->SetOnLine([&](TUSBXpress& sender, const QByteArray&) {
    ++lines;
    sender.Close();
    sched.AdvanceBy(5000);  // the modal wait: scans run meanwhile
    live_in_wait = en->Ports().size();
    sender.SetOnLine({});  // still a valid object after the wait
  });
  old->SetActive(true);
  const int scans = Scans();
  dev->SendToHost("NICK Lab1\rSERL 1\r");
  sched.AdvanceBy(20);
  EXPECT_EQ(lines, 1);  // the read stopped with the close
  EXPECT_GT(Scans(), scans + 2);
  // The device was free during the wait, so a scan there reported it as a new port; the
  // old one was closed but still under way, so it stayed.
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(live_in_wait, 2u);
  sched.AdvanceBy(2000);
  ASSERT_EQ(en->Ports().size(), 1u);
  EXPECT_EQ(en->Ports()[0].get(), reports[1].port);
  EXPECT_TRUE(errors.messages.empty());
}

// OnNewPort waits in a modal box during which another scan reports a second device; then
// it raises for the first. The first port is the one closed, whichever was made last.
TEST_F(EnumTest, WhenOnNewPortRaisesThePortItWasToldAboutIsClosed) {
  for (const bool raise_for_first : {true, false}) {
    SCOPED_TRACE(raise_for_first);
    VirtualScheduler s;
    bridge::SimLibrary l;
    auto first = l.AddBridge("dova300-0001");
    TUSBXpressEnumerator e(s, l);
    e.SetSerialPrefix("dova300");
    e.SetSearchInterval(100);
    std::vector<TUSBXpress*> told;
    e.OnNewPort = [&](TUSBXpressEnumerator&, TUSBXpress& port, const QString& serial) {
      told.push_back(&port);
      port.SetOnLine([](TUSBXpress&, const QByteArray&) {});
      port.SetActive(true);
      if (serial == "dova300-0001") {
        l.AddBridge("dova300-0002");
        s.AdvanceBy(100);  // a modal wait: the next scan reports the second device
        if (raise_for_first) throw std::runtime_error("no room for a tile");
      } else if (!raise_for_first) {
        throw std::runtime_error("no room for a tile");
      }
    };
    e.Loaded();
    s.AdvanceBy(100);
    ASSERT_EQ(told.size(), 2u);
    const auto second = l.Bridges()[1];
    // The port told about last was made last; only the refused one is closed.
    EXPECT_EQ(first->IsOpen(), !raise_for_first);
    EXPECT_EQ(second->IsOpen(), raise_for_first);
    EXPECT_EQ(told[0]->Closed(), raise_for_first);
    EXPECT_EQ(told[1]->Closed(), !raise_for_first);
    EXPECT_EQ(told[0]->ReadTimer()->Enabled(), !raise_for_first);
    EXPECT_EQ(told[1]->ReadTimer()->Enabled(), raise_for_first);
    // The next scan frees the refused port, leaves the other one alone and offers the
    // refused device again.
    const TUSBXpress* kept = raise_for_first ? told[1] : told[0];
    told.clear();
    e.OnNewPort = [&](TUSBXpressEnumerator&, TUSBXpress& port, const QString&) {
      told.push_back(&port);
    };
    s.AdvanceBy(100);
    ASSERT_EQ(told.size(), 1u);
    ASSERT_EQ(e.Ports().size(), 2u);
    EXPECT_EQ(e.Ports()[0].get(), kept);
    EXPECT_FALSE(kept->Closed());
    EXPECT_EQ(e.Ports()[1].get(), told[0]);
    EXPECT_TRUE(first->IsOpen());
    EXPECT_TRUE(second->IsOpen());
  }
}

}  // namespace
}  // namespace dova
