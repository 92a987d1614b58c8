#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dova::manufacturing {

// A USB device as the manufacturing library needs to know it.
struct UsbDeviceInfo {
  std::uint16_t VendorId = 0;
  std::uint16_t ProductId = 0;
  std::string Serial;    // the serial number string; empty when it could not be read
  std::string Product;   // the product string
  std::string Location;  // bus and port path, e.g. "1-1.2": stable while it stays plugged in
};

// The few USB operations the manufacturing library makes, so the request encoding can
// be tested with a fake. Results follow libusb: >= 0 success (bytes moved for a transfer),
// negative an error.
class UsbTransport {
 public:
  static constexpr int kErrorIo = -1;
  static constexpr int kErrorAccess = -3;  // the user may not open the device
  static constexpr int kErrorNotFound = -5;

  virtual ~UsbTransport() = default;
  // The attached devices with these IDs, in bus order, with their serial and product
  // strings; nothing is sent to the devices.
  virtual int ListDevices(std::uint16_t vendor_id, std::uint16_t product_id,
                          std::vector<UsbDeviceInfo>* out) = 0;
  // Opens the device at location without claiming an interface: the kernel's tty driver
  // stays bound. kErrorAccess when the user may not open it.
  virtual int Open(const std::string& location, std::uint32_t* handle) = 0;
  virtual void Close(std::uint32_t handle) = 0;
  // The device's identity as its descriptors tell it now.
  virtual int ReadIdentity(std::uint32_t handle, UsbDeviceInfo* info) = 0;
  virtual int ControlTransfer(std::uint32_t handle, std::uint8_t request_type, std::uint8_t request,
                              std::uint16_t value, std::uint16_t index, std::uint8_t* data,
                              std::uint16_t length, unsigned timeout_ms) = 0;
  // A USB port reset; kErrorNotFound when the device came back as another one.
  virtual int ResetDevice(std::uint32_t handle) = 0;
};

}  // namespace dova::manufacturing
