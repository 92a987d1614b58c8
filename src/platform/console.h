#pragma once

#include <QString>
#include <functional>
#include <memory>

namespace dova {

// True when standard output goes to a terminal (the live table is drawn only there).
bool StandardOutputIsTerminal();

// The name the user logged in with ("ana"); empty when it cannot be found.
QString LoginName();

// Single key presses on a terminal's standard input, told as they come (on the Qt event
// loop), without waiting for Enter and without echo. The terminal's settings come back when
// the object goes. Null where standard input is no terminal.
class TerminalKeys {
 public:
  virtual ~TerminalKeys() = default;
  static std::unique_ptr<TerminalKeys> Start(std::function<void(char key)> on_key);
};

}  // namespace dova
