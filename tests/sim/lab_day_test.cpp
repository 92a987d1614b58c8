#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "platform/virtual_scheduler.h"
#include "sim/lab_day.h"
#include "sim/simulated_incubators.h"

namespace dova::sim {
namespace {

using V = Action::Verb;

std::vector<ScenarioStep> Steps(int number, std::uint32_t seed, std::size_t count) {
  LabDayPlan plan(number, seed);
  std::vector<ScenarioStep> steps;
  for (std::size_t i = 0; i < count; ++i)
    steps.push_back(plan.Next());
  return steps;
}

// Steps until the given time (from plug-in).
std::vector<ScenarioStep> StepsUntil(int number, std::uint32_t seed, std::int64_t until_ms) {
  LabDayPlan plan(number, seed);
  std::vector<ScenarioStep> steps;
  for (ScenarioStep s = plan.Next(); s.at_ms <= until_ms; s = plan.Next())
    steps.push_back(s);
  return steps;
}

bool Switches(V verb) {
  return verb == V::Lid || verb == V::TempError || verb == V::FlowError;
}

TEST(LabDayTest, ABenchLooksLikeALab) {
  for (std::uint32_t seed : {0u, 1u, 2u, 77u, 4'294'967'295u}) {
    SCOPED_TRACE(seed);
    std::set<std::string> nicks;
    std::set<int> serials, lefts, gases;
    for (int n = 1; n <= 20; ++n) {
      const IncubatorConfig c = LabDayConfig(n, seed);
      EXPECT_FALSE(c.nick.starts_with("DOVA")) << c.nick;
      nicks.insert(c.nick);
      serials.insert(c.serial);
      EXPECT_GE(c.serial, 3'140'000);
      EXPECT_LE(c.serial, 3'239'999);
      EXPECT_FALSE(c.start_warm) << "chambers warm up from the room";
      EXPECT_GE(c.room_temperature, 21.0);
      EXPECT_LT(c.room_temperature, 24.0);
      for (int sp : {c.left_set_point, c.right_set_point}) {
        EXPECT_GE(sp, 3600);
        EXPECT_LE(sp, 3800);
      }
      if (n <= 3) {
        lefts.insert(c.left_set_point);
        gases.insert(c.gas_set_point);
      }
    }
    EXPECT_EQ(nicks.size(), 20u) << "names are distinct";
    EXPECT_EQ(serials.size(), 20u) << "serial numbers are distinct";
    EXPECT_GE(lefts.size(), 2u) << "neighbours differ in their set-points";
    EXPECT_GE(gases.size(), 2u);
  }
  // The same seed, the same bench; another seed, another one.
  const auto nicks = [](std::uint32_t seed) {
    std::vector<std::string> out;
    for (int n = 1; n <= 4; ++n)
      out.push_back(LabDayConfig(n, seed).nick);
    return out;
  };
  EXPECT_EQ(nicks(5), nicks(5));
  EXPECT_NE(nicks(5), nicks(6));
  EXPECT_EQ(LabDayConfig(3, 5).serial, LabDayConfig(3, 5).serial);
  EXPECT_EQ(LabDayConfig(3, 5).seed, LabDayConfig(3, 5).seed);
}

TEST(LabDayTest, ThePlanIsTheSeedsAndTheIncubatorsOwn) {
  const auto one = Steps(2, 7, 300);
  EXPECT_EQ(one, Steps(2, 7, 300));
  EXPECT_NE(one, Steps(2, 8, 300));
  EXPECT_NE(one, Steps(3, 7, 300));
  for (const ScenarioStep& s : one) {
    EXPECT_EQ(s.action.target, 2);
    EXPECT_FALSE(s.repeat);
  }
}

// Whatever the seed, three incubators show a lid opened and closed, a purge started and
// over, and a set-point change within their first two minutes, and do not all act at once.
TEST(LabDayTest, EveryThreeIncubatorBenchShowsTheLabAtWorkWithinTwoMinutes) {
  constexpr std::int64_t kBy = 100'000;  // leaves the logger time to connect and see it end
  for (std::uint32_t seed = 0; seed < 300; ++seed) {
    SCOPED_TRACE(seed);
    bool lid = false, purge = false, set_point = false;
    std::set<std::int64_t> firsts;
    for (int n = 1; n <= 3; ++n) {
      const auto steps = StepsUntil(n, seed, kBy);
      ASSERT_FALSE(steps.empty());
      firsts.insert(steps.front().at_ms);
      EXPECT_GE(steps.front().at_ms, 12'000) << "the logger has connected first";
      EXPECT_LE(steps.size(), 6u) << "not so often that the charts become noise";
      for (std::size_t i = 0; i < steps.size(); ++i) {
        const Action& a = steps[i].action;
        if (a.verb == V::Lid && a.on && i + 1 < steps.size()) lid = true;
        if (a.verb == V::Purge && steps[i].at_ms + a.value <= kBy) purge = true;
        if (a.verb == V::SetPoint || a.verb == V::GasSetPoint) set_point = true;
      }
    }
    EXPECT_TRUE(lid && purge && set_point);
    EXPECT_EQ(firsts.size(), 3u) << "each incubator has its own offset";
  }
}

// A day of many incubators: episodes never overlap, what is switched on is switched off
// again, set-points wander only a little and come back, errors are rare, and after the
// busy first minutes the pace is minutes apart.
TEST(LabDayTest, ADayKeepsItsPaceAndPutsThingsBack) {
  constexpr std::int64_t kDay = 24LL * 3'600'000;
  for (std::uint32_t seed : {1u, 3u, 99u}) {
    for (int n = 1; n <= 8; ++n) {
      SCOPED_TRACE(::testing::Message() << "seed " << seed << ", incubator " << n);
      const IncubatorConfig config = LabDayConfig(n, seed);
      // A minute more, so that an episode begun within the day ends within the steps.
      const auto steps = StepsUntil(n, seed, kDay + 60'000);
      int episodes = 0, errors = 0;
      std::int64_t busy_until = 0, last_start = -1;
      for (std::size_t i = 0; i < steps.size(); ++i) {
        const ScenarioStep& s = steps[i];
        const Action& a = s.action;
        if (s.at_ms > kDay) break;
        ASSERT_GE(s.at_ms, busy_until) << "episodes do not overlap";
        ++episodes;
        if (last_start >= LabDayPlan::kBusyMs) {
          EXPECT_GE(s.at_ms - last_start, LabDayPlan::kCalmGapMs) << "calm after the first minutes";
        }
        last_start = s.at_ms;
        busy_until = s.at_ms;
        if (Switches(a.verb)) {
          ASSERT_TRUE(a.on);
          ASSERT_LT(i + 1, steps.size());
          const ScenarioStep& off = steps[++i];
          EXPECT_EQ(off.action.verb, a.verb);
          EXPECT_EQ(off.action.side, a.side);
          EXPECT_FALSE(off.action.on);
          EXPECT_GE(off.at_ms - s.at_ms, 8'000);
          EXPECT_LE(off.at_ms - s.at_ms, 40'000);
          busy_until = off.at_ms;
          if (a.verb != V::Lid) {
            ++errors;
            EXPECT_GE(s.at_ms, LabDayPlan::kBusyMs) << "no error in the busy first minutes";
          }
        } else if (a.verb == V::Purge) {
          EXPECT_GE(a.value, 20'000);
          EXPECT_LE(a.value, 45'000);
          busy_until = s.at_ms + a.value;
        } else if (a.verb == V::SetPoint) {
          const int base = a.side == Side::Left ? config.left_set_point : config.right_set_point;
          EXPECT_LE(std::abs(a.value - base), 50);
        } else {
          ASSERT_EQ(a.verb, V::GasSetPoint);
          EXPECT_LE(std::abs(a.value - config.gas_set_point), 1000);
        }
      }
      EXPECT_GE(episodes, 24 * 60 / 30);
      EXPECT_LE(episodes, 24 * 60 / 6 + 10);
      EXPECT_LE(errors * 100, episodes * 15) << "errors are rare";
    }
  }
}

TEST(LabDayTest, PlaysEachIncubatorsPlanFromItsOwnStart) {
  VirtualScheduler sched;
  std::vector<std::pair<std::int64_t, Action>> played;
  LabDay day(sched, 4, [&](const Action& a) { played.emplace_back(sched.ElapsedMs(), a); });
  day.Start(1);
  sched.AdvanceBy(5'000);
  day.Start(2);
  sched.AdvanceBy(30 * 60'000);

  for (int n : {1, 2}) {
    SCOPED_TRACE(n);
    const std::int64_t start = n == 1 ? 0 : 5'000;
    std::vector<std::pair<std::int64_t, Action>> expected;
    for (const ScenarioStep& s : StepsUntil(n, 4, 30 * 60'000 + 5'000 - start))
      expected.emplace_back(start + s.at_ms, s.action);
    std::vector<std::pair<std::int64_t, Action>> got;
    std::copy_if(played.begin(), played.end(), std::back_inserter(got),
                 [n](const auto& p) { return p.second.target == n; });
    EXPECT_EQ(got, expected);
  }
}

// ---- the bench ----

TEST(SimulatedBenchTest, PlaysTheLabDayByDefault) {
  VirtualScheduler sched;
  SimulatedIncubators bench(sched, 3);
  for (std::size_t i = 0; i < 3; ++i) {
    const IncubatorConfig c = LabDayConfig(static_cast<int>(i) + 1, kDefaultSeed);
    EXPECT_EQ(bench.At(i).Nick(), c.nick);
    EXPECT_EQ(bench.At(i).Serial(), c.serial);
    EXPECT_NEAR(bench.At(i).Temperature(Side::Left), c.room_temperature, 0.01);
  }
  // What the front panels show over two minutes: every field that ever appears.
  // What the front panels show over two minutes: every field that ever appears, and every
  // set-point.
  std::set<std::string> chambers, gas;
  std::set<std::vector<int>> set_points;
  for (int t = 0; t < 240; ++t) {
    sched.AdvanceBy(500);
    std::vector<int> now;
    for (std::size_t i = 0; i < 3; ++i) {
      const std::string d = bench.At(i).Display();
      chambers.insert(d.substr(0, 4));
      chambers.insert(d.substr(4, 4));
      gas.insert(d.substr(8, 4));
      now.push_back(bench.At(i).SetPoint(Side::Left));
      now.push_back(bench.At(i).SetPoint(Side::Right));
      now.push_back(bench.At(i).GasSetPoint());
    }
    set_points.insert(now);
  }
  EXPECT_TRUE(chambers.contains("LID "));
  EXPECT_TRUE(gas.contains("Pur "));
  EXPECT_GT(chambers.size(), 20u) << "the temperatures move";
  EXPECT_GE(set_points.size(), 2u) << "a set-point was adjusted";
  for (std::size_t i = 0; i < 3; ++i) {
    const IncubatorConfig c = LabDayConfig(static_cast<int>(i) + 1, kDefaultSeed);
    EXPECT_GT(bench.At(i).Temperature(Side::Left), c.room_temperature + 5.0) << "warming up";
  }

  // One more incubator joins the lab day from the moment it is plugged in.
  Incubator& late = bench.Add();
  EXPECT_EQ(late.Nick(), LabDayConfig(4, kDefaultSeed).nick);
}

TEST(SimulatedBenchTest, AQuietBenchStaysQuiet) {
  VirtualScheduler sched;
  SimulatedIncubators bench(sched, TBenchOptions{.Count = 3, .Seed = 8, .Quiet = true});
  bench.Add();
  ASSERT_EQ(bench.Count(), 4u);
  for (std::size_t i = 0; i < bench.Count(); ++i) {
    EXPECT_EQ(bench.At(i).Nick(), "DOVA " + std::to_string(i + 1));
    EXPECT_EQ(bench.At(i).Serial(), static_cast<int>(i) + 1);
  }
  for (int minute = 0; minute < 180; ++minute) {
    sched.AdvanceBy(60'000);
    for (std::size_t i = 0; i < bench.Count(); ++i) {
      Incubator& inc = bench.At(i);
      ASSERT_EQ(inc.Display(), "37.037.0 20  GGG") << "incubator " << i + 1 << ", " << minute;
      ASSERT_EQ(inc.SetPoint(Side::Left), 3700);
      ASSERT_EQ(inc.SetPoint(Side::Right), 3700);
      ASSERT_EQ(inc.GasSetPoint(), 4000);
    }
  }
}

TEST(SimulatedBenchTest, AScenarioPlaysInsteadOfTheLabDay) {
  VirtualScheduler sched;
  SimulatedIncubators bench(sched, TBenchOptions{.Count = 2,
                                                 .ScenarioText = "at 10s lid 2 right open\n"
                                                                 "at 20s lid 2 right close\n"});
  EXPECT_EQ(bench.At(0).Nick(), "DOVA 1");
  sched.AdvanceBy(15'000);
  EXPECT_EQ(bench.At(1).Display().substr(4, 4), "LID ");
  sched.AdvanceBy(10 * 60'000);
  for (std::size_t i = 0; i < 2; ++i)
    EXPECT_EQ(bench.At(i).Display().substr(0, 8), "37.037.0") << "nothing else happens";

  QTemporaryDir dir;
  const QString path = dir.path() + "/day.txt";
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("# a purge\r\nat 5s purge 1 10s\r\n");
  file.close();
  SimulatedIncubators from_file(sched, TBenchOptions{.Count = 1, .ScenarioFile = path});
  sched.AdvanceBy(6'000);
  EXPECT_TRUE(from_file.At(0).Purging());
}

TEST(SimulatedBenchTest, AScenarioThatCannotBePlayedIsReportedBeforeAnythingRuns) {
  QTemporaryDir dir;
  const QString bad_file = dir.path() + "/bad.txt";
  QFile file(bad_file);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("at 5s purge 10s\nat soon unplug\n");
  file.close();
  struct Case {
    TBenchOptions options;
    QString message;
  };
  const std::vector<Case> cases = {
      {{.Count = 1, .ScenarioFile = dir.path() + "/none.txt"},
       "cannot read the scenario file " + dir.path() + "/none.txt"},
      {{.Count = 1, .ScenarioFile = bad_file}, bad_file + ", line 2: bad time"},
      {{.Count = 1, .ScenarioText = "at 5s lid left ajar"},
       "scenario, line 1: expected: lid [N] left|right open|close"},
      {{.Count = 3, .Quiet = true, .ScenarioText = "at 5s unplug 4"},
       "the scenario names incubator 4, but only 3 are simulated"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SimulatedIncubators::Check(c.options), c.message);
    VirtualScheduler sched;
    try {
      SimulatedIncubators bench(sched, c.options);
      ADD_FAILURE() << "no exception for " << c.message.toStdString();
    } catch (const TScenarioExcept& e) {
      EXPECT_EQ(QString::fromStdString(e.Message()), c.message);
    }
  }
  EXPECT_EQ(SimulatedIncubators::Check(TBenchOptions{.Count = 3}), QString());
}

}  // namespace
}  // namespace dova::sim
