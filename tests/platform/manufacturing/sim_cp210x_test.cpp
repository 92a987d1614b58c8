#include <gtest/gtest.h>

#include "platform/manufacturing/sim/sim_cp210x.h"

namespace dova::manufacturing {
namespace {

TEST(SimCP210xLibraryTest, AReprogrammedBridgeMovesFromTheSerialPortsToTheBridgeLibrary) {
  SimSerialPorts ports;
  bridge::SimLibrary usbx;
  SimCP210xLibrary lib(ports, usbx);
  auto vcp = lib.AddBridge("VCP0001");
  lib.AddBridge("dova300-0009", 0xEA61);
  int reenumerated = 0;
  lib.OnReenumerated = [&](SimCP210xBridge&) { ++reenumerated; };

  ASSERT_EQ(lib.BridgePorts().size(), 1u);
  EXPECT_EQ(lib.BridgePorts()[0].DevicePath, "/dev/ttyUSB0");
  EXPECT_EQ(lib.BridgePorts()[0].InstanceName, "VCP0001");
  ASSERT_NE(ports.Find("/dev/ttyUSB0"), nullptr);

  CP210x_HANDLE h = 0;
  ASSERT_EQ(lib.CP210x_Open(0, &h), CP210x_SUCCESS);
  ASSERT_EQ(lib.CP210x_SetSerialNumber(h, "DOVA300-ABCDEF12", 16, true), CP210x_SUCCESS);
  ASSERT_EQ(lib.CP210x_SetPid(h, 0xEA61), CP210x_SUCCESS);
  // Nothing changes before the reset.
  EXPECT_EQ(lib.BridgePorts().size(), 1u);
  EXPECT_EQ(lib.CP210x_Reset(h), CP210x_DEVICE_NOT_FOUND);
  EXPECT_EQ(lib.CP210x_Close(h), CP210x_SUCCESS);

  EXPECT_TRUE(lib.BridgePorts().empty());
  EXPECT_EQ(ports.Find("/dev/ttyUSB0"), nullptr);
  EXPECT_EQ(vcp->ProductId, 0xEA61);
  ASSERT_NE(vcp->Usbx, nullptr);
  EXPECT_EQ(vcp->Usbx->Serial(), "dova300-abcdef12");
  EXPECT_EQ(usbx.Bridges().size(), 1u);
  EXPECT_EQ(reenumerated, 1);
}

}  // namespace
}  // namespace dova::manufacturing
