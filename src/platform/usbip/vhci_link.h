#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/exception.h"

namespace dova {

class VhciLinkExcept : public Exception {
 public:
  using Exception::Exception;
};

// One simulated USB device plugged into the kernel's virtual USB host controller
// (vhci_hcd): one end of a local socket pair is handed to the controller's sysfs "attach"
// file, so the kernel speaks USB/IP to us over the other end, without any network. The
// kernel then enumerates the device and binds its own drivers to it. Closing the link is
// pulling the cable.
class VhciLink {
 public:
  static constexpr const char* kDefaultController = "/sys/devices/platform/vhci_hcd.0";
  static constexpr int kSpeedFull = 2;  // the kernel's USB_SPEED_FULL

  // Plugs into the first free port of the controller. Throws VhciLinkExcept when there is
  // no controller (module not loaded), no free port, or the kernel refuses the socket.
  static std::unique_ptr<VhciLink> Attach(std::uint32_t devid, int speed = kSpeedFull,
                                          const std::string& controller = kDefaultController);
  ~VhciLink();
  VhciLink(const VhciLink&) = delete;
  VhciLink& operator=(const VhciLink&) = delete;

  int Port() const { return port_; }
  // The socket, for an event loop to watch for the kernel's messages.
  int Descriptor() const { return fd_; }
  bool Open() const { return fd_ >= 0; }
  // What the kernel has sent; never blocks. Empty when nothing is waiting; the link is
  // closed when the kernel has dropped it.
  std::string ReadAvailable();
  // Towards the kernel, in order; what the socket cannot take now waits for Flush.
  void Write(std::string_view bytes);
  void Flush();
  bool WritePending() const { return !out_.empty(); }
  // Pulls the cable: the kernel sees the connection end and removes the device.
  void Close();

 private:
  VhciLink() = default;
  int fd_ = -1;
  int port_ = -1;
  std::string out_;
};

}  // namespace dova
