#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

#include "platform/exception.h"

namespace dova {

// Failures of a serial port. Messages that carry the system's error code and text are
// filled by the port implementation.
class EVaCommError : public Exception {
 public:
  using Exception::Exception;
};

enum class TVaBaudrate : std::uint8_t {
  brUser,
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200,
  br128000,
  br256000,
};

// Fills a message pattern: each "%d" or "%s" takes the next argument, in order.
std::string FormatCommMessage(const std::string& pattern, std::initializer_list<std::string> args);

// The rate in baud of a fixed Baudrate value; 0 for brUser.
std::uint32_t BaudrateValue(TVaBaudrate rate);

enum class TVaParity : std::uint8_t { paNone, paOdd, paEven, paMark, paSpace };
enum class TVaDatabits : std::uint8_t { db4, db5, db6, db7, db8 };
enum class TVaStopbits : std::uint8_t { sb1, sb15, sb2 };

enum class TVaControlDtr : std::uint8_t { dtrDisabled, dtrEnabled, dtrHandshake };
enum class TVaControlRts : std::uint8_t { rtsDisabled, rtsEnabled, rtsHandshake, rtsToggle };

struct TVaFlowControl {
  bool OutCtsFlow = false;
  bool OutDsrFlow = false;
  TVaControlDtr ControlDtr = TVaControlDtr::dtrDisabled;
  TVaControlRts ControlRts = TVaControlRts::rtsDisabled;
  bool XonXoffOut = false;
  bool XonXoffIn = false;
  bool DsrSensitivity = false;
};

// The levels a port drives its DTR and RTS outputs to while it is open (true = raised).
struct TVaControlLines {
  bool Dtr = false;
  bool Rts = false;
  constexpr bool operator==(const TVaControlLines&) const = default;
};

// What FlowControl asks of the two outputs. Disabled lines are held low, so opening a port
// with the defaults never raises them (boards that reset on DTR stay untouched). Enabled and
// handshake lines are raised (under handshake the driver lowers RTS when its input is full);
// RTS in toggle mode rests low. A port drops its lines on closing only when it raised one.
TVaControlLines ControlLineLevels(const TVaFlowControl& flow);

struct TVaEventChars {
  std::uint8_t XonChar = 17;
  std::uint8_t XoffChar = 19;
  std::uint8_t ErrorChar = 0;
  std::uint8_t EventChar = 0;
};

struct TVaBuffers {
  std::uint32_t ReadSize = 4096;
  std::uint32_t WriteSize = 2048;
  std::uint32_t ReadTimeout = 1000;   // ms
  std::uint32_t WriteTimeout = 1000;  // ms
  std::uint32_t XonLimit = 1024;
  std::uint32_t XoffLimit = 1024;
};

// Communication events a port can report; the values are the event bits of the
// communication API the class was first written for, kept so masks compare alike.
enum class TVaCommEvent : std::uint16_t {
  ceBreak = 0x40,
  ceCts = 0x8,
  ceDsr = 0x10,
  ceError = 0x80,
  ceRing = 0x100,
  ceRlsd = 0x20,
  ceRxChar = 0x1,
  ceTxEmpty = 0x4,
  ceRxFlag = 0x2,
  cePErr = 0x200,
  ceRx80Full = 0x400,
  ceEvent1 = 0x800,
  ceEvent2 = 0x1000,
};

// A set of TVaCommEvent values, kept as the union of their bits.
class TVaCommEvents {
 public:
  constexpr TVaCommEvents() = default;
  constexpr TVaCommEvents(std::initializer_list<TVaCommEvent> events) {
    for (auto e : events)
      bits_ |= static_cast<std::uint16_t>(e);
  }
  constexpr bool Contains(TVaCommEvent e) const {
    return (bits_ & static_cast<std::uint16_t>(e)) != 0;
  }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr TVaCommEvents Without(TVaCommEvent e) const {
    TVaCommEvents out = *this;
    out.bits_ &= static_cast<std::uint16_t>(~static_cast<std::uint16_t>(e));
    return out;
  }
  constexpr std::uint16_t Bits() const { return bits_; }
  constexpr bool operator==(const TVaCommEvents&) const = default;

 private:
  std::uint16_t bits_ = 0;
};

// A serial port as the driver converter uses it: open a device by name, discard old
// input, write a short command, hear (on the user-interface thread) that the event
// character has arrived, take what was received, close. The properties live here; each
// platform (and the simulator) supplies the device operations. Standard C++ types only.
class TVaCustomComm {
 public:
  using TNotifyEvent = std::function<void(TVaCustomComm& Sender)>;

