#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "platform/bridge/si_library.h"
#include "platform/exception.h"
#include "platform/scheduler.h"
#include "platform/timer.h"
#include "usb/usbxpress.h"

namespace dova {

// Failures while looking at the attached bridges.
class TUSBXpressEnumExcept : public Exception {
 public:
  using Exception::Exception;
};

// Finds incubators: on a timer it looks through the bridges the driver library lists,
// opens the first one whose serial begins with SerialPrefix and that nobody holds, and
// reports it through OnNewPort as a new TUSBXpress. One device per tick at most.
// It owns every TUSBXpress it makes; users hold plain references and only close them.
// A closed port is freed at the start of the next scan, unless a call from it is still
// under way (its line handler runs, or OnNewPort is still reporting it, in a modal wait
// for instance): then at the first scan after that call has ended. So unplugging and
// plugging an incubator again and again leaves no port objects behind.
class TUSBXpressEnumerator {
 public:
  using TNotifyHandle =
      std::function<void(TUSBXpressEnumerator& Sender, TUSBXpress& Port, const QString& Serial)>;
  using TNotify = std::function<void(TUSBXpressEnumerator& Sender)>;

  // Sets the library's read and write time-outs (1000 ms each) for every device.
  TUSBXpressEnumerator(Scheduler& scheduler, bridge::SiLibrary& library);
  ~TUSBXpressEnumerator();
  TUSBXpressEnumerator(const TUSBXpressEnumerator&) = delete;
  TUSBXpressEnumerator& operator=(const TUSBXpressEnumerator&) = delete;

  // A matching device was opened: the port has its reader off and no OnLine yet. If the
  // handler raises, that port is closed (whatever the handler did meanwhile, other scans
  // from a modal wait included) and its device is offered again on the next tick.
  TNotifyHandle OnNewPort;
  // A scan saw devices but opened none; scanning then stops until re-enabled.
  TNotify OnScanDone;
  // A matching device that the user may not open (no udev rule, or not at the seat). Once
  // per device while it stays plugged in.
  std::function<void(TUSBXpressEnumerator& Sender, const QString& Serial)> OnAccessDenied;

  // The owner has set the properties: scanning starts (ScanTimer runs Scan every
  // SearchInterval ms while SearchEnabled).
  void Loaded();

  bool SearchEnabled() const { return search_enabled_; }
  void SetSearchEnabled(bool value);
  std::uint32_t SearchInterval() const { return search_interval_; }
  void SetSearchInterval(std::uint32_t value);
  std::uint32_t SlowSearchInterval() const { return slow_search_interval_; }
  void SetSlowSearchInterval(std::uint32_t value) { slow_search_interval_ = value; }
  std::uint32_t BaudRate() const { return baud_rate_; }
  void SetBaudRate(std::uint32_t value) { baud_rate_ = value; }
  std::uint32_t ReadInterval() const { return read_interval_; }
  void SetReadInterval(std::uint32_t value) { read_interval_ = value; }
  const QString& SerialPrefix() const { return serial_prefix_; }
  void SetSerialPrefix(const QString& value) { serial_prefix_ = value; }
  std::uint8_t Delimiter() const { return delimiter_; }
  void SetDelimiter(std::uint8_t value) { delimiter_ = value; }
  std::uint8_t EscapeChar() const { return escape_char_; }
  void SetEscapeChar(std::uint8_t value) { escape_char_ = value; }

  // Number of attached bridges; a failing library call counts as none.
  std::uint32_t DeviceCount();
  // Serial of bridge i (library numbering). Throws TUSBXpressEnumExcept
  // ("Error getting Serial No").
  QString DeviceSerial(std::uint32_t i);

  // One look at the attached bridges (the ScanTimer handler).
  void Scan();

  const Timer& ScanTimer() const { return scan_timer_; }
  // The live ports, oldest first: every open one, and the closed ones that the next scan
  // (or a later one, while a call from them is under way) frees.
  const std::vector<std::unique_ptr<TUSBXpress>>& Ports() const { return ports_; }

 private:
  Scheduler& scheduler_;
  bridge::SiLibrary& library_;
  bool search_enabled_ = true;
  std::uint32_t search_interval_ = 1000;
  std::uint32_t slow_search_interval_ = 2000;
  std::uint32_t baud_rate_ = 57600;
  std::uint32_t read_interval_ = 20;
  QString serial_prefix_;
  std::uint8_t delimiter_ = 13;
  std::uint8_t escape_char_ = 0;
  // Frees the closed ports that no call is using.
  void FreeClosedPorts();

  Timer scan_timer_;
  std::vector<std::unique_ptr<TUSBXpress>> ports_;
  // Ports that OnNewPort is being told about (more than one when a handler's modal wait
  // runs another scan).
  std::vector<const TUSBXpress*> reporting_;
  // Serials reported through OnAccessDenied, forgotten when a full scan no longer sees them.
  std::set<QString> denied_;
};

// The one-line report of a bridge the user may not open, with the fix. `where` (the tty or
// the USB device) may be empty.
QString AccessDeniedLine(const QString& serial, const QString& where);

}  // namespace dova
