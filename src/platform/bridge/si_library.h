#pragma once

#include <cstdint>

namespace dova::bridge {

// The USB bridge driver library: the calls the program makes on CP210x bridges that run
// under the USB bridge driver (product ID 0xEA61). Every call returns 0 on success; the
// program looks only at the results it needs. Standard C++ types only, so that the
// Windows implementation can be a thin wrapper of the vendor's DLL.
using SiStatus = int;
using SiHandle = std::uint32_t;

inline constexpr SiStatus SI_SUCCESS = 0;
inline constexpr SiStatus SI_DEVICE_NOT_FOUND = 0xFF;
inline constexpr SiStatus SI_INVALID_HANDLE = 0x01;
inline constexpr SiStatus SI_READ_ERROR = 0x02;
inline constexpr SiStatus SI_RX_QUEUE_NOT_READY = 0x03;
inline constexpr SiStatus SI_WRITE_ERROR = 0x04;
inline constexpr SiStatus SI_RESET_ERROR = 0x05;
inline constexpr SiStatus SI_INVALID_PARAMETER = 0x06;
inline constexpr SiStatus SI_INVALID_REQUEST_LENGTH = 0x07;
inline constexpr SiStatus SI_DEVICE_IO_FAILED = 0x08;
inline constexpr SiStatus SI_INVALID_BAUDRATE = 0x09;
inline constexpr SiStatus SI_FUNCTION_NOT_SUPPORTED = 0x0A;
inline constexpr SiStatus SI_GLOBAL_DATA_ERROR = 0x0B;
inline constexpr SiStatus SI_SYSTEM_ERROR_CODE = 0x0C;
inline constexpr SiStatus SI_READ_TIMED_OUT = 0x0D;
inline constexpr SiStatus SI_WRITE_TIMED_OUT = 0x0E;
inline constexpr SiStatus SI_IO_PENDING = 0x0F;
// The system refused to open the device: the user may not access it (no udev rule, or not
// at the seat). Not one of the vendor's codes; a Windows wrapper maps ERROR_ACCESS_DENIED
// to it.
inline constexpr SiStatus SI_ACCESS_DENIED = 0x40;

// Receive queue status reported by SI_CheckRXQueue.
inline constexpr std::uint32_t SI_RX_EMPTY = 0;
inline constexpr std::uint32_t SI_RX_OVERRUN = 1;
inline constexpr std::uint32_t SI_RX_READY = 2;

// SI_GetProductString option: the device's serial number string.
inline constexpr std::uint32_t SI_RETURN_SERIAL_NUMBER = 0;
// Size of the buffer that SI_GetProductString fills.
inline constexpr std::uint32_t SI_MAX_DEVICE_STRLEN = 256;

class SiLibrary {
 public:
  virtual ~SiLibrary() = default;

  // Read and write time-outs in ms, for every device opened afterwards.
  virtual SiStatus SI_SetTimeouts(std::uint32_t read_timeout_ms,
                                  std::uint32_t write_timeout_ms) = 0;
  // Number of attached bridges, numbered 0 to count - 1.
  virtual SiStatus SI_GetNumDevices(std::uint32_t* count) = 0;
  // Fills buffer (SI_MAX_DEVICE_STRLEN bytes) with a zero-terminated string.
  virtual SiStatus SI_GetProductString(std::uint32_t device, char* buffer,
                                       std::uint32_t option) = 0;
  // Fails when the device is already open (by this or another program), with
  // SI_ACCESS_DENIED when the user may not open it.
  virtual SiStatus SI_Open(std::uint32_t device, SiHandle* handle) = 0;
  virtual SiStatus SI_Close(SiHandle handle) = 0;
  virtual SiStatus SI_SetBaudRate(SiHandle handle, std::uint32_t baud) = 0;
  // status: SI_RX_EMPTY, SI_RX_OVERRUN or SI_RX_READY with count bytes waiting.
  virtual SiStatus SI_CheckRXQueue(SiHandle handle, std::uint32_t* count,
                                   std::uint32_t* status) = 0;
  // Returns at once with at most to_read bytes that are already queued.
  virtual SiStatus SI_Read(SiHandle handle, void* buffer, std::uint32_t to_read,
                           std::uint32_t* bytes_read) = 0;
  // Gives up after the write time-out. buffer may be null when to_write is 0.
  virtual SiStatus SI_Write(SiHandle handle, const void* buffer, std::uint32_t to_write,
                            std::uint32_t* bytes_written) = 0;
  virtual SiStatus SI_FlushBuffers(SiHandle handle, std::uint8_t flush_transmit,
                                   std::uint8_t flush_receive) = 0;
};

}  // namespace dova::bridge
