#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/virtual_scheduler.h"
#include "sim/scenario.h"
#include "sim/simulated_incubators.h"

namespace dova::sim {
namespace {

using V = Action::Verb;

TEST(ScenarioTest, ParsesActions) {
  struct Case {
    const char* text;
    V verb;
    int target;
    Side side;
    bool on;
    std::int64_t value;
  };
  const std::vector<Case> cases = {
      {"lid left open", V::Lid, 0, Side::Left, true, 0},
      {"lid 2 right close", V::Lid, 2, Side::Right, false, 0},
      {"chamber right off", V::Chamber, 0, Side::Right, false, 0},
      {"error 1 left on", V::TempError, 1, Side::Left, true, 0},
      {"setpoint left 37.5", V::SetPoint, 0, Side::Left, false, 3750},
      {"setpoint 3 right 36.25", V::SetPoint, 3, Side::Right, false, 3625},
      {"setpoint gas 20", V::GasSetPoint, 0, Side::Left, false, 4000},
      {"gas off", V::Gas, 0, Side::Left, false, 0},
      {"purge 30s", V::Purge, 0, Side::Left, false, 30'000},
      {"purge 1 stop", V::StopPurge, 1, Side::Left, false, 0},
      {"co2 on", V::CO2Error, 0, Side::Left, true, 0},
      {"flowerror 2 on", V::FlowError, 2, Side::Left, true, 0},
      {"silent on", V::Silent, 0, Side::Left, true, 0},
      {"delay 250ms", V::Delay, 0, Side::Left, false, 250},
      {"delay 1 2m", V::Delay, 1, Side::Left, false, 120'000},
      {"split on", V::Split, 0, Side::Left, true, 0},
      {"crlf 1 off", V::CrLf, 1, Side::Left, false, 0},
      {"garbage", V::Garbage, 0, Side::Left, false, 0},
      {"garbage 1 every 10", V::GarbageEvery, 1, Side::Left, false, 10},
      {"overrun", V::Overrun, 0, Side::Left, false, 0},
      {"unplug 1", V::Unplug, 1, Side::Left, false, 0},
      {"  unplug\t ", V::Unplug, 0, Side::Left, false, 0},
  };
  for (const Case& c : cases) {
    std::string error;
    const auto a = ParseAction(c.text, &error);
    ASSERT_TRUE(a.has_value()) << c.text << ": " << error;
    EXPECT_EQ(a->verb, c.verb) << c.text;
    EXPECT_EQ(a->target, c.target) << c.text;
    EXPECT_EQ(a->side, c.side) << c.text;
    EXPECT_EQ(a->on, c.on) << c.text;
    EXPECT_EQ(a->value, c.value) << c.text;
  }
  const auto nick = ParseAction("nick 2 Cell  lab ", nullptr);
  ASSERT_TRUE(nick.has_value());
  EXPECT_EQ(nick->target, 2);
  EXPECT_EQ(nick->text, "Cell  lab");
}

TEST(ScenarioTest, RejectsMalformedActions) {
  for (const char* text : {"",
                           "fly away",
                           "lid left",
                           "lid middle open",
                           "lid left open now",
                           "lid 0 left open",
                           "chamber left open",
                           "setpoint left",
                           "setpoint left 37,5",
                           "setpoint left 37.555",
                           "setpoint top 37",
                           "gas",
                           "gas maybe",
                           "purge",
                           "purge 30",
                           "purge 30x",
                           "delay 5d",
                           "nick",
                           "garbage every",
                           "garbage often 3",
                           "overrun now",
                           "unplug 1 2"}) {
    std::string error;
    EXPECT_FALSE(ParseAction(text, &error).has_value()) << '"' << text << '"';
    EXPECT_FALSE(error.empty()) << text;
  }
}

TEST(ScenarioTest, ParsesScriptsAndNamesTheBadLine) {
  std::string error;
  const auto steps = ParseScenario(
      "# a morning\n"
      "at 60s lid left open\r\n"
      "\n"
      "at 90 lid left close\n"
      "every 10m purge 30s\n",
      &error);
  ASSERT_TRUE(steps.has_value()) << error;
  ASSERT_EQ(steps->size(), 3u);
  EXPECT_EQ((*steps)[0].at_ms, 60'000);
  EXPECT_FALSE((*steps)[0].repeat);
  EXPECT_EQ((*steps)[1].at_ms, 90'000);
  EXPECT_TRUE((*steps)[2].repeat);
  EXPECT_EQ((*steps)[2].at_ms, 600'000);
  EXPECT_EQ((*steps)[2].action.value, 30'000);

  for (const auto& [text, where] :
       std::vector<std::pair<const char*, const char*>>{{"at 1s unplug\nsoon unplug\n", "line 2:"},
                                                        {"at 1s\n", "line 1:"},
                                                        {"\n\nat xs unplug\n", "line 3:"},
                                                        {"every 0s garbage\n", "line 1:"},
                                                        {"at 5s lid left ajar\n", "line 1:"}}) {
    EXPECT_FALSE(ParseScenario(text, &error).has_value()) << text;
    EXPECT_TRUE(error.starts_with(where)) << error;
  }
}

TEST(ScenarioTest, RunnerPlaysTheScriptOnVirtualTime) {
  VirtualScheduler sched;
  SimulatedIncubators bench(sched, TBenchOptions{.Count = 2, .Quiet = true});
  const auto steps = ParseScenario(
      "at 0s gas 2 off\n"
      "at 60s lid left open\n"
      "at 90s lid left close\n"
      "every 600s purge 1 30s\n"
      "at 300s unplug 2\n",
      nullptr);
  ASSERT_TRUE(steps.has_value());
  std::vector<std::string> errors;
  ScenarioRunner runner(sched, *steps, [&](const Action& a) {
    std::string error;
    if (!bench.Apply(a, &error)) errors.push_back(error);
  });
  runner.Start();
  Incubator& one = bench.At(0);
  Incubator& two = bench.At(1);
  EXPECT_EQ(two.Display().substr(8, 4), "OFF ");
  sched.AdvanceBy(59'999);
  EXPECT_EQ(one.Display().substr(0, 4), "37.0");
  sched.AdvanceBy(1);
  EXPECT_EQ(one.Display().substr(0, 4), "LID ");
  EXPECT_EQ(two.Display().substr(0, 4), "LID ");
  sched.AdvanceBy(30'000);
  EXPECT_NE(one.Display().substr(0, 4), "LID ");
  sched.AdvanceBy(210'000);  // 300 s
  EXPECT_TRUE(two.Unplugged());
  EXPECT_FALSE(one.Unplugged());
  for (int cycle = 1; cycle <= 3; ++cycle) {
    sched.AdvanceBy(cycle * 600'000 - sched.ElapsedMs());
    EXPECT_TRUE(one.Purging()) << cycle;
    EXPECT_EQ(one.Display().substr(8, 4), "Pur ");
    sched.AdvanceBy(30'000);
    EXPECT_FALSE(one.Purging()) << cycle;
  }
  EXPECT_TRUE(errors.empty());
  Action far;
  far.target = 3;
  std::string error;
  EXPECT_FALSE(bench.Apply(far, &error));
  EXPECT_EQ(error, "no incubator 3");
}

}  // namespace
}  // namespace dova::sim
