#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/bridge/sim/sim_library.h"
#include "platform/manufacturing/cp210x_library.h"
#include "platform/serial/port_map.h"
#include "platform/serial/sim/sim_serial.h"

namespace dova::manufacturing {

// The calls of the manufacturing library, for fault injection.
enum class CP210xCall {
  GetNumDevices,
  GetProductString,
  Open,
  GetDevicePid,
  GetPartNumber,
  SetSelfPower,
  SetMaxPower,
  SetSerialNumber,
  SetPid,
  Reset
};

// One simulated CP210x bridge. With product ID 0xEA60 it shows up as a serial port (its
// Tty); after a reset with product ID 0xEA61 it shows up in the simulated bridge driver
// library instead (Usbx), with its serial number in lower case, as the Linux bridge
// library reports it.
struct SimCP210xBridge {
  std::string Serial;
  std::uint16_t ProductId = 0xEA60;
  std::uint8_t PartNumber = CP210x_CP2102_VERSION;
  bool SelfPowered = false;
  std::uint8_t MaxPower = 50;  // 2 mA units
  // Written but not yet in effect: the bridge takes them on at its next reset.
  std::string PendingSerial;
  std::uint16_t PendingProductId = 0xEA60;
  int Resets = 0;
  // Faults of this bridge: it takes every write but keeps what it had (its reset brings
  // back the old identity), or the user may not open its USB device.
  bool KeepsIdentity = false;
  bool AccessDenied = false;
  // The user may not open its serial port either.
  bool TtyAccessDenied = false;
  // Configuration writes it has been sent (successful or not).
  int Writes = 0;
  std::string TtyPath;
  std::shared_ptr<SimSerialDevice> Tty;
  std::shared_ptr<bridge::SimBridge> Usbx;
};

// The manufacturing library over simulated bridges, and the serial-port device map that
// lists those still on the serial-port driver.
class SimCP210xLibrary : public CP210xLibrary, public SerialPortMap {
 public:
  SimCP210xLibrary(SimSerialPorts& ports, bridge::SimLibrary& usbx);
  ~SimCP210xLibrary() override;

  // Plugs in a bridge. One with product ID 0xEA60 gets a serial port "/dev/ttyUSB<n>".
  std::shared_ptr<SimCP210xBridge> AddBridge(const std::string& serial,
                                             std::uint16_t product_id = 0xEA60,
                                             std::uint8_t part = CP210x_CP2102_VERSION);
  const std::vector<std::shared_ptr<SimCP210xBridge>>& Bridges() const { return bridges_; }
  // Called after a bridge came back from a reset with a new identity.
  std::function<void(SimCP210xBridge&)> OnReenumerated;

  // The next `times` calls of that kind fail with `status`.
  void FailNext(CP210xCall call, int times = 1, CP210x_STATUS status = CP210x_DEVICE_IO_FAILED);
  int CallCount(CP210xCall call) const;

  std::vector<SerialBridgePort> BridgePorts() override;

  CP210x_STATUS CP210x_GetNumDevices(std::uint32_t* count) override;
  CP210x_STATUS CP210x_GetProductString(std::uint32_t device, char* buffer,
                                        std::uint8_t option) override;
  CP210x_STATUS CP210x_Open(std::uint32_t device, CP210x_HANDLE* handle) override;
  CP210x_STATUS CP210x_Close(CP210x_HANDLE handle) override;
  CP210x_STATUS CP210x_GetPartNumber(CP210x_HANDLE handle, std::uint8_t* part) override;
  CP210x_STATUS CP210x_GetDevicePid(CP210x_HANDLE handle, std::uint16_t* pid) override;
  CP210x_STATUS CP210x_SetPid(CP210x_HANDLE handle, std::uint16_t pid) override;
  CP210x_STATUS CP210x_SetSerialNumber(CP210x_HANDLE handle, const void* serial,
                                       std::uint8_t length, bool is_string_ascii) override;
  CP210x_STATUS CP210x_SetSelfPower(CP210x_HANDLE handle, bool self_power) override;
  CP210x_STATUS CP210x_SetMaxPower(CP210x_HANDLE handle, std::uint8_t power) override;
  CP210x_STATUS CP210x_Reset(CP210x_HANDLE handle) override;

 private:
  bool Injected(CP210xCall call, CP210x_STATUS* status);
  SimCP210xBridge* Lookup(CP210x_HANDLE handle) const;

  SimSerialPorts& ports_;
  bridge::SimLibrary& usbx_;
  std::vector<std::shared_ptr<SimCP210xBridge>> bridges_;
  std::map<CP210x_HANDLE, std::shared_ptr<SimCP210xBridge>> handles_;
  std::map<CP210xCall, std::pair<int, CP210x_STATUS>> faults_;
  std::map<CP210xCall, int> calls_;
  CP210x_HANDLE next_handle_ = 1;
  int next_tty_ = 0;
};

}  // namespace dova::manufacturing
