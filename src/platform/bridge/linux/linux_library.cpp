#include "platform/bridge/linux/linux_library.h"
#include "platform/linux/tty_speed.h"
#include "platform/linux/usb_serial_ttys.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>
#include <tuple>

namespace dova::bridge {

namespace fs = std::filesystem;

namespace {

// The bridges that run under this library: the bridge maker's vendor ID with the product ID of
// the USB bridge driver. The same chip with product ID ea60 is a plain serial port.
constexpr std::string_view kVendorId = "10c4";
constexpr std::string_view kProductId = "ea61";

bool IsAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The receive overruns the tty driver has counted (the UART's and its own buffer's), or
// nothing where the driver keeps no counters.
std::optional<std::uint64_t> OverrunCount(int fd) {
  serial_icounter_struct counters{};
  if (ioctl(fd, TIOCGICOUNT, &counters) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(static_cast<unsigned>(counters.overrun)) +
         static_cast<unsigned>(counters.buf_overrun);
}

// Raw 8N1 without flow control; reads return at once with what is queued.
bool MakeRaw(int fd) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return false;
  cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | CRTSCTS);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  return tcsetattr(fd, TCSANOW, &tio) == 0;
}

}  // namespace

std::optional<UserDevice> ParseDeviceArgument(std::string_view text) {
  UserDevice device;
  const auto eq = text.rfind('=');
  if (eq != std::string_view::npos && text.find('/', eq) == std::string_view::npos) {
    device.path = std::string(text.substr(0, eq));
    device.serial = std::string(text.substr(eq + 1));
  } else {
    device.path = std::string(text);
  }
  if (device.path.empty()) return std::nullopt;
  return device;
}

std::string SerialFromPath(std::string_view path) {
  std::string serial = "dova300";
  if (!path.empty() && path.front() != '/') serial += '-';
  for (char c : path)
    serial += IsAlnum(c) ? c : '-';
  return AsciiLower(serial);
}

LinuxSiLibrary::LinuxSiLibrary(std::string sysfs_root, std::string dev_root)
    : sysfs_root_(std::move(sysfs_root)), dev_root_(std::move(dev_root)) {}

LinuxSiLibrary::~LinuxSiLibrary() {
  for (auto& [handle, device] : open_)
    Release(device);
}

void LinuxSiLibrary::AddUserDevice(const std::string& path, const std::string& serial) {
  user_devices_.push_back(
      UserDevice{path, serial.empty() ? SerialFromPath(path) : AsciiLower(serial)});
}

int LinuxSiLibrary::NativeHandle(SiHandle handle) const {
  auto it = open_.find(handle);
  return it == open_.end() ? -1 : it->second.fd;
}

std::vector<LinuxSiLibrary::Device> LinuxSiLibrary::ScanSysfs(const HeldPaths& held) const {
  std::vector<Device> found;
  for (const std::string& name : UsbSerialTtyNames(sysfs_root_)) {
    std::string path = (fs::path(dev_root_) / name).string();
    // Still in the folder, so still plugged in (an unplugged bridge's tty leaves the folder
    // although we hold it open).
    if (const auto it = held.find(path); it != held.end()) {
      found.push_back(Device{std::string(it->second), std::move(path)});
      continue;
    }
    const auto id = UsbSerialTtyIdentity(sysfs_root_, name);
    if (!id || id->vendor != kVendorId || id->product != kProductId) continue;
    // Without a serial the device cannot be told apart from the next one plugged into the
    // same port, and it cannot be an incubator either.
    if (id->serial.empty()) continue;
    found.push_back(Device{AsciiLower(id->serial), std::move(path)});
  }
  return found;
}

SiStatus LinuxSiLibrary::SI_SetTimeouts(std::uint32_t /*read_timeout_ms*/,
                                        std::uint32_t write_timeout_ms) {
  // Reads never wait (they take only what is queued), so only the write time-out matters.
  write_timeout_ms_ = write_timeout_ms;
  return SI_SUCCESS;
}

SiStatus LinuxSiLibrary::SI_GetNumDevices(std::uint32_t* count) {
  if (count == nullptr) return SI_INVALID_PARAMETER;
  // A device we hold open is listed as it was when it was opened, without looking at the
  // file system again: it is passed over until its tile lets it go. Incubators open one per
  // scan, and every scan would otherwise look up every one opened before.
  HeldPaths held;
  for (const auto& [handle, device] : open_)
    held.emplace(device.path, device.serial);
  std::vector<Device> list;
  for (const UserDevice& user : user_devices_) {
    std::error_code ec;
    if (held.count(user.path) != 0 || fs::exists(user.path, ec)) {
      list.push_back(Device{user.serial, user.path});
    }
  }
  for (Device& bridge : ScanSysfs(held)) {
    // A bridge that the user also named appears once, under the user's serial.
    const bool named = std::any_of(list.begin(), list.end(),
                                   [&](const Device& d) { return d.path == bridge.path; });
    if (!named) list.push_back(std::move(bridge));
  }
  // Directory order is arbitrary; the serial gives a numbering that does not depend on which
  // tty number a bridge got this time.
  std::sort(list.begin(), list.end(), [](const Device& a, const Device& b) {
    return std::tie(a.serial, a.path) < std::tie(b.serial, b.path);
  });
  devices_ = std::move(list);
  *count = static_cast<std::uint32_t>(devices_.size());
  return SI_SUCCESS;
}

