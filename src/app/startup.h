#pragma once

#include <functional>

#include "platform/instance/single_instance.h"

namespace dova {

// The windows and dialogs the program creates once at start-up, each by a function of the
// front end. They are created in this order, the main window first of the windows, so that
// it becomes the application's main window and the converter starts only once the main
// window is there.
struct TSingleInstances {
  std::function<void()> DovaPanel;  // the template tile (only its size is read)
  std::function<void()> MainForm;
  std::function<void()> AboutBox;
  std::function<void()> EditNameDlg;
  std::function<void()> FoldersDlg;
  std::function<void()> NewNameDlg;
  std::function<void()> LogIntervalDlg;
  std::function<void()> ModelessDialog;
  std::function<void()> VCPtoUSBXConv;  // also starts the driver converter
};

struct TStartup {
  // Told once when the single-copy guard cannot be made at all; the program then ends
  // with 1, creating nothing: two unguarded copies could write the same files.
  std::function<void(const std::string& problem)> OnGuardUnavailable;
  // Runs the event loop until the main window has closed.
  std::function<void()> RunEventLoop;
};

// The program's run: take the guard (a second copy ends at once, creating and showing
// nothing), set the program-wide values, create the single instances in their order, run
// the event loop, then let the guard go. The exit code is 0, or 1 when the guard cannot be
// made.
int RunProgram(SingleInstance& guard, const TSingleInstances& create, const TStartup& startup);

}  // namespace dova
