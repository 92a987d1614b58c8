#include "sim/usbip/cp210x_device.h"

#include <algorithm>
#include <cstdio>

namespace dova::sim::usbip {

namespace {

// Standard requests.
constexpr std::uint8_t kGetStatus = 0x00;
constexpr std::uint8_t kClearFeature = 0x01;
constexpr std::uint8_t kSetFeature = 0x03;
constexpr std::uint8_t kGetDescriptor = 0x06;
constexpr std::uint8_t kGetConfiguration = 0x08;
constexpr std::uint8_t kSetConfiguration = 0x09;
constexpr std::uint8_t kGetInterface = 0x0A;
constexpr std::uint8_t kSetInterface = 0x0B;

// The serial interface's vendor requests.
constexpr std::uint8_t kIfcEnable = 0x00;
constexpr std::uint8_t kSetBaudDiv = 0x01;
constexpr std::uint8_t kGetBaudDiv = 0x02;
constexpr std::uint8_t kSetLineCtl = 0x03;
constexpr std::uint8_t kGetLineCtl = 0x04;
constexpr std::uint8_t kSetBreak = 0x05;
constexpr std::uint8_t kImmChar = 0x06;
constexpr std::uint8_t kSetMhs = 0x07;
constexpr std::uint8_t kGetMdmSts = 0x08;
constexpr std::uint8_t kSetXon = 0x09;
constexpr std::uint8_t kSetXoff = 0x0A;
constexpr std::uint8_t kSetEventMask = 0x0B;
constexpr std::uint8_t kGetEventMask = 0x0C;
constexpr std::uint8_t kSetChar = 0x0D;
constexpr std::uint8_t kGetChars = 0x0E;
constexpr std::uint8_t kGetProps = 0x0F;
constexpr std::uint8_t kGetCommStatus = 0x10;
constexpr std::uint8_t kReset = 0x11;
constexpr std::uint8_t kPurge = 0x12;
constexpr std::uint8_t kSetFlow = 0x13;
constexpr std::uint8_t kGetFlow = 0x14;
constexpr std::uint8_t kEmbedEvents = 0x15;
constexpr std::uint8_t kGetEventState = 0x16;
constexpr std::uint8_t kSetChars = 0x19;
constexpr std::uint8_t kGetBaudRate = 0x1D;
constexpr std::uint8_t kSetBaudRate = 0x1E;
constexpr std::uint8_t kVendorSpecific = 0xFF;

constexpr std::uint32_t kBaudGenFrequency = 0x384000;
// Modem status bits (SET_MHS and GET_MDMSTS).
constexpr std::uint16_t kDtr = 0x0001;
constexpr std::uint16_t kRts = 0x0002;
constexpr std::uint8_t kCts = 0x10;
constexpr std::uint8_t kDsr = 0x20;
constexpr std::uint16_t kWriteDtr = 0x0100;
constexpr std::uint16_t kWriteRts = 0x0200;

std::string Le16(std::uint16_t v) {
  return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}
std::string Le32(std::uint32_t v) {
  return Le16(static_cast<std::uint16_t>(v & 0xFFFF)) + Le16(static_cast<std::uint16_t>(v >> 16));
}
std::uint32_t ReadLe32(std::string_view s, std::size_t at) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data() + at);
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::string StringDescriptor(std::string_view text) {
  std::string out;
  const std::size_t n = std::min<std::size_t>(text.size(), 126);
  out.push_back(static_cast<char>(2 + 2 * n));
  out.push_back(0x03);
  for (std::size_t i = 0; i < n; ++i) {
    out.push_back(text[i]);
    out.push_back('\0');
  }
  return out;
}

// A string descriptor as the configuration request carries it, back to text; none when
// it is not one (wrong length byte or type, odd size, a character beyond 8 bits).
bool DecodeStringDescriptor(std::string_view data, std::string* text) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  if (static_cast<unsigned char>(data[0]) != data.size() || data[1] != 0x03) return false;
  text->clear();
  for (std::size_t i = 2; i < data.size(); i += 2) {
    if (data[i + 1] != '\0' || data[i] == '\0') return false;
    text->push_back(data[i]);
  }
  return true;
}

std::string Hex(unsigned value, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*x", digits, value);
  return buf;
}

}  // namespace

std::string UartState::Describe() const {
  return "enabled=" + std::to_string(enabled) + " baud=" + std::to_string(baud) + " line=0x" +
         Hex(line_ctl, 4) + " dtr=" + std::to_string(dtr) + " rts=" + std::to_string(rts) +
         " crtscts=" + std::to_string(crtscts) + " escape=0x" + Hex(escape, 2) +
         " purges=" + std::to_string(purges);
}

