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

TEST(UnreadMessagesTest, AnUnreadErrorStaysShownUntilAcknowledged) {
  TUnreadMessages unread;
  EXPECT_EQ(unread.Current(), nullptr);
  EXPECT_FALSE(unread.Acknowledge());
  unread.Add("File Open Error! Cannot Open: /d/A_1.csv", "Error");
  EXPECT_EQ(unread.ShownText(), "File Open Error! Cannot Open: /d/A_1.csv");
  unread.Add("Writing to /d/B_2.csv again.", "Information");
  unread.Add("File Open Error! Cannot Open: /d/A_1.csv", "Error");  // told again: kept once
  unread.Add("The log file /d/C_3.csv was removed; logging goes on in a new file.", "Warning");
  ASSERT_NE(unread.Current(), nullptr);
  EXPECT_EQ(unread.Current()->caption, "Error");
  EXPECT_EQ(unread.ShownText(),
            "File Open Error! Cannot Open: /d/A_1.csv\n\n(2 more messages after this one)");

  // Each acknowledgement brings up the next, with its own caption, oldest first.
  ASSERT_TRUE(unread.Acknowledge());
  EXPECT_EQ(unread.Current()->caption, "Information");
  EXPECT_EQ(unread.ShownText(), "Writing to /d/B_2.csv again.\n\n(1 more message after this one)");
  ASSERT_TRUE(unread.Acknowledge());
  EXPECT_EQ(unread.Current()->caption, "Warning");
  EXPECT_EQ(unread.ShownText(),
            "The log file /d/C_3.csv was removed; logging goes on in a new file.");
  EXPECT_FALSE(unread.Acknowledge());
  EXPECT_EQ(unread.Current(), nullptr);
  EXPECT_EQ(unread.ShownText(), "");

  // Read once, the same message is news again.
  unread.Add("File Open Error! Cannot Open: /d/A_1.csv", "Error");
  EXPECT_EQ(unread.Count(), 1u);
}

TEST(UnreadMessagesTest, AFloodKeepsTheShownMessageAndTheNewest) {
  TUnreadMessages unread;
  unread.Add("File Open Error! Cannot Open: /d/A_1.csv", "Error");
  for (int lost = 1; lost <= 100; ++lost)
    unread.Add(QString::number(lost) + " lines for /d/A_1.csv were lost", "Error");
  ASSERT_EQ(unread.Count(), TUnreadMessages::kMaxWaiting);
  EXPECT_EQ(unread.Current()->text, "File Open Error! Cannot Open: /d/A_1.csv");
  std::vector<QString> order;
  do {
    order.push_back(unread.Current()->text);
  } while (unread.Acknowledge());
  EXPECT_EQ(order[1], "1 lines for /d/A_1.csv were lost") << "the start of the trouble";
  EXPECT_EQ(order.back(), "100 lines for /d/A_1.csv were lost") << "and the newest";
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
