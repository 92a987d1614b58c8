#include "layer_rules.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <regex>

namespace dova::architecture {

namespace {

// ---------------------------------------------------------------- the layer table

enum class Layer { Platform, Logic, Sim, Ui, Console, Main, Unknown };

// The logic libraries in link order: each may use itself and the ones before it.
constexpr std::array<std::string_view, 6> kLogicOrder = {"protocol", "usb",     "graphs",
                                                         "monitor",  "convert", "app"};

// The ui parts and the other parts each may use. Files right in src/ui/ (shared helpers)
// form the part "" and every part may use them; a part not listed here counts as one of
// those helpers. The main window puts the others together; none of them knows it.
struct UiPart {
  std::string_view name;
  std::array<std::string_view, 4> uses;
};
constexpr std::array<UiPart, 4> kUiParts = {{
    {"graphs", {"graphs"}},
    {"dialogs", {"dialogs"}},
    {"tile", {"tile", "graphs", "dialogs"}},
    {"mainwindow", {"mainwindow", "tile", "graphs", "dialogs"}},
}};

struct Place {
  Layer layer = Layer::Unknown;
  std::string folder;  // "usb", "ui/tile", "platform", "main.cpp"
  int logic_rank = -1;
  std::string ui_part;  // for Layer::Ui: the part, "" for the shared helpers
};

std::vector<std::string_view> Split(std::string_view path) {
  std::vector<std::string_view> parts;
  while (!path.empty()) {
    const auto slash = path.find('/');
    const std::string_view part = path.substr(0, slash);
    if (!part.empty()) parts.push_back(part);
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  return parts;
}

// Where a file, given by its path relative to src/, lies.
Place Locate(std::string_view path) {
  const std::vector<std::string_view> parts = Split(path);
  Place place;
  if (parts.empty()) return place;
  const std::string_view top = parts[0];
  if (parts.size() == 1) {
    // Files right in src/: the program's main.
    place.layer = Layer::Main;
    place.folder = std::string(top);
    return place;
  }
  place.folder = std::string(top);
  if (top == "platform") {
    place.layer = Layer::Platform;
  } else if (top == "sim") {
    place.layer = Layer::Sim;
  } else if (top == "console") {
    place.layer = Layer::Console;
  } else if (top == "ui") {
    place.layer = Layer::Ui;
    if (parts.size() > 2) {
      place.ui_part = std::string(parts[1]);
      place.folder += "/" + place.ui_part;
    }
  } else {
    const auto it = std::find(kLogicOrder.begin(), kLogicOrder.end(), top);
    if (it != kLogicOrder.end()) {
      place.layer = Layer::Logic;
      place.logic_rank = static_cast<int>(it - kLogicOrder.begin());
    }
  }
  return place;
}

bool KnownUiPart(std::string_view part) {
  return std::any_of(kUiParts.begin(), kUiParts.end(),
                     [&](const UiPart& p) { return p.name == part; });
}

bool UiMayUse(const std::string& from, const std::string& to) {
  if (to.empty() || !KnownUiPart(to)) return true;  // shared helpers
  if (from == to) return true;
  for (const UiPart& p : kUiParts) {
    if (p.name != from) continue;
    return std::find(p.uses.begin(), p.uses.end(), to) != p.uses.end();
  }
  return false;  // a helper uses none of the named parts
}

bool MayUse(const Place& from, const Place& to) {
  if (to.layer == Layer::Platform) return true;
  switch (from.layer) {
    case Layer::Main:
      return true;
    case Layer::Platform:
      return false;
    case Layer::Logic:
      // The composition root builds simulated benches.
      return (to.layer == Layer::Logic && to.logic_rank <= from.logic_rank) ||
             (to.layer == Layer::Sim && from.folder == "app");
    case Layer::Sim:
      return to.layer == Layer::Sim || (to.layer == Layer::Logic && to.folder == "protocol");
    case Layer::Ui:
      return to.layer == Layer::Logic ||
             (to.layer == Layer::Ui && UiMayUse(from.ui_part, to.ui_part));
    case Layer::Console:
      return to.layer == Layer::Logic || to.layer == Layer::Sim || to.layer == Layer::Console;
    case Layer::Unknown:
      return false;
  }
  return false;
}

// ---------------------------------------------------------------- headers from outside

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
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
bool IsGuiHeader(std::string_view h) {
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

const char* LayerName(Layer layer) {
  switch (layer) {
    case Layer::Platform:
      return "platform";
    case Layer::Logic:
      return "logic";
    case Layer::Sim:
      return "simulator";
    case Layer::Ui:
      return "ui";
    case Layer::Console:
      return "console front end";
    case Layer::Main:
      return "main";
    case Layer::Unknown:
      break;
  }
  return "unknown";
}

std::string Describe(const Place& place) {
  return place.folder + " (" + LayerName(place.layer) + ")";
}

}  // namespace

std::optional<std::string> CheckInclude(std::string_view file, std::string_view included,
                                        Brackets brackets) {
  const Place from = Locate(file);
  if (from.layer == Layer::Unknown) {
    return "src/" + from.folder + " is in no layer of the table in tests/architecture";
  }
  if (brackets == Brackets::Angles) {
    if (IsOsHeader(included) && from.layer != Layer::Platform) {
      return "<" + std::string(included) + "> is an operating system header; only platform/ " +
             "may use one";
    }
    const bool gui_allowed =
        from.layer == Layer::Ui || from.layer == Layer::Console || from.layer == Layer::Main;
    if (IsGuiHeader(included) && !gui_allowed) {
      return "<" + std::string(included) + "> belongs to the windows; " + Describe(from) +
             " may use only QtCore";
    }
    return std::nullopt;
  }
  // A header next to the including file (or generated next to it).
  if (included.find('/') == std::string_view::npos) return std::nullopt;
  if (StartsWith(included, "./") || StartsWith(included, "../")) {
    return "\"" + std::string(included) + "\": write includes from src/, not relative";
  }
  const Place to = Locate(included);
  if (to.layer == Layer::Unknown) {
    return "\"" + std::string(included) + "\" is in no layer of the table";
  }
  if (MayUse(from, to)) return std::nullopt;
  return Describe(from) + " may not use " + Describe(to);
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
