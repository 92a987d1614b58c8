// The driver converter and its report dialog on virtual time, with simulated bridges.
#include <gtest/gtest.h>

#include <QString>
#include <atomic>
#include <functional>
#include <thread>
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
  void ShowProblem(TVCPtoUSBXConv&, const QString& line) override { problems << line; }
  std::vector<Shown> shown;
  QStringList problems;
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
  // Serials drawn one after the other, as many as asked for.
  void CountingSerials() {
    dialog_->VCPtoUSBX().SetRandomSource([n = 0x100000u]() mutable { return n++; });
  }

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

constexpr const char* kGivenUp =
    "Conversion given up: USB serial No VCP0001 on ttyUSB0 failed 3 tries; it is left alone until "
    "the program starts again";

QString Failed(const QString& reason, int tries) {
  return QStringLiteral("Conversion failed: USB serial No VCP0001 on ttyUSB0: %1 (try %2 of 3)")
      .arg(reason)
      .arg(tries);
}

TEST_F(ConverterTest, AFailingStepIsReportedOncePerTryAndTheBridgeIsLeftAloneAfterThree) {
  struct Case {
    CP210xCall call;
    QString reason;
  };
  const std::vector<Case> cases = {
      {CP210xCall::Open, "open failed"},
      {CP210xCall::GetDevicePid, "read product ID failed"},
      {CP210xCall::GetPartNumber, "read part number failed"},
      {CP210xCall::SetSelfPower, "set self-powered failed"},
      {CP210xCall::SetMaxPower, "set maximum power failed"},
      {CP210xCall::SetSerialNumber, "set serial number failed"},
      {CP210xCall::SetPid, "set product ID failed"},
      {CP210xCall::Reset, "reset failed"},
  };
  for (const auto& c : cases) {
    VirtualScheduler s;
    bridge::SimLibrary usbx;
    sim::SimulatedVcpBench bench(s, usbx);
    bench.AddIncubator(sim::SimulatedIncubators::DefaultConfig(1, 1), "VCP0001");
    // The bridge stalls that request every time.
    bench.Library().FailNext(c.call, 1000);
    ScriptedReport report(s);
    TVCPtoUSBXConv dialog(s, bench.NewComm(), bench.PortMap(), bench.Library(), report);
    dialog.VCPtoUSBX().SetRandomSource([n = 1u]() mutable { return n++; });
    s.AdvanceBy(60000);
    const QString reason = c.reason;
    EXPECT_EQ(report.problems,
              (QStringList{Failed(reason, 1), Failed(reason, 2), Failed(reason, 3), kGivenUp}))
        << reason.toStdString();
    EXPECT_TRUE(report.shown.empty()) << reason.toStdString();
    const manufacturing::SimCP210xBridge& bridge = bench.BridgeOf(0);
    EXPECT_EQ(bridge.ProductId, 0xEA60) << reason.toStdString();
    EXPECT_EQ(bridge.Resets, 0) << reason.toStdString();
    // Asked three times, then left alone: nothing more to convert, so the empty listings
    // count again and stop the converter.
    EXPECT_EQ(bridge.Tty->OpenCount(), 3) << reason.toStdString();
    EXPECT_TRUE(dialog.VCPtoUSBX().LeftAlone("VCP0001"));
    EXPECT_EQ(dialog.DoneCount(), TVCPtoUSBXConv::kDoneLimit) << reason.toStdString();
    EXPECT_FALSE(dialog.VCPtoUSBX().SearchEnabled()) << reason.toStdString();
  }
}

TEST_F(ConverterTest, ABridgeThatTakesTheWritesButKeepsItsIdentityCountsAsFailedTries) {
  AddIncubator(1, "VCP0001");
  bench_.BridgeOf(0).KeepsIdentity = true;
  TVCPtoUSBXConv& dialog = Start();
  CountingSerials();
  s_.AdvanceBy(60000);
  const QString kept = "the bridge kept its identity after reset";
  EXPECT_EQ(report_.problems,
            (QStringList{Failed(kept, 1), Failed(kept, 2), Failed(kept, 3), kGivenUp}));
  EXPECT_EQ(Conversions(), 0);
  const manufacturing::SimCP210xBridge& bridge = bench_.BridgeOf(0);
  EXPECT_EQ(bridge.Writes, 3 * 4);
  EXPECT_EQ(bridge.Resets, 3);
  EXPECT_EQ(bridge.Serial, "VCP0001");
  EXPECT_EQ(dialog.DoneCount(), TVCPtoUSBXConv::kDoneLimit);
  EXPECT_FALSE(dialog.VCPtoUSBX().SearchEnabled());
}

