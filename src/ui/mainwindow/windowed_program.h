#pragma once

#include "app/command_line.h"

namespace dova {

// True when the windowed program can open its windows: a platform was named in
// QT_QPA_PLATFORM, or a desktop session is there (DISPLAY or WAYLAND_DISPLAY). Without one,
// making the application object would abort the program, so the caller runs headless.
bool DisplayAvailable();

// The windowed program: the application object, the standard error box, the main window
// and the dialogs, then the run (single copy, event loop until the main window closes).
// SIGINT and SIGTERM close the main window as its Exit command does. Returns the exit code.
int RunWindowed(const TCommandLine& line, int& argc, char** argv);

}  // namespace dova
