// The Linux serial port against pseudo-terminals: the test holds the master side and
// plays the device; the port opens the slave by its path.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/error_reporter.h"
#include "platform/serial/linux/va_comm_linux.h"
#include "platform/virtual_scheduler.h"

namespace dova {
namespace {

class VaCommTest : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(grantpt(master_), 0);
    ASSERT_EQ(unlockpt(master_), 0);
    slave_path_ = ptsname(master_);
    ui_.SetErrorReporter(&errors_);
    comm_.SetPause([this](int ms) { pauses_.push_back(ms); });
    comm_.SetDeviceName(slave_path_);
    comm_.SetBaudrate(TVaBaudrate::br57600);
    comm_.SetDirectWrite(true);
    TVaEventChars chars;
    chars.EventChar = 13;
    comm_.SetEventChars(chars);
    comm_.SetMonitorEvents({TVaCommEvent::ceRxFlag});
  }
  void TearDown() override {
    comm_.Close();
    if (master_ >= 0) close(master_);
  }

  void DeviceSends(const std::string& bytes) {
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // Runs handed-over notifications until pred holds; gives up only after a minute of real
  // time (a hung event thread), which fails the calling check.
  bool PumpUntil(const std::function<bool()>& pred) {
    for (int i = 0; i < 6000 && !pred(); ++i)
      ui_.WaitAndRunPending(10);
    return pred();
  }
  void PumpFor(int rounds) {
    for (int i = 0; i < rounds; ++i)
      ui_.WaitAndRunPending(10);
  }
  termios LineSettings() {
    termios tio{};
    EXPECT_EQ(tcgetattr(master_, &tio), 0);  // a pty's master reports the slave's settings
    return tio;
  }

  VirtualScheduler ui_;
  RecordingErrorReporter errors_;
  TVaComm comm_{ui_};
  int master_ = -1;
  std::string slave_path_;
  std::vector<int> pauses_;
};

TEST_F(VaCommTest, OpenFailuresNameTheDeviceAndLeaveThePortClosed) {
  struct Case {
    std::string name;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"/dev/dova-no-such-port", "Specified device not found (/dev/dova-no-such-port)."},
      {"/tmp", "Can't open specified device /tmp (Error 21, Is a directory)"},
  };
  for (const auto& c : cases) {
    TVaComm comm(ui_);
    comm.SetDeviceName(c.name);
    try {
      comm.Open();
      ADD_FAILURE() << c.name << " opened";
    } catch (const EVaCommError& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
    EXPECT_FALSE(comm.Active());
  }
}

TEST_F(VaCommTest, DeviceNameIsAFormatPatternWithPortNum) {
  TVaComm comm(ui_);
  EXPECT_EQ(comm.FileName(), "COM0");
  comm.SetPortNum(3);
  EXPECT_EQ(comm.FileName(), "COM3");
  comm.SetDeviceName("/dev/ttyUSB%d");
  EXPECT_EQ(comm.FileName(), "/dev/ttyUSB3");
  comm.SetDeviceName("/dev/ttyUSB1");
  EXPECT_EQ(comm.FileName(), "/dev/ttyUSB1");
}

TEST_F(VaCommTest, SettingsThatNeedAClosedPortRaiseWhileOpenAndKeepTheirValue) {
  comm_.Open();
  ASSERT_TRUE(comm_.Active());
  const char* kOpen = "Can't perform this operation while port is open";
  try {
    comm_.SetDeviceName("/dev/other");
    ADD_FAILURE();
  } catch (const EVaCommError& e) {
    EXPECT_EQ(e.Message(), kOpen);
  }
  EXPECT_THROW(comm_.SetDirectWrite(false), EVaCommError);
  EXPECT_THROW(comm_.SetMonitorEvents({}), EVaCommError);
  EXPECT_THROW(comm_.Open(), EVaCommError);
  EXPECT_EQ(comm_.DeviceName(), slave_path_);
  EXPECT_TRUE(comm_.DirectWrite());
}

TEST_F(VaCommTest, OpenAppliesTheLineSettingsRawWithReadsThatReturnAtOnce) {
  // A pseudo-terminal always keeps 8 data bits without parity, so those are not seen here.
  comm_.SetStopbits(TVaStopbits::sb2);
  comm_.Open();
  termios tio = LineSettings();
  EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B57600));
  EXPECT_TRUE(tio.c_cflag & CSTOPB);
  EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO | ISIG));
  EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF | ICRNL));
  EXPECT_EQ(tio.c_cc[VMIN], 0);
  EXPECT_EQ(tio.c_cc[VTIME], 0);

  // Changing the rate while open rewrites the settings at once.
  comm_.SetBaudrate(TVaBaudrate::br9600);
  tio = LineSettings();
  EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));
  // A rate without a termios constant goes through the kernel's arbitrary-rate call.
  EXPECT_NO_THROW(comm_.SetBaudrate(TVaBaudrate::br56000));
}

