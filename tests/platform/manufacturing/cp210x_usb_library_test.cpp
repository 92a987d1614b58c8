// The manufacturing library's USB requests, seen through a fake transport.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/manufacturing/cp210x_usb_library.h"

namespace dova::manufacturing {
namespace {

struct Transfer {
  std::uint8_t request_type;
  std::uint8_t request;
  std::uint16_t value;
  std::uint16_t index;
  std::vector<std::uint8_t> data;
  bool operator==(const Transfer&) const = default;
};

class FakeTransport : public UsbTransport {
 public:
  struct Device {
    UsbDeviceInfo info;
    int part = 0x02;      // answer to the part-number request; < 0: the request fails
    bool denied = false;  // the user may not open it
  };
  std::vector<Device> devices;
  std::vector<Transfer> writes;
  std::optional<int> write_result;  // unset: the whole length
  int reset_result = 0;
  int opens = 0;
  std::vector<std::string> part_requests;  // the devices asked for their part number
  int closes = 0;

  int ListDevices(std::uint16_t vendor_id, std::uint16_t product_id,
                  std::vector<UsbDeviceInfo>* out) override {
    for (const auto& d : devices) {
      if (d.info.VendorId == vendor_id && d.info.ProductId == product_id) out->push_back(d.info);
    }
    return 0;
  }
  int Open(const std::string& location, std::uint32_t* handle) override {
    for (std::size_t i = 0; i < devices.size(); ++i) {
      if (devices[i].info.Location == location) {
        if (devices[i].denied) return kErrorAccess;
        *handle = static_cast<std::uint32_t>(i + 100);
        ++opens;
        return 0;
      }
    }
    return kErrorNotFound;
  }
  void Close(std::uint32_t) override { ++closes; }
  int ReadIdentity(std::uint32_t handle, UsbDeviceInfo* info) override {
    *info = devices.at(handle - 100).info;
    return 0;
  }
  int ControlTransfer(std::uint32_t handle, std::uint8_t request_type, std::uint8_t request,
                      std::uint16_t value, std::uint16_t index, std::uint8_t* data,
                      std::uint16_t length, unsigned) override {
    if (request_type == 0xC0) {
      part_requests.push_back(devices.at(handle - 100).info.Location);
      const int part = devices.at(handle - 100).part;
      if (part < 0 || value != 0x370B || length != 1) return kErrorIo;
      data[0] = static_cast<std::uint8_t>(part);
      return 1;
    }
    writes.push_back({request_type, request, value, index,
                      std::vector<std::uint8_t>(data, data + (data ? length : 0))});
    return write_result.value_or(length);
  }
  int ResetDevice(std::uint32_t) override { return reset_result; }
};

class UsbCP210xLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    transport_.devices = {
        {{0x10C4, 0xEA60, "VCP0001", "CP2102 USB to UART Bridge Controller", "1-1"}, 0x02},
        {{0x10C4, 0x8A2A, "0", "Other", "1-2"}, -1},  // a Silicon Labs device that is no CP210x
        {{0x10C4, 0xEA61, "dova300-0001", "USBXpress", "1-3.2"}, 0x02},
        {{0x0403, 0x6001, "FT1", "FT232", "1-4"}, 0x02},
        {{0x10C4, 0xEA60, "VCP0002", "CP2102 USB to UART Bridge Controller", "1-5"}, 0x02, true},
    };
    std::uint32_t count = 0;
    ASSERT_EQ(lib_.CP210x_GetNumDevices(&count), CP210x_SUCCESS);
    ASSERT_EQ(count, 2u);
    ASSERT_EQ(lib_.CP210x_Open(0, &handle_), CP210x_SUCCESS);
  }

  FakeTransport transport_;
  UsbCP210xLibrary lib_{transport_};
  CP210x_HANDLE handle_ = 0;
};

