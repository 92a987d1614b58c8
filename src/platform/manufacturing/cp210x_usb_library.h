#pragma once

#include <map>
#include <vector>

#include "platform/manufacturing/cp210x_library.h"
#include "platform/manufacturing/usb_transport.h"

namespace dova::manufacturing {

// The manufacturing library spoken directly over USB: the CP210x configuration items are
// vendor requests to the device, which the chip accepts while the kernel's tty driver
// stays bound to it. The request layout follows the chip vendor's public Linux
// manufacturing library (the CP210x source package of its USBXpress host SDK) and the
// public configuration tools cp210x-program and cp210x-cfg:
//   write: bmRequestType 0x40, bRequest 0xFF, the item in wValue;
//     0x3702 product ID (new ID in wIndex, no data);
//     0x3704 serial number (wIndex 0, data: a USB string descriptor, length 2 + 2n,
//            type 0x03, UTF-16LE, at most 63 characters);
//     0x3705 power attributes (wIndex 0xC0 self-powered, 0x80 bus-powered);
//     0x3706 maximum power (wIndex: the current in 2 mA units);
//   read: bmRequestType 0xC0, bRequest 0xFF, wValue 0x370B: the part number, one byte.
// Product ID and serial number are read from the device's descriptors, and a reset is a
// USB port reset after which the bridge re-enumerates.
class UsbCP210xLibrary : public CP210xLibrary {
 public:
  static constexpr std::uint8_t kRequestTypeOut = 0x40;
  static constexpr std::uint8_t kRequestTypeIn = 0xC0;
  static constexpr std::uint8_t kConfigRequest = 0xFF;
  static constexpr std::uint16_t kItemProductId = 0x3702;
  static constexpr std::uint16_t kItemSerialNumber = 0x3704;
  static constexpr std::uint16_t kItemPowerAttributes = 0x3705;
  static constexpr std::uint16_t kItemMaxPower = 0x3706;
  static constexpr std::uint16_t kItemPartNumber = 0x370B;
  static constexpr unsigned kTimeoutMs = 1000;

  explicit UsbCP210xLibrary(UsbTransport& transport);
  ~UsbCP210xLibrary() override;

  CP210x_STATUS CP210x_GetNumDevices(std::uint32_t* count) override;
  CP210x_STATUS CP210x_GetProductString(std::uint32_t device, char* buffer,
                                        std::uint8_t option) override;
  CP210x_STATUS CP210x_Open(std::uint32_t device, CP210x_HANDLE* handle) override;
  CP210x_STATUS CP210x_Close(CP210x_HANDLE handle) override;
  CP210x_STATUS CP210x_GetPartNumber(CP210x_HANDLE handle, std::uint8_t* part) override;
  CP210x_STATUS CP210x_GetDevicePid(CP210x_HANDLE handle, std::uint16_t* pid) override;
  CP210x_STATUS CP210x_SetPid(CP210x_HANDLE handle, std::uint16_t pid) override;
  CP210x_STATUS CP210x_SetSerialNumber(CP210x_HANDLE handle, const void* serial,
                                       std::uint8_t length, bool is_string_ascii) override;
  CP210x_STATUS CP210x_SetSelfPower(CP210x_HANDLE handle, bool self_power) override;
  CP210x_STATUS CP210x_SetMaxPower(CP210x_HANDLE handle, std::uint8_t power) override;
  CP210x_STATUS CP210x_Reset(CP210x_HANDLE handle) override;

  // The full path reported for a device: its bus location, IDs and serial number.
  static std::string FullPath(const UsbDeviceInfo& info);

 private:
  // A configuration write; success when the device took every byte.
  CP210x_STATUS WriteItem(CP210x_HANDLE handle, std::uint16_t item, std::uint16_t index,
                          std::uint8_t* data = nullptr, std::uint16_t length = 0);
  bool Lookup(CP210x_HANDLE handle, std::uint32_t* usb_handle) const;

  UsbTransport& transport_;
  // The bridges found by the last count, in device-number order.
  std::vector<UsbDeviceInfo> devices_;
  std::map<CP210x_HANDLE, std::uint32_t> handles_;
  CP210x_HANDLE next_handle_ = 1;
};

}  // namespace dova::manufacturing
