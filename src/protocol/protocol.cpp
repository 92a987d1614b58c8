#include "protocol/protocol.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <array>
#include <cstring>

namespace dova::protocol {

namespace {

constexpr std::uint32_t Pack(char a, char b, char c, char d) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24;
}

struct TagEntry {
  TTag tag;
  const char* text;
};
constexpr std::array<TagEntry, 12> kTags{{{TTag::SERL, "SERL"},
                                          {TTag::NICK, "NICK"},
                                          {TTag::LBSP, "LBSP"},
                                          {TTag::RBSP, "RBSP"},
                                          {TTag::GFSP, "GFSP"},
                                          {TTag::LBT1, "LBT1"},
                                          {TTag::LBT2, "LBT2"},
                                          {TTag::RBT1, "RBT1"},
                                          {TTag::RBT2, "RBT2"},
                                          {TTag::FLOW, "FLOW"},
                                          {TTag::PFLW, "PFLW"},
                                          {TTag::DISP, "DISP"}}};

constexpr std::uint32_t Packed(const char* text) {
  return Pack(text[0], text[1], text[2], text[3]);
}

// One table for both directions: the packed form of each tag is worked out when compiling.
// Every reply is classified, so the packed forms go into one switch (the compiler's search)
// rather than a walk down the table.
TTag ClassifyPacked(std::uint32_t packed) {
  static_assert(kTags.size() == 12, "one case per tag");
  switch (packed) {
    case Packed(kTags[0].text):
      return kTags[0].tag;
    case Packed(kTags[1].text):
      return kTags[1].tag;
    case Packed(kTags[2].text):
      return kTags[2].tag;
    case Packed(kTags[3].text):
      return kTags[3].tag;
    case Packed(kTags[4].text):
      return kTags[4].tag;
    case Packed(kTags[5].text):
      return kTags[5].tag;
    case Packed(kTags[6].text):
      return kTags[6].tag;
    case Packed(kTags[7].text):
      return kTags[7].tag;
    case Packed(kTags[8].text):
      return kTags[8].tag;
    case Packed(kTags[9].text):
      return kTags[9].tag;
    case Packed(kTags[10].text):
      return kTags[10].tag;
    case Packed(kTags[11].text):
      return kTags[11].tag;
    default:
      return TTag::None;
  }
}

bool IsAscii(const char* data, qsizetype size) {
  // Eight bytes at a time: a reply line is short, this keeps the steady poll cheap.
  qsizetype i = 0;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, data + i, 8);
    if (word & 0x8080808080808080ULL) return false;
  }
  for (; i < size; ++i) {
    if (static_cast<unsigned char>(data[i]) & 0x80) return false;
  }
  return true;
}

bool IsAscii(QStringView text) {
  for (QChar c : text) {
    if (c.unicode() >= 0x80) return false;
  }
  return true;
}

int HexDigit(char32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}

// One parser for both character widths; Get(i) returns the character at i.
template <typename GetFn>
std::optional<std::int32_t> ParseChars(qsizetype size, GetFn get) {
  qsizetype i = 0;
  while (i < size && get(i) == U' ')
    ++i;
  bool negative = false;
  if (i < size && (get(i) == U'+' || get(i) == U'-')) {
    negative = get(i) == U'-';
    ++i;
  }
  int base = 10;
  if (i < size && get(i) == U'$') {
    base = 16;
    ++i;
  } else if (i < size && (get(i) == U'x' || get(i) == U'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < size && get(i) == U'0' && (get(i + 1) == U'x' || get(i + 1) == U'X')) {
    base = 16;
    i += 2;
  }
  if (i >= size) return std::nullopt;  // empty, a sign alone or a prefix alone
  // Magnitude limit: 2^31 for a negative value, 2^31 - 1 otherwise.
  const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
  std::int64_t magnitude = 0;
  for (; i < size; ++i) {
    const char32_t c = get(i);
    int digit;
    if (base == 10) {
      if (c < U'0' || c > U'9') return std::nullopt;
      digit = static_cast<int>(c - U'0');
    } else {
      digit = HexDigit(c);
      if (digit < 0) return std::nullopt;
    }
    magnitude = magnitude * base + digit;
    if (magnitude > limit) return std::nullopt;
  }
  return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

}  // namespace

QString TagText(TTag tag) {
  for (const auto& e : kTags) {
    if (e.tag == tag) return QString::fromLatin1(e.text);
  }
  return {};
}

QByteArray ToDevice(QStringView text) {
  if (IsAscii(text)) return text.toLatin1();
  QStringEncoder encoder(QStringConverter::System);
  return encoder.encode(text);
}

QString FromDevice(const QByteArray& bytes) {
  if (IsAscii(bytes.constData(), bytes.size())) return QString::fromLatin1(bytes);
  // A leading byte-order mark is kept as a character: device text is taken as it is.
  QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                  QStringConverter::Flag::ConvertInitialBom);
  QString text = utf8.decode(bytes);
  if (!utf8.hasError()) return text;
  return FromWindows1252(bytes);
}

