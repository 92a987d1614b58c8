#pragma once

#include <memory>

#include "platform/serial/port_map.h"
#include "platform/serial/va_comm.h"

namespace dova {

class Scheduler;

// The serial-port device map of this platform: which serial ports belong to bridges still on
// the serial-port driver, and under which USB serial.
std::unique_ptr<SerialPortMap> CreateSerialPortMap();

// A serial port of this platform; its notifications arrive on `ui`.
std::unique_ptr<TVaCustomComm> CreateSerialPort(Scheduler& ui);

}  // namespace dova
