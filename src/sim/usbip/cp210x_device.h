#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "sim/usbip/usbip_wire.h"

namespace dova::sim::usbip {

// What a bridge tells the host about itself; the product ID, serial and power fields are
// the ones its configuration requests rewrite.
struct BridgeIdentity {
  std::uint16_t vendor_id = 0x10C4;
  std::uint16_t product_id = 0xEA61;
  std::uint16_t device_release = 0x0100;
  std::string manufacturer = "Silicon Labs";
  std::string product = "CP2102 USB to UART Bridge Controller";
  std::string serial;
  std::uint8_t part = 0x02;  // CP2102
  bool self_powered = false;
  std::uint8_t max_power = 50;  // 2 mA units

  bool operator==(const BridgeIdentity&) const = default;
};

// The UART side as the host set it, so a test can read back what a program asked for.
struct UartState {
  bool enabled = false;
  std::uint32_t baud = 9600;
  std::uint16_t line_ctl = 0x0800;  // 8 data bits, no parity, 1 stop bit
  bool dtr = false;
  bool rts = false;
  bool crtscts = false;
  bool break_on = false;
  std::array<std::uint8_t, 16> flow{};
  std::array<std::uint8_t, 6> chars{};
  std::uint16_t event_mask = 0;
  std::uint8_t escape = 0;  // event insertion: the escape character, 0 when off
  int purges = 0;

  // "enabled=1 baud=57600 line=0x0800 dtr=1 rts=1 crtscts=0 escape=0xec purges=1"
  std::string Describe() const;
};

// A CP2102 USB-to-UART bridge seen from its USB side: the standard requests and
// descriptors, the vendor requests of the serial interface (the kernel's cp210x driver)
// and the configuration requests that rewrite its identity. Bytes the host sends on the
// bulk OUT endpoint go to the incubator; the incubator's bytes complete the host's bulk IN
// transfers, which wait here until there is something to return or they are unlinked.
//
// A rewritten identity takes effect the way a real chip's does after a reset: from the
// next time the host reads the device descriptor while the device is configured (USB/IP
// does not pass a port reset to the device, so that read is how the reset shows), and at
// the next plug. The kernel then sees "device firmware changed" and enumerates it anew.
class SimulatedCp210x {
 public:
  static constexpr std::uint8_t kBulkIn = 0x81;
  static constexpr std::uint8_t kBulkOut = 0x01;
  static constexpr std::uint16_t kMaxPacket = 64;
  // The chip's receive buffer; more than this waiting for the host is lost.
  static constexpr std::size_t kRxBuffer = 4096;
  // The manufacturing items the configuration request writes and reads (wValue).
  static constexpr std::uint16_t kItemVendorId = 0x3701;
  static constexpr std::uint16_t kItemProductId = 0x3702;
  static constexpr std::uint16_t kItemProductString = 0x3703;
  static constexpr std::uint16_t kItemSerial = 0x3704;
  static constexpr std::uint16_t kItemPowerAttributes = 0x3705;
  static constexpr std::uint16_t kItemMaxPower = 0x3706;
  static constexpr std::uint16_t kItemDeviceRelease = 0x3707;
  static constexpr std::uint16_t kItemPartNumber = 0x370B;

  explicit SimulatedCp210x(BridgeIdentity identity);

  // A new connection to the host: unconfigured, UART off, nothing buffered. A rewritten
  // identity takes effect (a power cycle loads what was written).
  void Plug();
  // One message from the host; what goes back is appended to *out.
  void Handle(const Command& command, std::string* out);
  // Bytes from the incubator towards the host; replies to waiting IN transfers go to *out.
  void FromIncubator(std::string_view bytes, std::string* out);

  // Where the host's bulk OUT bytes go.
  void SetToIncubator(std::function<void(std::string_view)> sink) {
    to_incubator_ = std::move(sink);
  }
  // One line for each thing worth a trace (identity written, taken on, refused).
  void SetTrace(std::function<void(const std::string&)> trace) { trace_ = std::move(trace); }

  // Faults: every configuration write stalls; writes are taken but never take effect.
  void SetStallWrites(bool on) { stall_writes_ = on; }
  void SetKeepIdentity(bool on) { keep_identity_ = on; }

  const BridgeIdentity& Identity() const { return identity_; }
  const BridgeIdentity& Written() const { return written_; }
  const UartState& Uart() const { return uart_; }
  bool Configured() const { return configured_; }
  std::size_t InWaiting() const { return waiting_in_.size(); }
  std::size_t Buffered() const { return rx_.size(); }
  std::uint64_t Dropped() const { return dropped_; }
  // How often the host asked for the part number (the kernel's driver does twice per probe).
  int PartNumberReads() const { return part_number_reads_; }

 private:
  struct PendingIn {
    std::uint32_t seqnum;
    std::int32_t length;
  };
  // A control transfer's outcome: the status and, for IN, the data.
  struct Result {
    std::int32_t status = kStatusOk;
    std::string data;
  };
  static Result Stall();
  Result Control(const Command& c);
  Result Standard(const Command& c);
  Result Vendor(const Command& c);
  Result Configuration(const Command& c);
  std::string Descriptor(std::uint8_t type, std::uint8_t index);
  void TakeOnWritten();
  void ServeIn(std::string* out);
  void Trace(const std::string& line);

  BridgeIdentity identity_;
  BridgeIdentity written_;  // what the configuration requests wrote
  UartState uart_;
  bool configured_ = false;
  bool stall_writes_ = false;
  bool keep_identity_ = false;
  std::string rx_;  // towards the host, escaped as the host asked
  std::deque<PendingIn> waiting_in_;
  std::uint64_t dropped_ = 0;
  int part_number_reads_ = 0;
  std::function<void(std::string_view)> to_incubator_;
  std::function<void(const std::string&)> trace_;
};

}  // namespace dova::sim::usbip
