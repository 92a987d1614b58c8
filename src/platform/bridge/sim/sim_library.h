#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bridge/si_library.h"

namespace dova::bridge {

// The calls of the bridge driver library, for fault injection.
enum class SiCall {
  SetTimeouts,
  GetNumDevices,
  GetProductString,
  Open,
  Close,
  SetBaudRate,
  CheckRXQueue,
  Read,
  Write,
  FlushBuffers,
};

// One simulated bridge as seen from the device side: the device puts bytes into the
// receive queue with SendToHost and gets what the host writes through OnHostWrite.
class SimBridge {
 public:
  explicit SimBridge(std::string serial) : serial_(std::move(serial)) {}

  const std::string& Serial() const { return serial_; }
  void SetSerial(std::string serial) { serial_ = std::move(serial); }

  // Bytes from the device towards the host. Dropped while nobody holds the device open
  // or the bridge is unplugged, as the bridge's UART would.
  void SendToHost(std::string_view bytes);
  // Called with the bytes of every successful host write.
  std::function<void(std::string_view)> OnHostWrite;

  // The next receive queue check reports an overrun (once).
  void TriggerOverrun() { overrun_ = true; }
  // The bridge is gone: it leaves the library's list and every call on its handle fails.
  void Unplug() { plugged_ = false; }
  bool Plugged() const { return plugged_; }
  bool IsOpen() const { return open_; }
  std::uint32_t BaudRate() const { return baud_; }
  std::size_t QueuedBytes() const { return rx_.size(); }
  // How often the host flushed the buffers (both directions) since creation.
  int FlushCount() const { return flushes_; }

 private:
  friend class SimLibrary;
  std::string serial_;
  std::string rx_;
  bool overrun_ = false;
  bool plugged_ = true;
  bool open_ = false;
  std::uint32_t baud_ = 0;
  int flushes_ = 0;
};

// An in-process bridge driver library over simulated bridges, for --simulate and tests.
class SimLibrary : public SiLibrary {
 public:
  SimLibrary();
  ~SimLibrary() override;

  // Plugs in a new bridge; it takes the next device number.
  std::shared_ptr<SimBridge> AddBridge(const std::string& serial);
  // The plugged-in bridges in device-number order.
  std::vector<std::shared_ptr<SimBridge>> Bridges() const;

  // The next `times` calls of that kind fail with `status` (after checking arguments).
  void FailNext(SiCall call, int times = 1, SiStatus status = SI_DEVICE_IO_FAILED);
  // Count of calls made, per kind.
  int CallCount(SiCall call) const;
  // Arguments of the last calls, for tests.
  std::uint32_t ReadTimeout() const { return read_timeout_; }
  std::uint32_t WriteTimeout() const { return write_timeout_; }
  std::uint32_t LastWriteLength() const { return last_write_length_; }
  const void* LastWriteBuffer() const { return last_write_buffer_; }

  SiStatus SI_SetTimeouts(std::uint32_t read_timeout_ms, std::uint32_t write_timeout_ms) override;
  SiStatus SI_GetNumDevices(std::uint32_t* count) override;
  SiStatus SI_GetProductString(std::uint32_t device, char* buffer, std::uint32_t option) override;
  SiStatus SI_Open(std::uint32_t device, SiHandle* handle) override;
  SiStatus SI_Close(SiHandle handle) override;
  SiStatus SI_SetBaudRate(SiHandle handle, std::uint32_t baud) override;
  SiStatus SI_CheckRXQueue(SiHandle handle, std::uint32_t* count, std::uint32_t* status) override;
  SiStatus SI_Read(SiHandle handle, void* buffer, std::uint32_t to_read,
                   std::uint32_t* bytes_read) override;
  SiStatus SI_Write(SiHandle handle, const void* buffer, std::uint32_t to_write,
                    std::uint32_t* bytes_written) override;
  SiStatus SI_FlushBuffers(SiHandle handle, std::uint8_t flush_transmit,
                           std::uint8_t flush_receive) override;

 private:
  bool Injected(SiCall call, SiStatus* status);
  std::shared_ptr<SimBridge> Lookup(SiHandle handle) const;
  std::vector<std::shared_ptr<SimBridge>> Plugged() const;

  struct Fault {
    int times = 0;
    SiStatus status = SI_SUCCESS;
  };
  std::vector<std::shared_ptr<SimBridge>> bridges_;
  std::map<SiHandle, std::shared_ptr<SimBridge>> handles_;
  std::map<SiCall, Fault> faults_;
  std::map<SiCall, int> calls_;
  SiHandle next_handle_ = 1;
  std::uint32_t read_timeout_ = 0;
  std::uint32_t write_timeout_ = 0;
  std::uint32_t last_write_length_ = 0;
  const void* last_write_buffer_ = nullptr;
};

}  // namespace dova::bridge
