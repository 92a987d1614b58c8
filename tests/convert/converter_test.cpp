// The driver converter and its report dialog on virtual time, with simulated bridges.
#include <gtest/gtest.h>

#include <QString>
#include <functional>
#include <vector>

#include "console/console_reports.h"
#include "convert/vcp_to_usbx_conv.h"
#include "platform/error_reporter.h"
#include "platform/virtual_scheduler.h"
#include "sim/simulated_incubators.h"
#include "sim/vcp/simulated_vcp.h"
#include "usb/usbxpress_enumerator.h"

namespace dova {
namespace {

using manufacturing::CP210xCall;
using Phase = TVCPDovaToUSBX::TPhase;

// The user in front of the report: looks at it for a while (virtual time goes on), then
// presses OK or the close box.
class ScriptedReport : public IConverterReport {
 public:
  explicit ScriptedReport(VirtualScheduler& s) : s_(s) {}
  struct Shown {
    QString vcp, usbx;
    std::int64_t at_ms;
    bool converter_stopped;
  };
  void ShowModal(TVCPtoUSBXConv& dialog) override {
    shown.push_back({dialog.VCPSerialText(), dialog.USBXSerialText(), s_.ElapsedMs(),
                     !dialog.VCPtoUSBX().ConvertTimer().Running()});
    s_.AdvanceBy(look_ms);
    if (!use_close_box) dialog.OKButtonClick();
    dialog.FormClose();
  }
  std::vector<Shown> shown;
  std::int64_t look_ms = 1000;
  bool use_close_box = false;

 private:
  VirtualScheduler& s_;
};

class ConverterTest : public ::testing::Test {
 protected:
  ConverterTest() { s_.SetErrorReporter(&errors_); }

  // Creates the dialog (and so starts the converter), with the new serials' numbers taken
  // from `randoms` in turn.
  TVCPtoUSBXConv& Start(std::vector<std::uint32_t> randoms = {0x1A2B3C}) {
    dialog_ = std::make_unique<TVCPtoUSBXConv>(s_, bench_.NewComm(), bench_.PortMap(),
                                               bench_.Library(), report_);
    randoms_ = std::move(randoms);
    dialog_->VCPtoUSBX().SetRandomSource([this] { return randoms_.at(next_random_++); });
    return *dialog_;
  }
  sim::Incubator& AddIncubator(int number, std::string serial = {}) {
    return bench_.AddIncubator(sim::SimulatedIncubators::DefaultConfig(number, 1), serial);
  }
  int Conversions() const { return static_cast<int>(report_.shown.size()); }

