// The two programs as a user starts them: what they print and how they end for good and
// bad command lines. Nothing here runs past the command line.
#include <gtest/gtest.h>

#include <QProcess>
#include <QString>
#include <QStringList>
#include <vector>

#include "app/command_line.h"
#include "version.h"

namespace dova {
namespace {

struct Ran {
  int Code = -1;
  QString Out;
  QString Err;
};

Ran Start(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.setStandardInputFile(QProcess::nullDevice());
  process.start(program, arguments);
  Ran ran;
  // A bound for a hung program only; a loaded machine may take its time.
  if (!process.waitForFinished(120'000)) {
    process.kill();
    process.waitForFinished();
    return ran;
  }
  ran.Code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  ran.Out = QString::fromLocal8Bit(process.readAllStandardOutput());
  ran.Err = QString::fromLocal8Bit(process.readAllStandardError());
  return ran;
}

TEST(ProgramsTest, BadCommandLinesEndWithOneLineAndCodeTwo) {
  const QString logger = DOVA_LOGGER;
  const QString sim = DOVA_SIM;
  const std::vector<std::pair<QStringList, QString>> cases = {
      {{logger, "--simulate", "-1"},
       "dova300-logger: --simulate takes a number of incubators from 1 to 99\n"},
      {{logger, "--log-interval", "11"},
       "dova300-logger: --log-interval takes whole minutes from 1 to 10\n"},
      {{logger, "--metrics", "99999"},
       "dova300-logger: --metrics takes [ADDRESS:]PORT, a port from 1 to 65535\n"},
      {{logger, "--headless", "--bogus"}, "dova300-logger: unknown option --bogus\n"},
      {{sim, "--count", "0"}, "dova300-sim: --count takes a number of incubators from 1 to 64\n"},
      {{sim, "--seed", "-1"}, "dova300-sim: --seed takes a whole number from 0 to 4294967295\n"},
      {{sim, "--quiet=yes"}, "dova300-sim: --quiet takes no value\n"},
      {{sim, "--scenario"}, "dova300-sim: --scenario needs a value\n"},
      {{sim, "--count", "2", "extra"}, "dova300-sim: unexpected argument extra\n"},
      {{sim, "--usbip", "--ea60", "x"}, "dova300-sim: --ea60 takes a number from 0 to 16\n"},
      {{sim, "--usbip", "--count", "0"},
       "dova300-sim: --count and --ea60 together serve at least one incubator\n"},
  };
  for (const auto& [line, error] : cases) {
    const Ran ran = Start(line.first(), line.mid(1));
    EXPECT_EQ(ran.Code, 2) << line.join(' ').toStdString();
    EXPECT_EQ(ran.Err, error) << line.join(' ').toStdString();
    EXPECT_EQ(ran.Out, "") << line.join(' ').toStdString();
  }
}

TEST(ProgramsTest, HelpAndVersion) {
  const QString version = QStringLiteral(DOVA_VERSION);
  Ran ran = Start(DOVA_LOGGER, {"--help"});
  EXPECT_EQ(ran.Code, 0);
  EXPECT_EQ(ran.Out, CommandLineHelp() + '\n');
  ran = Start(DOVA_LOGGER, {"-v"});
  EXPECT_EQ(ran.Code, 0);
  EXPECT_EQ(ran.Out, "dova300-logger " + version + '\n');

  ran = Start(DOVA_SIM, {"-h"});
  EXPECT_EQ(ran.Code, 0);
  EXPECT_TRUE(ran.Out.startsWith("Usage: dova300-sim [options]\n")) << ran.Out.toStdString();
  EXPECT_TRUE(ran.Out.contains("\n  --count <N> ")) << ran.Out.toStdString();
  ran = Start(DOVA_SIM, {"--version"});
  EXPECT_EQ(ran.Code, 0);
  EXPECT_EQ(ran.Out, "dova300-sim " + version + '\n');
}

}  // namespace
}  // namespace dova