SiStatus LinuxSiLibrary::SI_GetProductString(std::uint32_t device, char* buffer,
                                             std::uint32_t option) {
  if (buffer == nullptr || option != SI_RETURN_SERIAL_NUMBER) return SI_INVALID_PARAMETER;
  if (device >= devices_.size()) return SI_DEVICE_NOT_FOUND;
  const std::string& serial = devices_[device].serial;
  const std::size_t n = std::min<std::size_t>(serial.size(), SI_MAX_DEVICE_STRLEN - 1);
  std::memcpy(buffer, serial.data(), n);
  buffer[n] = '\0';
  return SI_SUCCESS;
}

SiStatus LinuxSiLibrary::SI_Open(std::uint32_t device, SiHandle* handle) {
  if (handle == nullptr) return SI_INVALID_PARAMETER;
  if (device >= devices_.size()) return SI_DEVICE_NOT_FOUND;
  const std::string& path = devices_[device].path;
  // One that we hold already would be refused below (exclusive mode, then the lock). The
  // search asks for every listed device again and again, so it is told without opening the
  // tty, which costs the kernel far more than the refusal.
  for (const auto& [held_handle, held] : open_) {
    if (held.path == path) return SI_DEVICE_NOT_FOUND;
  }
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    // EACCES: no udev rule gives the user the tty, or the user is not at the seat.
    if (errno == EACCES || errno == EPERM) return SI_ACCESS_DENIED;
    // EBUSY: another program holds the tty in exclusive mode.
    return SI_DEVICE_NOT_FOUND;
  }
  // The lock tells holders apart for root too, who is let through exclusive mode, and
  // covers programs that do not use exclusive mode.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return SI_DEVICE_NOT_FOUND;
  }
  if (ioctl(fd, TIOCEXCL) != 0 || !MakeRaw(fd)) {
    ::close(fd);
    return SI_DEVICE_IO_FAILED;
  }
  OpenDevice open;
  open.fd = fd;
  open.path = path;
  open.serial = devices_[device].serial;
  open.overruns = OverrunCount(fd);
  *handle = next_handle_++;
  open_.emplace(*handle, open);
  return SI_SUCCESS;
}

void LinuxSiLibrary::Release(OpenDevice& device) {
  // Exclusive mode stays with the tty, not the descriptor: drop it before closing.
  ioctl(device.fd, TIOCNXCL);
  flock(device.fd, LOCK_UN);
  ::close(device.fd);
  device.fd = -1;
}

LinuxSiLibrary::OpenDevice* LinuxSiLibrary::Lookup(SiHandle handle) {
  // A port asks for its queue and then reads it, so the device asked for last comes first.
  if (handle == last_handle_ && last_device_ != nullptr) return last_device_;
  auto it = open_.find(handle);
  if (it == open_.end()) return nullptr;
  last_handle_ = handle;
  last_device_ = &it->second;
  return last_device_;
}

SiStatus LinuxSiLibrary::SI_Close(SiHandle handle) {
  auto it = open_.find(handle);
  if (it == open_.end()) return SI_INVALID_HANDLE;
  Release(it->second);
  if (last_device_ == &it->second) last_device_ = nullptr;
  open_.erase(it);
  return SI_SUCCESS;
}

SiStatus LinuxSiLibrary::SI_SetBaudRate(SiHandle handle, std::uint32_t baud) {
  OpenDevice* device = Lookup(handle);
  if (device == nullptr) return SI_INVALID_HANDLE;
  const auto speed = StandardTtySpeed(baud);
  if (!speed) return SI_INVALID_BAUDRATE;
  termios tio{};
  if (tcgetattr(device->fd, &tio) != 0) return SI_DEVICE_IO_FAILED;
  if (cfsetispeed(&tio, *speed) != 0 || cfsetospeed(&tio, *speed) != 0) {
    return SI_INVALID_BAUDRATE;
  }
  if (tcsetattr(device->fd, TCSANOW, &tio) != 0) return SI_DEVICE_IO_FAILED;
  return SI_SUCCESS;
}

// The queue check reads whatever has arrived (the descriptor never blocks) instead of asking the
// driver how much there is: polled every few milliseconds per device, that halves the calls into
// the kernel, and SI_Read then hands out the held bytes without another one.
void LinuxSiLibrary::ReadAhead(OpenDevice& device) {
  if (device.held_size >= kReadAhead) return;
  for (;;) {
    const ssize_t n =
        ::read(device.fd, device.held.data() + device.held_size, kReadAhead - device.held_size);
    if (n > 0) device.held_size += static_cast<std::uint32_t>(n);
    // A bridge that was unplugged fails here on every tick. The owner learns of it from its
    // next write; an error here would only raise a message box every read interval.
    if (n >= 0 || errno != EINTR) return;
  }
}

