#include "layer_rules.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <regex>

namespace dova::architecture {

namespace {

// ---------------------------------------------------------------- the layer table

// One row per folder of src/: its layer, the folders its files may include ("logic" stands
// for every logic folder, "*" for everything), and whether it may use operating system
// headers and the headers of windows and charts. Logic folders come in link order, each
// using the ones before it. Widget parts use logic and the parts below them; the main
// window puts the others together and none of them knows it. "ui" is the helpers right in
// src/ui/ (and any part not listed here), which every part may use.
struct Row {
  std::string_view folder;
  std::string_view layer;
  bool os_headers;
  bool window_headers;
  std::string_view uses;
};
// clang-format off
constexpr std::array<Row, 20> kTable = {{
  // folder          layer        OS     windows  may include
    {"platform",      "platform",  true,  false,   "platform"},
    {"protocol",      "logic",     false, false,   "platform protocol"},
    {"usb",           "logic",     false, false,   "platform protocol usb"},
    {"graphs",        "logic",     false, false,   "platform protocol usb graphs"},
    {"monitor",       "logic",     false, false,   "platform protocol usb graphs monitor"},
    {"convert",       "logic",     false, false,   "platform protocol usb graphs monitor convert"},
    // The composition root builds simulated benches.
    {"app",           "logic",     false, false,   "platform protocol usb graphs monitor convert"
                                                   " app sim"},
    // The alarm engine follows the tiles and reads the settings.
    {"alarms",        "logic",     false, false,   "platform protocol usb graphs monitor convert"
                                                   " app alarms"},
    // The metrics model reads the main window and the alarms; its http/ endpoint adds Qt's
    // network and HTTP server modules (no windows).
    {"metrics",       "logic",     false, false,   "platform protocol usb graphs monitor convert"
                                                   " app alarms metrics"},
    // Stored logs read back into the models the live tiles fill, with the alarm band and the
    // alarm journal of their incubator.
    {"history",       "logic",     false, false,   "platform protocol usb graphs monitor alarms"
                                                   " history"},
    {"sim",           "simulator", false, false,   "platform protocol sim"},
    {"ui",            "ui",        false, true,    "platform logic ui"},
    {"ui/graphs",     "ui",        false, true,    "platform logic ui ui/graphs"},
    {"ui/dialogs",    "ui",        false, true,    "platform logic ui ui/dialogs"},
    {"ui/tile",       "ui",        false, true,    "platform logic ui ui/tile ui/graphs"
                                                   " ui/dialogs"},
    {"ui/history",    "ui",        false, true,    "platform logic ui ui/history ui/graphs"},
    {"ui/alarms",     "ui",        false, true,    "platform logic ui ui/alarms ui/dialogs"},
    {"ui/mainwindow", "ui",        false, true,    "platform logic ui ui/mainwindow ui/tile"
                                                   " ui/graphs ui/dialogs ui/history ui/alarms"},
    {"console",       "front end", false, true,    "platform logic sim console"},
    // main.cpp and any other file right in src/.
    {"",              "main",      false, true,    "*"},
}};
// clang-format on
constexpr std::array<std::string_view, 9> kLogic = {
    "protocol", "usb", "graphs", "monitor", "convert", "app", "alarms", "metrics", "history"};

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  while (!text.empty()) {
    const auto at = text.find(separator);
    const std::string_view part = text.substr(0, at);
    if (!part.empty()) parts.push_back(part);
    if (at == std::string_view::npos) break;
    text.remove_prefix(at + 1);
  }
  return parts;
}

const Row* FindRow(std::string_view folder) {
  const auto it = std::find_if(kTable.begin(), kTable.end(),
                               [&](const Row& row) { return row.folder == folder; });
  return it == kTable.end() ? nullptr : &*it;
}

// The row of a file given by its path relative to src/; null for a folder the table does
// not know. `folder` gets the folder's name as the table writes it.
const Row* Locate(std::string_view path, std::string* folder) {
  const std::vector<std::string_view> parts = Split(path, '/');
  *folder = parts.size() > 1 ? std::string(parts[0]) : std::string();
  if (parts.size() > 2 && parts[0] == "ui") {
    const std::string part = "ui/" + std::string(parts[1]);
    if (FindRow(part) != nullptr) *folder = part;
  }
  if (parts.empty()) return nullptr;
  return FindRow(*folder);
}

bool Uses(const Row& row, std::string_view folder) {
  for (const std::string_view used : Split(row.uses, ' ')) {
    if (used == "*" || used == folder) return true;
    if (used == "logic" && std::find(kLogic.begin(), kLogic.end(), folder) != kLogic.end()) {
      return true;
    }
  }
  return false;
}

std::string Describe(const Row& row, const std::string& folder) {
  return (folder.empty() ? std::string("src/") : folder) + " (" + std::string(row.layer) + ")";
}

// ---------------------------------------------------------------- headers from outside

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

// A header of one operating system's implementation of a platform service.
bool IsOsImplementation(std::string_view h) {
  return h.find("/linux/") != std::string_view::npos || h.find("/win32/") != std::string_view::npos;
}

// Headers of the operating system: only platform/ may use them.
bool IsOsHeader(std::string_view h) {
  static constexpr std::array<std::string_view, 13> kFiles = {
      "unistd.h", "fcntl.h", "termios.h", "windows.h", "winsock2.h", "libusb.h", "poll.h",
      "dirent.h", "pty.h",   "dlfcn.h",   "pwd.h",     "io.h",       "libudev.h"};
  static constexpr std::array<std::string_view, 4> kFolders = {"sys/", "linux/", "libusb-1.0/",
                                                               "asm/"};
  return std::find(kFiles.begin(), kFiles.end(), h) != kFiles.end() ||
         std::any_of(kFolders.begin(), kFolders.end(),
                     [&](std::string_view f) { return StartsWith(h, f); });
}

// Headers of Qt's GUI and widget modules and of the chart library: only the ui and the
// front ends may use them.
bool IsWindowHeader(std::string_view h) {
  static constexpr std::array<std::string_view, 5> kFolders = {
      "QtGui/", "QtWidgets/", "QtPrintSupport/", "QtCharts/", "QtSvg/"};
  // clang-format off
  static constexpr std::array<std::string_view, 48> kClasses = {
      "QtGui", "QtWidgets", "qcustomplot.h", "QWidget", "QColor", "QFont", "QFontMetrics",
      "QFontDatabase", "QPainter", "QPainterPath", "QPixmap", "QImage", "QIcon", "QBitmap",
      "QApplication", "QGuiApplication", "QPen", "QBrush", "QPalette", "QCursor", "QScreen",
      "QClipboard", "QWindow", "QKeyEvent", "QMouseEvent", "QPaintEvent", "QResizeEvent",
      "QCloseEvent", "QAction", "QMainWindow", "QDialog", "QMessageBox", "QLabel",
      "QPushButton", "QMenu", "QMenuBar", "QMdiArea", "QMdiSubWindow", "QLayout",
      "QVBoxLayout", "QHBoxLayout", "QGridLayout", "QLineEdit", "QFileDialog", "QStyle",
      "QTextDocument", "QDesktopServices", "QValidator"};
  // clang-format on
  return std::find(kClasses.begin(), kClasses.end(), h) != kClasses.end() ||
         std::any_of(kFolders.begin(), kFolders.end(),
                     [&](std::string_view f) { return StartsWith(h, f); });
}

}  // namespace

