#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/bridge/sim/sim_library.h"
#include "platform/manufacturing/sim/sim_cp210x.h"
#include "platform/scheduler.h"
#include "platform/serial/sim/sim_serial.h"
#include "sim/incubator.h"

namespace dova::sim {

// Devices still on the bridge's serial-port driver: incubators that answer on their
// serial port until the driver converter reprograms their bridge, after which the same
// incubator answers on the new bridge in the simulated bridge driver library; and devices
// on a CP210x that are not incubators. What --simulate-vcp N plugs in, and the fixture of
// the converter's tests.
class SimulatedVcpBench {
 public:
  // usbx: the bridge driver library where converted bridges show up.
  SimulatedVcpBench(Scheduler& scheduler, bridge::SimLibrary& usbx);
  ~SimulatedVcpBench();
  SimulatedVcpBench(const SimulatedVcpBench&) = delete;
  SimulatedVcpBench& operator=(const SimulatedVcpBench&) = delete;

  SimSerialPorts& Ports() { return ports_; }
  manufacturing::SimCP210xLibrary& Library() { return library_; }
  SerialPortMap& PortMap() { return library_; }
  // A serial port for the converter, over this bench's devices.
  std::unique_ptr<TVaCustomComm> NewComm();

  // The factory serial number of the n-th device plugged in (from 1): "VCP0001".
  static std::string FactorySerial(int number);

  // An incubator on the serial-port driver; its bridge gets the next factory serial
  // unless one is given.
  Incubator& AddIncubator(IncubatorConfig config, std::string bridge_serial = {},
                          std::uint16_t product_id = 0xEA60);
  // A device on a CP210x that is not an incubator: it answers each line with `answer` and
  // a carriage return, or says nothing when `answer` is empty.
  std::shared_ptr<manufacturing::SimCP210xBridge> AddForeignDevice(std::string answer = {},
                                                                   std::string bridge_serial = {});

  std::size_t IncubatorCount() const { return incubators_.size(); }
  Incubator& IncubatorAt(std::size_t index) { return *incubators_.at(index).incubator; }
  manufacturing::SimCP210xBridge& BridgeOf(std::size_t index) {
    return *incubators_.at(index).bridge;
  }

 private:
  struct Served {
    std::unique_ptr<Incubator> incubator;
    std::shared_ptr<manufacturing::SimCP210xBridge> bridge;
  };
  std::string NextSerial(std::string given);
  void Reenumerated(manufacturing::SimCP210xBridge& bridge);

  Scheduler& scheduler_;
  SimSerialPorts ports_;
  manufacturing::SimCP210xLibrary library_;
  std::vector<Served> incubators_;
  int plugged_ = 0;
};

}  // namespace dova::sim
