#include "platform/linux/usb_serial_ttys.h"

#include <dirent.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace dova {

namespace fs = std::filesystem;

namespace {

fs::path TtyClass(const std::string& sysfs_root) {
  return fs::path(sysfs_root) / "class" / "tty";
}

// A sysfs attribute is one line of text; the trailing newline (and any blanks) go.
std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  if (!in || !std::getline(in, line)) return {};
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())) != 0)
    line.pop_back();
  return line;
}

}  // namespace

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::vector<std::string> UsbSerialTtyNames(const std::string& sysfs_root) {
  // Names only, as they come: a path is made for a USB serial port alone, since the folder
  // is read at every search.
  std::vector<std::string> names;
  DIR* dir = ::opendir(TtyClass(sysfs_root).c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = ::readdir(dir)) {
    if (std::strncmp(entry->d_name, "ttyUSB", 6) == 0) names.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  return names;
}

std::optional<UsbIdentity> UsbSerialTtyIdentity(const std::string& sysfs_root,
                                                const std::string& name) {
  std::error_code ec;
  const fs::path port = fs::canonical(TtyClass(sysfs_root) / name / "device", ec);
  if (ec) return std::nullopt;
  const fs::path usb = port.parent_path().parent_path();
  return UsbIdentity{AsciiLower(ReadAttribute(usb / "idVendor")),
                     AsciiLower(ReadAttribute(usb / "idProduct")), ReadAttribute(usb / "serial")};
}

}  // namespace dova