TEST_F(ConverterTest, ABridgeThatClaimsEachConversionButComesBackUnchangedIsBoundedToo) {
  AddIncubator(1, "VCP0001");
  // Every reset says the bridge came back as another device; it never did.
  bench_.BridgeOf(0).KeepsIdentity = true;
  bench_.Library().FailNext(CP210xCall::Reset, 1000, manufacturing::CP210x_DEVICE_NOT_FOUND);
  TVCPtoUSBXConv& dialog = Start();
  CountingSerials();
  s_.AdvanceBy(60000);
  EXPECT_EQ(Conversions(), 3);
  EXPECT_EQ(report_.problems, QStringList{kGivenUp});
  EXPECT_EQ(bench_.BridgeOf(0).Tty->OpenCount(), 3);
  EXPECT_EQ(dialog.DoneCount(), TVCPtoUSBXConv::kDoneLimit);
}

TEST_F(ConverterTest, FailingToCountTheBridgesIsBoundedToo) {
  AddIncubator(1, "VCP0001");
  bench_.Library().FailNext(CP210xCall::GetNumDevices, 1000);
  TVCPtoUSBXConv& dialog = Start();
  s_.AdvanceBy(60000);
  EXPECT_EQ(errors_.messages, std::vector<std::string>(3, "Error Getting Number of Devices"));
  EXPECT_EQ(report_.problems, QStringList{kGivenUp});
  EXPECT_EQ(dialog.DoneCount(), TVCPtoUSBXConv::kDoneLimit);
}

TEST_F(ConverterTest, APartWhoseFieldsCanBeWrittenOnlyOnceIsNeverWritten) {
  struct Case {
    std::uint8_t part;
    const char* name;
  };
  const std::vector<Case> cases = {
      {manufacturing::CP210x_CP2104_VERSION, "CP2104"},
      {manufacturing::CP210x_CP2105_VERSION, "CP2105"},
      {manufacturing::CP210x_CP2109_VERSION, "CP2109"},
      {manufacturing::CP210x_CP2102N_QFN24_VERSION, "CP2102N"},
      {0x77, "unknown part"},
  };
  for (const auto& c : cases) {
    VirtualScheduler s;
    bridge::SimLibrary usbx;
    sim::SimulatedVcpBench bench(s, usbx);
    bench.AddIncubator(sim::SimulatedIncubators::DefaultConfig(1, 1), "VCP0001");
    bench.BridgeOf(0).PartNumber = c.part;
    QStringList lines;
    ConsoleConverterReport console([&](const QString& line) { lines << line; });
    TVCPtoUSBXConv dialog(s, bench.NewComm(), bench.PortMap(), bench.Library(), console);
    s.AdvanceBy(60000);
    EXPECT_EQ(lines, QStringList{QStringLiteral("Conversion refused: USB serial No VCP0001 on "
                                                "ttyUSB0 is a %1, whose USB identity is not "
                                                "rewritable; it is left alone")
                                     .arg(c.name)});
    EXPECT_EQ(bench.BridgeOf(0).Writes, 0) << c.name;
    EXPECT_EQ(bench.BridgeOf(0).Resets, 0) << c.name;
    EXPECT_EQ(bench.BridgeOf(0).Tty->OpenCount(), 1) << c.name;
    EXPECT_EQ(dialog.DoneCount(), TVCPtoUSBXConv::kDoneLimit) << c.name;
  }
}

TEST_F(ConverterTest, ABridgeTheUserMayNotOpenIsReportedOnceWithTheFixAndWaitedFor) {
  struct Case {
    bool tty_denied;
    const char* line;
    int probes;
  };
  const std::vector<Case> cases = {
      {true,
       "Permission denied: cannot open USB bridge VCP0001 (/dev/ttyUSB0); install "
       "packaging/udev/70-dova300.rules, then unplug and plug in again",
       0},
      {false,
       "Permission denied: cannot open USB bridge VCP0001 (USB device of /dev/ttyUSB0); install "
       "packaging/udev/70-dova300.rules, then unplug and plug in again",
       1},
  };
  for (const auto& c : cases) {
    VirtualScheduler s;
    bridge::SimLibrary usbx;
    sim::SimulatedVcpBench bench(s, usbx);
    bench.AddIncubator(sim::SimulatedIncubators::DefaultConfig(1, 1), "VCP0001");
    bench.BridgeOf(0).TtyAccessDenied = c.tty_denied;
    bench.BridgeOf(0).AccessDenied = !c.tty_denied;
    ScriptedReport report(s);
    TVCPtoUSBXConv dialog(s, bench.NewComm(), bench.PortMap(), bench.Library(), report);
    s.AdvanceBy(20000);
    EXPECT_EQ(report.problems, QStringList{c.line});
    EXPECT_EQ(bench.BridgeOf(0).Tty->OpenCount(), c.probes) << c.line;
    EXPECT_EQ(bench.BridgeOf(0).Writes, 0);
    // Not a try, and not "nothing to convert": the converter keeps waiting for the fix.
    EXPECT_EQ(dialog.VCPtoUSBX().Tries("VCP0001"), 0);
    EXPECT_EQ(dialog.DoneCount(), 0);
    EXPECT_TRUE(dialog.VCPtoUSBX().SearchEnabled());
  }
}