TEST_F(UsbCP210xLibraryTest, CountsTheSerialPortBridgesWithoutAskingAnyDeviceAndNamesTheirPaths) {
  // Only the bridges on the serial-port driver count, and counting sends nothing: the
  // bridge at 1-3.2 is some tile's incubator, the one at 1-2 is no CP210x at all.
  EXPECT_TRUE(transport_.part_requests.empty());
  char text[CP210x_MAX_DEVICE_STRLEN];
  ASSERT_EQ(lib_.CP210x_GetProductString(1, text, CP210x_RETURN_SERIAL_NUMBER), CP210x_SUCCESS);
  EXPECT_STREQ(text, "VCP0002");
  ASSERT_EQ(lib_.CP210x_GetProductString(0, text, CP210x_RETURN_FULL_PATH), CP210x_SUCCESS);
  EXPECT_STREQ(text, "usb#1-1#vid_10c4&pid_ea60#VCP0001");
  EXPECT_EQ(lib_.CP210x_GetProductString(2, text, CP210x_RETURN_FULL_PATH),
            CP210x_DEVICE_NOT_FOUND);
  EXPECT_EQ(lib_.CP210x_GetProductString(0, text, 7), CP210x_INVALID_PARAMETER);

  std::uint16_t pid = 0;
  ASSERT_EQ(lib_.CP210x_GetDevicePid(handle_, &pid), CP210x_SUCCESS);
  EXPECT_EQ(pid, 0xEA60);
  std::uint8_t part = 0;
  ASSERT_EQ(lib_.CP210x_GetPartNumber(handle_, &part), CP210x_SUCCESS);
  EXPECT_EQ(part, CP210x_CP2102_VERSION);
  // The part number is asked of the opened bridge only.
  EXPECT_EQ(transport_.part_requests, std::vector<std::string>{"1-1"});
  EXPECT_STREQ(PartNumberName(part), "CP2102");
  EXPECT_STREQ(PartNumberName(0x21), "CP2102N");
  EXPECT_EQ(lib_.CP210x_Close(handle_), CP210x_SUCCESS);
  EXPECT_EQ(transport_.opens, transport_.closes);
  EXPECT_EQ(lib_.CP210x_Close(handle_), CP210x_INVALID_HANDLE);
}

TEST_F(UsbCP210xLibraryTest, ABridgeTheUserMayNotOpenSaysSo) {
  CP210x_HANDLE handle = 0;
  EXPECT_EQ(lib_.CP210x_Open(1, &handle), CP210x_ACCESS_DENIED);
  EXPECT_EQ(lib_.CP210x_Open(5, &handle), CP210x_DEVICE_NOT_FOUND);
}

TEST(CP210xPartsTest, OnlyTheRewritablePartsMayBeConverted) {
  for (std::uint8_t part : {CP210x_CP2101_VERSION, CP210x_CP2102_VERSION, CP210x_CP2103_VERSION})
    EXPECT_TRUE(IsRewritablePart(part)) << PartNumberName(part);
  for (std::uint8_t part : {CP210x_CP2104_VERSION, CP210x_CP2105_VERSION, CP210x_CP2108_VERSION,
                            CP210x_CP2109_VERSION, CP210x_CP2102N_QFN28_VERSION,
                            CP210x_CP2102N_QFN20_VERSION, std::uint8_t{0}, std::uint8_t{0x77}}) {
    EXPECT_FALSE(IsRewritablePart(part)) << int(part);
  }
}

