#pragma once

#include <string>
#include <vector>

#include "platform/serial/port_map.h"

namespace dova {

// The serial-port device map from sysfs: every USB serial port (ttyUSBn) whose USB device is
// a CP210x (vendor 10c4) with product ID ea60, ordered by tty name with numbers in numeric order
// (ttyUSB2 before ttyUSB10). The USB device holds idVendor, idProduct and serial two
// folders above the tty's device link. A bridge without a serial number is left out:
// nothing could tell it from another one. A port the program may not open is listed with
// AccessDenied, so its owner can be told why it is not used.
class SysfsSerialPortMap : public SerialPortMap {
 public:
  // root: the sysfs mount (a test tree in tests); dev_dir: where the tty nodes are.
  explicit SysfsSerialPortMap(std::string root = "/sys", std::string dev_dir = "/dev");
  std::vector<SerialBridgePort> BridgePorts() override;

 private:
  std::string root_;
  std::string dev_dir_;
};

// True when tty name a sorts before b, digit runs compared as numbers.
bool NaturalLess(const std::string& a, const std::string& b);

}  // namespace dova
