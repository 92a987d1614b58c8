#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/scheduler.h"
#include "platform/serial/va_comm.h"
#include "platform/timer.h"

namespace dova {

class SimComm;

// One simulated serial device as seen from the device side: it puts bytes towards the
// host with SendToHost and hears what the host writes through OnHostWrite.
class SimSerialDevice {
 public:
  explicit SimSerialDevice(std::string path) : path_(std::move(path)) {}

  const std::string& Path() const { return path_; }
  // Bytes towards the host; dropped while no port has the device open, like a UART's.
  void SendToHost(std::string_view bytes);
  // Called with the bytes of every host write.
  std::function<void(std::string_view)> OnHostWrite;

  bool IsOpen() const { return host_ != nullptr; }
  // How often a host opened the device since it was created.
  int OpenCount() const { return open_count_; }
  // The next host write fails with this error code (once), as a broken line would.
  void FailNextWrite(int code) { fail_write_ = code; }

  // The host's DTR and RTS outputs as the device sees them, and every change of them since
  // the device was created ("DTR high", "RTS low", ...), so a test can tell a held line
  // from a pulse.
  bool Dtr() const { return lines_.Dtr; }
  bool Rts() const { return lines_.Rts; }
  const std::vector<std::string>& LineChanges() const { return line_changes_; }

 private:
  friend class SimComm;
  void SetLines(TVaControlLines lines);

  std::string path_;
  SimComm* host_ = nullptr;
  int open_count_ = 0;
  int fail_write_ = 0;
  TVaControlLines lines_;
  std::vector<std::string> line_changes_;
};

// The simulated device paths: what a SimComm can open.
class SimSerialPorts {
 public:
  std::shared_ptr<SimSerialDevice> AddDevice(const std::string& path);
  // The device disappears; a port that has it open keeps it until it closes.
  void RemoveDevice(const std::string& path);
  std::shared_ptr<SimSerialDevice> Find(const std::string& path) const;

 private:
  std::map<std::string, std::shared_ptr<SimSerialDevice>> devices_;
};

// A serial port over SimSerialDevices, on the scheduler's thread. The event character's
// arrival is reported by a one-shot timer (1 ms, the driver's latency), so several event
// characters that arrive before it fires give one notification. Closing delivers a
// notification still due; the pause after closing is not taken on virtual time. The DTR and
// RTS outputs follow FlowControl from open to close as on a real port (no pulse at open;
// dropped at close only if one was raised).
class SimComm : public TVaCustomComm {
 public:
  SimComm(Scheduler& scheduler, SimSerialPorts& ports);
  ~SimComm() override;

  bool Active() const override { return device_ != nullptr; }
  void Open() override;
  void Close() override;
  void ClearInput() override;
  bool WriteString(const std::string& bytes) override;
  int InputCount() override;
  std::string ReadAvailable() override;

  int OpenCount() const { return open_count_; }

 protected:
  void ApplyLineSettings() override {}

 private:
  friend class SimSerialDevice;
  void Receive(std::string_view bytes);
  void Dispatch();
  void Shut(bool notify);

  Scheduler& scheduler_;
  SimSerialPorts& ports_;
  std::shared_ptr<SimSerialDevice> device_;
  std::string rx_;
  Timer event_timer_;
  int open_count_ = 0;
};

}  // namespace dova
