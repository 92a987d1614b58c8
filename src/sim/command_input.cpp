#include "sim/command_input.h"

#include <ostream>
#include <utility>

namespace dova::sim {

CommandInput::CommandInput(LineSource source, Apply apply, OwnCommand own, std::ostream& errors)
    : source_(std::move(source)), apply_(std::move(apply)), own_(std::move(own)), errors_(errors) {}

bool CommandInput::Poll() {
  if (quit_) return false;
  if (!open_) return true;
  bool closed = false;
  const std::vector<std::string> lines = source_(&closed);
  if (closed) open_ = false;
  for (const std::string& line : lines) {
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    if (line == "quit" || line == "exit") {
      quit_ = true;
      return false;
    }
    if (own_ && own_(line)) continue;
    std::string error;
    if (auto action = ParseAction(line, &error)) {
      apply_(*action);
    } else {
      errors_ << "dova300-sim: " << error << "\n";
    }
  }
  return true;
}

}  // namespace dova::sim
