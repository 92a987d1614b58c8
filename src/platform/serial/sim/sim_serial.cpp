#include "platform/serial/sim/sim_serial.h"

#include <algorithm>
#include <cstring>

namespace dova {

void SimSerialDevice::SendToHost(std::string_view bytes) {
  if (host_) host_->Receive(bytes);
}

void SimSerialDevice::SetLines(TVaControlLines lines) {
  if (lines.Dtr != lines_.Dtr) line_changes_.push_back(lines.Dtr ? "DTR high" : "DTR low");
  if (lines.Rts != lines_.Rts) line_changes_.push_back(lines.Rts ? "RTS high" : "RTS low");
  lines_ = lines;
}

std::shared_ptr<SimSerialDevice> SimSerialPorts::AddDevice(const std::string& path) {
  auto device = std::make_shared<SimSerialDevice>(path);
  devices_[path] = device;
  return device;
}

void SimSerialPorts::RemoveDevice(const std::string& path) {
  devices_.erase(path);
}

std::shared_ptr<SimSerialDevice> SimSerialPorts::Find(const std::string& path) const {
  auto it = devices_.find(path);
  return it == devices_.end() ? nullptr : it->second;
}

SimComm::SimComm(Scheduler& scheduler, SimSerialPorts& ports)
    : scheduler_(scheduler), ports_(ports), event_timer_(scheduler, 1, false) {
  event_timer_.SetOnTimer([this] { Dispatch(); });
}

SimComm::~SimComm() {
  if (Active()) Shut(false);
}

void SimComm::Open() {
  CheckClosed();
  const std::string name = FileName();
  auto device = ports_.Find(name);
  if (!device) throw EVaCommError(FormatCommMessage("Specified device not found (%s).", {name}));
  if (device->host_) {
    throw EVaCommError(FormatCommMessage("Can't open specified device %s (Error %d, %s)",
                                         {name, "16", std::strerror(16)}));
  }
  if (UpdateDCB() && Databits() == TVaDatabits::db4) {
    throw EVaCommError(FormatCommMessage("Error writing dcb (%d), %s", {"22", std::strerror(22)}));
  }
  device_ = device;
  device_->host_ = this;
  device_->SetLines(ControlLineLevels(FlowControl()));
  ++device_->open_count_;
  ++open_count_;
  rx_.clear();
  if (OnOpen()) {
    try {
      OnOpen()(*this);
    } catch (...) {
      scheduler_.ReportException(std::current_exception());
    }
  }
}

void SimComm::Receive(std::string_view bytes) {
  rx_.append(bytes);
  const auto event_char = static_cast<char>(EventChars().EventChar);
  if (EffectiveEventMask().Contains(TVaCommEvent::ceRxFlag) &&
      std::find(bytes.begin(), bytes.end(), event_char) != bytes.end() && !event_timer_.Enabled()) {
    event_timer_.SetEnabled(true);
  }
}

void SimComm::Dispatch() {
  event_timer_.SetEnabled(false);
  if (Active() && OnRxFlag()) OnRxFlag()(*this);
}

void SimComm::Close() {
  if (!Active()) return;
  // A notification already on its way still runs, as it does on a real port.
  if (event_timer_.Enabled()) {
    try {
      Dispatch();
    } catch (...) {
      scheduler_.ReportException(std::current_exception());
    }
  }
  Shut(true);
}

void SimComm::Shut(bool notify) {
  event_timer_.SetEnabled(false);
  // Hang-up on close only when a line was raised; lines held low stay as they are.
  if (device_->Dtr() || device_->Rts()) device_->SetLines({});
  device_->host_ = nullptr;
  device_.reset();
  rx_.clear();
  if (notify && OnClose()) {
    try {
      OnClose()(*this);
    } catch (...) {
      scheduler_.ReportException(std::current_exception());
    }
  }
}

void SimComm::ClearInput() {
  if (!Active()) return;
  rx_.clear();
}

bool SimComm::WriteString(const std::string& bytes) {
  if (!Active()) return false;
  if (const int code = device_->fail_write_; code != 0) {
    device_->fail_write_ = 0;
    throw EVaCommError(
        FormatCommMessage("Write error (%d), %s", {std::to_string(code), std::strerror(code)}));
  }
  // Keep the device alive: its answer may close this port.
  auto device = device_;
  if (device->OnHostWrite) device->OnHostWrite(bytes);
  return true;
}

int SimComm::InputCount() {
  return Active() ? static_cast<int>(rx_.size()) : 0;
}

std::string SimComm::ReadAvailable() {
  if (InputCount() <= 0) return {};
  std::string out;
  out.swap(rx_);
  return out;
}

}  // namespace dova