  VirtualScheduler s_;
  RecordingErrorReporter errors_;
  bridge::SimLibrary usbx_;
  sim::SimulatedVcpBench bench_{s_, usbx_};
  ScriptedReport report_{s_};
  std::unique_ptr<TVCPtoUSBXConv> dialog_;
  std::vector<std::uint32_t> randoms_;
  std::size_t next_random_ = 0;
};

TEST_F(ConverterTest, NothingToConvertCountsEveryListingAndStopsAfterTheTwentieth) {
  TVCPtoUSBXConv& dialog = Start();
  s_.AdvanceBy(1999);
  EXPECT_EQ(dialog.DoneCount(), 19);
  s_.AdvanceBy(1);
  EXPECT_EQ(dialog.DoneCount(), 20);
  EXPECT_FALSE(dialog.VCPtoUSBX().SearchEnabled());
  s_.AdvanceBy(60000);
  EXPECT_EQ(dialog.DoneCount(), 20);
  EXPECT_EQ(Conversions(), 0);
}

TEST_F(ConverterTest, AnIncubatorIsConvertedAndTheEnumeratorFindsItUnderItsNewSerial) {
  AddIncubator(3);
  TVCPtoUSBXConv& dialog = Start({0x1A2B3C});
  // Listing at 100 ms, probe at 150, check at 200, conversion 500 ms later.
  s_.AdvanceBy(200);
  EXPECT_EQ(dialog.VCPtoUSBX().Phase(), Phase::ConvertPhase);
  EXPECT_EQ(dialog.VCPtoUSBX().Reply(), "ttyUSB0");
  s_.AdvanceBy(499);
  EXPECT_EQ(Conversions(), 0);
  s_.AdvanceBy(1);
  ASSERT_EQ(Conversions(), 1);
  EXPECT_EQ(report_.shown[0].vcp, "VCP0001");
  // A value below 16^6 leaves two blanks after the prefix.
  EXPECT_EQ(report_.shown[0].usbx, "DOVA300-  1A2B3C");
  EXPECT_EQ(report_.shown[0].at_ms, 700);
  EXPECT_TRUE(report_.shown[0].converter_stopped);

  const manufacturing::SimCP210xBridge& bridge = bench_.BridgeOf(0);
  EXPECT_EQ(bridge.ProductId, 0xEA61);
  EXPECT_TRUE(bridge.SelfPowered);
  EXPECT_EQ(bridge.MaxPower, 0);
  EXPECT_EQ(bridge.Resets, 1);
  // The same incubator now answers on its new bridge.
  EXPECT_EQ(bench_.IncubatorAt(0).Bridge(), bridge.Usbx);

  TUSBXpressEnumerator enumerator(s_, usbx_);
  enumerator.SetSerialPrefix("dova300");
  enumerator.SetSearchInterval(100);
  QStringList found;
  enumerator.OnNewPort = [&](TUSBXpressEnumerator&, TUSBXpress&, const QString& serial) {
    found << serial;
  };
  enumerator.Loaded();
  s_.AdvanceBy(200);
  EXPECT_EQ(found, QStringList{"dova300-  1a2b3c"});
  // With nothing left on the serial-port driver, the converter counts empty listings again.
  EXPECT_GT(dialog.DoneCount(), 0);
  EXPECT_TRUE(errors_.messages.empty());
}

TEST_F(ConverterTest, APortThatIsNoIncubatorKeepsTheConverterListingWithoutOnDone) {
  auto silent = bench_.AddForeignDevice();
  auto talker = bench_.AddForeignDevice("OK");
  TVCPtoUSBXConv& dialog = Start();
  s_.AdvanceBy(10000);
  EXPECT_EQ(dialog.DoneCount(), 0);
  EXPECT_TRUE(dialog.VCPtoUSBX().SearchEnabled());
  EXPECT_EQ(Conversions(), 0);
  // Both are asked again after each listing.
  EXPECT_GT(silent->Tty->OpenCount(), 10);
  EXPECT_GT(talker->Tty->OpenCount(), 10);
  EXPECT_FALSE(silent->Tty->IsOpen() && talker->Tty->IsOpen());
  EXPECT_EQ(silent->ProductId, 0xEA60);
  EXPECT_EQ(talker->ProductId, 0xEA60);
}

TEST_F(ConverterTest, OnlyAnAnswerThatBeginsWithTheUpperCaseTagCounts) {
  struct Case {
    std::string answer;
    bool converted;
  };
  const std::vector<Case> cases = {
      {"NICK Bench 4", true},  {"NICK", true},     {"nick Bench 4", false},
      {"Nick Bench 4", false}, {" NICK x", false}, {"NIC", false},
  };
  for (const auto& c : cases) {
    VirtualScheduler s;
    bridge::SimLibrary usbx;
    sim::SimulatedVcpBench bench(s, usbx);
    auto device = bench.AddForeignDevice(c.answer);
    ScriptedReport report(s);
    TVCPtoUSBXConv dialog(s, bench.NewComm(), bench.PortMap(), bench.Library(), report);
    s.AdvanceBy(3000);
    EXPECT_EQ(report.shown.size(), c.converted ? 1u : 0u) << c.answer;
    EXPECT_EQ(device->ProductId, c.converted ? 0xEA61 : 0xEA60) << c.answer;
  }
}

TEST_F(ConverterTest, OnlyTheBridgeOnTheSerialPortDriverNamedByThePortIsReprogrammed) {
  struct Case {
    std::string other_serial;
    std::uint16_t other_pid;
  };
  // Bridges that come before the incubator's in the library and whose path matches or
  // nearly matches its instance name.
  const std::vector<Case> cases = {
      {"VCP0001", 0xEA61},   // same serial, already on the USB bridge driver
      {"VCP0001", 0xEA70},   // same serial, another product ID
      {"VCP00011", 0xEA60},  // a longer serial that contains the incubator's
  };
  for (const auto& c : cases) {
    VirtualScheduler s;
    bridge::SimLibrary usbx;
    sim::SimulatedVcpBench bench(s, usbx);
    auto other = c.other_pid == 0xEA60 ? bench.AddForeignDevice({}, c.other_serial) : nullptr;
    std::shared_ptr<manufacturing::SimCP210xBridge> other_bridge = other;
    if (!other) {
      bench.Library().AddBridge(c.other_serial, c.other_pid);
      other_bridge = bench.Library().Bridges().back();
    }
    bench.AddIncubator(sim::SimulatedIncubators::DefaultConfig(1, 1), "VCP0001");
    ScriptedReport report(s);
    TVCPtoUSBXConv dialog(s, bench.NewComm(), bench.PortMap(), bench.Library(), report);
    s.AdvanceBy(3000);
    ASSERT_EQ(report.shown.size(), 1u) << c.other_serial;
    EXPECT_EQ(report.shown[0].vcp, "VCP0001");
    EXPECT_EQ(bench.BridgeOf(0).ProductId, 0xEA61);
    EXPECT_EQ(other_bridge->ProductId, c.other_pid) << c.other_serial;
    EXPECT_EQ(other_bridge->Resets, 0) << c.other_serial;
    EXPECT_FALSE(other_bridge->SelfPowered) << c.other_serial;
  }
}

TEST_F(ConverterTest, TwoIncubatorsAreConvertedOneAfterTheOtherEachWithItsReport) {
  AddIncubator(1);
  AddIncubator(2);
  report_.use_close_box = true;  // the close box resumes the converter as well as OK
  TVCPtoUSBXConv& dialog = Start({0xABCDEF01, 0x1234});
  s_.AdvanceBy(5000);
  ASSERT_EQ(Conversions(), 2);
  EXPECT_EQ(report_.shown[0].vcp, "VCP0001");
  EXPECT_EQ(report_.shown[0].usbx, "DOVA300-ABCDEF01");
  EXPECT_EQ(report_.shown[1].vcp, "VCP0002");
  EXPECT_EQ(report_.shown[1].usbx, "DOVA300-    1234");
  // The first report stays open 1000 ms; then a new listing probes from the first port.
  EXPECT_EQ(report_.shown[0].at_ms, 700);
  EXPECT_EQ(report_.shown[1].at_ms, 1700 + 100 + 50 + 50 + 500);
  EXPECT_TRUE(report_.shown[1].converter_stopped);
  EXPECT_TRUE(dialog.VCPtoUSBX().SearchEnabled());
  EXPECT_GT(dialog.DoneCount(), 0);
  EXPECT_EQ(usbx_.Bridges().size(), 2u);
}

TEST_F(ConverterTest, SerialTextIsUpperCaseHexRightAlignedInEight) {
  const std::vector<std::pair<std::uint32_t, QString>> cases = {
      {0x1A2B3C, "DOVA300-  1A2B3C"},  {0x100000, "DOVA300-  100000"},
      {0xFFFFF, "DOVA300-   FFFFF"},   {0, "DOVA300-       0"},
      {0xABCDEF0, "DOVA300- ABCDEF0"}, {2147483646u, "DOVA300-7FFFFFFE"},
  };
  for (const auto& [r, text] : cases)
    EXPECT_EQ(TVCPDovaToUSBX::FormatUsbxSerial(r), text) << r;
}

TEST_F(ConverterTest, ThePathMustNameTheInstanceAsAWholeFieldInAnyCase) {
  struct Case {
    QString path, instance;
    bool match;
  };
  const std::vector<Case> cases = {
      {"usb#1-1#vid_10c4&pid_ea60#VCP0001", "vcp0001", true},
      {"\\\\?\\usb#vid_10c4&pid_ea60#0001#{a5dcbf10}", "0001", true},
      {"usb#1-1#vid_10c4&pid_ea60#VCP00011", "VCP0001", false},
      {"usb#1-1#vid_10c4&pid_ea60#XVCP0001", "VCP0001", false},
      {"usb#1-1#vid_10c4&pid_ea60#VCP0001", "", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TVCPDovaToUSBX::PathNamesInstance(c.path, c.instance), c.match)
        << c.path.toStdString();
  }
}

TEST_F(ConverterTest, FailingToCountTheBridgesRetriesTheSamePortEvery500Ms) {
  AddIncubator(1);
  bench_.Library().FailNext(CP210xCall::GetNumDevices, 2);
  TVCPtoUSBXConv& dialog = Start();
  s_.AdvanceBy(700);
  EXPECT_EQ(errors_.messages, std::vector<std::string>{"Error Getting Number of Devices"});
  EXPECT_EQ(dialog.VCPtoUSBX().Phase(), Phase::ConvertPhase);
  EXPECT_EQ(dialog.VCPtoUSBX().ConvertTimer().Interval(), 500u);
  s_.AdvanceBy(499);
  EXPECT_EQ(errors_.messages.size(), 1u);
  s_.AdvanceBy(1);
  EXPECT_EQ(errors_.messages.size(), 2u);
  EXPECT_EQ(Conversions(), 0);
  s_.AdvanceBy(500);
  ASSERT_EQ(Conversions(), 1);
  EXPECT_EQ(report_.shown[0].at_ms, 1700);
}

TEST_F(ConverterTest, AnAnswerLaterThanTheProbePeriodIsLost) {
  struct Case {
    std::uint32_t delay_ms;
    bool converted;
  };
  for (const auto& c : std::vector<Case>{{40, true}, {49, true}, {60, false}}) {
    VirtualScheduler s;
    bridge::SimLibrary usbx;
    sim::SimulatedVcpBench bench(s, usbx);
    bench.AddIncubator(sim::SimulatedIncubators::DefaultConfig(1, 1)).SetReplyDelay(c.delay_ms);
    ScriptedReport report(s);
    TVCPtoUSBXConv dialog(s, bench.NewComm(), bench.PortMap(), bench.Library(), report);
    s.AdvanceBy(3000);
    EXPECT_EQ(report.shown.size(), c.converted ? 1u : 0u) << c.delay_ms;
  }
}

TEST_F(ConverterTest, APortThatCannotBeOpenedOrWrittenIsPassedOverAndClosed) {
  auto& first = AddIncubator(1);
  AddIncubator(2);
  (void)first;
  // Another program holds the first port; writing to the second fails once.
  SimComm holder(s_, bench_.Ports());
  holder.SetDeviceName("/dev/ttyUSB0");
  holder.Open();
  bench_.BridgeOf(1).Tty->FailNextWrite(5);
  TVCPtoUSBXConv& dialog = Start({1, 2});
  s_.AdvanceBy(250);  // first listing: the first port is busy, the second fails to write
  EXPECT_EQ(dialog.VCPtoUSBX().Phase(), Phase::ListPhase);
  EXPECT_FALSE(bench_.BridgeOf(1).Tty->IsOpen());
  s_.AdvanceBy(3000);
  ASSERT_EQ(Conversions(), 1);
  EXPECT_EQ(report_.shown[0].vcp, "VCP0002");
  EXPECT_TRUE(errors_.messages.empty());
}

TEST_F(ConverterTest, ClosingTheDialogStopsTheConverter) {
  TVCPtoUSBXConv& dialog = Start();
  s_.AdvanceBy(500);
  dialog.FormClose();
  s_.AdvanceBy(5000);
  EXPECT_EQ(dialog.DoneCount(), 5);
}

// A port that, like a real one, runs a notification it has already handed over when it is
// freed while open.
class PortWithANotificationOnItsWay : public SimComm {
 public:
  PortWithANotificationOnItsWay(Scheduler& s, SimSerialPorts& ports, int& reads)
      : SimComm(s, ports), reads_(reads) {}
  ~PortWithANotificationOnItsWay() override {
    if (Active() && OnRxFlag()) OnRxFlag()(*this);
  }
  std::string ReadAvailable() override {
    ++reads_;
    return "NICK late\r";
  }

