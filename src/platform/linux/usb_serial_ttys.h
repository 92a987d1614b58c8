#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dova {

// The USB serial ports the kernel lists in sysfs: class/tty holds every tty of the machine
// (consoles and pseudo-terminals too); the USB serial drivers name theirs ttyUSBn. A port's
// `device` link leads to the port below the USB interface, and the USB device with its
// identity attributes is two folders above that.

// The names of the USB serial ports (ttyUSBn) under `sysfs_root`, in directory order; none
// when the folder cannot be read.
std::vector<std::string> UsbSerialTtyNames(const std::string& sysfs_root);

// The identity of the USB device a port belongs to, as sysfs gives it. Vendor and product
// IDs in lower case; an attribute that is missing is empty.
struct UsbIdentity {
  std::string vendor;
  std::string product;
  std::string serial;
};
// None when the port has no device link (it went away meanwhile).
std::optional<UsbIdentity> UsbSerialTtyIdentity(const std::string& sysfs_root,
                                                const std::string& name);

// ASCII letters in lower case, the rest as it is: USB IDs and serials compare without case.
std::string AsciiLower(std::string_view text);

}  // namespace dova
