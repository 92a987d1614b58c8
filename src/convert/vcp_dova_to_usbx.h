#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "convert/converter_worker.h"
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
// phase per tick, on the user-interface thread; the reprogramming itself (USB requests and
// the bridge's reset, which can take seconds) runs on a worker.
//
// Every request's result is checked. A conversion that fails says which step failed, once
// per try, and a bridge is tried at most kMaxTries times: then it is left alone and that is
// said once. A bridge whose identity fields can be written only once is never touched. A
// bridge the user may not open is reported once, with the fix, and tried again only after
// it has been unplugged. Bridges that are left alone do not count as something to convert,
// so listings that find only those are empty ones (OnDone).
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
  // One line about a bridge that could not be converted (see the Format*Line functions).
  using TNotifyProblem = std::function<void(TVCPDovaToUSBX& Sender, const QString& line)>;

  // What reprogramming one bridge came to.
  struct TConvertResult {
    enum class TOutcome {
      CountFailed,   // the bridges could not be counted
      Converted,     // written and reset; it came back as another device
      Failed,        // Reason says what failed
      Refused,       // a part whose fields must not be written (Part tells which)
      AccessDenied,  // the user may not open its USB device
    };
    TOutcome Outcome = TOutcome::Failed;
    QString Reason;
    std::uint8_t Part = 0;
    // The new serial was sent to the bridge (a later try draws another one).
    bool SerialSent = false;
  };

  static constexpr std::uint32_t kProbeInterval = 50;     // ms an incubator has to answer
  static constexpr std::uint32_t kConvertInterval = 500;  // ms between the answer and the work
  static constexpr std::uint16_t kVcpProductId = 0xEA60;
  static constexpr std::uint16_t kUsbxProductId = 0xEA61;
  // Tries per bridge (by its serial) before it is left alone for the rest of the run.
  static constexpr int kMaxTries = 3;
  // Nothing touches a probed port for this long after closing it (the port's own pause,
  // taken on the timer instead of in the close).
  static constexpr std::uint32_t kClosePause = 300;
  // How often a conversion under way is looked at.
  static constexpr std::uint32_t kWorkPollInterval = 50;

  // Seeds the program-wide generator from the clock, as creating the component does.
  // Without a worker, the reprogramming runs inline (simulated bridges, tests).
  TVCPDovaToUSBX(Scheduler& scheduler, std::unique_ptr<TVaCustomComm> comm, SerialPortMap& ports,
                 manufacturing::CP210xLibrary& library,
                 std::unique_ptr<TConverterWorker> worker = nullptr);
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
  void SetOnProblem(TNotifyProblem handler) { on_problem_ = std::move(handler); }

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
  // A reprogramming is under way on the worker.
  bool Converting() const { return busy_; }
  // Tries made on the bridge with this serial, and whether it is now left alone.
  int Tries(const QString& instance) const;
  bool LeftAlone(const QString& instance) const { return left_alone_.count(instance) > 0; }

  // "DOVA300-" and r in upper-case hexadecimal, right-aligned in 8 with blanks.
  static QString FormatUsbxSerial(std::uint32_t r);
  // The port's name in its device path: the characters from the sixth on, at most 20
  // ("/dev/ttyUSB0" gives "ttyUSB0", as "\\.\\COM3" gives "COM3" on the other platform).
  static QString PortNameOf(const QString& path);
  // True when the bridge's device path names this instance: the instance name found in
  // it as a whole field (not part of a longer name), letter case ignored.
  static bool PathNamesInstance(const QString& path, const QString& instance);

  // The one-line reports, stable texts (port: the port's name, e.g. "ttyUSB0").
  static QString FormatFailedLine(const QString& instance, const QString& port,
                                  const QString& reason, int tries);
  static QString FormatGivenUpLine(const QString& instance, const QString& port, int tries);
  static QString FormatRefusedLine(const QString& instance, const QString& port, std::uint8_t part);

  // The reprogramming of the bridge whose path names `instance`, with the library only (it
  // runs on the worker). Checks every result and stops at the first failure; a reset after
  // which the bridge still has the serial-port driver's product ID is a failure too.
  static TConvertResult Reprogram(manufacturing::CP210xLibrary& library, const QString& instance,
                                  const QString& serial);

  // The phase tick and its steps.
  void ConvertTimerTimer();
  bool ListPorts();
  bool ProbePort();
  void CommRxFlag(TVaCustomComm& Sender);
  void NextPort();
  // Starts the reprogramming of the port's bridge; false when there is none to start (no
  // instance, or one that is left alone). The outcome is taken up by FinishConversion.
  bool ConvertPort(const QString& port_name);

 private:
  // Takes up a finished reprogramming: events, reports, tries; then a new listing.
  void FinishConversion();
  void Problem(const QString& line);
  // Bookkeeping of the bridges that the last listing no longer shows.
  void ForgetVanished(const std::vector<SerialBridgePort>& listed);
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
  TNotifyProblem on_problem_;
  std::unique_ptr<TConverterWorker> worker_;
  bool busy_ = false;
  // The conversion under way: its bridge, port name, new serial and outcome.
  QString job_instance_;
  QString job_port_;
  QString job_serial_;
  // The serial of the next try; drawn when needed, kept until it has been sent.
  QString next_serial_;
  TConvertResult job_result_;
  std::map<QString, int> tries_;
  std::set<QString> left_alone_;
  // Bridges left alone whose owner has been told so.
  std::set<QString> said_left_alone_;
  // Bridges reported as not to be opened by this user; forgotten once unplugged.
  std::set<QString> denied_;
};

}  // namespace dova