SiStatus LinuxSiLibrary::SI_CheckRXQueue(SiHandle handle, std::uint32_t* count,
                                         std::uint32_t* status) {
  if (count == nullptr || status == nullptr) return SI_INVALID_PARAMETER;
  OpenDevice* device = Lookup(handle);
  if (device == nullptr) return SI_INVALID_HANDLE;
  ReadAhead(*device);
  *count = device->held_size;
  *status = *count > 0 ? SI_RX_READY : SI_RX_EMPTY;
  if (device->overruns) {
    const auto now = OverrunCount(device->fd);
    if (now && *now != *device->overruns) {
      device->overruns = now;
      *status = SI_RX_OVERRUN;
    }
  }
  return SI_SUCCESS;
}

SiStatus LinuxSiLibrary::SI_Read(SiHandle handle, void* buffer, std::uint32_t to_read,
                                 std::uint32_t* bytes_read) {
  if (bytes_read == nullptr) return SI_INVALID_PARAMETER;
  *bytes_read = 0;
  OpenDevice* device = Lookup(handle);
  if (device == nullptr) return SI_INVALID_HANDLE;
  if (to_read == 0) return SI_SUCCESS;
  if (buffer == nullptr) return SI_INVALID_PARAMETER;
  auto* out = static_cast<char*>(buffer);
  const std::size_t held = std::min<std::size_t>(to_read, device->held_size);
  std::memcpy(out, device->held.data(), held);
  device->held_size -= static_cast<std::uint32_t>(held);
  if (device->held_size > 0) {
    std::memmove(device->held.data(), device->held.data() + held, device->held_size);
  }
  *bytes_read = static_cast<std::uint32_t>(held);
  if (held == to_read) return SI_SUCCESS;
  for (;;) {
    const ssize_t n = ::read(device->fd, out + held, to_read - held);
    if (n >= 0) {
      *bytes_read += static_cast<std::uint32_t>(n);
      return SI_SUCCESS;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK || held > 0) return SI_SUCCESS;
    return SI_READ_ERROR;
  }
}

SiStatus LinuxSiLibrary::SI_Write(SiHandle handle, const void* buffer, std::uint32_t to_write,
                                  std::uint32_t* bytes_written) {
  if (bytes_written == nullptr) return SI_INVALID_PARAMETER;
  *bytes_written = 0;
  OpenDevice* device = Lookup(handle);
  if (device == nullptr) return SI_INVALID_HANDLE;
  if (to_write == 0) return SI_SUCCESS;
  if (buffer == nullptr) return SI_INVALID_PARAMETER;

  using Clock = std::chrono::steady_clock;
  // The time-out counts from the first time the device takes nothing; a command almost
  // always goes out at once, so the clock is not read for it.
  std::optional<Clock::time_point> deadline;
  const auto* bytes = static_cast<const char*>(buffer);
  std::uint32_t done = 0;
  while (done < to_write) {
    const ssize_t n = ::write(device->fd, bytes + done, to_write - done);
    if (n > 0) {
      done += static_cast<std::uint32_t>(n);
      *bytes_written = done;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      // EIO, ENODEV, EPIPE: the bridge is gone or the other end hung up.
      return SI_WRITE_ERROR;
    }
    // The transmit buffer is full: wait until it takes more, or give up at the deadline.
    const auto now = Clock::now();
    if (!deadline) deadline = now + std::chrono::milliseconds(write_timeout_ms_);
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - now).count();
    if (left <= 0) return SI_WRITE_TIMED_OUT;
    pollfd pfd{device->fd, POLLOUT, 0};
    const int wait = static_cast<int>(
        std::min<long long>(left, static_cast<long long>(std::numeric_limits<int>::max())));
    const int ready = ::poll(&pfd, 1, wait);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return SI_WRITE_ERROR;
    }
    if (ready == 0) return SI_WRITE_TIMED_OUT;
    if ((pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return SI_WRITE_ERROR;
  }
  return SI_SUCCESS;
}

SiStatus LinuxSiLibrary::SI_FlushBuffers(SiHandle handle, std::uint8_t flush_transmit,
                                         std::uint8_t flush_receive) {
  OpenDevice* device = Lookup(handle);
  if (device == nullptr) return SI_INVALID_HANDLE;
  int queue = 0;
  if (flush_transmit != 0 && flush_receive != 0) {
    queue = TCIOFLUSH;
  } else if (flush_transmit != 0) {
    queue = TCOFLUSH;
  } else if (flush_receive != 0) {
    queue = TCIFLUSH;
  } else {
    return SI_SUCCESS;
  }
  if (flush_receive != 0) device->held_size = 0;
  if (tcflush(device->fd, queue) != 0) return SI_DEVICE_IO_FAILED;
  return SI_SUCCESS;
}

}  // namespace dova::bridge
