#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "sim/scenario.h"

namespace dova::sim {

// The commands typed on the simulator's standard input, one a line: blank lines are skipped,
// "quit" or "exit" ends the program, a line the caller's own commands take is done, and any
// other line is an action (scenario.h) or an error told on the error stream.
class CommandInput {
 public:
  // The complete lines that arrived since the last call; sets *closed once the input ended.
  using LineSource = std::function<std::vector<std::string>(bool* closed)>;
  // Carries out a parsed action.
  using Apply = std::function<void(const Action& action)>;
  // A command of the caller's own; true when it took the line.
  using OwnCommand = std::function<bool(const std::string& line)>;

  CommandInput(LineSource source, Apply apply, OwnCommand own, std::ostream& errors);

  // Runs the commands that arrived. False once "quit" or "exit" came: the caller ends the
  // program, and the lines after it are not run.
  bool Poll();

 private:
  LineSource source_;
  Apply apply_;
  OwnCommand own_;
  std::ostream& errors_;
  bool open_ = true;
  bool quit_ = false;
};

}  // namespace dova::sim
