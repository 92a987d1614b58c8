#include "sim/vcp/simulated_vcp.h"

#include <cstdio>

namespace dova::sim {

SimulatedVcpBench::SimulatedVcpBench(Scheduler& scheduler, bridge::SimLibrary& usbx)
    : scheduler_(scheduler), library_(ports_, usbx) {
  library_.OnReenumerated = [this](manufacturing::SimCP210xBridge& b) { Reenumerated(b); };
}

SimulatedVcpBench::~SimulatedVcpBench() {
  for (auto& served : incubators_) {
    if (served.bridge->Tty) served.bridge->Tty->OnHostWrite = nullptr;
  }
}

std::unique_ptr<TVaCustomComm> SimulatedVcpBench::NewComm() {
  return std::make_unique<SimComm>(scheduler_, ports_);
}

std::string SimulatedVcpBench::FactorySerial(int number) {
  char text[16];
  std::snprintf(text, sizeof text, "VCP%04d", number);
  return text;
}

std::string SimulatedVcpBench::NextSerial(std::string given) {
  ++plugged_;
  return given.empty() ? FactorySerial(plugged_) : given;
}

Incubator& SimulatedVcpBench::AddIncubator(IncubatorConfig config, std::string bridge_serial,
                                           std::uint16_t product_id) {
  auto bridge = library_.AddBridge(NextSerial(std::move(bridge_serial)), product_id);
  auto incubator = std::make_unique<Incubator>(scheduler_, std::move(config));
  Incubator* inc = incubator.get();
  if (bridge->Tty) {
    SimSerialDevice* tty = bridge->Tty.get();
    inc->SetEndpoint(Endpoint{[tty](std::string_view bytes) { tty->SendToHost(bytes); }, {}, {}});
    tty->OnHostWrite = [inc](std::string_view bytes) { inc->Receive(bytes); };
  }
  incubators_.push_back({std::move(incubator), std::move(bridge)});
  return *inc;
}

std::shared_ptr<manufacturing::SimCP210xBridge> SimulatedVcpBench::AddForeignDevice(
    std::string answer, std::string bridge_serial) {
  auto bridge = library_.AddBridge(NextSerial(std::move(bridge_serial)));
  if (!answer.empty()) {
    SimSerialDevice* tty = bridge->Tty.get();
    tty->OnHostWrite = [tty, answer](std::string_view bytes) {
      for (char c : bytes) {
        if (c == '\r') tty->SendToHost(answer + "\r");
      }
    };
  }
  return bridge;
}

void SimulatedVcpBench::Reenumerated(manufacturing::SimCP210xBridge& bridge) {
  for (auto& served : incubators_) {
    if (served.bridge.get() != &bridge || bridge.ProductId == 0xEA60) continue;
    // The incubator leaves its serial port and answers on its new bridge.
    if (bridge.Tty) bridge.Tty->OnHostWrite = nullptr;
    if (bridge.Usbx) {
      served.incubator->Attach(bridge.Usbx);
    } else {
      served.incubator->Detach();
    }
  }
}

}  // namespace dova::sim
