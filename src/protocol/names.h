#pragma once

#include <QString>
#include <string_view>

namespace dova {

// The characters an incubator's name may not contain: the name becomes part of its log
// file's name, so path separators and wildcards are refused, and so is the typographic
// opening quote.
inline constexpr std::u16string_view kForbiddenNameChars = u"\\/:*?\u201C<>|";
inline constexpr const char* kInvalidNameText =
    "Invalid DOVA Name! The DOVA's name cannot contain \\ / : * ? \u201C < > or |";

// True when `name` holds none of the forbidden characters.
bool IsValidName(const QString& name);

// A name or serial from the device made harmless as part of a file name: path separators,
// the ASCII characters the name dialog refuses (\ / : * ? < > |), any other character this
// platform's file systems refuse, and control characters become "_". Whatever a user can
// type into the name dialog stays, so a typed name keeps its file. The caption keeps the
// text as received.
QString SafeFileNamePart(const QString& text);

// The longest file name this platform's file systems take, in bytes of the encoded name.
inline constexpr int kMaxFileNameBytes = 255;

// The log file name of an incubator: "<name> <serial>.csv" with both parts made safe. When
// that would be longer than kMaxFileNameBytes, the name part is cut (on a character
// boundary) until it fits; the serial is kept whole, so the same name and serial always
// give the same file.
QString LogFileNameFor(const QString& nick, const QString& serial);

}  // namespace dova
