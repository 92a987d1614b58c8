#pragma once

#include <cstdint>

namespace dova::manufacturing {

// The bridge manufacturing library: the calls that reprogram a CP210x bridge's USB
// identity. Every call returns 0 on success. Standard C++ types only, so that the
// Windows implementation can be a thin wrapper of the vendor's DLL.
using CP210x_STATUS = int;
using CP210x_HANDLE = std::uint32_t;

inline constexpr CP210x_STATUS CP210x_SUCCESS = 0x00;
inline constexpr CP210x_STATUS CP210x_INVALID_HANDLE = 0x01;
inline constexpr CP210x_STATUS CP210x_INVALID_PARAMETER = 0x02;
inline constexpr CP210x_STATUS CP210x_DEVICE_IO_FAILED = 0x03;
inline constexpr CP210x_STATUS CP210x_FUNCTION_NOT_SUPPORTED = 0x04;
inline constexpr CP210x_STATUS CP210x_GLOBAL_DATA_ERROR = 0x05;
inline constexpr CP210x_STATUS CP210x_DEVICE_NOT_FOUND = 0xFF;
// The system refused to open the device: the user may not access it (no udev rule, or not
// at the seat). Not one of the vendor's codes; a Windows wrapper maps ERROR_ACCESS_DENIED
// to it.
inline constexpr CP210x_STATUS CP210x_ACCESS_DENIED = 0x40;

// CP210x_GetProductString options.
inline constexpr std::uint8_t CP210x_RETURN_SERIAL_NUMBER = 0x00;
inline constexpr std::uint8_t CP210x_RETURN_DESCRIPTION = 0x01;
inline constexpr std::uint8_t CP210x_RETURN_FULL_PATH = 0x02;
// Size of the buffer CP210x_GetProductString fills (a zero-terminated string).
inline constexpr std::uint32_t CP210x_MAX_DEVICE_STRLEN = 256;
// Longest serial number, in characters.
inline constexpr std::uint32_t CP210x_MAX_SERIAL_STRLEN = 63;

// Part numbers reported by CP210x_GetPartNumber.
inline constexpr std::uint8_t CP210x_CP2101_VERSION = 0x01;
inline constexpr std::uint8_t CP210x_CP2102_VERSION = 0x02;
inline constexpr std::uint8_t CP210x_CP2103_VERSION = 0x03;
inline constexpr std::uint8_t CP210x_CP2104_VERSION = 0x04;
inline constexpr std::uint8_t CP210x_CP2105_VERSION = 0x05;
inline constexpr std::uint8_t CP210x_CP2108_VERSION = 0x08;
inline constexpr std::uint8_t CP210x_CP2109_VERSION = 0x09;
inline constexpr std::uint8_t CP210x_CP2102N_QFN28_VERSION = 0x20;
inline constexpr std::uint8_t CP210x_CP2102N_QFN24_VERSION = 0x21;
inline constexpr std::uint8_t CP210x_CP2102N_QFN20_VERSION = 0x22;

// The chip's name for a part number ("CP2102"), "unknown part" otherwise. The
// CP2101/2102/2103 keep their configuration in rewritable memory; the CP2104/2105/2109
// fields can be written once only, and the CP2102N keeps a different configuration
// block, so a conversion may not take on those.
const char* PartNumberName(std::uint8_t part);
// True for the parts whose identity can be rewritten as often as needed (CP2101, CP2102,
// CP2103). The others either keep their fields in one-time memory or lay them out
// differently, or are unknown.
bool IsRewritablePart(std::uint8_t part);

class CP210xLibrary {
 public:
  virtual ~CP210xLibrary() = default;

  // Number of CP210x bridges attached on the serial-port driver (product ID 0xEA60),
  // numbered 0 to count - 1. Nothing is sent to any device to count them: the bridges that
  // already run under the USB bridge driver belong to their tiles.
  virtual CP210x_STATUS CP210x_GetNumDevices(std::uint32_t* count) = 0;
  // Fills buffer (CP210x_MAX_DEVICE_STRLEN bytes) with a zero-terminated string: the
  // serial number, the product description or the device's full path (which contains
  // its serial number).
  virtual CP210x_STATUS CP210x_GetProductString(std::uint32_t device, char* buffer,
                                                std::uint8_t option) = 0;
  virtual CP210x_STATUS CP210x_Open(std::uint32_t device, CP210x_HANDLE* handle) = 0;
  virtual CP210x_STATUS CP210x_Close(CP210x_HANDLE handle) = 0;
  virtual CP210x_STATUS CP210x_GetPartNumber(CP210x_HANDLE handle, std::uint8_t* part) = 0;
  virtual CP210x_STATUS CP210x_GetDevicePid(CP210x_HANDLE handle, std::uint16_t* pid) = 0;
  virtual CP210x_STATUS CP210x_SetPid(CP210x_HANDLE handle, std::uint16_t pid) = 0;
  // serial: length characters; 8-bit text when is_string_ascii (the library widens it),
  // UTF-16 code units otherwise.
  virtual CP210x_STATUS CP210x_SetSerialNumber(CP210x_HANDLE handle, const void* serial,
                                               std::uint8_t length, bool is_string_ascii) = 0;
  virtual CP210x_STATUS CP210x_SetSelfPower(CP210x_HANDLE handle, bool self_power) = 0;
  // power: the maximum bus current in 2 mA units.
  virtual CP210x_STATUS CP210x_SetMaxPower(CP210x_HANDLE handle, std::uint8_t power) = 0;
  // The bridge re-enumerates with its new settings; the handle stays to be closed.
  virtual CP210x_STATUS CP210x_Reset(CP210x_HANDLE handle) = 0;
};

}  // namespace dova::manufacturing