// A pseudo-terminal carries no modem lines (the line ioctls fail with ENOTTY, which the
// port takes as "nothing to set"), so what shows here is whether closing will hang up.
TEST_F(VaCommTest, ClosingHangsUpOnlyWhenTheFlowControlRaisedALine) {
  struct Case {
    const char* what;
    TVaControlDtr dtr;
    TVaControlRts rts;
    bool hang_up;
  };
  const Case cases[] = {
      {"defaults: both held low", TVaControlDtr::dtrDisabled, TVaControlRts::rtsDisabled, false},
      {"DTR enabled", TVaControlDtr::dtrEnabled, TVaControlRts::rtsDisabled, true},
      {"RTS enabled", TVaControlDtr::dtrDisabled, TVaControlRts::rtsEnabled, true},
      {"RTS toggle rests low", TVaControlDtr::dtrDisabled, TVaControlRts::rtsToggle, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // Start from the opposite, so the port has to change it either way.
    termios before = LineSettings();
    if (c.hang_up) {
      before.c_cflag &= ~static_cast<tcflag_t>(HUPCL);
    } else {
      before.c_cflag |= HUPCL;
    }
    ASSERT_EQ(tcsetattr(master_, TCSANOW, &before), 0);
    TVaFlowControl flow;
    flow.ControlDtr = c.dtr;
    flow.ControlRts = c.rts;
    comm_.SetFlowControl(flow);
    ASSERT_NO_THROW(comm_.Open());
    EXPECT_EQ((LineSettings().c_cflag & HUPCL) != 0, c.hang_up);
    // Rewriting the rate keeps it.
    comm_.SetBaudrate(TVaBaudrate::br9600);
    EXPECT_EQ((LineSettings().c_cflag & HUPCL) != 0, c.hang_up);
    comm_.Close();
    comm_.SetBaudrate(TVaBaudrate::br57600);
  }
}

TEST_F(VaCommTest, UnsupportedLineSettingsCloseTheDeviceAgain) {
  comm_.SetDatabits(TVaDatabits::db4);
  try {
    comm_.Open();
    ADD_FAILURE();
  } catch (const EVaCommError& e) {
    EXPECT_EQ(e.Message(), "Error writing dcb (22), Invalid argument");
  }
  EXPECT_FALSE(comm_.Active());
  EXPECT_TRUE(pauses_.empty());  // giving the device back after a failed open is no close
  comm_.SetDatabits(TVaDatabits::db8);
  EXPECT_NO_THROW(comm_.Open());  // nothing was left holding the device
}

TEST_F(VaCommTest, ASecondOpenOfTheSameDeviceFails) {
  comm_.Open();
  TVaComm other(ui_);
  other.SetDeviceName(slave_path_);
  try {
    other.Open();
    ADD_FAILURE();
  } catch (const EVaCommError& e) {
    EXPECT_EQ(e.Message(), "Can't open specified device " + slave_path_ +
                               " (Error 11, Resource temporarily unavailable)");
  }
  comm_.Close();
  EXPECT_NO_THROW(other.Open());
}

TEST_F(VaCommTest, ACarriageReturnGivesOneNotificationOnTheUserInterfaceThread) {
  std::vector<std::string> reads;
  std::vector<std::thread::id> threads;
  comm_.SetOnRxFlag([&](TVaCustomComm& sender) {
    threads.push_back(std::this_thread::get_id());
    reads.push_back(sender.ReadAvailable());
  });
  comm_.Open();
  ASSERT_TRUE(comm_.WriteString("!GET NICK\r"));
  char sent[16] = {};
  ASSERT_EQ(read(master_, sent, sizeof sent), 10);
  EXPECT_EQ(std::string(sent, 10), "!GET NICK\r");

  DeviceSends("NICK DOVA 1\r");
  ASSERT_TRUE(PumpUntil([&] { return !reads.empty(); }));
  PumpFor(5);
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0], "NICK DOVA 1\r");
  EXPECT_EQ(threads[0], std::this_thread::get_id());
}

