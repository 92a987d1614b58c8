#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "layer_rules.h"

namespace dova::architecture {
namespace {

// Includes in src/ that break the table today and are being mended. TODO: empty this list;
// an entry that no longer occurs fails the test until it is taken off.
struct Known {
  const char* file;
  const char* included;
};
const std::vector<Known> kKnownViolations = {};

struct Case {
  const char* file;
  const char* included;
  bool allowed;
};

void CheckCases(const std::vector<Case>& cases, Brackets brackets) {
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " includes " + c.included);
    const std::optional<std::string> violation = CheckInclude(c.file, c.included, brackets);
    EXPECT_EQ(!violation.has_value(), c.allowed) << violation.value_or("allowed");
  }
}

TEST(LayerRules, WhoMayIncludeWhom) {
  CheckCases(
      {
          // The deliberately wrong one: a trend model reaching up into the main window.
          {"graphs/temp_graph.cpp", "app/main_form.h", false},
          // Platform uses only itself.
          {"platform/timer.cpp", "platform/scheduler.h", true},
          {"platform/logfile/log_files.h", "platform/exception.h", true},
          {"platform/serial/va_comm.cpp", "usb/usbxpress.h", false},
          {"platform/bridge/sim/sim_library.cpp", "sim/incubator.h", false},
          // Logic in link order: protocol, usb, graphs, monitor, convert, app.
          {"protocol/commands.cpp", "platform/clock.h", true},
          {"protocol/commands.cpp", "usb/usbxpress.h", false},
          {"usb/usbxpress.cpp", "protocol/commands.h", true},
          {"usb/usbxpress_enumerator.h", "usb/usbxpress.h", true},
          {"usb/usbxpress.cpp", "monitor/dova_panel.h", false},
          {"usb/usbxpress.cpp", "graphs/trend_graph.h", false},
          {"graphs/trend_graph.h", "usb/usbxpress.h", true},
          {"graphs/trend_graph.h", "monitor/dova_panel.h", false},
          {"monitor/dova_panel.h", "graphs/temp_graph.h", true},
          {"monitor/dova_panel.h", "convert/vcp_to_usbx_conv.h", false},
          {"convert/vcp_dova_to_usbx.cpp", "protocol/commands.h", true},
          {"convert/vcp_dova_to_usbx.cpp", "app/main_form.h", false},
          {"app/main_form.cpp", "monitor/dova_panel.h", true},
          {"app/main_form.cpp", "convert/vcp_to_usbx_conv.h", true},
          // Platform services are reached through their interfaces and factories: the
          // deliberately wrong one is the composition root naming a Linux class.
          {"app/run.cpp", "platform/serial/linux/sysfs_port_map.h", false},
          {"app/run.cpp", "platform/bridge/linux/linux_library.h", false},
          {"main.cpp", "platform/instance/linux/lock_file_instance.h", false},
          {"app/run.cpp", "platform/serial/serial_factory.h", true},
          {"platform/serial/linux/serial_factory.cpp", "platform/serial/linux/sysfs_port_map.h",
           true},
          // Only the composition root builds simulated benches.
          {"app/run.cpp", "sim/simulated_incubators.h", true},
          {"monitor/dova_panel.cpp", "sim/incubator.h", false},
          // Logic never reaches a front end or a widget.
          {"app/main_form.cpp", "ui/tile/tile_widget.h", false},
          {"app/run.cpp", "console/headless_logger.h", false},
          {"monitor/dova_panel.cpp", "ui/helpers.h", false},
          // The simulator: platform, itself and the wire protocol.
          {"sim/incubator.cpp", "protocol/commands.h", true},
          {"sim/incubator.cpp", "sim/scenario.h", true},
          {"sim/incubator.cpp", "monitor/dova_panel.h", false},
          {"sim/incubator.cpp", "usb/usbxpress.h", false},
          {"sim/vcp/simulated_vcp.cpp", "platform/serial/sim/sim_serial.h", true},
          // Widgets: logic and platform, and the parts below them.
          {"ui/tile/tile_widget.h", "monitor/dova_panel.h", true},
          {"ui/dialogs/folders_dlg.h", "app/dialogs.h", true},
          {"ui/tile/tile_widget.cpp", "ui/tile/hint_text.h", true},
          {"ui/tile/tile_widget.cpp", "ui/graphs/trend_chart.h", true},
          {"ui/tile/tile_widget.cpp", "ui/dialogs/dialog_look.h", true},
          {"ui/mainwindow/main_window.cpp", "ui/tile/tile_widget.h", true},
          {"ui/mainwindow/main_window.cpp", "ui/graphs/graph_windows.h", true},
          {"ui/mainwindow/main_window.cpp", "ui/dialogs/about_box.h", true},
          {"ui/graphs/trend_chart.cpp", "ui/mainwindow/main_window.h", false},
          {"ui/tile/tile_widget.cpp", "ui/mainwindow/main_window.h", false},
          {"ui/dialogs/about_box.cpp", "ui/mainwindow/main_window.h", false},
          {"ui/graphs/trend_chart.cpp", "ui/tile/tile_widget.h", false},
          {"ui/dialogs/edit_dialogs.cpp", "ui/graphs/trend_chart.h", false},
          // Helpers right in src/ui/ (or in a part of their own) serve every part.
          {"ui/graphs/trend_chart.cpp", "ui/look.h", true},
          {"ui/graphs/trend_chart.cpp", "ui/common/look.h", true},
          {"ui/look.cpp", "ui/tile/tile_widget.h", false},
          {"ui/tile/tile_widget.cpp", "sim/incubator.h", false},
          {"ui/tile/tile_widget.cpp", "console/console_reports.h", false},
          // The console front end: logic, simulator, platform; no widgets.
          {"console/headless_logger.cpp", "app/run.h", true},
          {"console/headless_logger.cpp", "sim/lab_day.h", true},
          {"console/run_headless.cpp", "console/console_reports.h", true},
          {"console/headless_logger.cpp", "ui/tile/tile_widget.h", false},
          // main.cpp picks a front end: it may use anything.
          {"main.cpp", "ui/mainwindow/windowed_program.h", true},
          {"main.cpp", "console/run_headless.h", true},
          {"main.cpp", "sim/simulated_incubators.h", true},
          // A header next to its file, or generated there.
          {"ui/tile/tile_widget.cpp", "ui_tile.h", true},
          // Relative paths would slip past the table.
          {"graphs/temp_graph.cpp", "../app/main_form.h", false},
          // Folders the table does not know, on either side.
          {"reports/report.cpp", "platform/clock.h", false},
          {"graphs/temp_graph.cpp", "reports/report.h", false},
          // The alarm engine follows the tiles; metrics read the alarms, not the other way.
          {"alarms/alarm_engine.cpp", "monitor/tile_events.h", true},
          {"metrics/metrics_model.cpp", "alarms/alarm_engine.h", true},
          {"alarms/alarm_engine.cpp", "metrics/metrics_model.h", false},
          {"alarms/alarm_engine.cpp", "ui/tile/tile_widget.h", false},
      },
      Brackets::Quotes);
}