 private:
  int& reads_;
};

TEST_F(ConverterTest, FreeingTheConverterDuringAProbeCallsNothingBackIntoIt) {
  AddIncubator(1);
  int reads = 0;
  auto dialog = std::make_unique<TVCPtoUSBXConv>(
      s_, std::make_unique<PortWithANotificationOnItsWay>(s_, bench_.Ports(), reads),
      bench_.PortMap(), bench_.Library(), report_);
  s_.AdvanceBy(150);  // the query has gone out; the port stays open until the check
  ASSERT_EQ(dialog->VCPtoUSBX().Phase(), Phase::CheckPhase);
  ASSERT_TRUE(dialog->VCPtoUSBX().Comm().Active());
  reads = 0;
  dialog.reset();
  EXPECT_EQ(reads, 0);
}

TEST_F(ConverterTest, HeadlessWritesOneLinePerConversion) {
  AddIncubator(1);
  QStringList lines;
  ConsoleConverterReport console([&](const QString& line) { lines << line; });
  TVCPtoUSBXConv dialog(s_, bench_.NewComm(), bench_.PortMap(), bench_.Library(), console);
  dialog.VCPtoUSBX().SetRandomSource([] { return 0x1A2B3Cu; });
  s_.AdvanceBy(1000);
  EXPECT_EQ(lines, QStringList{"Converted to USBXpress: USB serial No VCP0001 -> DOVA300-  1A2B3C "
                               "(CP2102)"});
  EXPECT_TRUE(dialog.VCPtoUSBX().SearchEnabled());
}

}  // namespace
}  // namespace dova
