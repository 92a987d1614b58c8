#include <gtest/gtest.h>

#include <QFile>
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
  return "help=" + std::to_string(l.Help) + " version=" + std::to_string(l.Version) +
         " headless=" + std::to_string(l.Headless) + " simulate=" + std::to_string(l.Simulate) +
         " vcp=" + std::to_string(l.SimulateVcp) + " devices=[" +
         l.Devices.join(',').toStdString() +
         "] data=" + (l.DataDir ? l.DataDir->toStdString() : "none") +
         " interval=" + opt(l.LogInterval) + " seed=" + opt(l.Seed) + " scenario='" +
         l.Scenario.toStdString() + "' quiet=" + std::to_string(l.SimulateQuiet) +
         " metrics=" + (l.Metrics ? l.Metrics->Text().toStdString() : "none") + " alarm='" +
         l.AlarmCommand.toStdString() + "' verify='" + l.VerifyJournal.toStdString() + "' error='" +
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
      {{"-v"}, [](TCommandLine& l) { l.Version = true; }},
      {{"--version", "--help"},
       [](TCommandLine& l) {
         l.Version = true;
         l.Help = true;
       }},
      {{"--metrics", "0.0.0.0:9300"},
       [](TCommandLine& l) {
         l.Metrics = TMetricsAddress{"0.0.0.0", 9300};
       }},
      {{"--metrics=[::]:80"},
       [](TCommandLine& l) {
         l.Metrics = TMetricsAddress{"::", 80};
       }},
      {{"--alarm-command", "/usr/bin/page me", "--verify-journal=Alarm Journal.csv"},
       [](TCommandLine& l) {
         l.AlarmCommand = "/usr/bin/page me";
         l.VerifyJournal = "Alarm Journal.csv";
       }},
      // Given twice, the last one counts; --device adds up.
      {{"--simulate", "2", "--log-interval=3", "--simulate=5", "--log-interval", "1"},
       [](TCommandLine& l) {
         l.Simulate = 5;
         l.LogInterval = 1;
       }},
      // A value is taken as it is: after '=' only the first '=' splits, and the argument
      // after an option that takes a value is that value even when it starts with dashes.
      {{"--data-dir=/a=b", "--device", "--odd-name"},
       [](TCommandLine& l) {
         l.DataDir = "/a=b";
         l.Devices = QStringList{"--odd-name"};
       }},
      {{"--"}, [](TCommandLine&) {}},
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
      // Bad values name their option.
      {{"--simulate", "-1"}, "--simulate takes a number of incubators from 1 to 99"},
      {{"--simulate", "3x"}, "--simulate takes a number of incubators from 1 to 99"},
      {{"--simulate=100"}, "--simulate takes a number of incubators from 1 to 99"},
      {{"--simulate-vcp", "0"}, "--simulate-vcp takes a number of incubators from 1 to 99"},
      {{"--log-interval", "0"}, "--log-interval takes whole minutes from 1 to 10"},
      {{"--metrics", "99999"}, "--metrics takes [ADDRESS:]PORT, a port from 1 to 65535"},
      {{"--metrics=::1:80"}, "--metrics takes [ADDRESS:]PORT, a port from 1 to 65535"},
      {{"--device", "=dova300-1"}, "--device takes PATH or PATH=SERIAL"},
      {{"--data-dir="}, "--data-dir takes a folder"},
      {{"--alarm-command="}, "--alarm-command takes a program"},
      {{"--verify-journal", ""}, "--verify-journal takes a file"},
      // The first bad option given is named.
      {{"--log-interval", "0", "--simulate", "0"},
       "--log-interval takes whole minutes from 1 to 10"},
      // What the line itself gets wrong.
      {{"--simulate"}, "--simulate needs a value"},
      {{"--headless=yes"}, "--headless takes no value"},
      {{"-h=1"}, "-h takes no value"},
      {{"-x"}, "unknown option -x"},
      {{"--bogus=1", "--headless"}, "unknown option --bogus"},
      {{"logs"}, "unexpected argument logs"},
      {{"--", "--headless"}, "unexpected argument --headless"},
  };
  for (const auto& [args, error] : cases)
    EXPECT_EQ(ParseCommandLine(args).Error, error) << args.join(' ').toStdString();
}

TEST(CommandLineTest, HelpNamesEveryOption) {
  const QString help = CommandLineHelp();
  EXPECT_TRUE(help.startsWith("Usage: dova300-logger [options]\n")) << help.toStdString();
  for (const char* option :
       {"--headless", "--simulate <N>", "--simulate-vcp <N>", "--seed <N>", "--scenario <FILE>",
        "--simulate-quiet", "--device <PATH[=SERIAL]>", "--data-dir <DIR>", "--log-interval <MIN>",
        "--metrics <[ADDR:]PORT>", "--alarm-command <PROGRAM>", "--verify-journal <FILE>",
        "--version", "--help"}) {
    EXPECT_TRUE(
        help.contains(QRegularExpression("\n  (-[hv], )?" + QRegularExpression::escape(option))))
        << option;
  }
}

// The README shows the --help text as it is, and its option table lists the same options
// in the same order, so that neither drifts from the program.
TEST(CommandLineTest, ReadmeShowsTheHelp) {
  QFile readme(DOVA_README);
  ASSERT_TRUE(readme.open(QIODevice::ReadOnly)) << DOVA_README;
  const QString text = QString::fromUtf8(readme.readAll());
  const QString help = CommandLineHelp();
  QStringList block;
  for (const QString& line : help.split(u'\n'))
    block << (line.isEmpty() ? line : "    " + line);
  EXPECT_TRUE(text.contains(block.join(u'\n'))) << "README.md lacks the --help text:\n"
                                                << block.join(u'\n').toStdString();

  QStringList in_help;
  const QRegularExpression help_option("^  ((-\\w, )?--[\\w-]+( <[^>]+>)?)",
                                       QRegularExpression::MultilineOption);
  for (const auto& match : help_option.globalMatch(help))
    in_help << match.captured(1);
  QStringList in_table;
  const qsizetype table = text.indexOf("| option | meaning |\n");
  ASSERT_GE(table, 0);
  const QRegularExpression row("\\G\\| `([^`]+)` \\|[^\n]*\n");
  qsizetype at = text.indexOf(u'\n', text.indexOf(u'\n', table) + 1) + 1;  // past |---|
  for (auto match = row.match(text, at); match.hasMatch(); match = row.match(text, at)) {
    in_table << match.captured(1);
    at = match.capturedEnd();
  }
  EXPECT_EQ(in_table.join(" | ").toStdString(), in_help.join(" | ").toStdString());
  EXPECT_TRUE(in_help.contains("-h, --help")) << in_help.join(", ").toStdString();
}

}  // namespace
}  // namespace dova
