#include <gtest/gtest.h>

#include <QRegularExpression>
#include <functional>
#include <string>
#include <vector>

#include "app/command_line.h"

namespace dova {
namespace {

// Every field of a parsed line in one text, so that a case compares them all at once.
std::string Describe(const TCommandLine& l) {
  const auto opt = [](const auto& o) {
    return o ? QString::number(*o).toStdString() : std::string("none");
  };
  return "help=" + std::to_string(l.Help) + " headless=" + std::to_string(l.Headless) +
         " simulate=" + std::to_string(l.Simulate) + " vcp=" + std::to_string(l.SimulateVcp) +
         " devices=[" + l.Devices.join(',').toStdString() +
         "] data=" + (l.DataDir ? l.DataDir->toStdString() : "none") +
         " interval=" + opt(l.LogInterval) + " seed=" + opt(l.Seed) + " scenario='" +
         l.Scenario.toStdString() + "' quiet=" + std::to_string(l.SimulateQuiet) + " error='" +
         l.Error.toStdString() + "'";
}

TEST(CommandLineTest, ParsesEveryOption) {
  struct Case {
    QStringList args;
    std::function<void(TCommandLine&)> expect;
  };
  const std::vector<Case> cases = {
      {{}, [](TCommandLine&) {}},
      {{"-h"}, [](TCommandLine& l) { l.Help = true; }},
      {{"--headless", "--device", "/dev/pts/3=dova300-1", "--device=/dev/ttyS0", "--data-dir",
        "/tmp/x", "--log-interval=10"},
       [](TCommandLine& l) {
         l.Headless = true;
         l.Devices = QStringList{"/dev/pts/3=dova300-1", "/dev/ttyS0"};
         l.DataDir = "/tmp/x";
         l.LogInterval = 10;
       }},
      {{"--simulate-vcp", "2"}, [](TCommandLine& l) { l.SimulateVcp = 2; }},
      // The lab day, its seed, a scenario, the quiet bench; the order does not matter.
      {{"--simulate", "3"}, [](TCommandLine& l) { l.Simulate = 3; }},
      {{"--seed", "42", "--simulate=3"},
       [](TCommandLine& l) {
         l.Simulate = 3;
         l.Seed = 42;
       }},
      {{"--simulate", "1", "--seed=0"},
       [](TCommandLine& l) {
         l.Simulate = 1;
         l.Seed = 0;
       }},
      {{"--simulate", "1", "--seed", "4294967295"},
       [](TCommandLine& l) {
         l.Simulate = 1;
         l.Seed = 4294967295u;
       }},
      {{"--simulate", "2", "--scenario", "day one.txt", "--seed", "7"},
       [](TCommandLine& l) {
         l.Simulate = 2;
         l.Scenario = "day one.txt";
         l.Seed = 7;
       }},
      {{"--simulate-quiet", "--simulate", "2", "--scenario=/missing/file"},
       [](TCommandLine& l) {
         l.Simulate = 2;
         l.SimulateQuiet = true;
         l.Scenario = "/missing/file";  // read when the run starts, not here
       }},
  };
  for (const Case& c : cases) {
    TCommandLine expected;
    c.expect(expected);
    EXPECT_EQ(Describe(ParseCommandLine(c.args)), Describe(expected))
        << c.args.join(' ').toStdString();
  }
}

TEST(CommandLineTest, SaysWhatIsWrong) {
  const QString kSeed = "--seed takes a whole number from 0 to 4294967295";
  const std::vector<std::pair<QStringList, QString>> cases = {
      {{"--simulate", "3", "--seed", "-1"}, kSeed},
      {{"--simulate", "3", "--seed", "+5"}, kSeed},
      {{"--simulate", "3", "--seed", " 5"}, kSeed},
      {{"--simulate", "3", "--seed", "12x"}, kSeed},
      {{"--simulate", "3", "--seed", "4294967296"}, kSeed},
      {{"--simulate", "3", "--seed", "99999999999"}, kSeed},
      {{"--simulate", "3", "--seed="}, kSeed},
      {{"--simulate", "3", "--seed"}, "--seed needs a value"},
      {{"--simulate", "3", "--scenario"}, "--scenario needs a value"},
      {{"--simulate", "3", "--scenario="}, "--scenario takes a file"},
      // Without --simulate there is nothing for them to act on; the first one is named.
      {{"--seed", "5"}, "--seed needs --simulate"},
      {{"--headless", "--scenario", "x", "--seed", "1"}, "--scenario needs --simulate"},
      {{"--simulate-vcp", "1", "--simulate-quiet"}, "--simulate-quiet needs --simulate"},
      // The options that were there before.
      {{"--simulate", "0"}, "--simulate takes a number of incubators from 1 to 99"},
      {{"--log-interval", "11"}, "--log-interval takes whole minutes from 1 to 10"},
      {{"--simulate-loud"}, "unknown option --simulate-loud"},
  };
  for (const auto& [args, error] : cases)
    EXPECT_EQ(ParseCommandLine(args).Error, error) << args.join(' ').toStdString();
}

TEST(CommandLineTest, HelpNamesEveryOption) {
  const QString help = CommandLineHelp();
  for (const char* option : {"--headless", "--simulate N", "--simulate-vcp N", "--seed N",
                             "--scenario FILE", "--simulate-quiet", "--device PATH[=SERIAL]",
                             "--data-dir DIR", "--log-interval MIN", "--help"}) {
    EXPECT_TRUE(
        help.contains(QRegularExpression("\n  (-h, )?" + QRegularExpression::escape(option))))
        << option;
  }
}

}  // namespace
}  // namespace dova
