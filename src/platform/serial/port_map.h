#pragma once

#include <string>
#include <vector>

namespace dova {

// One serial port of a CP210x bridge on the serial-port driver (product ID 0xEA60).
struct SerialBridgePort {
  std::string DevicePath;    // what the serial port opens, e.g. /dev/ttyUSB0
  std::string InstanceName;  // the bridge's USB serial number; never empty
  // The user may not open the port (no udev rule, or not at the seat).
  bool AccessDenied = false;
};

// The serial-port device map: the ports of CP210x bridges still on the serial-port
// driver, in a stable order, each with the instance name of its bridge.
class SerialPortMap {
 public:
  virtual ~SerialPortMap() = default;
  virtual std::vector<SerialBridgePort> BridgePorts() = 0;
};

}  // namespace dova