TEST(LayerRules, OsAndWindowHeaders) {
  CheckCases(
      {
          // The operating system only behind platform/.
          {"platform/logfile/posix_log_files.cpp", "unistd.h", true},
          {"platform/serial/linux/va_comm_linux.cpp", "termios.h", true},
          {"platform/manufacturing/linux/libusb_transport.cpp", "libusb-1.0/libusb.h", true},
          {"monitor/dova_panel.cpp", "unistd.h", false},
          {"app/run.cpp", "sys/stat.h", false},
          {"convert/vcp_dova_to_usbx.cpp", "termios.h", false},
          {"usb/usbxpress.cpp", "windows.h", false},
          {"usb/usbxpress.cpp", "libusb.h", false},
          {"sim/incubator.cpp", "linux/serial.h", false},
          {"console/headless_logger.cpp", "fcntl.h", false},
          {"ui/tile/tile_widget.cpp", "sys/ioctl.h", false},
          {"main.cpp", "unistd.h", false},
          // The C++ library and QtCore are everyone's.
          {"monitor/dova_panel.cpp", "QString", true},
          {"monitor/dova_panel.cpp", "QtCore/QDateTime", true},
          {"app/main_form.cpp", "QFile", true},
          {"usb/usbxpress.cpp", "cstring", true},
          {"app/run.cpp", "csignal", true},
          // Widgets, painting and charts stay out of logic, platform and the simulator.
          {"monitor/dova_panel.h", "QColor", false},
          {"graphs/trend_graph.h", "qcustomplot.h", false},
          {"app/main_form.cpp", "QWidget", false},
          {"app/main_form.cpp", "QtWidgets/QMessageBox", false},
          {"convert/vcp_to_usbx_conv.cpp", "QtGui/QFont", false},
          {"graphs/gas_graph.cpp", "QFont", false},
          {"monitor/dova_panel.cpp", "QPainter", false},
          {"monitor/dova_panel.cpp", "QPixmap", false},
          {"monitor/dova_panel.cpp", "QImage", false},
          {"app/startup.cpp", "QApplication", false},
          {"platform/console.cpp", "QGuiApplication", false},
          {"sim/sim_main.cpp", "QWidget", false},
          {"ui/tile/tile_widget.h", "QWidget", true},
          {"ui/graphs/trend_chart.h", "qcustomplot.h", true},
          {"main.cpp", "QApplication", true},
      },
      Brackets::Angles);
}

