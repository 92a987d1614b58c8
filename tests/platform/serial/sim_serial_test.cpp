// The simulated serial port as a device sees it: the control lines the host drives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/error_reporter.h"
#include "platform/serial/sim/sim_serial.h"
#include "platform/virtual_scheduler.h"

namespace dova {
namespace {

using Changes = std::vector<std::string>;

class SimSerialLinesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_.SetErrorReporter(&errors_);
    device_ = ports_.AddDevice("/dev/ttyUSB0");
    comm_.SetDeviceName("/dev/ttyUSB0");
  }

  VirtualScheduler ui_;
  RecordingErrorReporter errors_;
  SimSerialPorts ports_;
  std::shared_ptr<SimSerialDevice> device_;
  SimComm comm_{ui_, ports_};
};

// A probe with the default flow control: the board on the other side never sees DTR or RTS
// move, however often it is probed (boards that reset on DTR must stay untouched).
TEST_F(SimSerialLinesTest, TheDefaultsHoldDtrAndRtsLowThroughEveryProbe) {
  comm_.SetBaudrate(TVaBaudrate::br57600);
  comm_.SetDirectWrite(true);
  comm_.SetMonitorEvents({TVaCommEvent::ceRxFlag});
  device_->OnHostWrite = [&](std::string_view) { device_->SendToHost("SERL 1\r"); };
  for (int probe = 0; probe < 3; ++probe) {
    comm_.Open();
    comm_.ClearInput();
    ASSERT_TRUE(comm_.WriteString("!GET NICK\r"));
    EXPECT_FALSE(device_->Dtr());
    EXPECT_FALSE(device_->Rts());
    ui_.AdvanceBy(5);
    comm_.Close();
  }
  EXPECT_EQ(device_->OpenCount(), 3);
  EXPECT_EQ(device_->LineChanges(), Changes{});
  EXPECT_TRUE(errors_.messages.empty());
}

TEST_F(SimSerialLinesTest, RaisedLinesHoldWhileOpenAndDropOnClose) {
  struct Case {
    const char* what;
    TVaControlDtr dtr;
    TVaControlRts rts;
    Changes while_open;
    Changes after_close;
  };
  const Case cases[] = {
      {"DTR enabled",
       TVaControlDtr::dtrEnabled,
       TVaControlRts::rtsDisabled,
       {"DTR high"},
       {"DTR high", "DTR low"}},
      {"RTS enabled",
       TVaControlDtr::dtrDisabled,
       TVaControlRts::rtsEnabled,
       {"RTS high"},
       {"RTS high", "RTS low"}},
      {"both handshake",
       TVaControlDtr::dtrHandshake,
       TVaControlRts::rtsHandshake,
       {"DTR high", "RTS high"},
       {"DTR high", "RTS high", "DTR low", "RTS low"}},
      {"RTS toggle rests low", TVaControlDtr::dtrDisabled, TVaControlRts::rtsToggle, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SimSerialPorts ports;
    auto device = ports.AddDevice("/dev/ttyUSB1");
    SimComm comm(ui_, ports);
    comm.SetDeviceName("/dev/ttyUSB1");
    TVaFlowControl flow;
    flow.ControlDtr = c.dtr;
    flow.ControlRts = c.rts;
    comm.SetFlowControl(flow);
    comm.Open();
    EXPECT_EQ(device->LineChanges(), c.while_open);
    comm.Close();
    EXPECT_EQ(device->LineChanges(), c.after_close);
    EXPECT_FALSE(device->Dtr() || device->Rts());
  }
}

TEST_F(SimSerialLinesTest, AFailedOpenLeavesTheLinesAlone) {
  TVaFlowControl flow;
  flow.ControlDtr = TVaControlDtr::dtrEnabled;
  comm_.SetFlowControl(flow);
  comm_.SetDatabits(TVaDatabits::db4);
  EXPECT_THROW(comm_.Open(), EVaCommError);
  EXPECT_EQ(device_->LineChanges(), Changes{});
}

}  // namespace
}  // namespace dova
