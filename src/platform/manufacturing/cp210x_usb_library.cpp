#include "platform/manufacturing/cp210x_usb_library.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace dova::manufacturing {

namespace {

constexpr std::uint16_t kVendorSilabs = 0x10C4;

constexpr std::uint16_t kSerialPortProductId = 0xEA60;

void CopyOut(const std::string& text, char* buffer) {
  const std::size_t n = std::min<std::size_t>(text.size(), CP210x_MAX_DEVICE_STRLEN - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

}  // namespace

bool IsRewritablePart(std::uint8_t part) {
  return part == CP210x_CP2101_VERSION || part == CP210x_CP2102_VERSION ||
         part == CP210x_CP2103_VERSION;
}

const char* PartNumberName(std::uint8_t part) {
  switch (part) {
    case CP210x_CP2101_VERSION:
      return "CP2101";
    case CP210x_CP2102_VERSION:
      return "CP2102";
    case CP210x_CP2103_VERSION:
      return "CP2103";
    case CP210x_CP2104_VERSION:
      return "CP2104";
    case CP210x_CP2105_VERSION:
      return "CP2105";
    case CP210x_CP2108_VERSION:
      return "CP2108";
    case CP210x_CP2109_VERSION:
      return "CP2109";
    case CP210x_CP2102N_QFN28_VERSION:
    case CP210x_CP2102N_QFN24_VERSION:
    case CP210x_CP2102N_QFN20_VERSION:
      return "CP2102N";
    default:
      return "unknown part";
  }
}

UsbCP210xLibrary::UsbCP210xLibrary(UsbTransport& transport) : transport_(transport) {}

UsbCP210xLibrary::~UsbCP210xLibrary() {
  for (const auto& [handle, usb] : handles_)
    transport_.Close(usb);
}

std::string UsbCP210xLibrary::FullPath(const UsbDeviceInfo& info) {
  char ids[32];
  std::snprintf(ids, sizeof ids, "vid_%04x&pid_%04x", info.VendorId, info.ProductId);
  return "usb#" + info.Location + "#" + ids + "#" + info.Serial;
}

CP210x_STATUS UsbCP210xLibrary::CP210x_GetNumDevices(std::uint32_t* count) {
  if (!count) return CP210x_INVALID_PARAMETER;
  // Only the bridges on the serial-port driver, as the vendor's library counts the devices
  // of that driver. Their IDs and strings come from what the system already knows: asking
  // each device for its part number would also ask the bridges our tiles are talking to.
  std::vector<UsbDeviceInfo> found;
  if (transport_.ListDevices(kVendorSilabs, kSerialPortProductId, &found) < 0) {
    return CP210x_GLOBAL_DATA_ERROR;
  }
  devices_ = std::move(found);
  *count = static_cast<std::uint32_t>(devices_.size());
  return CP210x_SUCCESS;
}

CP210x_STATUS UsbCP210xLibrary::CP210x_GetProductString(std::uint32_t device, char* buffer,
                                                        std::uint8_t option) {
  if (!buffer) return CP210x_INVALID_PARAMETER;
  if (device >= devices_.size()) return CP210x_DEVICE_NOT_FOUND;
  const UsbDeviceInfo& info = devices_[device];
  switch (option) {
    case CP210x_RETURN_SERIAL_NUMBER:
      CopyOut(info.Serial, buffer);
      break;
    case CP210x_RETURN_DESCRIPTION:
      CopyOut(info.Product, buffer);
      break;
    case CP210x_RETURN_FULL_PATH:
      CopyOut(FullPath(info), buffer);
      break;
    default:
      return CP210x_INVALID_PARAMETER;
  }
  return CP210x_SUCCESS;
}

CP210x_STATUS UsbCP210xLibrary::CP210x_Open(std::uint32_t device, CP210x_HANDLE* handle) {
  if (!handle) return CP210x_INVALID_PARAMETER;
  if (device >= devices_.size()) return CP210x_DEVICE_NOT_FOUND;
  std::uint32_t usb = 0;
  const int r = transport_.Open(devices_[device].Location, &usb);
  if (r == UsbTransport::kErrorAccess) return CP210x_ACCESS_DENIED;
  if (r < 0) return CP210x_DEVICE_NOT_FOUND;
  *handle = next_handle_++;
  handles_[*handle] = usb;
  return CP210x_SUCCESS;
}

bool UsbCP210xLibrary::Lookup(CP210x_HANDLE handle, std::uint32_t* usb_handle) const {
  auto it = handles_.find(handle);
  if (it == handles_.end()) return false;
  *usb_handle = it->second;
  return true;
}

CP210x_STATUS UsbCP210xLibrary::CP210x_Close(CP210x_HANDLE handle) {
  auto it = handles_.find(handle);
  if (it == handles_.end()) return CP210x_INVALID_HANDLE;
  transport_.Close(it->second);
  handles_.erase(it);
  return CP210x_SUCCESS;
}

CP210x_STATUS UsbCP210xLibrary::CP210x_GetPartNumber(CP210x_HANDLE handle, std::uint8_t* part) {
  std::uint32_t usb = 0;
  if (!Lookup(handle, &usb)) return CP210x_INVALID_HANDLE;
  if (!part) return CP210x_INVALID_PARAMETER;
  const int n = transport_.ControlTransfer(usb, kRequestTypeIn, kConfigRequest, kItemPartNumber, 0,
                                           part, 1, kTimeoutMs);
  return n == 1 ? CP210x_SUCCESS : CP210x_DEVICE_IO_FAILED;
}

CP210x_STATUS UsbCP210xLibrary::CP210x_GetDevicePid(CP210x_HANDLE handle, std::uint16_t* pid) {
  std::uint32_t usb = 0;
  if (!Lookup(handle, &usb)) return CP210x_INVALID_HANDLE;
  if (!pid) return CP210x_INVALID_PARAMETER;
  UsbDeviceInfo info;
  if (transport_.ReadIdentity(usb, &info) < 0) return CP210x_DEVICE_IO_FAILED;
  *pid = info.ProductId;
  return CP210x_SUCCESS;
}

CP210x_STATUS UsbCP210xLibrary::WriteItem(CP210x_HANDLE handle, std::uint16_t item,
                                          std::uint16_t index, std::uint8_t* data,
                                          std::uint16_t length) {
  std::uint32_t usb = 0;
  if (!Lookup(handle, &usb)) return CP210x_INVALID_HANDLE;
  const int n = transport_.ControlTransfer(usb, kRequestTypeOut, kConfigRequest, item, index, data,
                                           length, kTimeoutMs);
  return n == static_cast<int>(length) ? CP210x_SUCCESS : CP210x_DEVICE_IO_FAILED;
}

CP210x_STATUS UsbCP210xLibrary::CP210x_SetPid(CP210x_HANDLE handle, std::uint16_t pid) {
  return WriteItem(handle, kItemProductId, pid);
}

CP210x_STATUS UsbCP210xLibrary::CP210x_SetSerialNumber(CP210x_HANDLE handle, const void* serial,
                                                       std::uint8_t length, bool is_string_ascii) {
  if (handles_.find(handle) == handles_.end()) return CP210x_INVALID_HANDLE;
  if (!serial || length < 1 || length > CP210x_MAX_SERIAL_STRLEN) return CP210x_INVALID_PARAMETER;
  // A USB string descriptor: its length, type 3, then UTF-16LE code units. 8-bit text is
  // widened byte by byte.
  std::uint8_t descriptor[2 + 2 * CP210x_MAX_SERIAL_STRLEN];
  descriptor[0] = static_cast<std::uint8_t>(2 + 2 * length);
  descriptor[1] = 0x03;
  const auto* in = static_cast<const std::uint8_t*>(serial);
  for (std::size_t i = 0; i < length; ++i) {
    if (is_string_ascii) {
      descriptor[2 + 2 * i] = in[i];
      descriptor[3 + 2 * i] = 0;
    } else {
      descriptor[2 + 2 * i] = in[2 * i];
      descriptor[3 + 2 * i] = in[2 * i + 1];
    }
  }
  return WriteItem(handle, kItemSerialNumber, 0, descriptor, descriptor[0]);
}

CP210x_STATUS UsbCP210xLibrary::CP210x_SetSelfPower(CP210x_HANDLE handle, bool self_power) {
  // The configuration descriptor's attributes: bit 7 always set, bit 6 self-powered.
  return WriteItem(handle, kItemPowerAttributes, self_power ? 0xC0 : 0x80);
}

CP210x_STATUS UsbCP210xLibrary::CP210x_SetMaxPower(CP210x_HANDLE handle, std::uint8_t power) {
  if (power > 250) return CP210x_INVALID_PARAMETER;  // 500 mA is USB's limit
  return WriteItem(handle, kItemMaxPower, power);
}

CP210x_STATUS UsbCP210xLibrary::CP210x_Reset(CP210x_HANDLE handle) {
  std::uint32_t usb = 0;
  if (!Lookup(handle, &usb)) return CP210x_INVALID_HANDLE;
  const int r = transport_.ResetDevice(usb);
  if (r == UsbTransport::kErrorNotFound) return CP210x_DEVICE_NOT_FOUND;
  return r < 0 ? CP210x_DEVICE_IO_FAILED : CP210x_SUCCESS;
}

}  // namespace dova::manufacturing
