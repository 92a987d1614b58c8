#include "app/startup.h"

#include "platform/random.h"

namespace dova {

namespace {
void Create(const std::function<void()>& make) {
  if (make) make();
}
}  // namespace

int RunProgram(SingleInstance& guard, const TSingleInstances& create, const TStartup& startup) {
  switch (guard.Acquire()) {
    case SingleInstance::TAcquireResult::HeldElsewhere:
      return 0;
    case SingleInstance::TAcquireResult::Unavailable:
      if (startup.OnGuardUnavailable) startup.OnGuardUnavailable(guard.Problem());
      return 1;
    case SingleInstance::TAcquireResult::Acquired:
      break;
  }
  // Before the first window: the generator that names the tiles.
  Randomize();

  Create(create.DovaPanel);
  Create(create.MainForm);
  Create(create.AboutBox);
  Create(create.EditNameDlg);
  Create(create.FoldersDlg);
  Create(create.NewNameDlg);
  Create(create.LogIntervalDlg);
  Create(create.ModelessDialog);
  Create(create.VCPtoUSBXConv);

  if (startup.RunEventLoop) startup.RunEventLoop();
  return 0;
}

}  // namespace dova