TEST_F(ConverterTest, AProbedPortIsNotOpenedAgainBeforeItsPauseAfterClosing) {
  auto silent = bench_.AddForeignDevice();
  Start();
  // Listing at 100, probe at 150, closed at 200; the next listing waits out the pause.
  s_.AdvanceBy(200);
  ASSERT_EQ(silent->Tty->OpenCount(), 1);
  ASSERT_FALSE(silent->Tty->IsOpen());
  s_.AdvanceBy(TVCPDovaToUSBX::kClosePause + TVCPDovaToUSBX::kProbeInterval - 1);
  EXPECT_EQ(silent->Tty->OpenCount(), 1);
  s_.AdvanceBy(1);
  EXPECT_EQ(silent->Tty->OpenCount(), 2);
}

// A worker that holds its job until the test runs it.
class SteppedWorker : public TConverterWorker {
 public:
  void Start(std::function<void()> job) override {
    ++started;
    job_ = std::move(job);
  }
  bool Done() override { return !job_; }
  void RunJob() {
    auto job = std::move(job_);
    job_ = nullptr;
    job();
  }
  int started = 0;

 private:
  std::function<void()> job_;
};

TEST_F(ConverterTest, TheReprogrammingRunsOnTheWorkerAndItsOutcomeIsTakenUpInOrder) {
  AddIncubator(1);
  auto worker = std::make_unique<SteppedWorker>();
  SteppedWorker& stepped = *worker;
  TVCPtoUSBXConv dialog(s_, bench_.NewComm(), bench_.PortMap(), bench_.Library(), report_,
                        std::move(worker));
  dialog.VCPtoUSBX().SetRandomSource([] { return 0x1A2B3Cu; });
  // A timer of something else on the same thread: it keeps its cadence meanwhile.
  int other_ticks = 0;
  Timer other(s_, 20, true);
  other.SetOnTimer([&] { ++other_ticks; });

  s_.AdvanceBy(700);  // the conversion tick: the job is handed over, nothing is written yet
  ASSERT_EQ(stepped.started, 1);
  EXPECT_TRUE(dialog.VCPtoUSBX().Converting());
  EXPECT_EQ(bench_.BridgeOf(0).Writes, 0);
  s_.AdvanceBy(5000);  // a reset that takes five seconds
  EXPECT_EQ(other_ticks, 5700 / 20);
  EXPECT_EQ(stepped.started, 1);  // no second job, no new listing
  EXPECT_EQ(bench_.BridgeOf(0).Tty->OpenCount(), 1);
  EXPECT_EQ(Conversions(), 0);

  stepped.RunJob();
  EXPECT_EQ(bench_.BridgeOf(0).ProductId, 0xEA61);
  EXPECT_EQ(Conversions(), 0);  // the outcome waits for the converter's own tick
  s_.AdvanceBy(TVCPDovaToUSBX::kWorkPollInterval);
  ASSERT_EQ(Conversions(), 1);
  EXPECT_EQ(report_.shown[0].usbx, "DOVA300-  1A2B3C");
  EXPECT_EQ(report_.shown[0].at_ms, 5700 + TVCPDovaToUSBX::kWorkPollInterval);
  EXPECT_FALSE(dialog.VCPtoUSBX().Converting());
  EXPECT_EQ(dialog.VCPtoUSBX().Phase(), Phase::ListPhase);
}

TEST(ConverterWorkerTest, TheThreadWorkerRunsTheJobOnAnotherThreadAndTellsWhenItHasEnded) {
  TThreadWorker worker;
  EXPECT_TRUE(worker.Done());
  std::atomic<bool> release{false};
  std::thread::id ran_on;
  int value = 0;
  worker.Start([&] {
    while (!release.load())
      std::this_thread::yield();
    ran_on = std::this_thread::get_id();
    value = 42;
  });
  EXPECT_FALSE(worker.Done());
  release = true;
  while (!worker.Done())
    std::this_thread::yield();
  EXPECT_EQ(value, 42);
  EXPECT_NE(ran_on, std::this_thread::get_id());
  // A second job after the first.
  worker.Start([&] { value = 7; });
  while (!worker.Done())
    std::this_thread::yield();
  EXPECT_EQ(value, 7);
}

}  // namespace
}  // namespace dova
