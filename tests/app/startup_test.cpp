#include <gtest/gtest.h>

#include <QStringList>

#include "app/startup.h"
#include "monitor/dova_panel.h"

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

TEST_F(StartupTest, AGuardThatCannotBeMadeIsToldOnceAndTheProgramRuns) {
  FakeGuard guard;
  guard.result = SingleInstance::TAcquireResult::Unavailable;
  EXPECT_EQ(RunProgram(guard, create, startup), 0);
  ASSERT_EQ(steps.size(), 11);
  EXPECT_EQ(steps.first(), QStringLiteral("unguarded: no runtime folder"));
  EXPECT_EQ(steps.last(), QStringLiteral("loop"));
}

}  // namespace
}  // namespace dova
