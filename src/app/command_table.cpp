#include "app/command_table.h"

#include <array>

#include "app/main_form.h"

namespace dova {

namespace {

constexpr TEnabledWhen kWindows = TEnabledWhen::TrendWindowsShown;

const TCommand kFile[] = {
    {"DataDir", "Select Data File &Folder", "", TEnabledWhen::Always, 0,
     [](TMainForm& f) { f.DataDirClick(); }},
    {"SetLoggingInterval1", "Set Logging &Interval", "", TEnabledWhen::Always, 0,
     [](TMainForm& f) { f.LoggingIntervalClick(); }},
    {"ClearDOVAData1", "&Clear Logged Data", "", TEnabledWhen::Always, 0,
     [](TMainForm& f) { f.ClearDOVAData1Click(); }},
    // Stored logs open in viewer windows of their own, beside the live ones (the window's).
    {"OpenLog1", "&Open Log...", "", TEnabledWhen::Always, 0, nullptr},
    {"FileExit1", "E&xit", "Exit|Exit application", TEnabledWhen::Always, 0,
     [](TMainForm& f) { f.FileExit1Execute(); }},
};

const TCommand kEdit[] = {
    {"Name1", "DOVA &Name", "", TEnabledWhen::Always, 0, [](TMainForm& f) { f.Name1Click(); }},
};

const TCommand kView[] = {
    {"ViewLast6Hours", "Last 6 Hours", "", TEnabledWhen::Always, kViewLast6Hours,
     [](TMainForm& f) { f.ViewRangeClick(kViewLast6Hours); }},
    {"ViewLast12Hours", "Last 12 Hours", "", TEnabledWhen::Always, kViewLast12Hours,
     [](TMainForm& f) { f.ViewRangeClick(kViewLast12Hours); }},
    {"ViewLast24Hours", "Last 24 Hours", "", TEnabledWhen::Always, kViewLast24Hours,
     [](TMainForm& f) { f.ViewRangeClick(kViewLast24Hours); }},
    {"ViewAll", "Last 3 Days", "", TEnabledWhen::Always, kViewAll,
     [](TMainForm& f) { f.ViewRangeClick(kViewAll); }},
};

const TCommand kWindow[] = {
    {"WindowCascade1", "&Cascade", "Cascade", kWindows},
    {"WindowTileHorizontal1", "Tile &Horizontally", "Tile Horizontally", kWindows},
    {"WindowTileVertical1", "Tile &Vertically", "Tile Vertically", kWindows},
    {"WindowMinimizeAll1", "&Minimize All", "Minimize All", kWindows},
    {"WindowArrangeAll1", "&Arrange All", "Arrange All", kWindows},
};

const TCommand kHelp[] = {
    {"HelpAbout1", "&About DOVA-300 Logger", "About|Shows the program's information and version",
     TEnabledWhen::Always, 0, [](TMainForm& f) { f.HelpAbout1Execute(); }},
};

const std::array<TMenu, 5> kMenus = {{
    {"File1", "&File", "File related commands", kFile},
    {"Edit1", "&Edit", "Edit commands", kEdit},
    {"View1", "&View", "", kView},
    {"Window1", "&Window", "Window related commands", kWindow},
    {"Help1", "&Help", "Help topics", kHelp},
}};

}  // namespace

std::span<const TMenu> MenuTable() {
  return kMenus;
}

const TCommand* FindCommand(std::string_view name) {
  for (const TMenu& menu : kMenus)
    for (const TCommand& command : menu.Commands)
      if (name == command.Name) return &command;
  return nullptr;
}

}  // namespace dova
