#include "convert/vcp_dova_to_usbx.h"

#include <QByteArray>
#include <algorithm>
#include <iterator>

#include "platform/random.h"
#include "protocol/protocol.h"
#include "usb/usbxpress_enumerator.h"

namespace dova {

using namespace manufacturing;

TVCPDovaToUSBX::TVCPDovaToUSBX(Scheduler& scheduler, std::unique_ptr<TVaCustomComm> comm,
                               SerialPortMap& ports, CP210xLibrary& library,
                               std::unique_ptr<TConverterWorker> worker)
    : convert_timer_(scheduler, 1000, false),
      comm_(std::move(comm)),
      port_map_(ports),
      library_(library),
      worker_(worker ? std::move(worker) : std::make_unique<TInlineWorker>()) {
  Randomize();
  random_ = [] { return RandomInt(2147483647u); };
}

TVCPDovaToUSBX::~TVCPDovaToUSBX() {
  // Freeing an open port runs a notification it has already handed over; by then the
  // fields that CommRxFlag writes would be gone, so the port forgets its handler and goes
  // first.
  comm_->SetOnRxFlag(nullptr);
  comm_.reset();
  // A reprogramming under way finishes (the worker waits for it) before the library goes.
  worker_.reset();
}

void TVCPDovaToUSBX::Loaded() {
  convert_timer_.SetInterval(search_interval_);
  convert_timer_.SetOnTimer([this] { ConvertTimerTimer(); });
  convert_timer_.SetEnabled(search_enabled_);
  // 57600 baud; the other line settings stay at the port's defaults (8 data bits, no
  // parity, 1 stop bit, no flow control).
  comm_->SetBaudrate(TVaBaudrate::br57600);
  comm_->SetDirectWrite(true);
  TVaEventChars chars = comm_->EventChars();
  chars.EventChar = 13;
  comm_->SetEventChars(chars);
  comm_->SetMonitorEvents({TVaCommEvent::ceRxFlag});
  comm_->SetOnRxFlag([this](TVaCustomComm& sender) { CommRxFlag(sender); });
}

void TVCPDovaToUSBX::SetSearchInterval(std::uint32_t ms) {
  if (ms == search_interval_) return;
  search_interval_ = ms;
  convert_timer_.SetInterval(ms);
}

void TVCPDovaToUSBX::SetSearchEnabled(bool enabled) {
  search_enabled_ = enabled;
  convert_timer_.SetEnabled(enabled);
}

QString TVCPDovaToUSBX::FormatUsbxSerial(std::uint32_t r) {
  return QStringLiteral("DOVA300-") + QString::number(r, 16).toUpper().rightJustified(8, u' ');
}

QString TVCPDovaToUSBX::PortNameOf(const QString& path) {
  return path.mid(5, 20);
}

bool TVCPDovaToUSBX::PathNamesInstance(const QString& path, const QString& instance) {
  if (instance.isEmpty()) return false;
  const QString haystack = path.toUpper();
  const QString needle = instance.toUpper();
  for (qsizetype at = haystack.indexOf(needle); at >= 0; at = haystack.indexOf(needle, at + 1)) {
    const qsizetype end = at + needle.size();
    const bool starts = at == 0 || !haystack.at(at - 1).isLetterOrNumber();
    const bool ends = end == haystack.size() || !haystack.at(end).isLetterOrNumber();
    if (starts && ends) return true;
  }
  return false;
}

void TVCPDovaToUSBX::ConvertTimerTimer() {
  if (busy_) {
    if (worker_->Done()) FinishConversion();
    return;
  }
  switch (phase_) {
    case TPhase::ListPhase:
      if (ListPorts()) {
        convert_timer_.SetInterval(kProbeInterval);
        phase_ = TPhase::ProbePhase;
      }
      break;
    case TPhase::ProbePhase:
      if (ProbePort()) {
        phase_ = TPhase::CheckPhase;
      } else {
        NextPort();
      }
      break;
    case TPhase::CheckPhase:
      // Closing also delivers an answer still on its way.
      comm_->Close();
      // Anything that answers the name request the way an incubator does is one.
      if (protocol::ClassifyTag(QStringView(reply_).left(protocol::kTagLength)) ==
          protocol::TTag::NICK) {
        reply_ = PortNameOf(ports_.at(static_cast<qsizetype>(port_index_)));
        convert_timer_.SetInterval(kConvertInterval);
        phase_ = TPhase::ConvertPhase;
      } else {
        phase_ = TPhase::ProbePhase;
        NextPort();
        // A new listing probes this port again: not before its pause after closing.
        if (phase_ == TPhase::ListPhase && search_interval_ < kClosePause) {
          convert_timer_.SetInterval(kClosePause);
        }
      }
      break;
    case TPhase::ConvertPhase:
      if (!ConvertPort(reply_)) {
        convert_timer_.SetInterval(search_interval_);
        phase_ = TPhase::ListPhase;
        break;
      }
      // The work runs on the worker; its outcome is taken up at once when it is done
      // already, otherwise by a later tick.
      if (worker_->Done()) {
        FinishConversion();
      } else {
        convert_timer_.SetInterval(kWorkPollInterval);
      }
      break;
  }
}

bool TVCPDovaToUSBX::ListPorts() {
  ports_.clear();
  const std::vector<SerialBridgePort> listed = port_map_.BridgePorts();
  ForgetVanished(listed);
  bool waiting_for_user = false;
  for (const SerialBridgePort& port : listed) {
    const QString instance = QString::fromStdString(port.InstanceName);
    const QString path = QString::fromStdString(port.DevicePath);
    if (left_alone_.count(instance)) {
      // Left alone after tries that all claimed success: it is still here, say so once.
      if (said_left_alone_.insert(instance).second) {
        Problem(FormatGivenUpLine(instance, PortNameOf(path), Tries(instance)));
      }
      continue;
    }
    if (port.AccessDenied) {
      // Probing it would fail; the user can mend it, so it is still something to convert.
      waiting_for_user = true;
      if (denied_.insert(instance).second) Problem(AccessDeniedLine(instance, path));
      continue;
    }
    if (denied_.count(instance)) {
      waiting_for_user = true;
      continue;
    }
    ports_.append(path);
  }
  port_index_ = 0;
  if (ports_.isEmpty()) {
    if (!waiting_for_user && on_done_) on_done_(*this);
    return false;
  }
  return true;
}

void TVCPDovaToUSBX::ForgetVanished(const std::vector<SerialBridgePort>& listed) {
  // Unplugging is the user's way to have a bridge tried again after mending its access.
  for (auto it = denied_.begin(); it != denied_.end();) {
    const bool present = std::any_of(listed.begin(), listed.end(), [&](const SerialBridgePort& p) {
      return QString::fromStdString(p.InstanceName) == *it;
    });
    it = present ? std::next(it) : denied_.erase(it);
  }
}

int TVCPDovaToUSBX::Tries(const QString& instance) const {
  const auto it = tries_.find(instance);
  return it == tries_.end() ? 0 : it->second;
}

void TVCPDovaToUSBX::Problem(const QString& line) {
  if (on_problem_) on_problem_(*this, line);
}

bool TVCPDovaToUSBX::ProbePort() {
  reply_.clear();
  try {
    comm_->SetDeviceName(ports_.at(static_cast<qsizetype>(port_index_)).toStdString());
    comm_->Open();
    comm_->ClearInput();
    comm_->WriteString(protocol::BuildGet(u"NICK").toStdString());
  } catch (...) {
    comm_->Close();
    return false;
  }
  return true;
}

void TVCPDovaToUSBX::CommRxFlag(TVaCustomComm& Sender) {
  reply_ = QString::fromLocal8Bit(QByteArray::fromStdString(Sender.ReadAvailable()));
}

void TVCPDovaToUSBX::NextPort() {
  ++port_index_;
  if (port_index_ >= static_cast<std::size_t>(ports_.size())) {
    convert_timer_.SetInterval(search_interval_);
    phase_ = TPhase::ListPhase;
  }
}

bool TVCPDovaToUSBX::ConvertPort(const QString& port_name) {
  QString instance;
  QString path;
  for (const SerialBridgePort& port : port_map_.BridgePorts()) {
    if (PortNameOf(QString::fromStdString(port.DevicePath)) == port_name) {
      instance = QString::fromStdString(port.InstanceName);
      path = QString::fromStdString(port.DevicePath);
      break;
    }
  }
  if (instance.isEmpty() || left_alone_.count(instance) || denied_.count(instance)) return false;
  job_instance_ = instance;
  job_port_ = path;
  // Drawn here: the program-wide generator is used on this thread only. A try that ended
  // before sending it leaves it for the next one.
  if (next_serial_.isEmpty()) next_serial_ = FormatUsbxSerial(random_());
  job_serial_ = next_serial_;
  job_result_ = {};
  busy_ = true;
  worker_->Start([this, &library = library_, instance, serial = job_serial_] {
    job_result_ = Reprogram(library, instance, serial);
  });
  return true;
}

void TVCPDovaToUSBX::FinishConversion() {
  busy_ = false;
  const TConvertResult result = job_result_;
  if (result.SerialSent) next_serial_.clear();
  const QString instance = job_instance_;
  const QString port = PortNameOf(job_port_);
  using O = TConvertResult::TOutcome;
  if (result.Outcome == O::AccessDenied) {
    // Not a try: the user can mend it, and unplugging the bridge has it tried again.
    if (denied_.insert(instance).second) {
      Problem(AccessDeniedLine(instance, QStringLiteral("USB device of ") + job_port_));
    }
  } else if (result.Outcome == O::Refused) {
    left_alone_.insert(instance);
    said_left_alone_.insert(instance);
    Problem(FormatRefusedLine(instance, port, result.Part));
  } else {
    // Every other attempt is a try, a reported success too: a bridge that claims it came
    // back as another device but is listed again under its old serial is tried again only
    // up to the bound.
    const int tries = ++tries_[instance];
    if (tries >= kMaxTries) left_alone_.insert(instance);
    if (result.Outcome == O::Failed) {
      Problem(FormatFailedLine(instance, port, result.Reason, tries));
      if (tries >= kMaxTries) {
        said_left_alone_.insert(instance);
        Problem(FormatGivenUpLine(instance, port, tries));
      }
    } else if (result.Outcome == O::CountFailed) {
      // The error leaves the tick. While tries are left, the same port is tried again at
      // the next tick; then it is left alone.
      if (tries < kMaxTries) {
        phase_ = TPhase::ConvertPhase;
        convert_timer_.SetInterval(kConvertInterval);
      } else {
        said_left_alone_.insert(instance);
        Problem(FormatGivenUpLine(instance, port, tries));
        convert_timer_.SetInterval(search_interval_);
        phase_ = TPhase::ListPhase;
      }
      throw TVCPDovaToUSBXExcept("Error Getting Number of Devices");
    }
  }
  convert_timer_.SetInterval(search_interval_);
  phase_ = TPhase::ListPhase;
  if (result.Outcome == O::Converted) {
    last_part_ = result.Part;
    if (on_converted_) on_converted_(*this, instance, job_serial_);
  }
}

QString TVCPDovaToUSBX::FormatFailedLine(const QString& instance, const QString& port,
                                         const QString& reason, int tries) {
  return QStringLiteral("Conversion failed: USB serial No %1 on %2: %3 (try %4 of %5)")
      .arg(instance, port, reason, QString::number(tries), QString::number(kMaxTries));
}

QString TVCPDovaToUSBX::FormatGivenUpLine(const QString& instance, const QString& port, int tries) {
  return QStringLiteral(
             "Conversion given up: USB serial No %1 on %2 failed %3 tries; it is left alone "
             "until the program starts again")
      .arg(instance, port, QString::number(tries));
}

QString TVCPDovaToUSBX::FormatRefusedLine(const QString& instance, const QString& port,
                                          std::uint8_t part) {
  return QStringLiteral(
             "Conversion refused: USB serial No %1 on %2 is a %3, whose USB identity is not "
             "rewritable; it is left alone")
      .arg(instance, port, QString::fromLatin1(PartNumberName(part)));
}

TVCPDovaToUSBX::TConvertResult TVCPDovaToUSBX::Reprogram(CP210xLibrary& library,
                                                         const QString& instance,
                                                         const QString& serial) {
  using O = TConvertResult::TOutcome;
  const auto failed = [](const char* step) {
    return TConvertResult{O::Failed, QString::fromLatin1(step) + QStringLiteral(" failed"), 0};
  };
  std::uint32_t count = 0;
  if (library.CP210x_GetNumDevices(&count) != CP210x_SUCCESS) return {O::CountFailed, {}, 0};
  bool named = false;
  for (std::uint32_t i = 0; i < count; ++i) {
    char path[CP210x_MAX_DEVICE_STRLEN] = {};
    if (library.CP210x_GetProductString(i, path, CP210x_RETURN_FULL_PATH) != CP210x_SUCCESS) {
      continue;
    }
    path[CP210x_MAX_DEVICE_STRLEN - 1] = '\0';
    // Each byte is one character of the path.
    if (!PathNamesInstance(QString::fromLatin1(path), instance)) continue;
    named = true;
    CP210x_HANDLE handle = 0;
    const CP210x_STATUS opened = library.CP210x_Open(i, &handle);
    if (opened == CP210x_ACCESS_DENIED) return {O::AccessDenied, {}, 0};
    if (opened != CP210x_SUCCESS) return failed("open");
    // Closes the handle on every way out.
    struct Closer {
      CP210xLibrary& library;
      CP210x_HANDLE handle;
      ~Closer() { library.CP210x_Close(handle); }
    } closer{library, handle};
    std::uint16_t pid = 0;
    if (library.CP210x_GetDevicePid(handle, &pid) != CP210x_SUCCESS) {
      return failed("read product ID");
    }
    // Another bridge with the same serial, already converted or something else: not ours.
    if (pid != kVcpProductId) continue;
    std::uint8_t part = 0;
    if (library.CP210x_GetPartNumber(handle, &part) != CP210x_SUCCESS) {
      return failed("read part number");
    }
    // Only parts whose identity can be written again and again: a conversion that fails
    // half-way on a one-time part would leave it half-programmed for good.
    if (!IsRewritablePart(part)) return {O::Refused, {}, part};
    if (library.CP210x_SetSelfPower(handle, true) != CP210x_SUCCESS) {
      return failed("set self-powered");
    }
    if (library.CP210x_SetMaxPower(handle, 0) != CP210x_SUCCESS) {
      return failed("set maximum power");
    }
    const QByteArray bytes = serial.toLocal8Bit();
    const CP210x_STATUS written = library.CP210x_SetSerialNumber(
        handle, bytes.constData(), static_cast<std::uint8_t>(bytes.size()), true);
    const auto sent = [](TConvertResult result) {
      result.SerialSent = true;
      return result;
    };
    if (written != CP210x_SUCCESS) return sent(failed("set serial number"));
    if (library.CP210x_SetPid(handle, kUsbxProductId) != CP210x_SUCCESS) {
      return sent(failed("set product ID"));
    }
    const CP210x_STATUS reset = library.CP210x_Reset(handle);
    // "Not found": the device came back as another one, as it should.
    if (reset != CP210x_SUCCESS && reset != CP210x_DEVICE_NOT_FOUND) return sent(failed("reset"));
    if (reset == CP210x_SUCCESS) {
      // Still the same device: it must tell the new product ID now.
      std::uint16_t after = 0;
      if (library.CP210x_GetDevicePid(handle, &after) != CP210x_SUCCESS ||
          after != kUsbxProductId) {
        return sent({O::Failed, QStringLiteral("the bridge kept its identity after reset"), part});
      }
    }
    return sent({O::Converted, {}, part});
  }
  if (!named) return failed("find the USB device");
  return failed("find the USB device on the serial-port driver");
}

}  // namespace dova
