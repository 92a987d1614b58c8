#include "convert/vcp_dova_to_usbx.h"

#include <QByteArray>

#include "platform/random.h"
#include "protocol/protocol.h"

namespace dova {

using namespace manufacturing;

TVCPDovaToUSBX::TVCPDovaToUSBX(Scheduler& scheduler, std::unique_ptr<TVaCustomComm> comm,
                               SerialPortMap& ports, CP210xLibrary& library)
    : convert_timer_(scheduler, 1000, false),
      comm_(std::move(comm)),
      port_map_(ports),
      library_(library) {
  Randomize();
  random_ = [] { return RandomInt(2147483647u); };
}

TVCPDovaToUSBX::~TVCPDovaToUSBX() {
  // Freeing an open port runs a notification it has already handed over; by then the
  // fields that CommRxFlag writes would be gone, so the port forgets its handler and goes
  // first.
  comm_->SetOnRxFlag(nullptr);
  comm_.reset();
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
      }
      break;
    case TPhase::ConvertPhase:
      // A failure to count the bridges leaves the phase as it is: the same port is tried
      // again at the next tick.
      ConvertPort(reply_);
      convert_timer_.SetInterval(search_interval_);
      phase_ = TPhase::ListPhase;
      break;
  }
}

bool TVCPDovaToUSBX::ListPorts() {
  ports_.clear();
  for (const SerialBridgePort& port : port_map_.BridgePorts()) {
    ports_.append(QString::fromStdString(port.DevicePath));
  }
  port_index_ = 0;
  if (ports_.isEmpty()) {
    if (on_done_) on_done_(*this);
    return false;
  }
  return true;
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

void TVCPDovaToUSBX::ConvertPort(const QString& port_name) {
  QString instance;
  for (const SerialBridgePort& port : port_map_.BridgePorts()) {
    if (PortNameOf(QString::fromStdString(port.DevicePath)) == port_name) {
      instance = QString::fromStdString(port.InstanceName);
      break;
    }
  }
  if (instance.isEmpty()) return;

  std::uint32_t count = 0;
  if (library_.CP210x_GetNumDevices(&count) != CP210x_SUCCESS) {
    throw TVCPDovaToUSBXExcept("Error Getting Number of Devices");
  }
  for (std::uint32_t i = 0; i < count; ++i) {
    char path[CP210x_MAX_DEVICE_STRLEN] = {};
    if (library_.CP210x_GetProductString(i, path, CP210x_RETURN_FULL_PATH) != CP210x_SUCCESS) {
      continue;
    }
    path[CP210x_MAX_DEVICE_STRLEN - 1] = '\0';
    // Each byte is one character of the path.
    if (!PathNamesInstance(QString::fromLatin1(path), instance)) continue;
    CP210x_HANDLE handle = 0;
    if (library_.CP210x_Open(i, &handle) != CP210x_SUCCESS) continue;
    std::uint16_t pid = 0;
    if (library_.CP210x_GetDevicePid(handle, &pid) != CP210x_SUCCESS || pid != kVcpProductId) {
      library_.CP210x_Close(handle);
      continue;
    }
    last_part_ = 0;
    if (library_.CP210x_GetPartNumber(handle, &last_part_) != CP210x_SUCCESS) last_part_ = 0;
    library_.CP210x_SetSelfPower(handle, true);
    library_.CP210x_SetMaxPower(handle, 0);
    const QString serial = FormatUsbxSerial(random_());
    const QByteArray bytes = serial.toLocal8Bit();
    library_.CP210x_SetSerialNumber(handle, bytes.constData(),
                                    static_cast<std::uint8_t>(bytes.size()), true);
    library_.CP210x_SetPid(handle, kUsbxProductId);
    library_.CP210x_Reset(handle);
    library_.CP210x_Close(handle);
    if (on_converted_) on_converted_(*this, instance, serial);
    return;
  }
}

}  // namespace dova
