// What the program says while it cannot log anything, on virtual time.
#include <gtest/gtest.h>

#include "app/attach_notices.h"
#include "main_form_fixture.h"

namespace dova {
namespace {

using testing::MainFormFixture;

struct AttachNoticesTest : ::testing::Test, MainFormFixture {
  QStringList status;
  QStringList problems;
  std::unique_ptr<TAttachNotices> notices;

  void Watch() {
    notices = std::make_unique<TAttachNotices>(
        *form, [this](const QString& text) { status << text; },
        [this](const QString& line) { problems << line; });
  }
};

const QString kWaiting = QStringLiteral("Waiting for incubators: none connected");

TEST_F(AttachNoticesTest, SaysItIsWaitingOnceEachTimeTheLastTileHasGone) {
  Create();
  Watch();
  sched.AdvanceBy(TAttachNotices::kCheckMs - 1);
  EXPECT_TRUE(status.empty());
  sched.AdvanceBy(1);
  EXPECT_EQ(status, QStringList{kWaiting});
  sched.AdvanceBy(20000);
  EXPECT_EQ(status, QStringList{kWaiting});

  sim::Incubator& a = Plug("A");
  Plug("B");
  sched.AdvanceBy(TAttachNotices::kCheckMs);
  EXPECT_EQ(status, (QStringList{kWaiting, QString()}));
  EXPECT_EQ(notices->Status(), QString());
  a.Unplug();
  sched.AdvanceBy(5000);
  EXPECT_EQ(status, (QStringList{kWaiting, QString()}));  // one tile is left

  for (const auto& b : fleet.Library().Bridges())
    b->Unplug();
  sched.AdvanceBy(5000);
  EXPECT_EQ(status, (QStringList{kWaiting, QString(), kWaiting}));
  EXPECT_TRUE(problems.empty());
}

TEST_F(AttachNoticesTest, AnIncubatorFoundAtStartMakesNoWaitingNotice) {
  Create();
  fleet.Add(sim::SimulatedIncubators::DefaultConfig(1, 1));
  Watch();
  sched.AdvanceBy(20000);
  EXPECT_FALSE(form->Panels().empty());
  EXPECT_TRUE(status.empty());
}

TEST_F(AttachNoticesTest, AnIncubatorTheUserMayNotOpenIsNamedOnceWithTheFix) {
  Create();
  Watch();
  fleet.Library().FailNext(bridge::SiCall::Open, 1000, bridge::SI_ACCESS_DENIED);
  fleet.Add(sim::SimulatedIncubators::DefaultConfig(1, 1));
  sched.AdvanceBy(30000);
  ASSERT_EQ(problems.size(), 1);
  EXPECT_TRUE(
      problems[0].startsWith(QStringLiteral("Permission denied: cannot open USB bridge dova300")));
  EXPECT_TRUE(problems[0].endsWith(
      QStringLiteral("; install packaging/udev/70-dova300.rules, then unplug and plug in again")));
  EXPECT_EQ(status, QStringList{kWaiting});
  notices.reset();
  EXPECT_FALSE(form->USBXpressEnumerator.OnAccessDenied);
}

}  // namespace
}  // namespace dova