QString FromWindows1252(QByteArrayView bytes) {
  // 0x80-0x9F; the five bytes Windows-1252 leaves unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D)
  // become the C1 controls of the same value, as Windows itself converts them, so no byte is
  // lost and the console shows them escaped like any other control character.
  static constexpr char16_t kHigh[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
  };
  QString text(bytes.size(), Qt::Uninitialized);
  QChar* out = text.data();
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    // Everything outside 0x80-0x9F is Latin-1.
    *out++ = QChar(b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : char16_t{b});
  }
  return text;
}

QByteArray BuildCommand(std::string_view prefix, QStringView body) {
  QByteArray out;
  if (IsAscii(body)) {
    out.reserve(static_cast<qsizetype>(prefix.size()) + body.size() + 1);
    out.append(prefix.data(), static_cast<qsizetype>(prefix.size()));
    for (QChar c : body)
      out.append(static_cast<char>(c.unicode()));
  } else {
    out.append(prefix.data(), static_cast<qsizetype>(prefix.size()));
    out.append(ToDevice(body));
  }
  out.append(kLineEnd);
  return out;
}

TTag ClassifyTag(std::string_view tag) {
  if (tag.size() != kTagLength) return TTag::None;
  return ClassifyPacked(Pack(tag[0], tag[1], tag[2], tag[3]));
}

TTag ClassifyTag(QStringView tag) {
  if (tag.size() != kTagLength) return TTag::None;
  for (QChar c : tag) {
    if (c.unicode() >= 0x80) return TTag::None;
  }
  return ClassifyPacked(
      Pack(static_cast<char>(tag[0].unicode()), static_cast<char>(tag[1].unicode()),
           static_cast<char>(tag[2].unicode()), static_cast<char>(tag[3].unicode())));
}

QString TReplyParts::Value() const {
  if (Ascii) {
    return QString::fromLatin1(AsciiValue.data(), static_cast<qsizetype>(AsciiValue.size()));
  }
  return TextValue.toString();
}

TReplyParts SplitReply(const QByteArray& line) {
  TReplyParts parts;
  const char* data = line.constData();
  const qsizetype size = line.size();
  if (IsAscii(data, size)) {
    // Positions are counted in characters; for ASCII one byte is one character.
    parts.Ascii = true;
    if (size >= kTagLength) {
      parts.Tag = ClassifyTag(std::string_view(data, kTagLength));
    }
    if (size > kValueStart) {
      const qsizetype length = std::min<qsizetype>(size - kValueStart, kMaxValueLength);
      parts.AsciiValue = std::string_view(data + kValueStart, static_cast<std::size_t>(length));
    }
    return parts;
  }
  parts.Ascii = false;
  parts.Text = FromDevice(line);
  const QStringView text(parts.Text);
  parts.Tag = ClassifyTag(text.left(kTagLength));
  if (text.size() > kValueStart) parts.TextValue = text.mid(kValueStart, kMaxValueLength);
  return parts;
}

std::optional<std::int32_t> ParseInteger(std::string_view text) {
  return ParseChars(static_cast<qsizetype>(text.size()), [&](qsizetype i) {
    return static_cast<char32_t>(static_cast<unsigned char>(text[static_cast<std::size_t>(i)]));
  });
}

std::optional<std::int32_t> ParseInteger(QStringView text) {
  return ParseChars(text.size(),
                    [&](qsizetype i) { return static_cast<char32_t>(text[i].unicode()); });
}

std::optional<std::int32_t> ParseValue(const TReplyParts& parts) {
  return parts.Ascii ? ParseInteger(parts.AsciiValue) : ParseInteger(parts.TextValue);
}

}  // namespace dova::protocol