  TVaCustomComm() = default;
  virtual ~TVaCustomComm() = default;
  TVaCustomComm(const TVaCustomComm&) = delete;
  TVaCustomComm& operator=(const TVaCustomComm&) = delete;

  // "Open" means the device handle is valid.
  virtual bool Active() const = 0;

  // A format pattern: "%d" stands for PortNum. A device path without "%d" is used as it is.
  const std::string& DeviceName() const { return device_name_; }
  void SetDeviceName(const std::string& name);
  int PortNum() const { return port_num_; }
  void SetPortNum(int num) { port_num_ = num; }
  // The name Open uses: DeviceName with PortNum put in.
  std::string FileName() const;

  TVaBaudrate Baudrate() const { return baudrate_; }
  // Rewrites the line settings at once when the port is open.
  void SetBaudrate(TVaBaudrate rate);
  // The rate used for brUser.
  std::uint32_t UserBaudrate() const { return user_baudrate_; }
  void SetUserBaudrate(std::uint32_t baud);
  TVaParity Parity() const { return parity_; }
  void SetParity(TVaParity parity) { parity_ = parity; }
  TVaDatabits Databits() const { return databits_; }
  void SetDatabits(TVaDatabits bits) { databits_ = bits; }
  TVaStopbits Stopbits() const { return stopbits_; }
  void SetStopbits(TVaStopbits bits) { stopbits_ = bits; }
  const TVaFlowControl& FlowControl() const { return flow_control_; }
  void SetFlowControl(const TVaFlowControl& flow) { flow_control_ = flow; }
  const TVaEventChars& EventChars() const { return event_chars_; }
  void SetEventChars(const TVaEventChars& chars) { event_chars_ = chars; }
  TVaCommEvents MonitorEvents() const { return monitor_events_; }
  void SetMonitorEvents(TVaCommEvents events);
  const TVaBuffers& Buffers() const { return buffers_; }
  void SetBuffers(const TVaBuffers& buffers) { buffers_ = buffers; }
  bool DirectWrite() const { return direct_write_; }
  void SetDirectWrite(bool direct);
  bool UpdateDCB() const { return update_dcb_; }
  void SetUpdateDCB(bool update) { update_dcb_ = update; }

  // Called on the user-interface thread when the event character has been received.
  void SetOnRxFlag(TNotifyEvent handler) { on_rx_flag_ = std::move(handler); }
  void SetOnOpen(TNotifyEvent handler) { on_open_ = std::move(handler); }
  void SetOnClose(TNotifyEvent handler) { on_close_ = std::move(handler); }

  // Raises EVaCommError on failure and leaves the port closed.
  virtual void Open() = 0;
  // Does nothing when closed.
  virtual void Close() = 0;
  // Discards what the driver has received; nothing when closed.
  virtual void ClearInput() = 0;
  // True when every byte was written within the write time-out; false when closed.
  virtual bool WriteString(const std::string& bytes) = 0;
  // Bytes waiting; 0 when closed.
  virtual int InputCount() = 0;
  // Everything waiting, empty when nothing is (no read is started then).
  virtual std::string ReadAvailable() = 0;

  // The event mask the device is given: MonitorEvents, without the transmit-empty event
  // unless writes are direct.
  TVaCommEvents EffectiveEventMask() const;

 protected:
  // Raises "Can't perform this operation while port is open" when open.
  void CheckClosed() const;
  // Applies Baudrate to an open port.
  virtual void ApplyLineSettings() = 0;

  const TNotifyEvent& OnRxFlag() const { return on_rx_flag_; }
  const TNotifyEvent& OnOpen() const { return on_open_; }
  const TNotifyEvent& OnClose() const { return on_close_; }

 private:
  std::string device_name_ = "COM%d";
  int port_num_ = 0;
  TVaBaudrate baudrate_ = TVaBaudrate::br1200;
  std::uint32_t user_baudrate_ = 0;
  TVaParity parity_ = TVaParity::paNone;
  TVaDatabits databits_ = TVaDatabits::db8;
  TVaStopbits stopbits_ = TVaStopbits::sb1;
  TVaFlowControl flow_control_;
  TVaEventChars event_chars_;
  TVaCommEvents monitor_events_{TVaCommEvent::ceError, TVaCommEvent::ceRxChar,
                                TVaCommEvent::ceTxEmpty};
  TVaBuffers buffers_;
  bool direct_write_ = false;
  bool update_dcb_ = true;
  TNotifyEvent on_rx_flag_;
  TNotifyEvent on_open_;
  TNotifyEvent on_close_;
};

}  // namespace dova
