#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <optional>
#include <string>

#include "protocol/protocol.h"

namespace dova::protocol {
namespace {

using namespace Qt::StringLiterals;

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

struct TextCase {
  const char* what;
  QByteArray bytes;
  QString text;
};

TEST(ProtocolTest, DeviceTextIsUtf8WhenValidOtherwiseWindows1252) {
  const TextCase cases[] = {
      {"ASCII", "Lab 2", u"Lab 2"_s},
      {"ASCII with a NUL", QByteArray("a\0b", 3), u"a\0b"_s},
      {"UTF-8", "K\xC3\xBChl \xE2\x82\xAC", u"Kühl €"_s},
      {"UTF-8 outside the BMP", "\xF0\x9F\xA5\x9A", u"\U0001F95A"_s},
      {"a byte-order mark is kept", "\xEF\xBB\xBFLab", u"\uFEFFLab"_s},
      {"a name from a Windows copy",
       "M\xFCller \xB0"
       "C",
       u"Müller °C"_s},
      {"Windows-1252's own 0x80-0x9F", "\x80\x8A\x91\x92\x96\x99\x9F", u"€Š‘’–™Ÿ"_s},
      {"its unassigned bytes stay C1 controls", "\xE9\x81\x8D\x8F\x90\x9D",
       u"é\u0081\u008D\u008F\u0090\u009D"_s},
      // Not UTF-8, however close: each byte is one Windows-1252 character.
      {"an encoded surrogate", "\xED\xA0\x80", u"í\u00A0€"_s},
      {"an overlong slash", "\xC0\xAF", u"À¯"_s},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"ô\u0090€€"_s},
      {"a cut-off sequence", "Lab \xE2\x82", u"Lab â‚"_s},
      {"UTF-8 and Windows-1252 mixed", "K\xC3\xBChl M\xFCller", u"KÃ¼hl Müller"_s},
      // Windows-1252 that is valid UTF-8 cannot be told apart and reads as UTF-8.
      {"Windows-1252 that is also UTF-8", "\xC3\xA9", u"é"_s},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FromDevice(c.bytes), c.text) << c.what;
  }
}

TEST(ProtocolTest, Windows1252TableMatchesTheSystemConverterWhereThereIsOne) {
  // Qt offers the named code page only when it is built with ICU; our own table must agree
  // with it byte for byte wherever it does.
  QStringDecoder system("windows-1252");
  if (!system.isValid()) GTEST_SKIP() << "no windows-1252 converter in this Qt";
  QByteArray all;
  for (int b = 0; b < 256; ++b)
    all.append(static_cast<char>(b));
  const QString ours = FromWindows1252(all);
  const QString theirs = system.decode(all);
  ASSERT_EQ(ours.size(), 256);
  for (int b = 0; b < 256; ++b)
    EXPECT_EQ(ours[b].unicode(), theirs[b].unicode()) << "byte 0x" << std::hex << b;
}

TEST(ProtocolTest, Windows1252RepliesAreSplitOneCharacterPerByte) {
  // A name a Windows copy wrote: the value starts at the sixth byte and keeps its letters.
  const TReplyParts nick = SplitReply(QByteArray("NICK Brutschrank M\xFCller"));
  EXPECT_EQ(nick.Tag, TTag::NICK);
  EXPECT_FALSE(nick.Ascii);
  EXPECT_EQ(nick.Value(), u"Brutschrank Müller"_s);
  // 127 euro signs of one byte each fill the value; what follows is cut off as usual.
  const TReplyParts euros = SplitReply("NICK " + QByteArray(130, '\x80'));
  EXPECT_EQ(euros.Tag, TTag::NICK);
  EXPECT_EQ(euros.Value(), QString(127, u'€'));
  // A non-UTF-8 separator spoils nothing.
  const TReplyParts sp =
      SplitReply(QByteArray("LBSP\xB0"
                            "3750"));
  EXPECT_EQ(sp.Tag, TTag::LBSP);
  EXPECT_EQ(ParseValue(sp), 3750);
}

}  // namespace
}  // namespace dova::protocol
