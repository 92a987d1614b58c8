#include <gtest/gtest.h>

#include <QStringList>
#include <stdexcept>

#include "app/command_line.h"
#include "app/run.h"
#include "app/startup.h"
#include "monitor/dova_panel.h"
#include "platform/services/runtime_folder.h"
#include "platform/virtual_scheduler.h"

namespace dova {
namespace {

struct FakeGuard : SingleInstance {
  TAcquireResult result = TAcquireResult::Acquired;
  TAcquireResult Acquire() override { return result; }
  std::string Problem() const override { return "no runtime folder"; }
};

struct StartupTest : ::testing::Test {
  QStringList steps;
  TSingleInstances create;
  TStartup startup;
  StartupTest() {
    auto step = [this](const char* name) { return [this, name] { steps << name; }; };
    create =
        TSingleInstances{step("DovaPanel"),      step("MainForm"),       step("AboutBox"),
                         step("EditNameDlg"),    step("FoldersDlg"),     step("NewNameDlg"),
                         step("LogIntervalDlg"), step("ModelessDialog"), step("VCPtoUSBXConv")};
    startup.RunEventLoop = [this] { steps << QStringLiteral("loop"); };
    startup.OnGuardUnavailable = [this](const std::string& why) {
      steps << QString::fromStdString("unguarded: " + why);
    };
  }
};

TEST_F(StartupTest, CreatesTheSingleInstancesInOrderThenRunsTheLoop) {
  FakeGuard guard;
  EXPECT_EQ(RunProgram(guard, create, startup), 0);
  EXPECT_EQ(steps, QStringList({"DovaPanel", "MainForm", "AboutBox", "EditNameDlg", "FoldersDlg",
                                "NewNameDlg", "LogIntervalDlg", "ModelessDialog", "VCPtoUSBXConv",
                                "loop"}));
}

TEST_F(StartupTest, SecondCopyEndsAtOnceCreatingNothing) {
  FakeGuard guard;
  guard.result = SingleInstance::TAcquireResult::HeldElsewhere;
  EXPECT_EQ(RunProgram(guard, create, startup), 0);
  EXPECT_TRUE(steps.isEmpty());
}

// Unguarded, two copies could write the same log files: the program says why and ends.
TEST_F(StartupTest, AGuardThatCannotBeMadeIsToldOnceAndTheProgramEndsWithOne) {
  FakeGuard guard;
  guard.result = SingleInstance::TAcquireResult::Unavailable;
  EXPECT_EQ(RunProgram(guard, create, startup), 1);
  EXPECT_EQ(steps, QStringList{"unguarded: no runtime folder"}) << "nothing created, no loop";
}

// The whole start of a run whose runtime folder cannot hold the guard: one line, exit 1,
// and no window made.
TEST(RunLoggerTest, WithoutTheGuardTheRunSaysSoInOneLineAndEndsWithOne) {
  testing::FolderWithAFile unusable;
  ASSERT_TRUE(unusable.Valid());
  testing::ScopedRuntimeFolder runtime(unusable.file);

  VirtualScheduler sched;
  QStringList made;
  TFrontEnd front;
  front.DovaPanel = [&] { made << "tile"; };
  front.MainForm = [&](TRunServices&) -> TMainForm& {
    made << "main window";
    throw std::logic_error("no main window without the guard");
  };
  front.RunEventLoop = [&] { made << "loop"; };
  QStringList notes;
  const int code = RunLogger(sched, ParseCommandLine({"--simulate", "1"}), front,
                             [&](const QString& line) { notes << line; });
  EXPECT_EQ(code, 1);
  EXPECT_TRUE(made.isEmpty()) << made.join(", ").toStdString();
  ASSERT_EQ(notes.size(), 1);
  EXPECT_FALSE(notes[0].contains('\n'));
  EXPECT_TRUE(notes[0].startsWith("Not started: cannot make sure that no other copy is running"))
      << notes[0].toStdString();
  EXPECT_TRUE(notes[0].contains(unusable.file)) << notes[0].toStdString();
}

}  // namespace
}  // namespace dova
