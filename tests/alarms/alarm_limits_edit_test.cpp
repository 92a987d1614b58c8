// The alarm limits of one incubator as the limits dialog edits them.
#include <gtest/gtest.h>

#include "alarms/alarm_limits_edit.h"
#include "platform/settings/settings_store.h"

namespace dova::testing {
namespace {

struct LimitsEditTest : ::testing::Test {
  MemorySettingsStore store;
  TAlarmSettings settings{&store};
  LimitsEditTest() {
    store.key_exists = true;
    store.values["Alarms/LidOpenDelay"] = 240;  // a changed default
    store.values["Alarms/s1/FlowLimit"] = 8;    // this incubator's own
    store.values["Alarms/s1/FlowLowEnabled"] = false;
  }
};

TEST_F(LimitsEditTest, ShowsEachValueWithItsDefaultAndWhetherTheIncubatorHasItsOwn) {
  TAlarmLimitsEdit edit(store, settings, "s1");
  const auto* lid = edit.Find("LidOpenDelay");
  ASSERT_NE(lid, nullptr);
  EXPECT_EQ(lid->Default, 240);
  EXPECT_FALSE(lid->Own);
  const auto* flow = edit.Find("FlowLimit");
  EXPECT_EQ(flow->Default, 5);
  EXPECT_EQ(flow->Own, 8);
  EXPECT_EQ(edit.Switches()[static_cast<int>(TAlarmKind::FlowLow)].Own, false);
  EXPECT_FALSE(edit.Switches()[static_cast<int>(TAlarmKind::FlowHigh)].Own);
  EXPECT_TRUE(edit.Problems().isEmpty());
}

TEST_F(LimitsEditTest, RefusesValuesThatCannotWorkAndSaysWhatIsWrong) {
  struct Case {
    const char* key;
    double value;
    const char* problem;
  };
  const Case cases[] = {
      {"TemperatureLimit", 0, "Temperature limit must be more than 0 °C."},
      {"FlowLimit", -1, "Gas flow limit must be more than 0 ml/min."},
      {"TemperatureOffMargin", 0.5,
       "The temperature off-margin (0.5 °C) must be smaller than the temperature limit (0.5 °C)."},
      {"LidOpenDelay", 86401, "Lid open delay must be from 0 to 86400 s (24 hours)."},
      {"TemperatureDelay", -1, "Temperature delay must be from 0 to 86400 s (24 hours)."},
      {"FlowDelay", 1.5, "Gas flow delay must be whole seconds."},
  };
  for (const Case& c : cases) {
    TAlarmLimitsEdit edit(store, settings, "s1");
    edit.Find(c.key)->Own = c.value;
    const QStringList problems = edit.Problems();
    ASSERT_FALSE(problems.isEmpty()) << c.key;
    EXPECT_EQ(problems.first().toStdString(), c.problem);
  }
}

TEST_F(LimitsEditTest, StoresOwnValuesAndTakesOutTheOnesThatFollowTheDefault) {
  TAlarmLimitsEdit edit(store, settings, "s1");
  edit.Find("TemperatureLimit")->Own = 0.8;
  edit.Find("FlowLimit")->Own.reset();  // use the default again
  edit.Switches()[static_cast<int>(TAlarmKind::FlowLow)].Own.reset();
  ASSERT_TRUE(edit.Problems().isEmpty());
  QString error;
  ASSERT_TRUE(edit.Store(&error));
  // Read again at once: the engine's next look at the limits sees them.
  const TAlarmLimits& now = settings.Limits("s1");
  EXPECT_DOUBLE_EQ(now.TemperatureLimit, 0.8);
  EXPECT_DOUBLE_EQ(now.FlowLimit, 5);
  EXPECT_TRUE(now.IsEnabled(TAlarmKind::FlowLow));
  EXPECT_EQ(now.LidOpenDelay, 240);
  EXPECT_FALSE(store.Value("Alarms/s1/FlowLimit").isValid());
  EXPECT_TRUE(settings.TakeProblems().isEmpty());

  store.fail_writes = true;
  EXPECT_FALSE(edit.Store(&error));
  EXPECT_EQ(error, "The alarm limits cannot be stored.");
}

}  // namespace
}  // namespace dova::testing
