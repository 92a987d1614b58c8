#pragma once

#include <span>
#include <string_view>

namespace dova {

class TMainForm;

// The View menu's ranges of the trend windows, in minutes.
inline constexpr int kViewLast6Hours = 360;
inline constexpr int kViewLast12Hours = 720;
inline constexpr int kViewLast24Hours = 1440;
inline constexpr int kViewAll = 4320;  // "Last 3 Days"

// When a command can be chosen.
enum class TEnabledWhen {
  Always,
  // While a trend window is in the MDI area (the Window menu's arrangements).
  TrendWindowsShown,
};

// One menu command. A front end builds its menus from the table and runs a command by its
// name: form commands through Run, the others (the arrangement of the trend windows) itself.
struct TCommand {
  const char* Name;     // the component name: "FileExit1", "ViewLast6Hours", ...
  const char* Caption;  // with "&" before the access key
  const char* Hint;     // "Short|Long" ("" for none): tool tip and status-bar text
  TEnabledWhen EnabledWhen = TEnabledWhen::Always;
  // The View menu's entries: the range they show, in minutes (0 for other commands). The
  // entry of the form's ViewRangeChecked carries the check mark.
  int ViewMinutes = 0;
  // What the command does to the form; null for a command of the window itself.
  void (*Run)(TMainForm& form) = nullptr;
};

// One menu of the menu bar and its commands, in the order shown.
struct TMenu {
  const char* Name;
  const char* Caption;
  const char* Hint;
  std::span<const TCommand> Commands;
};

// The menu bar, left to right.
std::span<const TMenu> MenuTable();
// The command of that name, or null.
const TCommand* FindCommand(std::string_view name);

}  // namespace dova
