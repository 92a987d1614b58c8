#include <gtest/gtest.h>

#include <QByteArray>

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/bridge/sim/sim_library.h"
#include "platform/error_reporter.h"
#include "platform/virtual_scheduler.h"
#include "usb/usbxpress.h"

namespace dova {
namespace {

using bridge::SiCall;
using FS = TUSBXpress::TFrameState;

constexpr std::uint8_t kCR = 13;
constexpr std::uint8_t kEsc = 0x1B;

// One bridge opened on the simulated library, as the enumerator would hand it over.
struct PortTest : ::testing::Test {
  VirtualScheduler sched;
  RecordingErrorReporter errors;
  bridge::SimLibrary lib;
  std::shared_ptr<bridge::SimBridge> dev = lib.AddBridge("dova300-0001");
  bridge::SiHandle handle = 0;
  // (tick number, line) of every delivery; the tick is counted by Tick().
  std::vector<std::pair<int, QByteArray>> lines;
  int tick = 0;

  PortTest() {
    sched.SetErrorReporter(&errors);
    EXPECT_EQ(lib.SI_Open(0, &handle), bridge::SI_SUCCESS);
  }

  std::unique_ptr<TUSBXpress> Make(std::uint8_t delimiter = kCR, std::uint8_t escape = 0) {
    return std::make_unique<TUSBXpress>(sched, lib, handle, delimiter, escape, 57600, 20);
  }
  void Listen(TUSBXpress& port) {
    port.SetOnLine([this](TUSBXpress&, const QByteArray& line) { lines.emplace_back(tick, line); });
  }
  // One reader period.
  void Tick() {
    sched.AdvanceBy(20);
    ++tick;
  }
  void Feed(const std::string& bytes) {
    dev->SendToHost(bytes);
    Tick();
  }
};

TEST_F(PortTest, CreationAppliesBaudRateAndLeavesReaderOff) {
  auto port = Make();
  EXPECT_EQ(dev->BaudRate(), 57600u);
  EXPECT_EQ(port->Handle(), handle);
  EXPECT_EQ(port->BaudRate(), 57600u);
  ASSERT_NE(port->ReadTimer(), nullptr);
  EXPECT_FALSE(port->ReadTimer()->Enabled());
  EXPECT_EQ(port->ReadTimer()->Interval(), 20u);
  EXPECT_FALSE(port->HasOnLine());
  Listen(*port);
  dev->SendToHost("SERL 1\r");
  sched.AdvanceBy(200);
  EXPECT_EQ(lib.CallCount(SiCall::CheckRXQueue), 0);
  EXPECT_TRUE(lines.empty());
}

TEST_F(PortTest, FrameStateFollowsDelimiterAndEscapeChar) {
  struct Case {
    std::uint8_t delimiter, escape;
    FS state;
  };
  for (const Case& c : {Case{0, 0, FS::RawChunks}, Case{kCR, 0, FS::DelimitedLines},
                        Case{0, kEsc, FS::AwaitFrameStart}, Case{kCR, kEsc, FS::AwaitFrameStart}}) {
    auto port = Make(c.delimiter, c.escape);
    EXPECT_EQ(port->FrameState(), c.state) << int(c.delimiter) << "/" << int(c.escape);
    EXPECT_EQ(port->Delimiter(), c.delimiter);
    EXPECT_EQ(port->EscapeChar(), c.escape);
  }
}

TEST_F(PortTest, NewDelimiterOrEscapeRestartsAssemblySameValueDoesNothing) {
  auto port = Make();
  Listen(*port);
  port->SetActive(true);
  Feed("SER");
  ASSERT_EQ(port->LineBuffer(), "SER");

  port->SetDelimiter(kCR);
  port->SetEscapeChar(0);
  EXPECT_EQ(port->LineBuffer(), "SER");
  EXPECT_EQ(port->FrameState(), FS::DelimitedLines);

  port->SetEscapeChar(kEsc);
  EXPECT_EQ(port->FrameState(), FS::AwaitFrameStart);
  EXPECT_EQ(port->LineBuffer(), "");
  Feed(
      "\x1B"
      "ab");
  EXPECT_EQ(port->FrameState(), FS::InFrame);
  port->SetDelimiter(10);  // escape still set: back outside a frame
  EXPECT_EQ(port->FrameState(), FS::AwaitFrameStart);
  EXPECT_EQ(port->LineBuffer(), "");
  port->SetEscapeChar(0);
  EXPECT_EQ(port->FrameState(), FS::DelimitedLines);
  port->SetDelimiter(0);
  EXPECT_EQ(port->FrameState(), FS::RawChunks);
}

TEST_F(PortTest, BaudRateFailureRaisesAndOwnedObjectStaysWithoutReader) {
  lib.FailNext(SiCall::SetBaudRate);
  try {
    Make();
    FAIL() << "no exception";
  } catch (const TUSBXpressExcept& e) {
    EXPECT_STREQ(e.what(), "Error setting Baud Rate");
  }

  std::vector<std::unique_ptr<TUSBXpress>> owner;
  lib.FailNext(SiCall::SetBaudRate);
  EXPECT_THROW(TUSBXpress::CreateOwned(owner, sched, lib, handle, kCR, 0, 57600, 20),
               TUSBXpressExcept);
  ASSERT_EQ(owner.size(), 1u);
  EXPECT_EQ(owner[0]->ReadTimer(), nullptr);
  EXPECT_EQ(owner[0]->BaudRate(), 57600u);
  owner[0]->SetOnLine([](TUSBXpress&, const QByteArray&) {});
  owner[0]->SetActive(true);  // harmless: there is no reader to start
  owner[0]->Close();
  EXPECT_FALSE(dev->IsOpen());

  ASSERT_EQ(lib.SI_Open(0, &handle), bridge::SI_SUCCESS);
  TUSBXpress& ok = TUSBXpress::CreateOwned(owner, sched, lib, handle, kCR, 0, 9600, 20);
  EXPECT_EQ(owner.size(), 2u);
  EXPECT_EQ(&ok, owner[1].get());
  EXPECT_NE(ok.ReadTimer(), nullptr);
  EXPECT_EQ(dev->BaudRate(), 9600u);
}

TEST_F(PortTest, ReaderChecksQueueOncePerReadInterval) {
  auto port = Make();
  Listen(*port);
  port->SetActive(true);
  sched.AdvanceBy(19);
  EXPECT_EQ(lib.CallCount(SiCall::CheckRXQueue), 0);
  sched.AdvanceBy(1);
  EXPECT_EQ(lib.CallCount(SiCall::CheckRXQueue), 1);
  sched.AdvanceBy(80);
  EXPECT_EQ(lib.CallCount(SiCall::CheckRXQueue), 5);
  // Nothing queued: no read.
  EXPECT_EQ(lib.CallCount(SiCall::Read), 0);
  dev->SendToHost("LBT1 3712\r");
  sched.AdvanceBy(20);
  EXPECT_EQ(lib.CallCount(SiCall::Read), 1);
  EXPECT_EQ(dev->QueuedBytes(), 0u);
}

std::string Digits(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i)
    s.push_back(static_cast<char>('0' + i % 10));
  return s;
}

TEST_F(PortTest, LineAssembly) {
  using Lines = std::vector<std::pair<int, QByteArray>>;
  const std::size_t cap = TUSBXpress::kMaxLineLength;
  const std::string at_cap = Digits(cap);
  const std::string over_cap = Digits(cap + 700);
  struct Case {
    const char* name;
    std::uint8_t delimiter, escape;
    std::vector<std::string> reads;  // one per tick
    Lines expected;
    QByteArray left;  // partial line afterwards
  };
  const std::vector<Case> cases = {
      {"two lines in one read",
       kCR,
       0,
       {"SERL 1234\rLBT1 3712\r"},
       {{0, "SERL 1234"}, {0, "LBT1 3712"}},
       ""},
      {"line split over reads",
       kCR,
       0,
       {"DISP 37.0", "37.0 20  GGG\rLB"},
       {{1, "DISP 37.037.0 20  GGG"}},
       "LB"},
      {"CR LF leaves the LF on the next line", kCR, 0, {"A\r\nB\r"}, {{0, "A"}, {0, "\nB"}}, ""},
      {"two delimiters give an empty line", kCR, 0, {"A\r\r"}, {{0, "A"}, {0, ""}}, ""},
      {"zero bytes are data", kCR, 0, {std::string("a\0b\r", 4)}, {{0, QByteArray("a\0b", 3)}}, ""},
      {"raw chunks: each read whole", 0, 0, {"abc", "de\rf"}, {{0, "abc"}, {1, "de\rf"}}, ""},
      {"escape frame", kCR, kEsc, {"x\x1B\x41\x1B\xBE\x42\r"}, {{0, "\x41\x41\x42"}}, ""},
      {"escaped delimiter is data, bytes between frames dropped",
       kCR,
       kEsc,
       {"\x1B"
        "a\x1B\xF2\r"
        "junk\r\x1B"
        "b\r"},
       {{0, "a\r"}, {0, "b"}},
       ""},
      {"escape split over reads",
       kCR,
       kEsc,
       {"\x1B"
        "ab\x1B",
        "\xBE\r"},
       {{1, "abA"}},
       ""},
      {"line of exactly the cap",
       kCR,
       0,
       {at_cap + "\r"},
       {{0, QByteArray::fromStdString(at_cap)}},
       ""},
      {"overlong line keeps its start",
       kCR,
       0,
       {over_cap.substr(0, 3000), over_cap.substr(3000), "\rok\r"},
       {{2, QByteArray::fromStdString(over_cap.substr(0, cap))}, {2, "ok"}},
       ""},
      {"overlong frame keeps its start",
       0,
       kEsc,
       {"\x1B" + over_cap + "\x1B", "\xBE"},
       {},
       QByteArray::fromStdString(over_cap.substr(0, cap))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    lines.clear();
    tick = 0;
    auto port = Make(c.delimiter, c.escape);
    Listen(*port);
    port->SetActive(true);
    for (const std::string& r : c.reads)
      Feed(r);
    EXPECT_EQ(lines, c.expected);
    EXPECT_EQ(port->LineBuffer(), c.left);
    port->Close();
    EXPECT_EQ(lib.SI_Open(0, &handle), bridge::SI_SUCCESS);
  }
}

TEST_F(PortTest, OverrunFlushesAndKeepsPartialLine) {
  auto port = Make();
  Listen(*port);
  port->SetActive(true);
  const int flushes = dev->FlushCount();
  Feed("SER");
  dev->SendToHost("garbled");
  dev->TriggerOverrun();
  Tick();
  EXPECT_EQ(dev->FlushCount(), flushes + 1);
  EXPECT_EQ(dev->QueuedBytes(), 0u);
  EXPECT_EQ(lib.CallCount(SiCall::Read), 1);
  EXPECT_EQ(port->LineBuffer(), "SER");
  Feed("L 77\r");
  EXPECT_EQ(lines, (std::vector<std::pair<int, QByteArray>>{{2, "SERL 77"}}));
  EXPECT_TRUE(errors.messages.empty());
}

TEST_F(PortTest, ActiveDiscardsPartialLineAndQueuedBytes) {
  auto port = Make();
  Listen(*port);
  port->SetActive(true);
  Feed("old");
  dev->SendToHost("queued\r");
  port->SetActive(true);
  EXPECT_EQ(port->LineBuffer(), "");
  EXPECT_EQ(dev->QueuedBytes(), 0u);
  Feed("new\r");
  EXPECT_EQ(lines, (std::vector<std::pair<int, QByteArray>>{{1, "new"}}));

  port->SetActive(false);
  const int checks = lib.CallCount(SiCall::CheckRXQueue);
  dev->SendToHost("late\r");
  sched.AdvanceBy(200);
  EXPECT_EQ(lib.CallCount(SiCall::CheckRXQueue), checks);
  EXPECT_TRUE(dev->IsOpen());
}

TEST_F(PortTest, ActiveKeepsTheFramingState) {
  auto port = Make(kCR, kEsc);
  Listen(*port);
  port->SetActive(true);
  Feed(
      "\x1B"
      "ab");
  ASSERT_EQ(port->FrameState(), FS::InFrame);
  port->SetActive(true);
  EXPECT_EQ(port->LineBuffer(), "");
  EXPECT_EQ(port->FrameState(), FS::InFrame);
  // Still inside the frame: no new frame start is needed.
  Feed("cd\r");
  EXPECT_EQ(lines, (std::vector<std::pair<int, QByteArray>>{{1, "cd"}}));
}

TEST_F(PortTest, UnassignedOnLineLeavesQueueAlone) {
  auto port = Make();
  port->SetActive(true);
  dev->SendToHost("SERL 1\r");
  sched.AdvanceBy(100);
  EXPECT_EQ(lib.CallCount(SiCall::CheckRXQueue), 0);
  EXPECT_EQ(dev->QueuedBytes(), 7u);
  Listen(*port);
  port->SetOnLine({});
  sched.AdvanceBy(100);
  EXPECT_EQ(lib.CallCount(SiCall::CheckRXQueue), 0);
}

TEST_F(PortTest, WriteSendsBytesAsTheyAre) {
  auto port = Make();
  std::string sent;
  dev->OnHostWrite = [&](std::string_view b) { sent.append(b); };
  EXPECT_EQ(port->Write("!GET SERL\r"), 10u);
  EXPECT_EQ(sent, "!GET SERL\r");

  const int writes = lib.CallCount(SiCall::Write);
  EXPECT_EQ(port->Write(QByteArray()), 0u);
  EXPECT_EQ(lib.CallCount(SiCall::Write), writes + 1);
  EXPECT_EQ(lib.LastWriteLength(), 0u);
  EXPECT_EQ(lib.LastWriteBuffer(), nullptr);

  lib.FailNext(SiCall::Write);
  try {
    port->Write("!READ\r");
    FAIL() << "no exception";
  } catch (const TUSBXpressExcept& e) {
    EXPECT_STREQ(e.what(), "Error Writing");
  }
  dev->Unplug();
  EXPECT_THROW(port->Write("!READ\r"), TUSBXpressExcept);
}

TEST_F(PortTest, CloseStopsReaderAndReleasesDevice) {
  auto port = Make();
  Listen(*port);
  port->SetActive(true);
  Feed("par");
  port->Close();
  EXPECT_FALSE(dev->IsOpen());
  const int checks = lib.CallCount(SiCall::CheckRXQueue);
  sched.AdvanceBy(500);
  EXPECT_EQ(lib.CallCount(SiCall::CheckRXQueue), checks);
  EXPECT_EQ(port->LineBuffer(), "par");
  EXPECT_EQ(port->FrameState(), FS::DelimitedLines);
  EXPECT_TRUE(port->HasOnLine());
  EXPECT_TRUE(errors.messages.empty());
}

TEST_F(PortTest, ReaderFailuresReachTheErrorReporterAndReaderGoesOn) {
  struct Case {
    SiCall call;
    bool overrun;
    const char* message;
  };
  for (const Case& c : {Case{SiCall::CheckRXQueue, false, "Error Reading RX Queue"},
                        Case{SiCall::FlushBuffers, true, "Error Flushing Buffers"},
                        Case{SiCall::Read, false, "Error Reading"}}) {
    SCOPED_TRACE(c.message);
    errors.messages.clear();
    lines.clear();
    auto port = Make();
    Listen(*port);
    port->SetActive(true);
    dev->SendToHost("SERL 5\r");
    if (c.overrun) dev->TriggerOverrun();
    lib.FailNext(c.call);
    Tick();
    EXPECT_EQ(errors.messages, std::vector<std::string>{c.message});
    EXPECT_TRUE(lines.empty());
    ASSERT_TRUE(port->ReadTimer()->Enabled());
    Tick();  // the bytes are still queued and arrive now
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].second, "SERL 5");
    EXPECT_EQ(errors.messages.size(), 1u);
    port->Close();
    EXPECT_EQ(lib.SI_Open(0, &handle), bridge::SI_SUCCESS);
  }
}

