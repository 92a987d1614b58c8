#include "platform/manufacturing/sim/sim_cp210x.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace dova::manufacturing {

SimCP210xLibrary::SimCP210xLibrary(SimSerialPorts& ports, bridge::SimLibrary& usbx)
    : ports_(ports), usbx_(usbx) {}

SimCP210xLibrary::~SimCP210xLibrary() = default;

std::shared_ptr<SimCP210xBridge> SimCP210xLibrary::AddBridge(const std::string& serial,
                                                             std::uint16_t product_id,
                                                             std::uint8_t part) {
  auto b = std::make_shared<SimCP210xBridge>();
  b->Serial = serial;
  b->PendingSerial = serial;
  b->ProductId = b->PendingProductId = product_id;
  b->PartNumber = part;
  if (product_id == 0xEA60) {
    b->TtyPath = "/dev/ttyUSB" + std::to_string(next_tty_++);
    b->Tty = ports_.AddDevice(b->TtyPath);
  }
  bridges_.push_back(b);
  return b;
}

void SimCP210xLibrary::FailNext(CP210xCall call, int times, CP210x_STATUS status) {
  faults_[call] = {times, status};
}

int SimCP210xLibrary::CallCount(CP210xCall call) const {
  auto it = calls_.find(call);
  return it == calls_.end() ? 0 : it->second;
}

bool SimCP210xLibrary::Injected(CP210xCall call, CP210x_STATUS* status) {
  ++calls_[call];
  auto it = faults_.find(call);
  if (it == faults_.end() || it->second.first <= 0) return false;
  --it->second.first;
  *status = it->second.second;
  return true;
}

SimCP210xBridge* SimCP210xLibrary::Lookup(CP210x_HANDLE handle) const {
  auto it = handles_.find(handle);
  return it == handles_.end() ? nullptr : it->second.get();
}

std::vector<SerialBridgePort> SimCP210xLibrary::BridgePorts() {
  std::vector<SerialBridgePort> out;
  for (const auto& b : bridges_) {
    if (b->ProductId == 0xEA60 && b->Tty && !b->Serial.empty()) {
      out.push_back({b->TtyPath, b->Serial, b->TtyAccessDenied});
    }
  }
  return out;
}

CP210x_STATUS SimCP210xLibrary::CP210x_GetNumDevices(std::uint32_t* count) {
  CP210x_STATUS st;
  if (Injected(CP210xCall::GetNumDevices, &st)) return st;
  // Every bridge, whatever its product ID, so the converter's own check of the ID is
  // exercised.
  *count = static_cast<std::uint32_t>(bridges_.size());
  return CP210x_SUCCESS;
}

