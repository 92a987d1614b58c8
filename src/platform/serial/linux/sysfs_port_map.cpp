#include "platform/serial/linux/sysfs_port_map.h"
#include "platform/linux/usb_serial_ttys.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>

namespace dova {

namespace fs = std::filesystem;

namespace {

bool IsDigit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      std::size_t ie = i, je = j;
      while (ie < a.size() && IsDigit(a[ie]))
        ++ie;
      while (je < b.size() && IsDigit(b[je]))
        ++je;
      // Compare the numbers without their leading zeros: longer is larger.
      std::size_t is = i, js = j;
      while (is + 1 < ie && a[is] == '0')
        ++is;
      while (js + 1 < je && b[js] == '0')
        ++js;
      if (ie - is != je - js) return ie - is < je - js;
      const int c = a.compare(is, ie - is, b, js, je - js);
      if (c != 0) return c < 0;
      i = ie;
      j = je;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

SysfsSerialPortMap::SysfsSerialPortMap(std::string root, std::string dev_dir)
    : root_(std::move(root)), dev_dir_(std::move(dev_dir)) {}

std::vector<SerialBridgePort> SysfsSerialPortMap::BridgePorts() {
  std::vector<std::pair<std::string, std::string>> found;  // tty name, serial
  for (const std::string& name : UsbSerialTtyNames(root_)) {
    auto id = UsbSerialTtyIdentity(root_, name);
    if (!id || id->vendor != "10c4" || id->product != "ea60" || id->serial.empty()) continue;
    found.emplace_back(name, std::move(id->serial));
  }
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return NaturalLess(a.first, b.first); });
  std::vector<SerialBridgePort> ports;
  ports.reserve(found.size());
  for (auto& [name, serial] : found) {
    std::string path = (fs::path(dev_dir_) / name).string();
    // Asked with the rights the program runs with, as opening it would be.
    const bool denied = faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) != 0 &&
                        (errno == EACCES || errno == EPERM);
    ports.push_back({std::move(path), std::move(serial), denied});
  }
  return ports;
}

}  // namespace dova
