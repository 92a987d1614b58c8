#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/exception.h"
#include "platform/manufacturing/cp210x_library.h"
#include "platform/scheduler.h"
#include "platform/serial/port_map.h"
#include "platform/serial/va_comm.h"
#include "platform/timer.h"

namespace dova {

class TVCPDovaToUSBXExcept : public Exception {
 public:
  using Exception::Exception;
};

// The driver converter: finds CP210x bridges still on the serial-port driver, asks each
// over its serial port whether it is an incubator ("!GET NICK"), and reprograms an
// incubator's bridge to the USB bridge driver's product ID with a new serial number
// "DOVA300-%8X", so that the device enumerator finds it. Runs on its own timer, one
// phase per tick, on the user-interface thread.
class TVCPDovaToUSBX {
 public:
  enum class TPhase : std::uint8_t {
    ListPhase = 0,
    ProbePhase = 1,
    CheckPhase = 2,
    ConvertPhase = 3
  };
  using TNotifyConverted = std::function<void(TVCPDovaToUSBX& Sender, const QString& vcpserial,
                                              const QString& usbxserial)>;
  using TNotifyDone = std::function<void(TVCPDovaToUSBX& Sender)>;

  static constexpr std::uint32_t kProbeInterval = 50;     // ms an incubator has to answer
  static constexpr std::uint32_t kConvertInterval = 500;  // ms between the answer and the work
  static constexpr std::uint16_t kVcpProductId = 0xEA60;
  static constexpr std::uint16_t kUsbxProductId = 0xEA61;

  // Seeds the program-wide generator from the clock, as creating the component does.
  TVCPDovaToUSBX(Scheduler& scheduler, std::unique_ptr<TVaCustomComm> comm, SerialPortMap& ports,
                 manufacturing::CP210xLibrary& library);
  ~TVCPDovaToUSBX();
  TVCPDovaToUSBX(const TVCPDovaToUSBX&) = delete;
  TVCPDovaToUSBX& operator=(const TVCPDovaToUSBX&) = delete;

  // The properties have been loaded: start the timer and set the port up for the probe.
  void Loaded();

  std::uint32_t SearchInterval() const { return search_interval_; }
  void SetSearchInterval(std::uint32_t ms);
  bool SearchEnabled() const { return search_enabled_; }
  void SetSearchEnabled(bool enabled);
  void SetOnConverted(TNotifyConverted handler) { on_converted_ = std::move(handler); }
  void SetOnDone(TNotifyDone handler) { on_done_ = std::move(handler); }

  // Where the new serial's number comes from: by default the program-wide generator, a
  // value from 0 to 2147483646. Tests pin it.
  void SetRandomSource(std::function<std::uint32_t()> source) { random_ = std::move(source); }

  TPhase Phase() const { return phase_; }
  std::size_t PortIndex() const { return port_index_; }
  const QStringList& Ports() const { return ports_; }
  const QString& Reply() const { return reply_; }
  Timer& ConvertTimer() { return convert_timer_; }
  TVaCustomComm& Comm() { return *comm_; }
  // Part number of the bridge reprogrammed last (0 when it could not be read).
  std::uint8_t LastPartNumber() const { return last_part_; }

  // "DOVA300-" and r in upper-case hexadecimal, right-aligned in 8 with blanks.
  static QString FormatUsbxSerial(std::uint32_t r);
  // The port's name in its device path: the characters from the sixth on, at most 20
  // ("/dev/ttyUSB0" gives "ttyUSB0", as "\\.\\COM3" gives "COM3" on the other platform).
  static QString PortNameOf(const QString& path);
  // True when the bridge's device path names this instance: the instance name found in
  // it as a whole field (not part of a longer name), letter case ignored.
  static bool PathNamesInstance(const QString& path, const QString& instance);

  // The phase tick and its steps.
  void ConvertTimerTimer();
  bool ListPorts();
  bool ProbePort();
  void CommRxFlag(TVaCustomComm& Sender);
  void NextPort();
  void ConvertPort(const QString& port_name);

 private:
  bool search_enabled_ = true;
  std::uint32_t search_interval_ = 1000;
  Timer convert_timer_;
  std::unique_ptr<TVaCustomComm> comm_;
  TPhase phase_ = TPhase::ListPhase;
  std::size_t port_index_ = 0;
  QStringList ports_;
  QString reply_;
  TNotifyConverted on_converted_;
  TNotifyDone on_done_;

  SerialPortMap& port_map_;
  manufacturing::CP210xLibrary& library_;
  std::function<std::uint32_t()> random_;
  std::uint8_t last_part_ = 0;
};

}  // namespace dova