SimulatedCp210x::SimulatedCp210x(BridgeIdentity identity)
    : identity_(std::move(identity)), written_(identity_) {}

void SimulatedCp210x::Trace(const std::string& line) {
  if (trace_) trace_(line);
}

void SimulatedCp210x::Plug() {
  TakeOnWritten();
  configured_ = false;
  uart_ = UartState{};
  rx_.clear();
  waiting_in_.clear();
}

void SimulatedCp210x::TakeOnWritten() {
  if (written_ == identity_) return;
  if (keep_identity_) {
    Trace("identity kept: product 0x" + Hex(identity_.product_id, 4) + ", serial " +
          identity_.serial);
    written_ = identity_;
    return;
  }
  identity_ = written_;
  Trace("new identity: product 0x" + Hex(identity_.product_id, 4) + ", serial " + identity_.serial);
}

void SimulatedCp210x::Handle(const Command& c, std::string* out) {
  if (c.command == kCmdUnlink) {
    // A transfer still waiting is taken back and answered here alone; one already answered
    // has nothing left to cancel.
    auto it = std::find_if(waiting_in_.begin(), waiting_in_.end(),
                           [&](const PendingIn& w) { return w.seqnum == c.unlink_seqnum; });
    if (it != waiting_in_.end()) {
      waiting_in_.erase(it);
      out->append(RetUnlink(c.seqnum, kStatusConnReset));
    } else {
      out->append(RetUnlink(c.seqnum, kStatusOk));
    }
    return;
  }
  if (c.ep == 0) {
    const Result r = Control(c);
    const bool in = c.RequestType() & 0x80;
    if (r.status != kStatusOk) {
      out->append(RetSubmit(c.seqnum, r.status, 0));
    } else if (in) {
      const std::size_t n = std::min<std::size_t>(
          r.data.size(),
          std::min<std::size_t>(c.SetupLength(), static_cast<std::size_t>(c.length)));
      out->append(
          RetSubmit(c.seqnum, kStatusOk, static_cast<std::int32_t>(n), r.data.substr(0, n)));
    } else {
      out->append(RetSubmit(c.seqnum, kStatusOk, static_cast<std::int32_t>(c.data.size())));
    }
    return;
  }
  if (!configured_ || c.ep != (kBulkOut & 0x0F)) {
    out->append(RetSubmit(c.seqnum, kStatusStall, 0));
    return;
  }
  if (c.direction == kDirOut) {
    // A disabled UART sends nothing on its line.
    if (uart_.enabled && to_incubator_ && !c.data.empty()) to_incubator_(c.data);
    out->append(RetSubmit(c.seqnum, kStatusOk, static_cast<std::int32_t>(c.data.size())));
    return;
  }
  waiting_in_.push_back({c.seqnum, c.length});
  ServeIn(out);
}

void SimulatedCp210x::FromIncubator(std::string_view bytes, std::string* out) {
  if (!uart_.enabled) return;  // nobody listens on a disabled UART
  for (char ch : bytes) {
    const std::size_t need =
        (uart_.escape && static_cast<std::uint8_t>(ch) == uart_.escape) ? 2 : 1;
    if (rx_.size() + need > kRxBuffer) {
      ++dropped_;
      continue;
    }
    rx_.push_back(ch);
    // With event insertion on, the escape character itself is sent as escape, 0.
    if (need == 2) rx_.push_back('\0');
  }
  ServeIn(out);
}

void SimulatedCp210x::ServeIn(std::string* out) {
  while (!rx_.empty() && !waiting_in_.empty()) {
    const PendingIn w = waiting_in_.front();
    waiting_in_.pop_front();
    const std::size_t n = std::min<std::size_t>(rx_.size(), static_cast<std::size_t>(w.length));
    out->append(RetSubmit(w.seqnum, kStatusOk, static_cast<std::int32_t>(n), rx_.substr(0, n)));
    rx_.erase(0, n);
  }
}

SimulatedCp210x::Result SimulatedCp210x::Stall() {
  Result r;
  r.status = kStatusStall;
  return r;
}

SimulatedCp210x::Result SimulatedCp210x::Control(const Command& c) {
  switch (c.RequestType() & 0x60) {
    case 0x00:
      return Standard(c);
    case 0x40:
      return Vendor(c);
    default:
      return Stall();
  }
}