std::optional<std::string> CheckInclude(std::string_view file, std::string_view included,
                                        Brackets brackets) {
  std::string from_folder;
  const Row* from = Locate(file, &from_folder);
  if (from == nullptr) {
    return "src/" + from_folder + " is in no layer of the table in tests/architecture";
  }
  const std::string header(included);
  if (brackets == Brackets::Angles) {
    if (IsOsHeader(included) && !from->os_headers) {
      return "<" + header + "> is an operating system header; only platform/ may use one";
    }
    if (IsWindowHeader(included) && !from->window_headers) {
      return "<" + header + "> belongs to the windows; " + Describe(*from, from_folder) +
             " may use only QtCore";
    }
    return std::nullopt;
  }
  // A header next to the including file (or generated next to it).
  if (included.find('/') == std::string_view::npos) return std::nullopt;
  if (StartsWith(included, "./") || StartsWith(included, "../")) {
    return "\"" + header + "\": write includes from src/, not relative";
  }
  std::string to_folder;
  const Row* to = Locate(included, &to_folder);
  if (to == nullptr) return "\"" + header + "\" is in no layer of the table";
  // Outside platform/, a service is reached through its interface and factory, never through
  // the implementation of one operating system.
  if (to_folder == "platform" && from_folder != "platform" && IsOsImplementation(included)) {
    return "\"" + header + "\" is one operating system's implementation; " +
           Describe(*from, from_folder) + " uses the service's interface and factory";
  }
  if (Uses(*from, to_folder)) return std::nullopt;
  return Describe(*from, from_folder) + " may not use " + Describe(*to, to_folder);
}

std::vector<Violation> ScanTree(const std::filesystem::path& src_root) {
  namespace fs = std::filesystem;
  static const std::regex kInclude(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
  static constexpr std::array<std::string_view, 6> kSources = {".h",  ".hpp", ".cpp",
                                                               ".cc", ".cxx", ".inl"};
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(src_root)) {
    if (!entry.is_regular_file()) continue;
    const std::string ext = entry.path().extension().string();
    if (std::find(kSources.begin(), kSources.end(), ext) != kSources.end()) {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  std::vector<Violation> found;
  for (const fs::path& path : files) {
    const std::string relative = path.lexically_relative(src_root).generic_string();
    std::ifstream in(path);
    std::string text;
    int number = 0;
    while (std::getline(in, text)) {
      ++number;
      std::smatch m;
      if (!std::regex_search(text, m, kInclude)) continue;
      const Brackets brackets = m[1] == "<" ? Brackets::Angles : Brackets::Quotes;
      const std::string included = m[2];
      if (auto reason = CheckInclude(relative, included, brackets)) {
        found.push_back({relative, included, number, std::move(*reason)});
      }
    }
  }
  return found;
}

}  // namespace dova::architecture
