#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <optional>
#include <string>

#include "protocol/protocol.h"

namespace dova::protocol {
namespace {

struct IntCase {
  const char* text;
  std::optional<std::int32_t> expected;
};

TEST(ProtocolTest, IntegerSyntax) {
  const IntCase cases[] = {
      {"3750", 3750},
      {"   3750", 3750},        // leading blanks are fine
      {"3750 ", std::nullopt},  // nothing may follow the digits
      {"37.5", std::nullopt},
      {"", std::nullopt},
      {"   ", std::nullopt},
      {"+12", 12},
      {"-12", -12},
      {"+-12", std::nullopt},  // one sign only
      {"- 12", std::nullopt},
      {"-", std::nullopt},
      {"$1F", 31},
      {"x1f", 31},
      {"X1F", 31},
      {"0x1F", 31},
      {"0X1f", 31},
      {"-$10", -16},
      {"$", std::nullopt},
      {"0x", std::nullopt},
      {"$G", std::nullopt},
      {"12a", std::nullopt},
      {"0012", 12},
      {"2147483647", 2147483647},
      {"2147483648", std::nullopt},
      {"-2147483648", INT32_MIN},
      {"-2147483649", std::nullopt},
      {"99999999999999999999", std::nullopt},
      {"$7FFFFFFF", 2147483647},
      {"$80000000", std::nullopt},  // hexadecimal never wraps into the negative range
      {"$FFFFFFFF", std::nullopt},
      {"-$80000000", INT32_MIN},
      {"\t12", std::nullopt},  // only blanks lead
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseInteger(std::string_view(c.text)), c.expected) << '"' << c.text << '"';
    EXPECT_EQ(ParseInteger(QStringView(QString::fromLatin1(c.text))), c.expected)
        << '"' << c.text << '"';
  }
  // Digits from other scripts are not digits here.
  EXPECT_EQ(ParseInteger(QStringView(u"\u0663\u0664")), std::nullopt);
}

TEST(ProtocolTest, CommandsAreTextWithALoneCarriageReturn) {
  EXPECT_EQ(BuildGet(u"LBSP"), QByteArray("!GET LBSP\r"));
  EXPECT_EQ(BuildGet(u"LBSP").size(), 10);
  EXPECT_EQ(BuildRead(u"DISP"), QByteArray("!READ DISP\r"));
  EXPECT_EQ(BuildSetNick(u"Lab 2"), QByteArray("!SET NICK Lab 2\r"));
  // Non-ASCII names go out in the system's 8-bit code page (UTF-8 in the test run).
  EXPECT_EQ(BuildSetNick(u"Kühl"), QByteArray("!SET NICK K\xC3\xBChl\r"));
}

struct SplitCase {
  QByteArray line;
  TTag tag;
  QString value;
};

TEST(ProtocolTest, SplitTakesTagAndValueByPosition) {
  const QByteArray longLine = "NICK " + QByteArray(127, 'a') + QByteArray(68, 'b');
  const SplitCase cases[] = {
      {"LBSP 3750", TTag::LBSP, "3750"},
      {"LBSP=3750", TTag::LBSP, "3750"},  // the separator is never looked at
      {"LBSP:3750", TTag::LBSP, "3750"},
      {"lbsp 3750", TTag::None, "3750"},  // tags are case-sensitive
      {"LBS", TTag::None, ""},
      {"LBSP", TTag::LBSP, ""},
      {"LBSP ", TTag::LBSP, ""},
      {"LBSPX3", TTag::LBSP, "3"},
      {"\nLBSP 3750", TTag::None, " 3750"},  // a stray LF spoils the tag
      {"XXXX 1", TTag::None, "1"},
      {longLine, TTag::NICK, QString(127, u'a')},
      {"DISP 37.0OFF  20  GGG", TTag::DISP, "37.0OFF  20  GGG"},
  };
  for (const auto& c : cases) {
    const TReplyParts parts = SplitReply(c.line);
    EXPECT_EQ(parts.Tag, c.tag) << c.line.constData();
    EXPECT_EQ(parts.Value(), c.value) << c.line.constData();
  }
}

TEST(ProtocolTest, NonAsciiLinesAreSplitByCharacterNotByte) {
  // "NICK Kühl" in UTF-8: the value still starts at character 6.
  const TReplyParts nick = SplitReply(QByteArray("NICK K\xC3\xBChl"));
  EXPECT_EQ(nick.Tag, TTag::NICK);
  EXPECT_FALSE(nick.Ascii);
  EXPECT_EQ(nick.Value(), QStringLiteral("Kühl"));
  // A two-byte separator counts as one character.
  const TReplyParts sp =
      SplitReply(QByteArray("LBSP\xC3\xBC"
                            "3750"));
  EXPECT_EQ(sp.Tag, TTag::LBSP);
  EXPECT_EQ(ParseValue(sp), 3750);
}

}  // namespace
}  // namespace dova::protocol
