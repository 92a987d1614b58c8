#pragma once

#include <map>
#include <string>

#include "platform/manufacturing/usb_transport.h"

struct libusb_context;
struct libusb_device_handle;

namespace dova::manufacturing {

// UsbTransport over libusb-1.0. Devices are opened without claiming an interface or
// detaching the kernel's driver: the configuration requests go to the device itself.
class LibusbTransport : public UsbTransport {
 public:
  // sysfs_root: where the kernel's USB device attributes are (a test tree in tests).
  explicit LibusbTransport(std::string sysfs_root = "/sys");
  ~LibusbTransport() override;
  LibusbTransport(const LibusbTransport&) = delete;
  LibusbTransport& operator=(const LibusbTransport&) = delete;

  int ListDevices(std::uint16_t vendor_id, std::uint16_t product_id,
                  std::vector<UsbDeviceInfo>* out) override;
  int Open(const std::string& location, std::uint32_t* handle) override;
  void Close(std::uint32_t handle) override;
  int ReadIdentity(std::uint32_t handle, UsbDeviceInfo* info) override;
  int ControlTransfer(std::uint32_t handle, std::uint8_t request_type, std::uint8_t request,
                      std::uint16_t value, std::uint16_t index, std::uint8_t* data,
                      std::uint16_t length, unsigned timeout_ms) override;
  int ResetDevice(std::uint32_t handle) override;

 private:
  // libusb hears of devices plugged in after its context was made only from the udev
  // daemon: where none runs (a container, a minimal system), or while its event is still on
  // the way, an older context never lists a bridge the kernel already made a tty for. So
  // every listing starts from a new context, which reads the devices as they are now,
  // unless a device is still open through the old one. False when libusb cannot start.
  bool FreshContext();
  libusb_device_handle* Find(std::uint32_t handle) const;

  std::string sysfs_root_;
  libusb_context* context_ = nullptr;
  std::map<std::uint32_t, libusb_device_handle*> handles_;
  std::uint32_t next_handle_ = 1;
};

}  // namespace dova::manufacturing
