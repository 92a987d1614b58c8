#include "platform/bridge/sim/sim_library.h"

#include <algorithm>
#include <cstring>

namespace dova::bridge {

void SimBridge::SendToHost(std::string_view bytes) {
  if (!plugged_ || !open_) return;
  rx_.append(bytes);
}

SimLibrary::SimLibrary() = default;
SimLibrary::~SimLibrary() = default;

std::shared_ptr<SimBridge> SimLibrary::AddBridge(const std::string& serial) {
  auto bridge = std::make_shared<SimBridge>(serial);
  bridges_.push_back(bridge);
  return bridge;
}

std::vector<std::shared_ptr<SimBridge>> SimLibrary::Plugged() const {
  std::vector<std::shared_ptr<SimBridge>> out;
  for (const auto& b : bridges_) {
    if (b->plugged_) out.push_back(b);
  }
  return out;
}

std::vector<std::shared_ptr<SimBridge>> SimLibrary::Bridges() const {
  return Plugged();
}

void SimLibrary::FailNext(SiCall call, int times, SiStatus status) {
  faults_[call] = Fault{times, status};
}

int SimLibrary::CallCount(SiCall call) const {
  auto it = calls_.find(call);
  return it == calls_.end() ? 0 : it->second;
}

bool SimLibrary::Injected(SiCall call, SiStatus* status) {
  ++calls_[call];
  auto it = faults_.find(call);
  if (it == faults_.end() || it->second.times <= 0) return false;
  --it->second.times;
  *status = it->second.status;
  return true;
}

std::shared_ptr<SimBridge> SimLibrary::Lookup(SiHandle handle) const {
  auto it = handles_.find(handle);
  return it == handles_.end() ? nullptr : it->second;
}

SiStatus SimLibrary::SI_SetTimeouts(std::uint32_t read_timeout_ms, std::uint32_t write_timeout_ms) {
  SiStatus st;
  if (Injected(SiCall::SetTimeouts, &st)) return st;
  read_timeout_ = read_timeout_ms;
  write_timeout_ = write_timeout_ms;
  return SI_SUCCESS;
}

SiStatus SimLibrary::SI_GetNumDevices(std::uint32_t* count) {
  SiStatus st;
  if (Injected(SiCall::GetNumDevices, &st)) return st;
  *count = static_cast<std::uint32_t>(Plugged().size());
  return SI_SUCCESS;
}

SiStatus SimLibrary::SI_GetProductString(std::uint32_t device, char* buffer, std::uint32_t option) {
  SiStatus st;
  if (Injected(SiCall::GetProductString, &st)) return st;
  const auto plugged = Plugged();
  if (device >= plugged.size()) return SI_DEVICE_NOT_FOUND;
  if (option != SI_RETURN_SERIAL_NUMBER) return SI_INVALID_PARAMETER;
  const std::string& s = plugged[device]->serial_;
  // Like the real library, a string that does not fit leaves no terminator.
  const std::size_t n = std::min<std::size_t>(s.size(), SI_MAX_DEVICE_STRLEN);
  std::memcpy(buffer, s.data(), n);
  if (n < SI_MAX_DEVICE_STRLEN) buffer[n] = '\0';
  return SI_SUCCESS;
}

SiStatus SimLibrary::SI_Open(std::uint32_t device, SiHandle* handle) {
  SiStatus st;
  if (Injected(SiCall::Open, &st)) return st;
  const auto plugged = Plugged();
  if (device >= plugged.size()) return SI_DEVICE_NOT_FOUND;
  auto& bridge = plugged[device];
  if (bridge->open_) return SI_DEVICE_IO_FAILED;
  bridge->open_ = true;
  bridge->rx_.clear();
  *handle = next_handle_++;
  handles_[*handle] = bridge;
  return SI_SUCCESS;
}

SiStatus SimLibrary::SI_Close(SiHandle handle) {
  SiStatus st;
  if (Injected(SiCall::Close, &st)) return st;
  auto it = handles_.find(handle);
  if (it == handles_.end()) return SI_INVALID_HANDLE;
  it->second->open_ = false;
  it->second->rx_.clear();
  handles_.erase(it);
  return SI_SUCCESS;
}

SiStatus SimLibrary::SI_SetBaudRate(SiHandle handle, std::uint32_t baud) {
  SiStatus st;
  if (Injected(SiCall::SetBaudRate, &st)) return st;
  auto bridge = Lookup(handle);
  if (!bridge) return SI_INVALID_HANDLE;
  if (!bridge->plugged_) return SI_DEVICE_IO_FAILED;
  if (baud == 0) return SI_INVALID_BAUDRATE;
  bridge->baud_ = baud;
  return SI_SUCCESS;
}

SiStatus SimLibrary::SI_CheckRXQueue(SiHandle handle, std::uint32_t* count, std::uint32_t* status) {
  SiStatus st;
  if (Injected(SiCall::CheckRXQueue, &st)) return st;
  auto bridge = Lookup(handle);
  if (!bridge) return SI_INVALID_HANDLE;
  // A bridge that is gone simply has nothing to read: the next write tells the owner.
  *count = 0;
  *status = SI_RX_EMPTY;
  if (!bridge->plugged_) return SI_SUCCESS;
  if (bridge->overrun_) {
    bridge->overrun_ = false;
    *count = static_cast<std::uint32_t>(bridge->rx_.size());
    *status = SI_RX_OVERRUN;
    return SI_SUCCESS;
  }
  if (!bridge->rx_.empty()) {
    *count = static_cast<std::uint32_t>(bridge->rx_.size());
    *status = SI_RX_READY;
  }
  return SI_SUCCESS;
}

SiStatus SimLibrary::SI_Read(SiHandle handle, void* buffer, std::uint32_t to_read,
                             std::uint32_t* bytes_read) {
  SiStatus st;
  if (Injected(SiCall::Read, &st)) return st;
  auto bridge = Lookup(handle);
  if (!bridge) return SI_INVALID_HANDLE;
  if (!bridge->plugged_) return SI_READ_ERROR;
  const std::size_t n = std::min<std::size_t>(to_read, bridge->rx_.size());
  if (n > 0) std::memcpy(buffer, bridge->rx_.data(), n);
  bridge->rx_.erase(0, n);
  *bytes_read = static_cast<std::uint32_t>(n);
  return SI_SUCCESS;
}

SiStatus SimLibrary::SI_Write(SiHandle handle, const void* buffer, std::uint32_t to_write,
                              std::uint32_t* bytes_written) {
  last_write_length_ = to_write;
  last_write_buffer_ = buffer;
  SiStatus st;
  if (Injected(SiCall::Write, &st)) return st;
  auto bridge = Lookup(handle);
  if (!bridge) return SI_INVALID_HANDLE;
  if (!bridge->plugged_) return SI_WRITE_ERROR;
  if (to_write > 0 && buffer == nullptr) return SI_INVALID_PARAMETER;
  *bytes_written = to_write;
  if (bridge->OnHostWrite) {
    bridge->OnHostWrite(std::string_view(static_cast<const char*>(buffer), to_write));
  }
  return SI_SUCCESS;
}

SiStatus SimLibrary::SI_FlushBuffers(SiHandle handle, std::uint8_t flush_transmit,
                                     std::uint8_t flush_receive) {
  SiStatus st;
  if (Injected(SiCall::FlushBuffers, &st)) return st;
  auto bridge = Lookup(handle);
  if (!bridge) return SI_INVALID_HANDLE;
  if (!bridge->plugged_) return SI_DEVICE_IO_FAILED;
  if (flush_receive) bridge->rx_.clear();
  (void)flush_transmit;
  ++bridge->flushes_;
  return SI_SUCCESS;
}

}  // namespace dova::bridge