std::string SimulatedCp210x::Descriptor(std::uint8_t type, std::uint8_t index) {
  const BridgeIdentity& id = identity_;
  switch (type) {
    case 1: {  // device
      std::string d = {18, 1, 0x00, 0x02, 0, 0, 0, static_cast<char>(kMaxPacket)};
      d += Le16(id.vendor_id) + Le16(id.product_id) + Le16(id.device_release);
      d += {1, 2, 3, 1};
      return d;
    }
    case 2: {  // configuration, its interface and two bulk endpoints
      const char attributes = static_cast<char>(id.self_powered ? 0xC0 : 0x80);
      std::string d = {9, 2, 32, 0, 1, 1, 0, attributes, static_cast<char>(id.max_power)};
      d += {9, 4, 0, 0, 2, static_cast<char>(0xFF), 0, 0, 2};
      d += {7, 5, static_cast<char>(kBulkIn), 2, static_cast<char>(kMaxPacket), 0, 0};
      d += {7, 5, static_cast<char>(kBulkOut), 2, static_cast<char>(kMaxPacket), 0, 0};
      return d;
    }
    case 3:
      switch (index) {
        case 0:
          return {4, 3, 0x09, 0x04};  // English (United States)
        case 1:
          return StringDescriptor(id.manufacturer);
        case 2:
          return StringDescriptor(id.product);
        case 3:
          return StringDescriptor(id.serial);
        default:
          return {};
      }
    default:
      return {};  // a full-speed device: no qualifier, no BOS
  }
}

SimulatedCp210x::Result SimulatedCp210x::Standard(const Command& c) {
  Result r;
  switch (c.Request()) {
    case kGetDescriptor: {
      const auto type = static_cast<std::uint8_t>(c.Value() >> 8);
      // The host reads the device descriptor of a configured device again only when it
      // has reset the port: the chip comes out of a reset with what was written.
      if (type == 1 && configured_ && written_ != identity_) {
        TakeOnWritten();
        configured_ = false;
      }
      r.data = Descriptor(type, static_cast<std::uint8_t>(c.Value() & 0xFF));
      if (r.data.empty()) return Stall();
      return r;
    }
    case kSetConfiguration:
      if (c.Value() > 1) return Stall();
      configured_ = c.Value() == 1;
      return r;
    case kGetConfiguration:
      r.data = std::string(1, configured_ ? 1 : 0);
      return r;
    case kGetStatus:
      r.data = Le16((c.RequestType() & 0x1F) == 0 && identity_.self_powered ? 1 : 0);
      return r;
    case kGetInterface:
      r.data = std::string(1, '\0');
      return r;
    case kSetInterface:
    case kClearFeature:
    case kSetFeature:
      return r;
    default:
      return Stall();
  }
}

