// A run of the program from the front end's point of view: the single-copy guard, then the
// front end's parts in their order, the event loop and the teardown.
#include <gtest/gtest.h>

#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include "app/run.h"
#include "convert/vcp_to_usbx_conv.h"
#include "main_form_fixture.h"
#include "platform/instance/single_instance.h"

namespace dova::testing {
namespace {

struct FakeGuard : SingleInstance {
  TAcquireResult result = TAcquireResult::Acquired;
  TAcquireResult Acquire() override { return result; }
  std::string Problem() const override { return "no runtime folder"; }
};

struct RecordingReport : IConverterReport {
  void ShowModal(TVCPtoUSBXConv&) override {}
  void ShowProblem(TVCPtoUSBXConv&, const QString&) override {}
};

// A front end that records what the run asks of it; its main window is the logic alone.
struct RecordingFrontEnd : IFrontEnd {
  QStringList steps;
  ScriptedDialogs dialogs;
  RecordingMessageBoxes boxes;
  RecordingReport report;
  std::unique_ptr<TMainForm> form;

  void MakeDialogs() override { steps << "dialogs"; }
  TMainForm& MakeMainForm(TRunServices& services) override {
    steps << "main form";
    form = std::make_unique<TMainForm>(
        services.MainFormServices(boxes, TDialogs{dialogs, dialogs, dialogs, dialogs, dialogs}));
    return *form;
  }
  IConverterReport& ConverterReport() override {
    steps << "converter report";
    return report;
  }
  void RunEventLoop() override { steps << "loop"; }
  void Close() override { steps << "close"; }
  void Teardown() override {
    steps << "teardown";
    form.reset();
  }
};

struct StartupTest : ::testing::Test {
  StartupTest() {
    // The run's settings are the real settings file: keep the user's own out of the test.
    QStandardPaths::setTestModeEnabled(true);
    line.Simulate = 1;
    line.SimulateQuiet = true;
    line.DataDir = dir.path();
  }
  ~StartupTest() override { QStandardPaths::setTestModeEnabled(false); }
  int Run(SingleInstance::TAcquireResult guard_result) {
    auto guard = std::make_unique<FakeGuard>();
    guard->result = guard_result;
    return RunLogger(
        sched, line, front, [this](const QString& text) { notes << text; }, std::move(guard));
  }
  VirtualScheduler sched;
  QTemporaryDir dir;
  TCommandLine line;
  RecordingFrontEnd front;
  QStringList notes;
};

TEST_F(StartupTest, MakesTheDialogsBeforeTheMainWindowThenRunsTheLoopAndTearsDown) {
  EXPECT_EQ(Run(SingleInstance::TAcquireResult::Acquired), 0);
  EXPECT_EQ(front.steps,
            QStringList({"dialogs", "main form", "converter report", "loop", "teardown"}));
  EXPECT_TRUE(notes.isEmpty()) << notes.join('\n').toStdString();
}

TEST_F(StartupTest, SecondCopyEndsAtOnceCreatingNothing) {
  EXPECT_EQ(Run(SingleInstance::TAcquireResult::HeldElsewhere), 0);
  EXPECT_TRUE(front.steps.isEmpty());
  EXPECT_TRUE(notes.isEmpty());
}

TEST_F(StartupTest, AGuardThatCannotBeMadeEndsTheProgramWithOneLine) {
  // Two unguarded copies could write the same log files.
  EXPECT_EQ(Run(SingleInstance::TAcquireResult::Unavailable), 1);
  EXPECT_TRUE(front.steps.isEmpty());
  ASSERT_EQ(notes.size(), 1);
  EXPECT_TRUE(notes.first().contains("no runtime folder")) << notes.first().toStdString();
}

TEST_F(StartupTest, ACommandLineThatCannotBeUsedEndsWithTwoBeforeTheGuard) {
  line.Devices = QStringList{"/dev/pts/9"};  // --device with --simulate
  EXPECT_EQ(Run(SingleInstance::TAcquireResult::Acquired), 2);
  EXPECT_TRUE(front.steps.isEmpty());
  ASSERT_EQ(notes.size(), 1);
}

}  // namespace
}  // namespace dova::testing
