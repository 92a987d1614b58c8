#pragma once

#include "app/command_line.h"

namespace dova {

// The logger without widgets: everything the main window does, over simulated incubators
// or the real bridges (plus any --device), until Ctrl+C or SIGTERM. Returns the exit code.
int RunHeadless(const TCommandLine& line);

// Writes one line to standard output at once, in the user's 8-bit encoding.
void PrintLine(const QString& text);

}  // namespace dova
