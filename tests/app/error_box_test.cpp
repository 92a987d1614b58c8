#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/error_box.h"

namespace dova {
namespace {

TEST(ErrorBoxTextTest, FullStopOnlyAfterCharactersThatSortAfterIt) {
  const std::vector<std::pair<QString, QString>> cases = {
      {"Error Writing", "Error Writing."},
      {"''abc'' is not a valid integer value", "''abc'' is not a valid integer value."},
      {"Done.", "Done."},
      {"Failed (x)", "Failed (x)"},  // ')' sorts before '.'
      {"Why?", "Why?."},             // '?' sorts after '.'
      {"Path /", "Path /."},         // '/' is the character right after '.'
      {"Dash -", "Dash -"},
      {"", ""},
  };
  for (const auto& [message, text] : cases)
    EXPECT_EQ(ErrorBoxText(message), text) << message.toStdString();
}

TEST(CommandLineTest, OptionsAndErrors) {
  TCommandLine l =
      ParseCommandLine({"--headless", "--simulate", "3", "--device=/dev/pts/4", "--device",
                        "/dev/ttyS0=dova300-x", "--data-dir", "/tmp/d", "--log-interval=2"});
  EXPECT_TRUE(l.Error.isEmpty()) << l.Error.toStdString();
  EXPECT_TRUE(l.Headless);
  EXPECT_EQ(l.Simulate, 3);
  EXPECT_EQ(l.Devices, (QStringList{"/dev/pts/4", "/dev/ttyS0=dova300-x"}));
  EXPECT_EQ(l.DataDir, QString("/tmp/d"));
  EXPECT_EQ(l.LogInterval, 2);
  EXPECT_FALSE(ParseCommandLine({}).WantsLogger());
  EXPECT_TRUE(ParseCommandLine({"--simulate=1"}).WantsLogger());
  EXPECT_TRUE(ParseCommandLine({"-h"}).Help);

  for (const QStringList& bad : {QStringList{"--simulate", "0"}, QStringList{"--simulate"},
                                 QStringList{"--log-interval", "11"}, QStringList{"--device="},
                                 QStringList{"--data-dir="}, QStringList{"--bogus"}}) {
    EXPECT_FALSE(ParseCommandLine(bad).Error.isEmpty()) << bad.join(' ').toStdString();
  }
  for (const char* option :
       {"--simulate", "--device", "--data-dir", "--log-interval", "--headless"})
    EXPECT_TRUE(CommandLineHelp().contains(option)) << option;
}

}  // namespace
}  // namespace dova
