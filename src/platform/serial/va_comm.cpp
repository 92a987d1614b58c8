#include "platform/serial/va_comm.h"

namespace dova {

std::string FormatCommMessage(const std::string& pattern, std::initializer_list<std::string> args) {
  std::string out;
  auto next = args.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() &&
        (pattern[i + 1] == 'd' || pattern[i + 1] == 's') && next != args.end()) {
      out += *next++;
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

std::uint32_t BaudrateValue(TVaBaudrate rate) {
  static constexpr std::uint32_t kRates[] = {0,     110,    300,    600,   1200,  2400,
                                             4800,  9600,   14400,  19200, 38400, 56000,
                                             57600, 115200, 128000, 256000};
  return kRates[static_cast<std::size_t>(rate)];
}

TVaControlLines ControlLineLevels(const TVaFlowControl& flow) {
  TVaControlLines lines;
  lines.Dtr = flow.ControlDtr != TVaControlDtr::dtrDisabled;
  lines.Rts = flow.ControlRts == TVaControlRts::rtsEnabled ||
              flow.ControlRts == TVaControlRts::rtsHandshake;
  return lines;
}

void TVaCustomComm::CheckClosed() const {
  if (Active()) throw EVaCommError("Can't perform this operation while port is open");
}

void TVaCustomComm::SetDeviceName(const std::string& name) {
  CheckClosed();
  device_name_ = name;
}

std::string TVaCustomComm::FileName() const {
  std::string name = device_name_;
  const auto pos = name.find("%d");
  if (pos != std::string::npos) name.replace(pos, 2, std::to_string(port_num_));
  return name;
}

void TVaCustomComm::SetBaudrate(TVaBaudrate rate) {
  baudrate_ = rate;
  if (Active()) ApplyLineSettings();
}

void TVaCustomComm::SetUserBaudrate(std::uint32_t baud) {
  user_baudrate_ = baud;
  if (Active() && baudrate_ == TVaBaudrate::brUser) ApplyLineSettings();
}

void TVaCustomComm::SetMonitorEvents(TVaCommEvents events) {
  CheckClosed();
  monitor_events_ = events;
}

void TVaCustomComm::SetDirectWrite(bool direct) {
  CheckClosed();
  direct_write_ = direct;
}

TVaCommEvents TVaCustomComm::EffectiveEventMask() const {
  return direct_write_ ? monitor_events_ : monitor_events_.Without(TVaCommEvent::ceTxEmpty);
}

}  // namespace dova
