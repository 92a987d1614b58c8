#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "platform/bridge/sim/sim_library.h"
#include "platform/virtual_scheduler.h"
#include "sim/incubator.h"
#include "sim/simulated_incubators.h"

namespace dova::sim {
namespace {

using bridge::SI_SUCCESS;
using bridge::SiCall;
using bridge::SiHandle;

// The host side of one simulated bridge, through the library calls only.
struct Host {
  bridge::SimLibrary& lib;
  SiHandle handle = 0;

  Host(bridge::SimLibrary& library, std::uint32_t device) : lib(library) {
    EXPECT_EQ(lib.SI_Open(device, &handle), SI_SUCCESS);
  }
  bridge::SiStatus Write(const std::string& bytes) {
    std::uint32_t written = 0;
    return lib.SI_Write(handle, bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written);
  }
  std::string Read() {
    std::uint32_t count = 0, status = 0;
    EXPECT_EQ(lib.SI_CheckRXQueue(handle, &count, &status), SI_SUCCESS);
    std::string out(count, '\0');
    std::uint32_t got = 0;
    if (count > 0) {
      EXPECT_EQ(lib.SI_Read(handle, out.data(), count, &got), SI_SUCCESS);
    }
    out.resize(got);
    return out;
  }
};

IncubatorConfig TestConfig() {
  IncubatorConfig c;
  c.serial = 4711;
  c.nick = "Lab A";
  c.left_set_point = 3750;
  c.right_set_point = 3620;
  c.gas_set_point = 5000;  // 25 ml/min
  c.seed = 42;
  return c;
}

// The value of a reply "TAG value" as an integer, after checking the layout.
long Value(const std::optional<std::string>& reply, const std::string& tag) {
  EXPECT_TRUE(reply.has_value());
  if (!reply) return 0;
  EXPECT_TRUE(std::regex_match(*reply, std::regex(tag + " -?[0-9]+"))) << *reply;
  return std::strtol(reply->c_str() + 5, nullptr, 10);
}

struct IncubatorTest : ::testing::Test {
  VirtualScheduler sched;
};

TEST_F(IncubatorTest, AnswersEveryCommandInItsUnit) {
  Incubator inc(sched, TestConfig());
  EXPECT_EQ(inc.Reply("!GET SERL"), "SERL 4711");
  EXPECT_EQ(inc.Reply("!GET NICK"), "NICK Lab A");
  EXPECT_EQ(inc.Reply("!GET LBSP"), "LBSP 3750");
  EXPECT_EQ(inc.Reply("!GET RBSP"), "RBSP 3620");
  EXPECT_EQ(inc.Reply("!GET GFSP"), "GFSP 5000");
  // A warm chamber reads its set-point within a few hundredths.
  EXPECT_NEAR(Value(inc.Reply("!READ LBT1"), "LBT1"), 3750, 4);
  EXPECT_NEAR(Value(inc.Reply("!READ LBT2"), "LBT2"), 3750, 4);
  EXPECT_NEAR(Value(inc.Reply("!READ RBT1"), "RBT1"), 3620, 4);
  EXPECT_NEAR(Value(inc.Reply("!READ RBT2"), "RBT2"), 3620, 4);
  // 25 ml/min: FLOW in 1/200, PFLW in 1/20 ml/min.
  EXPECT_NEAR(Value(inc.Reply("!READ FLOW"), "FLOW"), 5000, 60);
  EXPECT_NEAR(Value(inc.Reply("!READ PFLW"), "PFLW"), 500, 6);
  EXPECT_EQ(inc.Reply("!READ DISP"), "DISP 37.536.2 25  GGG");
}

TEST_F(IncubatorTest, StaysSilentOnAnythingElse) {
  Incubator inc(sched, TestConfig());
  for (const char* command :
       {"", "!GET", "!GET ", "!GET XXXX", "!get SERL", "!GET serl", "GET SERL", "!GET  SERL",
        "!GET SERL ", "!READ SERL", "!GET LBT1", "!READ DISP2", "!SET SERL 5", "!SET NICK"}) {
    EXPECT_EQ(inc.Reply(command), std::nullopt) << '"' << command << '"';
  }
}

TEST_F(IncubatorTest, SetNickRenamesAndAnswersOnlyWhenAskedTo) {
  Incubator inc(sched, TestConfig());
  EXPECT_EQ(inc.Reply("!SET NICK  Cell lab 2 "), std::nullopt);
  EXPECT_EQ(inc.Reply("!GET NICK"), "NICK  Cell lab 2 ");
  inc.SetAnswerSetNick(true);
  EXPECT_EQ(inc.Reply("!SET NICK B"), "NICK B");
  // An empty name is a name too; an endless one is cut to what the device keeps.
  EXPECT_EQ(inc.Reply("!SET NICK "), "NICK ");
  EXPECT_EQ(inc.Reply("!SET NICK " + std::string(300, 'x')),
            "NICK " + std::string(Incubator::kMaxNickLength, 'x'));
}

TEST_F(IncubatorTest, TwoReadingsOfAChamberDifferSlightlyAroundTheTruth) {
  Incubator inc(sched, TestConfig());
  int differ = 0;
  long sum = 0;
  for (int i = 0; i < 200; ++i) {
    const long a = Value(inc.Reply("!READ LBT1"), "LBT1");
    const long b = Value(inc.Reply("!READ LBT2"), "LBT2");
    differ += a != b;
    sum += a + b;
    EXPECT_LE(std::abs(a - b), 6);
  }
  EXPECT_GT(differ, 100);
  EXPECT_NEAR(sum / 400.0, 3750.0, 0.5);
}

TEST_F(IncubatorTest, SameSeedSameAnswersOtherSeedOtherNoise) {
  auto run = [this](std::uint64_t seed) {
    IncubatorConfig c = TestConfig();
    c.seed = seed;
    Incubator inc(sched, c);
    std::string all;
    for (int i = 0; i < 20; ++i) {
      for (const char* cmd : {"!READ LBT1", "!READ RBT2", "!READ FLOW"}) {
        all += *inc.Reply(cmd) + "|";
      }
    }
    return all;
  };
  EXPECT_EQ(run(7), run(7));
  EXPECT_NE(run(7), run(8));
}

// The display for the main states, each set on a warm incubator with 20 ml/min of gas.
TEST_F(IncubatorTest, DisplayAndLampsFollowTheState) {
  struct Case {
    const char* name;
    std::function<void(Incubator&)> set;
    const char* display;
  };
  const std::vector<Case> cases = {
      {"steady", [](Incubator&) {}, "37.037.0 20  GGG"},
      {"left lid", [](Incubator& i) { i.SetLidOpen(Side::Left, true); }, "LID 37.0 20  AGG"},
      {"right off", [](Incubator& i) { i.SetChamberOn(Side::Right, false); }, "37.0OFF  20  G G"},
      {"right error", [](Incubator& i) { i.SetTemperatureError(Side::Right, true); },
       "37.0Err  20  GRG"},
      {"error beats lid",
       [](Incubator& i) {
         i.SetLidOpen(Side::Left, true);
         i.SetTemperatureError(Side::Left, true);
       },
       "Err 37.0 20  RGG"},
      {"gas off", [](Incubator& i) { i.SetGasOn(false); }, "37.037.0OFF  GG "},
      {"purge", [](Incubator& i) { i.StartPurge(0); }, "37.037.0Pur  GGA"},
      {"purge with gas off",
       [](Incubator& i) {
         i.SetGasOn(false);
         i.StartPurge(0);
       },
       "37.037.0Pur  GGA"},
      {"CO2 error", [](Incubator& i) { i.SetCO2Error(true); }, "37.037.0CO2  GGR"},
      {"flow error", [](Incubator& i) { i.SetFlowError(true); }, "37.037.0Err  GGR"},
  };
  for (const Case& c : cases) {
    Incubator inc(sched, IncubatorConfig{});
    c.set(inc);
    const std::string d = inc.Display();
    EXPECT_EQ(d, c.display) << c.name;
    EXPECT_EQ(d.size(), 16u) << c.name;
  }
}

TEST_F(IncubatorTest, ChamberWarmsTowardsItsSetPointOverMinutes) {
  IncubatorConfig c;
  c.start_warm = false;  // at 22 °C, set-point 37 °C
  Incubator inc(sched, c);
  EXPECT_EQ(inc.Display().substr(0, 4), "22.0");
  EXPECT_EQ(inc.Display()[13], 'A');
  double last = inc.Temperature(Side::Left);
  for (int minute = 1; minute <= 10; ++minute) {
    sched.AdvanceBy(60'000);
    const double t = inc.Temperature(Side::Left);
    EXPECT_GT(t, last) << "minute " << minute;
    EXPECT_LT(t, 37.0);
    last = t;
  }
  // Half-way after a few minutes, not at once, and settled well within the hour.
  EXPECT_GT(last, 34.0);
  sched.AdvanceBy(20 * 60'000);
  EXPECT_EQ(inc.Display(), "37.037.0 20  GGG");
  EXPECT_NEAR(Value(inc.Reply("!READ LBT1"), "LBT1"), 3700, 4);
}

TEST_F(IncubatorTest, LidOffAndSetPointChangesMoveTheTemperature) {
  Incubator inc(sched, IncubatorConfig{});
  inc.SetLidOpen(Side::Left, true);
  inc.SetChamberOn(Side::Right, false);
  sched.AdvanceBy(5 * 60'000);
  EXPECT_LT(inc.Temperature(Side::Left), 30.0);   // the lid lets the heat out fast
  EXPECT_GT(inc.Temperature(Side::Right), 30.0);  // an idle chamber cools slowly
  EXPECT_EQ(inc.Display().substr(0, 8), "LID OFF ");

  inc.SetLidOpen(Side::Left, false);
  inc.SetChamberOn(Side::Right, true);
  inc.SetSetPoint(Side::Right, 3000);
  sched.AdvanceBy(60 * 60'000);
  EXPECT_EQ(inc.Display().substr(0, 8), "37.030.0");
  EXPECT_EQ(inc.Reply("!GET RBSP"), "RBSP 3000");

  inc.SetChamberOn(Side::Left, false);
  sched.AdvanceBy(4 * 3'600'000);
  EXPECT_NEAR(inc.Temperature(Side::Left), 22.0, 0.5);  // back at room temperature
}

TEST_F(IncubatorTest, TimedPurgeEndsByItselfAndGasSetPointChanges) {
  Incubator inc(sched, IncubatorConfig{});
  inc.StartPurge(30'000);
  sched.AdvanceBy(25'000);
  EXPECT_TRUE(inc.Purging());
  EXPECT_NEAR(Value(inc.Reply("!READ PFLW"), "PFLW"), 2000, 20);  // 100 ml/min
  sched.AdvanceBy(4'999);
  EXPECT_TRUE(inc.Purging());
  sched.AdvanceBy(1);
  EXPECT_FALSE(inc.Purging());
  sched.AdvanceBy(60'000);
  EXPECT_EQ(inc.Display().substr(8, 4), " 20 ");

  inc.SetGasSetPoint(9000);
  EXPECT_EQ(inc.Reply("!GET GFSP"), "GFSP 9000");
  sched.AdvanceBy(60'000);
  EXPECT_EQ(inc.Display().substr(8, 4), " 45 ");
  inc.SetCO2Error(true);
  sched.AdvanceBy(60'000);
  EXPECT_EQ(Value(inc.Reply("!READ FLOW"), "FLOW"), 0);
}

// ---- on a simulated bridge ----

struct BridgeTest : ::testing::Test {
  VirtualScheduler sched;
  SimulatedIncubators bench{sched, TBenchOptions{.Count = 2, .Seed = 9, .Quiet = true}};
  Host host{bench.Library(), 0};
  Incubator& inc = bench.At(0);
};

TEST_F(BridgeTest, BenchPlugsNumberedIncubators) {
  ASSERT_EQ(bench.Count(), 2u);
  char serial[bridge::SI_MAX_DEVICE_STRLEN];
  ASSERT_EQ(bench.Library().SI_GetProductString(1, serial, bridge::SI_RETURN_SERIAL_NUMBER),
            SI_SUCCESS);
  EXPECT_STREQ(serial, "dova300-0002");
  Host second(bench.Library(), 1);
  ASSERT_EQ(second.Write("!GET SERL\r!GET NICK\r"), SI_SUCCESS);
  EXPECT_EQ(second.Read(), "SERL 2\rNICK DOVA 2\r");
  EXPECT_EQ(SimulatedIncubators::BridgeSerial(12345), "dova300-12345");
}

TEST_F(BridgeTest, AssemblesCommandsAcrossWritesAtEachCR) {
  ASSERT_EQ(host.Write("!GET SE"), SI_SUCCESS);
  EXPECT_EQ(host.Read(), "");
  ASSERT_EQ(host.Write("RL\r!GET NI"), SI_SUCCESS);
  EXPECT_EQ(host.Read(), "SERL 1\r");
  ASSERT_EQ(host.Write("CK\r\r!GET XXXX\r!GET LBSP\n\r"), SI_SUCCESS);
  EXPECT_EQ(host.Read(), "NICK DOVA 1\rLBSP 3700\r");
  // An overlong line is lost up to its CR; the next command is whole again.
  ASSERT_EQ(host.Write(std::string(1000, 'A') + "!GET SERL\r!GET SERL\r"), SI_SUCCESS);
  EXPECT_EQ(host.Read(), "SERL 1\r");
  EXPECT_EQ(inc.RecentCommands().back(), "!GET SERL");
}

TEST_F(BridgeTest, SilentIncubatorHearsButDoesNotAnswer) {
  inc.SetSilent(true);
  ASSERT_EQ(host.Write("!GET SERL\r"), SI_SUCCESS);
  sched.AdvanceBy(1000);
  EXPECT_EQ(host.Read(), "");
  EXPECT_EQ(inc.CommandCount(), 1u);
  inc.SetSilent(false);
  ASSERT_EQ(host.Write("!GET SERL\r"), SI_SUCCESS);
  EXPECT_EQ(host.Read(), "SERL 1\r");
}

TEST_F(BridgeTest, LateAnswersComeAfterTheDelayInOrder) {
  inc.SetReplyDelay(200);
  ASSERT_EQ(host.Write("!GET SERL\r"), SI_SUCCESS);
  sched.AdvanceBy(50);
  ASSERT_EQ(host.Write("!GET NICK\r"), SI_SUCCESS);
  sched.AdvanceBy(149);
  EXPECT_EQ(host.Read(), "");
  EXPECT_EQ(inc.PendingReplies(), 2u);
  sched.AdvanceBy(1);
  EXPECT_EQ(host.Read(), "SERL 1\r");
  sched.AdvanceBy(50);
  EXPECT_EQ(host.Read(), "NICK DOVA 1\r");
  // Taking the delay away never lets a new reply overtake one still on its way.
  ASSERT_EQ(host.Write("!GET SERL\r"), SI_SUCCESS);
  inc.SetReplyDelay(0);
  ASSERT_EQ(host.Write("!GET NICK\r"), SI_SUCCESS);
  EXPECT_EQ(host.Read(), "");
  sched.AdvanceBy(200);
  EXPECT_EQ(host.Read(), "SERL 1\rNICK DOVA 1\r");
  EXPECT_EQ(inc.PendingReplies(), 0u);
}

TEST_F(BridgeTest, SplitRepliesArriveInTwoPiecesAcrossReadTicks) {
  inc.SetSplitReplies(true);
  ASSERT_EQ(host.Write("!GET NICK\r"), SI_SUCCESS);
  const std::string first = host.Read();
  EXPECT_FALSE(first.empty());
  EXPECT_EQ(first.find('\r'), std::string::npos);
  sched.AdvanceBy(20);  // one host read tick: still only the first piece
  EXPECT_EQ(host.Read(), "");
  // A second command meanwhile queues behind, so pieces never interleave.
  ASSERT_EQ(host.Write("!GET SERL\r"), SI_SUCCESS);
  sched.AdvanceBy(10);
  std::string all = first + host.Read();
  EXPECT_TRUE(all.starts_with("NICK DOVA 1\r")) << all;
  sched.AdvanceBy(100);
  all += host.Read();
  EXPECT_EQ(all, "NICK DOVA 1\rSERL 1\r");
}

TEST_F(BridgeTest, CrLfEndingsAndGarbageLines) {
  inc.SetCrLf(true);
  ASSERT_EQ(host.Write("!GET SERL\r"), SI_SUCCESS);
  EXPECT_EQ(host.Read(), "SERL 1\r\n");
  inc.SetCrLf(false);
  inc.SetGarbageEvery(1);
  ASSERT_EQ(host.Write("!GET SERL\r"), SI_SUCCESS);
  const std::string got = host.Read();
  ASSERT_TRUE(got.starts_with("SERL 1\r")) << got;
  const std::string noise = got.substr(7);
  ASSERT_TRUE(noise.ends_with("\r")) << noise;
  EXPECT_EQ(noise.find('\r'), noise.size() - 1);  // one line of noise
  EXPECT_TRUE(noise.starts_with("~"));            // never a reply tag
}

TEST_F(BridgeTest, OverrunShowsOnTheNextQueueCheck) {
  ASSERT_EQ(host.Write("!GET SERL\r"), SI_SUCCESS);
  inc.TriggerOverrun();
  std::uint32_t count = 0, status = 0;
  ASSERT_EQ(bench.Library().SI_CheckRXQueue(host.handle, &count, &status), SI_SUCCESS);
  EXPECT_EQ(status, bridge::SI_RX_OVERRUN);
  ASSERT_EQ(bench.Library().SI_CheckRXQueue(host.handle, &count, &status), SI_SUCCESS);
  EXPECT_EQ(status, bridge::SI_RX_READY);
}

TEST_F(BridgeTest, UnplugFailsWritesAndReplugComesBackUnderTheSameSerial) {
  inc.SetReplyDelay(100);
  ASSERT_EQ(host.Write("!GET SERL\r"), SI_SUCCESS);
  inc.Unplug();
  EXPECT_TRUE(inc.Unplugged());
  EXPECT_EQ(inc.PendingReplies(), 0u);
  EXPECT_NE(host.Write("!GET SERL\r"), SI_SUCCESS);
  std::uint32_t n = 0;
  ASSERT_EQ(bench.Library().SI_GetNumDevices(&n), SI_SUCCESS);
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(bench.Library().SI_Close(host.handle), SI_SUCCESS);

  bench.Replug(0);
  EXPECT_FALSE(inc.Unplugged());
  ASSERT_EQ(bench.Library().SI_GetNumDevices(&n), SI_SUCCESS);
  ASSERT_EQ(n, 2u);
  char serial[bridge::SI_MAX_DEVICE_STRLEN];
  ASSERT_EQ(bench.Library().SI_GetProductString(1, serial, bridge::SI_RETURN_SERIAL_NUMBER),
            SI_SUCCESS);
  EXPECT_STREQ(serial, "dova300-0001");
  Host again(bench.Library(), 1);
  inc.SetReplyDelay(0);
  ASSERT_EQ(again.Write("!GET SERL\r"), SI_SUCCESS);
  EXPECT_EQ(again.Read(), "SERL 1\r");
}

TEST_F(BridgeTest, CommandLogStaysSmallOverALongRun) {
  // A day of polling at 20 ms would be 4.3 million commands; the log keeps the last few.
  for (int i = 0; i < 5000; ++i) {
    ASSERT_EQ(host.Write(i % 2 ? "!READ DISP\r" : "!GET SERL\r"), SI_SUCCESS);
    host.Read();
  }
  EXPECT_EQ(inc.CommandCount(), 5000u);
  EXPECT_EQ(inc.RecentCommands().size(), Incubator::kCommandLogSize);
  EXPECT_EQ(inc.RecentCommands().back(), "!READ DISP");
  EXPECT_EQ(bench.Bridge(0)->QueuedBytes(), 0u);
}

}  // namespace
}  // namespace dova::sim
