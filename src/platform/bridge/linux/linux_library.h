#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/bridge/si_library.h"

namespace dova::bridge {

// A device named on the command line as PATH[=SERIAL].
struct UserDevice {
  std::string path;
  std::string serial;  // empty: derived from the path
};

// Splits "PATH[=SERIAL]" at its last '=' when what follows holds no '/', so a path that
// itself contains '=' still works. Returns nothing for a text without a path.
std::optional<UserDevice> ParseDeviceArgument(std::string_view text);

// The serial a user device gets when none was given: "dova300" followed by the path with
// every character other than a letter or digit turned into '-', in lower case
// ("/dev/pts/5" gives "dova300-dev-pts-5"), so the enumerator takes it for an incubator.
std::string SerialFromPath(std::string_view path);

// The bridge driver library on Linux. The kernel's cp210x driver serves every bridge as a
// /dev/ttyUSBn; the bridges of this library are the ones with product ID 0xEA61 (those with
// 0xEA60 belong to the driver converter). They are found in sysfs and known by their USB
// serial, never by their tty number, which can change when a bridge is plugged in again.
// Devices named by the user (a pseudo-terminal, an RS-232 adapter) join the list.
//
// Serials are reported in lower case, so a bridge programmed as "DOVA300-..." is found by
// the prefix "dova300".
class LinuxSiLibrary : public SiLibrary {
 public:
  // One entry of the device list: what SI_GetProductString reports and what SI_Open opens.
  struct Device {
    std::string serial;
    std::string path;
  };

  // The roots are parameters so that tests can stand a fake tree in for the real one.
  explicit LinuxSiLibrary(std::string sysfs_root = "/sys", std::string dev_root = "/dev");
  ~LinuxSiLibrary() override;

  LinuxSiLibrary(const LinuxSiLibrary&) = delete;
  LinuxSiLibrary& operator=(const LinuxSiLibrary&) = delete;

  // Adds a device to every later listing, for as long as its path exists. An empty serial
  // is derived from the path (SerialFromPath).
  void AddUserDevice(const std::string& path, const std::string& serial = {});

  // The list built by the last SI_GetNumDevices, in device-number order.
  const std::vector<Device>& Devices() const { return devices_; }

  // The file descriptor behind an open handle, -1 for an unknown handle. For waiting on
  // the device with poll(); reading and writing go through the SI_* calls.
  int NativeHandle(SiHandle handle) const;

  SiStatus SI_SetTimeouts(std::uint32_t read_timeout_ms, std::uint32_t write_timeout_ms) override;
  SiStatus SI_GetNumDevices(std::uint32_t* count) override;
  SiStatus SI_GetProductString(std::uint32_t device, char* buffer, std::uint32_t option) override;
  SiStatus SI_Open(std::uint32_t device, SiHandle* handle) override;
  SiStatus SI_Close(SiHandle handle) override;
  SiStatus SI_SetBaudRate(SiHandle handle, std::uint32_t baud) override;
  SiStatus SI_CheckRXQueue(SiHandle handle, std::uint32_t* count, std::uint32_t* status) override;
  SiStatus SI_Read(SiHandle handle, void* buffer, std::uint32_t to_read,
                   std::uint32_t* bytes_read) override;
  SiStatus SI_Write(SiHandle handle, const void* buffer, std::uint32_t to_write,
                    std::uint32_t* bytes_written) override;
  SiStatus SI_FlushBuffers(SiHandle handle, std::uint8_t flush_transmit,
                           std::uint8_t flush_receive) override;

 private:
  // Bytes read ahead by a queue check, at most this many.
  static constexpr std::size_t kReadAhead = 4096;

  // What every queue check, read and write touches comes first, with the bytes held in the
  // record itself: polled every few milliseconds, a device costs one place in memory.
  struct OpenDevice {
    int fd = -1;
    // What the last queue check took from the tty and SI_Read has not handed out yet: the
    // first held_size bytes of held.
    std::uint32_t held_size = 0;
    // Receive overruns counted by the tty driver when last looked at; absent where the
    // driver keeps no counters (pseudo-terminals, some adapters).
    std::optional<std::uint64_t> overruns;
    std::array<char, kReadAhead> held{};
    // The device file it was opened from, and the serial it was listed under.
    std::string path;
    std::string serial;
  };

  // The paths of the devices we hold open, with their serials.
  using HeldPaths = std::unordered_map<std::string_view, std::string_view>;
  // The driver's bridges in the folder of ttys; those in `held` without reading sysfs.
  std::vector<Device> ScanSysfs(const HeldPaths& held) const;
  OpenDevice* Lookup(SiHandle handle);
  static void Release(OpenDevice& device);
  static void ReadAhead(OpenDevice& device);

  std::string sysfs_root_;
  std::string dev_root_;
  std::vector<UserDevice> user_devices_;
  std::vector<Device> devices_;
  // Looked up by every read, queue check and write: hashed, not a tree.
  std::unordered_map<SiHandle, OpenDevice> open_;
  SiHandle next_handle_ = 1;
  // The device Lookup found last (elements of open_ stay where they are until erased).
  SiHandle last_handle_ = 0;
  OpenDevice* last_device_ = nullptr;
  std::uint32_t write_timeout_ms_ = 1000;
};

}  // namespace dova::bridge