SimulatedCp210x::Result SimulatedCp210x::Vendor(const Command& c) {
  Result r;
  const bool in = c.RequestType() & 0x80;
  const std::string& d = c.data;
  if (c.Request() == kVendorSpecific) return Configuration(c);
  // The serial interface's requests go to interface 0; the configuration requests above
  // are the only device-level ones.
  if ((c.RequestType() & 0x1F) != 1 || c.Index() != 0) return Stall();
  switch (c.Request()) {
    case kIfcEnable:
      uart_.enabled = c.Value() & 1;
      if (!uart_.enabled) {
        uart_.escape = 0;  // disabling the interface ends event insertion
        rx_.clear();
      }
      return r;
    case kSetBaudDiv:
      if (c.Value() == 0) return Stall();
      uart_.baud = kBaudGenFrequency / c.Value();
      return r;
    case kGetBaudDiv:
      r.data = Le16(
          static_cast<std::uint16_t>(kBaudGenFrequency / std::max<std::uint32_t>(uart_.baud, 1)));
      return r;
    case kSetLineCtl:
      uart_.line_ctl = c.Value();
      return r;
    case kGetLineCtl:
      r.data = Le16(uart_.line_ctl);
      return r;
    case kSetBreak:
      uart_.break_on = c.Value() & 1;
      return r;
    case kImmChar:
    case kSetXon:
    case kSetXoff:
    case kReset:
      return r;
    case kSetMhs:
      if (c.Value() & kWriteDtr) uart_.dtr = c.Value() & kDtr;
      if (c.Value() & kWriteRts) uart_.rts = c.Value() & kRts;
      return r;
    case kGetMdmSts:
      r.data = std::string(
          1, static_cast<char>((uart_.dtr ? kDtr : 0) | (uart_.rts ? kRts : 0) | kCts | kDsr));
      return r;
    case kSetEventMask:
      uart_.event_mask = c.Value();
      return r;
    case kGetEventMask:
      r.data = Le16(uart_.event_mask);
      return r;
    case kSetChar:
      if ((c.Value() & 0xFF) >= uart_.chars.size()) return Stall();
      uart_.chars[c.Value() & 0xFF] = static_cast<std::uint8_t>(c.Value() >> 8);
      return r;
    case kGetChars:
      r.data.assign(reinterpret_cast<const char*>(uart_.chars.data()), uart_.chars.size());
      return r;
    case kSetChars:
      if (in || d.size() != uart_.chars.size()) return Stall();
      std::copy(d.begin(), d.end(), uart_.chars.begin());
      return r;
    case kGetProps:
      r.data = Le16(66) + std::string(64, '\0');
      return r;
    case kGetCommStatus:
      // errors, hold reasons, bytes waiting for the host, bytes waiting to go out, flags
      r.data = Le32(0) + Le32(0) + Le32(static_cast<std::uint32_t>(rx_.size())) + Le32(0) +
               std::string(3, '\0');
      return r;
    case kPurge:
      ++uart_.purges;
      if (c.Value() & 0x0A) rx_.clear();  // bits 1 and 3: the receive side
      return r;
    case kSetFlow: {
      if (in || d.size() != uart_.flow.size()) return Stall();
      std::copy(d.begin(), d.end(), uart_.flow.begin());
      // The line states are part of the flow settings too: DTR in the handshake word's
      // low bits, RTS in bits 6-7 of the replace word (1 active, 0 inactive, 2 flow).
      const std::uint32_t handshake = ReadLe32(d, 0);
      const std::uint32_t replace = ReadLe32(d, 4);
      if ((handshake & 3) != 2) uart_.dtr = (handshake & 3) == 1;
      const std::uint32_t rts = (replace >> 6) & 3;
      uart_.crtscts = rts == 2 && (handshake & 0x08);
      if (rts != 2) uart_.rts = rts == 1;
      return r;
    }
    case kGetFlow:
      r.data.assign(reinterpret_cast<const char*>(uart_.flow.data()), uart_.flow.size());
      return r;
    case kEmbedEvents:
      uart_.escape = static_cast<std::uint8_t>(c.Value() & 0xFF);
      return r;
    case kGetEventState:
      r.data = Le16(0);
      return r;
    case kGetBaudRate:
      r.data = Le32(uart_.baud);
      return r;
    case kSetBaudRate:
      if (in || d.size() != 4 || ReadLe32(d, 0) == 0) return Stall();
      uart_.baud = ReadLe32(d, 0);
      return r;
    default:
      return Stall();
  }
}

SimulatedCp210x::Result SimulatedCp210x::Configuration(const Command& c) {
  Result r;
  const bool in = c.RequestType() & 0x80;
  if (in) {
    // The part number: one byte to the manufacturing library; a genuine chip answers a
    // two-byte request with two bytes (the kernel checks that to tell counterfeits).
    if (c.Value() != kItemPartNumber) return Stall();
    ++part_number_reads_;
    r.data = {static_cast<char>(identity_.part), 0x01};
    return r;
  }
  if (stall_writes_) {
    Trace("configuration write 0x" + Hex(c.Value(), 4) + " stalled");
    return Stall();
  }
  std::string text;
  switch (c.Value()) {
    case kItemVendorId:
      written_.vendor_id = c.Index();
      break;
    case kItemProductId:
      written_.product_id = c.Index();
      Trace("product id 0x" + Hex(c.Index(), 4) + " written");
      break;
    case kItemDeviceRelease:
      written_.device_release = c.Index();
      break;
    case kItemPowerAttributes:
      written_.self_powered = c.Index() & 0x40;
      break;
    case kItemMaxPower:
      written_.max_power = static_cast<std::uint8_t>(c.Index());
      break;
    case kItemSerial:
    case kItemProductString:
      if (!DecodeStringDescriptor(c.data, &text) || text.size() > 63) {
        Trace("configuration write 0x" + Hex(c.Value(), 4) + " refused: not a string descriptor");
        return Stall();
      }
      if (c.Value() == kItemSerial) {
        written_.serial = text;
        Trace("serial " + text + " written");
      } else {
        written_.product = text;
      }
      break;
    default:
      return Stall();
  }
  return r;
}

}  // namespace dova::sim::usbip