CP210x_STATUS SimCP210xLibrary::CP210x_GetProductString(std::uint32_t device, char* buffer,
                                                        std::uint8_t option) {
  CP210x_STATUS st;
  if (Injected(CP210xCall::GetProductString, &st)) return st;
  if (device >= bridges_.size()) return CP210x_DEVICE_NOT_FOUND;
  const SimCP210xBridge& b = *bridges_[device];
  std::string text;
  switch (option) {
    case CP210x_RETURN_SERIAL_NUMBER:
      text = b.Serial;
      break;
    case CP210x_RETURN_DESCRIPTION:
      text = "CP2102 USB to UART Bridge Controller";
      break;
    case CP210x_RETURN_FULL_PATH: {
      char ids[32];
      std::snprintf(ids, sizeof ids, "vid_%04x&pid_%04x", 0x10C4, b.ProductId);
      text = "usb#sim-" + std::to_string(device + 1) + "#" + ids + "#" + b.Serial;
      break;
    }
    default:
      return CP210x_INVALID_PARAMETER;
  }
  const std::size_t n = std::min<std::size_t>(text.size(), CP210x_MAX_DEVICE_STRLEN - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return CP210x_SUCCESS;
}

CP210x_STATUS SimCP210xLibrary::CP210x_Open(std::uint32_t device, CP210x_HANDLE* handle) {
  CP210x_STATUS st;
  if (Injected(CP210xCall::Open, &st)) return st;
  if (device >= bridges_.size()) return CP210x_DEVICE_NOT_FOUND;
  if (bridges_[device]->AccessDenied) return CP210x_ACCESS_DENIED;
  *handle = next_handle_++;
  handles_[*handle] = bridges_[device];
  return CP210x_SUCCESS;
}

CP210x_STATUS SimCP210xLibrary::CP210x_Close(CP210x_HANDLE handle) {
  return handles_.erase(handle) ? CP210x_SUCCESS : CP210x_INVALID_HANDLE;
}

CP210x_STATUS SimCP210xLibrary::CP210x_GetPartNumber(CP210x_HANDLE handle, std::uint8_t* part) {
  CP210x_STATUS st;
  if (Injected(CP210xCall::GetPartNumber, &st)) return st;
  SimCP210xBridge* b = Lookup(handle);
  if (!b) return CP210x_INVALID_HANDLE;
  *part = b->PartNumber;
  return CP210x_SUCCESS;
}

CP210x_STATUS SimCP210xLibrary::CP210x_GetDevicePid(CP210x_HANDLE handle, std::uint16_t* pid) {
  CP210x_STATUS st;
  if (Injected(CP210xCall::GetDevicePid, &st)) return st;
  SimCP210xBridge* b = Lookup(handle);
  if (!b) return CP210x_INVALID_HANDLE;
  *pid = b->ProductId;
  return CP210x_SUCCESS;
}

CP210x_STATUS SimCP210xLibrary::CP210x_SetPid(CP210x_HANDLE handle, std::uint16_t pid) {
  SimCP210xBridge* b = Lookup(handle);
  if (!b) return CP210x_INVALID_HANDLE;
  ++b->Writes;
  CP210x_STATUS st;
  if (Injected(CP210xCall::SetPid, &st)) return st;
  if (b->KeepsIdentity) return CP210x_SUCCESS;
  b->PendingProductId = pid;
  return CP210x_SUCCESS;
}

CP210x_STATUS SimCP210xLibrary::CP210x_SetSerialNumber(CP210x_HANDLE handle, const void* serial,
                                                       std::uint8_t length, bool is_string_ascii) {
  SimCP210xBridge* b = Lookup(handle);
  if (!b) return CP210x_INVALID_HANDLE;
  ++b->Writes;
  CP210x_STATUS st;
  if (Injected(CP210xCall::SetSerialNumber, &st)) return st;
  if (b->KeepsIdentity) return CP210x_SUCCESS;
  if (!serial || length < 1 || length > CP210x_MAX_SERIAL_STRLEN) return CP210x_INVALID_PARAMETER;
  const auto* in = static_cast<const char*>(serial);
  if (is_string_ascii) {
    b->PendingSerial.assign(in, length);
  } else {
    b->PendingSerial.clear();
    for (std::size_t i = 0; i < length; ++i)
      b->PendingSerial += in[2 * i];
  }
  return CP210x_SUCCESS;
}

CP210x_STATUS SimCP210xLibrary::CP210x_SetSelfPower(CP210x_HANDLE handle, bool self_power) {
  SimCP210xBridge* b = Lookup(handle);
  if (!b) return CP210x_INVALID_HANDLE;
  ++b->Writes;
  CP210x_STATUS st;
  if (Injected(CP210xCall::SetSelfPower, &st)) return st;
  if (b->KeepsIdentity) return CP210x_SUCCESS;
  b->SelfPowered = self_power;
  return CP210x_SUCCESS;
}

CP210x_STATUS SimCP210xLibrary::CP210x_SetMaxPower(CP210x_HANDLE handle, std::uint8_t power) {
  SimCP210xBridge* b = Lookup(handle);
  if (!b) return CP210x_INVALID_HANDLE;
  ++b->Writes;
  CP210x_STATUS st;
  if (Injected(CP210xCall::SetMaxPower, &st)) return st;
  if (b->KeepsIdentity) return CP210x_SUCCESS;
  if (power > 250) return CP210x_INVALID_PARAMETER;
  b->MaxPower = power;
  return CP210x_SUCCESS;
}

CP210x_STATUS SimCP210xLibrary::CP210x_Reset(CP210x_HANDLE handle) {
  SimCP210xBridge* b = Lookup(handle);
  if (!b) return CP210x_INVALID_HANDLE;
  CP210x_STATUS st;
  if (Injected(CP210xCall::Reset, &st)) return st;
  ++b->Resets;
  const bool new_identity = b->PendingProductId != b->ProductId || b->PendingSerial != b->Serial;
  if (!new_identity) return CP210x_SUCCESS;
  const std::uint16_t old_pid = b->ProductId;
  b->ProductId = b->PendingProductId;
  b->Serial = b->PendingSerial;
  if (old_pid == 0xEA60 && b->ProductId != 0xEA60 && b->Tty) {
    ports_.RemoveDevice(b->TtyPath);
  }
  if (b->ProductId == 0xEA61 && !b->Usbx) {
    std::string lower = b->Serial;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    b->Usbx = usbx_.AddBridge(lower);
  }
  if (OnReenumerated) OnReenumerated(*b);
  // The device the handle pointed at is gone: it came back as another one.
  return old_pid != b->ProductId ? CP210x_DEVICE_NOT_FOUND : CP210x_SUCCESS;
}

}  // namespace dova::manufacturing