TEST_F(PortTest, RaisingLineHandlerKeepsItsLineAndLosesRestOfRead) {
  auto port = Make();
  std::vector<QByteArray> got;
  port->SetOnLine([&](TUSBXpress&, const QByteArray& line) {
    got.push_back(line);
    if (line == "bad") throw std::runtime_error("handler failed");
  });
  port->SetActive(true);
  Feed("bad\rlost\rlo");
  EXPECT_EQ(errors.messages, std::vector<std::string>{"handler failed"});
  EXPECT_EQ(port->LineBuffer(), "bad");
  EXPECT_EQ(dev->QueuedBytes(), 0u);
  EXPECT_TRUE(port->ReadTimer()->Enabled());
  Feed("+more\r");
  EXPECT_EQ(got, (std::vector<QByteArray>{"bad", "bad+more"}));
}

TEST_F(PortTest, HandlerMayStopTheReaderWhileHoldingItsLine) {
  auto port = Make();
  std::vector<QByteArray> seen;
  port->SetOnLine([&](TUSBXpress& sender, const QByteArray& line) {
    sender.SetActive(false);  // what the tile does after a failed write
    seen.push_back(line);
  });
  port->SetActive(true);
  Feed("LBT1 3712\r");
  EXPECT_EQ(seen, std::vector<QByteArray>{"LBT1 3712"});
  EXPECT_FALSE(port->ReadTimer()->Enabled());
}

TEST_F(PortTest, HandlerMayReplaceItself) {
  auto port = Make();
  std::vector<QByteArray> first, second;
  port->SetOnLine([&](TUSBXpress& sender, const QByteArray& line) {
    first.push_back(line);
    sender.SetOnLine([&](TUSBXpress&, const QByteArray& l) { second.push_back(l); });
  });
  port->SetActive(true);
  Feed("a\rb\r");
  EXPECT_EQ(first, std::vector<QByteArray>{"a"});
  EXPECT_EQ(second, std::vector<QByteArray>{"b"});
}

}  // namespace
}  // namespace dova