TEST_F(UsbCP210xLibraryTest, ConfigurationWritesAreVendorRequestsWithTheItemInValue) {
  ASSERT_EQ(lib_.CP210x_SetSelfPower(handle_, true), CP210x_SUCCESS);
  ASSERT_EQ(lib_.CP210x_SetSelfPower(handle_, false), CP210x_SUCCESS);
  ASSERT_EQ(lib_.CP210x_SetMaxPower(handle_, 0), CP210x_SUCCESS);
  ASSERT_EQ(lib_.CP210x_SetMaxPower(handle_, 250), CP210x_SUCCESS);
  ASSERT_EQ(lib_.CP210x_SetPid(handle_, 0xEA61), CP210x_SUCCESS);
  const std::vector<Transfer> expected = {
      {0x40, 0xFF, 0x3705, 0xC0, {}}, {0x40, 0xFF, 0x3705, 0x80, {}},   {0x40, 0xFF, 0x3706, 0, {}},
      {0x40, 0xFF, 0x3706, 250, {}},  {0x40, 0xFF, 0x3702, 0xEA61, {}},
  };
  EXPECT_EQ(transport_.writes, expected);
  EXPECT_EQ(lib_.CP210x_SetMaxPower(handle_, 251), CP210x_INVALID_PARAMETER);
  EXPECT_EQ(lib_.CP210x_SetPid(999, 0xEA61), CP210x_INVALID_HANDLE);
  EXPECT_EQ(transport_.writes.size(), expected.size());
}

TEST_F(UsbCP210xLibraryTest, TheSerialNumberIsWrittenAsAUsbStringDescriptor) {
  const std::string serial = "DOVA300-  1A2B3C";
  ASSERT_EQ(lib_.CP210x_SetSerialNumber(handle_, serial.data(), 16, true), CP210x_SUCCESS);
  ASSERT_EQ(transport_.writes.size(), 1u);
  const Transfer& t = transport_.writes[0];
  EXPECT_EQ(t.request_type, 0x40);
  EXPECT_EQ(t.request, 0xFF);
  EXPECT_EQ(t.value, 0x3704);
  EXPECT_EQ(t.index, 0);
  std::vector<std::uint8_t> descriptor = {34, 0x03};
  for (char c : serial) {
    descriptor.push_back(static_cast<std::uint8_t>(c));
    descriptor.push_back(0);
  }
  EXPECT_EQ(t.data, descriptor);

  // Already UTF-16: the code units go as they are.
  const char16_t wide[] = u"\u00e9x";
  ASSERT_EQ(lib_.CP210x_SetSerialNumber(handle_, wide, 2, false), CP210x_SUCCESS);
  EXPECT_EQ(transport_.writes[1].data, (std::vector<std::uint8_t>{6, 3, 0xE9, 0, 'x', 0}));
}

TEST_F(UsbCP210xLibraryTest, SerialNumberLengthLimits) {
  const std::string longest(63, 'A');
  EXPECT_EQ(lib_.CP210x_SetSerialNumber(handle_, longest.data(), 63, true), CP210x_SUCCESS);
  EXPECT_EQ(transport_.writes.back().data.size(), 128u);
  const std::string too_long(64, 'A');
  EXPECT_EQ(lib_.CP210x_SetSerialNumber(handle_, too_long.data(), 64, true),
            CP210x_INVALID_PARAMETER);
  EXPECT_EQ(lib_.CP210x_SetSerialNumber(handle_, "", 0, true), CP210x_INVALID_PARAMETER);
  EXPECT_EQ(transport_.writes.size(), 1u);
}

TEST_F(UsbCP210xLibraryTest, FailedTransfersAndResetOutcomes) {
  transport_.write_result = UsbTransport::kErrorIo;
  EXPECT_EQ(lib_.CP210x_SetPid(handle_, 0xEA61), CP210x_DEVICE_IO_FAILED);
  transport_.write_result = 10;  // a short write
  EXPECT_EQ(lib_.CP210x_SetSerialNumber(handle_, "ABCDEFGH", 8, true), CP210x_DEVICE_IO_FAILED);

  EXPECT_EQ(lib_.CP210x_Reset(handle_), CP210x_SUCCESS);
  // After a product ID change the device comes back as another one.
  transport_.reset_result = UsbTransport::kErrorNotFound;
  EXPECT_EQ(lib_.CP210x_Reset(handle_), CP210x_DEVICE_NOT_FOUND);
  transport_.reset_result = UsbTransport::kErrorIo;
  EXPECT_EQ(lib_.CP210x_Reset(handle_), CP210x_DEVICE_IO_FAILED);
}

}  // namespace
}  // namespace dova::manufacturing