std::string Show(const std::vector<Violation>& found) {
  std::string text;
  for (const Violation& v : found) {
    text += "\n  src/" + v.file + ":" + std::to_string(v.line) + " includes " + v.included + ": " +
            v.reason;
  }
  return text;
}

// A small tree with one wrong-way include among good ones: the scan names exactly that one.
TEST(LayerScan, FindsTheOneWrongIncludeInATree) {
  namespace fs = std::filesystem;
  const fs::path root = fs::path(::testing::TempDir()) / "dova_layer_scan" / "src";
  fs::remove_all(root.parent_path());
  const auto put = [&](const char* relative, const char* text) {
    const fs::path path = root / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
  };
  put("platform/clock.h", "#pragma once\n#include <chrono>\n");
  put("graphs/trend_graph.h", "#pragma once\n#include <QString>\n#include \"platform/clock.h\"\n");
  put("graphs/temp_graph.cpp",
      "#include \"graphs/trend_graph.h\"\n"
      "// #include \"app/main_form.h\" in a comment is no include\n"
      "  #  include \"app/main_form.h\"\n");
  put("app/main_form.h", "#pragma once\n#include \"graphs/trend_graph.h\"\n");
  put("main.cpp", "#include \"app/main_form.h\"\n#include <QApplication>\n");
  put("notes.txt", "#include \"ui/tile/tile_widget.h\"\n");
  const std::vector<Violation> found = ScanTree(root);
  fs::remove_all(root.parent_path());
  ASSERT_EQ(found.size(), 1u) << Show(found);
  EXPECT_EQ(found[0].file, "graphs/temp_graph.cpp");
  EXPECT_EQ(found[0].included, "app/main_form.h");
  EXPECT_EQ(found[0].line, 3);
  EXPECT_EQ(found[0].reason, "graphs (logic) may not use app (logic)");
}

TEST(LayerScan, TheProgramKeepsToTheTable) {
  const std::vector<Violation> found = ScanTree(DOVA_SOURCE_DIR);
  std::vector<Violation> unknown;
  std::vector<bool> seen(kKnownViolations.size(), false);
  for (const Violation& v : found) {
    bool known = false;
    for (std::size_t i = 0; i < kKnownViolations.size(); ++i) {
      if (v.file == kKnownViolations[i].file && v.included == kKnownViolations[i].included) {
        seen[i] = known = true;
      }
    }
    if (!known) unknown.push_back(v);
  }
  EXPECT_TRUE(unknown.empty()) << "includes against the layer table:" << Show(unknown);
  for (std::size_t i = 0; i < seen.size(); ++i) {
    EXPECT_TRUE(seen[i]) << "src/" << kKnownViolations[i].file << " no longer includes "
                         << kKnownViolations[i].included
                         << " against the table: take it off kKnownViolations";
  }
}

}  // namespace
}  // namespace dova::architecture
