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

// The same for short probes: closing it takes no pause, so the thread that closes it is not
// held up; its owner keeps away from the port for that long instead.
std::unique_ptr<TVaCustomComm> CreateProbePort(Scheduler& ui);

}  // namespace dova
