#pragma once

// The incubator's line protocol, both ends of it as seen from the program: the commands
// we write ("!GET ", "!READ ", "!SET NICK ") and the reply lines we take apart. Nothing
// here knows about tiles; the tile (dova_panel.h) dispatches on what this unit returns.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>
#include <string_view>

namespace dova::protocol {

// Every command and reply ends with a lone carriage return.
inline constexpr char kLineEnd = '\r';
// Reply layout: tag in characters 1-4, one separator that is never looked at, the value in
// characters 6-132 (at most 127 characters; the rest of a longer line is ignored).
inline constexpr int kTagLength = 4;
inline constexpr int kValueStart = 5;
inline constexpr int kMaxValueLength = 127;

inline constexpr std::string_view kGetPrefix = "!GET ";
inline constexpr std::string_view kReadPrefix = "!READ ";
inline constexpr std::string_view kSetNickPrefix = "!SET NICK ";

// Tags the tile understands. Compared whole and case-sensitively.
enum class TTag : std::uint8_t {
  None,  // anything else: the line is dropped
  SERL,
  NICK,
  LBSP,
  RBSP,
  GFSP,
  LBT1,
  LBT2,
  RBT1,
  RBT2,
  FLOW,
  PFLW,
  DISP,
};

// Text of a tag ("SERL" ...); empty for None.
QString TagText(TTag tag);

// Text to the incubator's 8-bit code page (the system code page; plain ASCII is copied
// byte for byte without a converter).
QByteArray ToDevice(QStringView text);
// 8-bit text from the incubator to UTF-16: UTF-8 when the bytes are valid UTF-8, otherwise
// Windows-1252, the code page a Windows copy of this program writes names in. (Windows-1252
// text that happens to be valid UTF-8, such as "Ã©", reads as UTF-8.) Plain ASCII is copied
// without a converter.
QString FromDevice(const QByteArray& bytes);
// Windows-1252 to UTF-16, every byte one character.
QString FromWindows1252(QByteArrayView bytes);

// prefix + body + CR as the bytes that go on the wire, in one piece.
QByteArray BuildCommand(std::string_view prefix, QStringView body);
inline QByteArray BuildGet(QStringView tag) {
  return BuildCommand(kGetPrefix, tag);
}
inline QByteArray BuildRead(QStringView tag) {
  return BuildCommand(kReadPrefix, tag);
}
inline QByteArray BuildSetNick(QStringView name) {
  return BuildCommand(kSetNickPrefix, name);
}

// Which of our tags a four-character tag text is.
TTag ClassifyTag(QStringView tag);
TTag ClassifyTag(std::string_view tag);

// A reply line taken apart. When the received bytes are all ASCII, `Ascii` is true and
// the views point into the caller's QByteArray (no conversion, no allocation); otherwise the
// line is converted as FromDevice converts it and `Text` holds it, with TagText/ValueText
// views into it. Positions count characters, so a Windows-1252 line counts one per byte.
struct TReplyParts {
  TTag Tag = TTag::None;
  bool Ascii = true;
  std::string_view AsciiValue;  // valid when Ascii
  QString Text;                 // the converted line when not Ascii
  QStringView TextValue;        // valid when not Ascii

  // The value as text (converted when needed).
  QString Value() const;
};

// Splits a received line (without its CR). The result's views refer to `line`, which must
// outlive it.
TReplyParts SplitReply(const QByteArray& line);

// The integer syntax of numeric values: leading blanks, at most one "+" or "-", then
// decimal digits, or hexadecimal digits after "$", "x", "X", "0x" or "0X"; nothing may
// follow the digits and the value must lie in the signed 32-bit range. Hexadecimal values
// are held to the same range (a sign applies to them too): "$7FFFFFFF" and "-$80000000" are
// the ends, "$FFFFFFFF" is refused rather than wrapped to -1, so a reading can never change
// sign through its spelling.
std::optional<std::int32_t> ParseInteger(std::string_view text);
std::optional<std::int32_t> ParseInteger(QStringView text);

// The value of a split reply read as an integer.
std::optional<std::int32_t> ParseValue(const TReplyParts& parts);

}  // namespace dova::protocol
