#include <gtest/gtest.h>

#include <string>

#include "platform/bridge/sim/sim_library.h"

namespace dova::bridge {
namespace {

TEST(SimLibraryTest, OpenIsExclusiveAndBytesFlowBothWays) {
  SimLibrary lib;
  auto bridge = lib.AddBridge("dova300-0001");
  std::string received;
  bridge->OnHostWrite = [&](std::string_view b) { received.append(b); };

  std::uint32_t n = 0;
  ASSERT_EQ(lib.SI_GetNumDevices(&n), SI_SUCCESS);
  EXPECT_EQ(n, 1u);
  char serial[SI_MAX_DEVICE_STRLEN];
  ASSERT_EQ(lib.SI_GetProductString(0, serial, SI_RETURN_SERIAL_NUMBER), SI_SUCCESS);
  EXPECT_STREQ(serial, "dova300-0001");

  SiHandle h = 0, h2 = 0;
  ASSERT_EQ(lib.SI_Open(0, &h), SI_SUCCESS);
  EXPECT_NE(lib.SI_Open(0, &h2), SI_SUCCESS);

  std::uint32_t written = 0;
  ASSERT_EQ(lib.SI_Write(h, "!GET SERL\r", 10, &written), SI_SUCCESS);
  EXPECT_EQ(received, "!GET SERL\r");

  bridge->SendToHost("SERL 12\r");
  std::uint32_t count = 0, status = 0;
  ASSERT_EQ(lib.SI_CheckRXQueue(h, &count, &status), SI_SUCCESS);
  EXPECT_EQ(status, SI_RX_READY);
  EXPECT_EQ(count, 8u);
  char buf[16];
  std::uint32_t got = 0;
  ASSERT_EQ(lib.SI_Read(h, buf, count, &got), SI_SUCCESS);
  EXPECT_EQ(std::string(buf, got), "SERL 12\r");

  bridge->Unplug();
  EXPECT_NE(lib.SI_Write(h, "x", 1, &written), SI_SUCCESS);
  ASSERT_EQ(lib.SI_GetNumDevices(&n), SI_SUCCESS);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(lib.SI_Close(h), SI_SUCCESS);
}

TEST(SimLibraryTest, InjectedFaultsAndOverrun) {
  SimLibrary lib;
  auto bridge = lib.AddBridge("x");
  SiHandle h = 0;
  ASSERT_EQ(lib.SI_Open(0, &h), SI_SUCCESS);
  lib.FailNext(SiCall::SetBaudRate, 1, SI_INVALID_BAUDRATE);
  EXPECT_EQ(lib.SI_SetBaudRate(h, 57600), SI_INVALID_BAUDRATE);
  EXPECT_EQ(lib.SI_SetBaudRate(h, 57600), SI_SUCCESS);
  bridge->SendToHost("abc");
  bridge->TriggerOverrun();
  std::uint32_t count = 0, status = 0;
  ASSERT_EQ(lib.SI_CheckRXQueue(h, &count, &status), SI_SUCCESS);
  EXPECT_EQ(status, SI_RX_OVERRUN);
  ASSERT_EQ(lib.SI_CheckRXQueue(h, &count, &status), SI_SUCCESS);
  EXPECT_EQ(status, SI_RX_READY);
}

}  // namespace
}  // namespace dova::bridge
