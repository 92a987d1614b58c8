#include "platform/manufacturing/linux/libusb_transport.h"

#include <libusb.h>

#include <fstream>
#include <string>

namespace dova::manufacturing {

namespace {

std::string Location(libusb_device* device) {
  std::uint8_t ports[8];
  const int n = libusb_get_port_numbers(device, ports, sizeof ports);
  std::string location = std::to_string(libusb_get_bus_number(device));
  for (int i = 0; i < n; ++i)
    location += (i == 0 ? "-" : ".") + std::to_string(ports[i]);
  return location;
}

std::string StringDescriptor(libusb_device_handle* h, std::uint8_t index) {
  if (index == 0) return {};
  unsigned char text[256];
  const int n = libusb_get_string_descriptor_ascii(h, index, text, sizeof text);
  return n > 0 ? std::string(reinterpret_cast<char*>(text), static_cast<std::size_t>(n))
               : std::string();
}

void Describe(libusb_device_handle* h, const libusb_device_descriptor& desc, UsbDeviceInfo* info) {
  info->VendorId = desc.idVendor;
  info->ProductId = desc.idProduct;
  info->Serial = StringDescriptor(h, desc.iSerialNumber);
  info->Product = StringDescriptor(h, desc.iProduct);
}

// A sysfs attribute of the USB device: one line of text, empty when missing.
std::string Attribute(const std::string& sysfs_root, const std::string& location,
                      const char* name) {
  std::ifstream in(sysfs_root + "/bus/usb/devices/" + location + "/" + name);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
    line.pop_back();
  return line;
}

int Translate(int libusb_result) {
  return libusb_result == LIBUSB_ERROR_ACCESS ? UsbTransport::kErrorAccess : libusb_result;
}

}  // namespace

LibusbTransport::LibusbTransport(std::string sysfs_root) : sysfs_root_(std::move(sysfs_root)) {}

bool LibusbTransport::FreshContext() {
  // A device open through the old context keeps it.
  if (!handles_.empty()) return context_ != nullptr;
  if (context_) libusb_exit(context_);
  context_ = nullptr;
  if (libusb_init(&context_) != 0) context_ = nullptr;
  return context_ != nullptr;
}

LibusbTransport::~LibusbTransport() {
  for (const auto& [id, h] : handles_)
    libusb_close(h);
  if (context_) libusb_exit(context_);
}

int LibusbTransport::ListDevices(std::uint16_t vendor_id, std::uint16_t product_id,
                                 std::vector<UsbDeviceInfo>* out) {
  out->clear();
  if (!FreshContext()) return LIBUSB_ERROR_OTHER;
  libusb_device** list = nullptr;
  const ssize_t n = libusb_get_device_list(context_, &list);
  if (n < 0) return static_cast<int>(n);
  for (ssize_t i = 0; i < n; ++i) {
    libusb_device_descriptor desc{};
    if (libusb_get_device_descriptor(list[i], &desc) != 0 || desc.idVendor != vendor_id ||
        desc.idProduct != product_id) {
      continue;
    }
    UsbDeviceInfo info;
    info.VendorId = desc.idVendor;
    info.ProductId = desc.idProduct;
    info.Location = Location(list[i]);
    // The kernel keeps the strings it read at enumeration in sysfs, readable by everyone:
    // no request goes to the device, and a device the user may not open still shows its
    // serial (so its owner can be told why it is left alone).
    info.Serial = Attribute(sysfs_root_, info.Location, "serial");
    info.Product = Attribute(sysfs_root_, info.Location, "product");
    if (info.Serial.empty()) {
      libusb_device_handle* h = nullptr;
      if (libusb_open(list[i], &h) == 0) {
        Describe(h, desc, &info);
        libusb_close(h);
      }
    }
    out->push_back(std::move(info));
  }
  libusb_free_device_list(list, 1);
  return 0;
}

int LibusbTransport::Open(const std::string& location, std::uint32_t* handle) {
  if (!context_ && !FreshContext()) return LIBUSB_ERROR_OTHER;
  libusb_device** list = nullptr;
  const ssize_t n = libusb_get_device_list(context_, &list);
  if (n < 0) return static_cast<int>(n);
  int result = LIBUSB_ERROR_NOT_FOUND;
  for (ssize_t i = 0; i < n; ++i) {
    if (Location(list[i]) != location) continue;
    libusb_device_handle* h = nullptr;
    result = libusb_open(list[i], &h);
    if (result == 0) {
      *handle = next_handle_++;
      handles_[*handle] = h;
    }
    break;
  }
  libusb_free_device_list(list, 1);
  return Translate(result);
}

libusb_device_handle* LibusbTransport::Find(std::uint32_t handle) const {
  auto it = handles_.find(handle);
  return it == handles_.end() ? nullptr : it->second;
}

void LibusbTransport::Close(std::uint32_t handle) {
  auto it = handles_.find(handle);
  if (it == handles_.end()) return;
  libusb_close(it->second);
  handles_.erase(it);
}

int LibusbTransport::ReadIdentity(std::uint32_t handle, UsbDeviceInfo* info) {
  libusb_device_handle* h = Find(handle);
  if (!h) return LIBUSB_ERROR_INVALID_PARAM;
  libusb_device* device = libusb_get_device(h);
  libusb_device_descriptor desc{};
  if (const int r = libusb_get_device_descriptor(device, &desc); r != 0) return r;
  Describe(h, desc, info);
  info->Location = Location(device);
  return 0;
}

int LibusbTransport::ControlTransfer(std::uint32_t handle, std::uint8_t request_type,
                                     std::uint8_t request, std::uint16_t value, std::uint16_t index,
                                     std::uint8_t* data, std::uint16_t length,
                                     unsigned timeout_ms) {
  libusb_device_handle* h = Find(handle);
  if (!h) return LIBUSB_ERROR_INVALID_PARAM;
  return libusb_control_transfer(h, request_type, request, value, index, data, length, timeout_ms);
}

int LibusbTransport::ResetDevice(std::uint32_t handle) {
  libusb_device_handle* h = Find(handle);
  if (!h) return LIBUSB_ERROR_INVALID_PARAM;
  const int r = libusb_reset_device(h);
  return r == LIBUSB_ERROR_NOT_FOUND ? kErrorNotFound : r;
}

}  // namespace dova::manufacturing
