#include "platform/serial/serial_factory.h"

#include "platform/serial/linux/sysfs_port_map.h"
#include "platform/serial/linux/va_comm_linux.h"

namespace dova {

std::unique_ptr<SerialPortMap> CreateSerialPortMap() {
  return std::make_unique<SysfsSerialPortMap>();
}

std::unique_ptr<TVaCustomComm> CreateSerialPort(Scheduler& ui) {
  return std::make_unique<TVaComm>(ui);
}

std::unique_ptr<TVaCustomComm> CreateProbePort(Scheduler& ui) {
  auto port = std::make_unique<TVaComm>(ui);
  port->SetPause([](int) {});
  return port;
}

}  // namespace dova