TEST_F(VaCommTest, BytesWithoutTheEventCharacterWaitAndSeveralCarriageReturnsComeTogether) {
  std::vector<std::string> reads;
  comm_.SetOnRxFlag([&](TVaCustomComm& sender) { reads.push_back(sender.ReadAvailable()); });
  comm_.Open();
  DeviceSends("NICK");
  ASSERT_TRUE(PumpUntil([&] { return comm_.InputCount() == 4; }));
  PumpFor(3);
  EXPECT_TRUE(reads.empty());

  DeviceSends(" A\rSERL 7\r");
  ASSERT_TRUE(PumpUntil([&] { return !reads.empty(); }));
  PumpFor(5);
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0], "NICK A\rSERL 7\r");
}

TEST_F(VaCommTest, NothingWaitingReadsEmptyAndClearInputDiscards) {
  comm_.Open();
  EXPECT_EQ(comm_.InputCount(), 0);
  EXPECT_EQ(comm_.ReadAvailable(), "");
  DeviceSends("old");
  ASSERT_TRUE(PumpUntil([&] { return comm_.InputCount() == 3; }));
  comm_.ClearInput();
  EXPECT_EQ(comm_.InputCount(), 0);
  EXPECT_EQ(comm_.ReadAvailable(), "");
}

TEST_F(VaCommTest, AClosedPortDoesNothingAndClosesWithoutThePause) {
  int closes = 0;
  comm_.SetOnClose([&](TVaCustomComm&) { ++closes; });
  comm_.Close();
  EXPECT_TRUE(pauses_.empty());
  EXPECT_EQ(comm_.InputCount(), 0);
  EXPECT_EQ(comm_.ReadAvailable(), "");
  EXPECT_FALSE(comm_.WriteString("x"));
  EXPECT_NO_THROW(comm_.ClearInput());

  comm_.Open();
  comm_.Close();
  EXPECT_EQ(pauses_, std::vector<int>{300});
  EXPECT_EQ(closes, 1);
  EXPECT_FALSE(comm_.Active());
}

TEST_F(VaCommTest, AFailingHandlerGoesToTheErrorReporterAndThePortGoesOn) {
  int calls = 0;
  comm_.SetOnRxFlag([&](TVaCustomComm& sender) {
    ++calls;
    sender.ReadAvailable();
    throw EVaCommError("handler failed");
  });
  comm_.Open();
  DeviceSends("A\r");
  ASSERT_TRUE(PumpUntil([&] { return calls == 1; }));
  DeviceSends("B\r");
  ASSERT_TRUE(PumpUntil([&] { return calls == 2; }));
  EXPECT_EQ(errors_.messages, (std::vector<std::string>{"handler failed", "handler failed"}));
}

TEST_F(VaCommTest, AHungUpDeviceDoesNotStopTheClose) {
  comm_.Open();
  close(master_);  // the adapter is pulled out
  master_ = -1;
  PumpFor(3);
  comm_.Close();
  EXPECT_FALSE(comm_.Active());
}

}  // namespace
}  // namespace dova
