#include "usb/usbxpress_enumerator.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>

namespace dova {

TUSBXpressEnumerator::TUSBXpressEnumerator(Scheduler& scheduler, bridge::SiLibrary& library)
    : scheduler_(scheduler), library_(library), scan_timer_(scheduler) {
  // Global to the library: every device opened later gives up after one second.
  (void)library_.SI_SetTimeouts(1000, 1000);
}

TUSBXpressEnumerator::~TUSBXpressEnumerator() = default;

void TUSBXpressEnumerator::Loaded() {
  scan_timer_.SetInterval(search_interval_);
  scan_timer_.SetOnTimer([this] { Scan(); });
  scan_timer_.SetEnabled(search_enabled_);
}

void TUSBXpressEnumerator::SetSearchEnabled(bool value) {
  search_enabled_ = value;
  scan_timer_.SetEnabled(value);
}

void TUSBXpressEnumerator::SetSearchInterval(std::uint32_t value) {
  if (value == search_interval_) return;
  search_interval_ = value;
  const bool enabled = scan_timer_.Enabled();
  scan_timer_.SetEnabled(false);
  scan_timer_.SetInterval(value);
  scan_timer_.SetEnabled(enabled);
}

std::uint32_t TUSBXpressEnumerator::DeviceCount() {
  std::uint32_t count = 0;
  if (library_.SI_GetNumDevices(&count) != bridge::SI_SUCCESS) return 0;
  return count;
}

QString TUSBXpressEnumerator::DeviceSerial(std::uint32_t i) {
  std::array<char, bridge::SI_MAX_DEVICE_STRLEN> buffer{};
  if (library_.SI_GetProductString(i, buffer.data(), bridge::SI_RETURN_SERIAL_NUMBER) !=
      bridge::SI_SUCCESS) {
    throw TUSBXpressEnumExcept("Error getting Serial No");
  }
  const void* zero = std::memchr(buffer.data(), 0, buffer.size());
  // A string that filled the whole buffer has no end we can trust.
  if (zero == nullptr) throw TUSBXpressEnumExcept("Error getting Serial No");
  const auto length = static_cast<const char*>(zero) - buffer.data();
  // Each byte is one character of the same value.
  return QString::fromLatin1(buffer.data(), length);
}

void TUSBXpressEnumerator::FreeClosedPorts() {
  const auto in_use = [this](const TUSBXpress& port) {
    return port.Delivering() ||
           std::find(reporting_.begin(), reporting_.end(), &port) != reporting_.end();
  };
  // Taken out of the list first and destroyed afterwards: nothing a destructor does can
  // then see a half-edited list.
  std::vector<std::unique_ptr<TUSBXpress>> freed;
  for (auto it = ports_.begin(); it != ports_.end();) {
    if ((*it)->Closed() && !in_use(**it)) {
      freed.push_back(std::move(*it));
      it = ports_.erase(it);
    } else {
      ++it;
    }
  }
}

void TUSBXpressEnumerator::Scan() {
  // A scan runs in the scan timer's own event (or in a modal wait), so no caller of a
  // port that is closed and not in use can still be on the stack.
  FreeClosedPorts();
  if (!OnNewPort) return;
  const std::uint32_t n = DeviceCount();
  if (n == 0) {
    denied_.clear();
    return;
  }
  std::set<QString> seen;
  for (std::uint32_t i = 0; i < n; ++i) {
    QString serial;
    try {
      serial = DeviceSerial(i);
    } catch (const TUSBXpressEnumExcept&) {
      return;  // try again at the next tick, silently
    }
    if (!serial.startsWith(serial_prefix_, Qt::CaseSensitive)) continue;
    seen.insert(serial);
    bridge::SiHandle handle = 0;
    // Refused when it is open already: held by one of our tiles or by another program.
    const bridge::SiStatus opened = library_.SI_Open(i, &handle);
    if (opened == bridge::SI_ACCESS_DENIED && denied_.insert(serial).second && OnAccessDenied) {
      OnAccessDenied(*this, serial);
    }
    if (opened != bridge::SI_SUCCESS) continue;
    denied_.erase(serial);
    const std::size_t made = ports_.size();
    TUSBXpress* port = nullptr;
    try {
      port = &TUSBXpress::CreateOwned(ports_, scheduler_, library_, handle, delimiter_,
                                      escape_char_, baud_rate_, read_interval_);
    } catch (...) {
      // The device goes back to the library and is offered again at the next tick. Nothing
      // ran between the half-made port joining the list and the failure, so it is the last
      // one; closed, it is freed with the others.
      if (ports_.size() > made) {
        ports_.back()->Close();
      } else {
        (void)library_.SI_Close(handle);
      }
      return;
    }
    reporting_.push_back(port);
    try {
      OnNewPort(*this, *port, serial);
    } catch (...) {
      // The port that was reported is closed as a whole, so a reader the handler may have
      // started stops too; its device is offered again at the next tick.
      reporting_.erase(std::find(reporting_.begin(), reporting_.end(), port));
      if (!port->Closed()) port->Close();
      return;
    }
    reporting_.erase(std::find(reporting_.begin(), reporting_.end(), port));
    scan_timer_.SetInterval(search_interval_);
    return;
  }
  // Devices seen, none opened. A device reported as not to be opened that is gone now was
  // unplugged: plugged in again, it is reported again if still refused.
  for (auto it = denied_.begin(); it != denied_.end();)
    it = seen.count(*it) ? std::next(it) : denied_.erase(it);
  if (OnScanDone) {
    OnScanDone(*this);
    SetSearchEnabled(false);
  } else {
    scan_timer_.SetInterval(slow_search_interval_);
  }
}

QString AccessDeniedLine(const QString& serial, const QString& where) {
  QString line = QStringLiteral("Permission denied: cannot open USB bridge ") + serial;
  if (!where.isEmpty()) line += QStringLiteral(" (") + where + u')';
  return line +
         QStringLiteral("; install packaging/udev/70-dova300.rules, then unplug and plug in again");
}

}  // namespace dova
