#include <gtest/gtest.h>

#include "main_form_fixture.h"
#include "platform/bridge/linux/linux_library.h"
#include "platform/pty/pseudo_terminal.h"
#include "platform/timer.h"
#include "sim/incubator.h"

namespace dova {
namespace {

// The whole road through the real tty code: a simulated incubator on a pseudo-terminal,
// named with --device, is found by the enumerator, polled, listed and logged; pulling its
// cable ends the log with "Disconnected". The timers run on virtual time; the bytes cross
// the kernel's pseudo-terminal for real, so each step also gives them a moment to arrive.
TEST(TtyEndToEndTest, IncubatorOnAPseudoTerminalIsFoundLoggedAndUnplugged) {
  testing::MainFormFixture f;
  auto pty = PseudoTerminal::Open();
  sim::Incubator incubator(f.sched, sim::SimulatedIncubators::DefaultConfig(1, 1));
  PseudoTerminal* link = pty.get();
  sim::Endpoint endpoint;
  endpoint.send = [link](std::string_view bytes) { link->Write(bytes); };
  endpoint.unplug = [link] { link->CloseMaster(); };
  incubator.SetEndpoint(std::move(endpoint));
  // The incubator's side of the line: what the logger wrote reaches it every 5 ms.
  Timer pump(f.sched, 5, true);
  pump.SetOnTimer([&] {
    const std::string bytes = link->ReadAvailable();
    if (!bytes.empty()) incubator.Receive(bytes);
  });

  bridge::LinuxSiLibrary library(f.dir.path().toStdString() + "/no-sysfs");
  library.AddUserDevice(link->SlavePath(), "");
  TMainForm form(TMainFormServices{f.sched, library, f.store, f.awake, f.boxes, f.format,
                                   TDialogs{f.dialogs, f.dialogs, f.dialogs, f.dialogs, f.dialogs},
                                   f.dir.path() + "/Documents"});
  auto run_until = [&](const std::function<bool()>& done) {
    for (int i = 0; i < 3000 && !done(); ++i) {
      f.sched.AdvanceBy(10);
      link->WaitReadable(2);
    }
    return done();
  };

  ASSERT_TRUE(run_until([&] { return form.ActivePanels.size() == 1; }));
  TDovaPanel& tile = *form.ActivePanels.front();
  EXPECT_EQ(tile.Caption.Text, QStringLiteral("DOVA 1: 1"));
  const QString log = tile.LogFilePath();
  ASSERT_TRUE(run_until([&] { return f.LogLines(log).size() >= 12; }));  // state and a block
  EXPECT_TRUE(f.LogLines(log).first().endsWith(", Connected"));
  EXPECT_EQ(f.LogLines(log).filter(", Gas Set-Point, 20").size(), 1);

  incubator.Unplug();
  ASSERT_TRUE(run_until([&] { return form.ActivePanels.empty() && form.ClosingPanels().empty(); }));
  EXPECT_TRUE(f.LogLines(log).last().endsWith(", Disconnected"));
  EXPECT_TRUE(f.errors.messages.empty());
}

}  // namespace
}  // namespace dova
