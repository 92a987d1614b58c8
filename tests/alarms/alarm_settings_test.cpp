#include <gtest/gtest.h>

#include "alarms/alarm_settings.h"
#include "platform/settings/settings_store.h"

namespace dova {
namespace {

TEST(AlarmSettings, DefaultsGroupAndSerialOverridesInThatOrder) {
  MemorySettingsStore store;
  TAlarmSettings none(&store);
  EXPECT_EQ(none.Limits("x"), TAlarmLimits{});
  EXPECT_TRUE(none.Command().isEmpty());

  store.key_exists = true;
  store.values = {
      {"Alarms/TemperatureLimit", "0.8"},           {"Alarms/LidOpenDelay", 300},
      {"Alarms/Command", "/usr/local/bin/page-me"}, {"Alarms/s_1/LidOpenDelay", "60"},
      {"Alarms/s_1/FlowHighEnabled", "false"},      {"Alarms/s2/NoDataEnabled", "0"},
  };
  TAlarmSettings s(&store);
  EXPECT_EQ(s.Command(), "/usr/local/bin/page-me");
  const TAlarmLimits& one = s.Limits("s/1");  // a slash in device text makes no sub-group
  EXPECT_DOUBLE_EQ(one.TemperatureLimit, 0.8);
  EXPECT_EQ(one.LidOpenDelay, 60);
  EXPECT_FALSE(one.IsEnabled(TAlarmKind::FlowHigh));
  EXPECT_TRUE(one.IsEnabled(TAlarmKind::NoData));
  const TAlarmLimits& other = s.Limits("s3");
  EXPECT_EQ(other.LidOpenDelay, 300);
  EXPECT_EQ(other.TemperatureDelay, 600);
  EXPECT_FALSE(s.Limits("s2").IsEnabled(TAlarmKind::NoData));
  EXPECT_TRUE(s.TakeProblems().isEmpty());
}

TEST(AlarmSettings, UnreadableValuesFallBackAndAreToldOnce) {
  MemorySettingsStore store;
  store.key_exists = true;
  store.values = {
      {"Alarms/TemperatureDelay", "ten minutes"}, {"Alarms/FlowLimit", "-3"},
      {"Alarms/x/TemperatureOffMargin", "0.7"},  // not below the limit
      {"Alarms/x/LidOpenEnabled", "maybe"},       {"Alarms/x/NoDataDelay", "1e12"},
  };
  TAlarmSettings s(&store);
  const TAlarmLimits x = s.Limits("x");
  EXPECT_EQ(x.TemperatureDelay, 600);
  EXPECT_DOUBLE_EQ(x.FlowLimit, 5);
  EXPECT_DOUBLE_EQ(x.TemperatureOffMargin, 0.1);
  EXPECT_TRUE(x.IsEnabled(TAlarmKind::LidOpen));
  EXPECT_EQ(x.NoDataDelay, 60);
  const QStringList problems = s.TakeProblems();
  EXPECT_EQ(problems.size(), 5) << problems.join('\n').toStdString();
  EXPECT_TRUE(problems.join('\n').contains("Alarms/TemperatureDelay"));
  s.Limits("y");  // the group's problems are not told again for the next incubator
  EXPECT_TRUE(s.TakeProblems().isEmpty());
}

}  // namespace
}  // namespace dova
