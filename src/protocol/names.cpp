#include "protocol/names.h"

#include <QFile>

#include "platform/logfile/file_names.h"

namespace dova {

bool IsValidName(const QString& name) {
  for (const QChar c : name) {
    if (kForbiddenNameChars.find(c.unicode()) != std::u16string_view::npos) return false;
  }
  return true;
}

QString SafeFileNamePart(const QString& text) {
  // The ASCII characters the name dialog refuses go everywhere, so that a device's name
  // gives the same file name on every platform; a user cannot type them, so typed names
  // keep theirs. (The typographic quote the dialog also refuses is a valid file name
  // character and stays.)
  QString out = text;
  for (QChar& c : out) {
    const char16_t u = c.unicode();
    if (u < 0x20 || u == 0x7F ||
        (u < 0x80 && kForbiddenNameChars.find(u) != std::u16string_view::npos) ||
        kRefusedFileNameChars.find(u) != std::u16string_view::npos) {
      c = u'_';
    }
  }
  return out;
}

QString LogFileNameFor(const QString& nick, const QString& serial) {
  const QString tail = u' ' + SafeFileNamePart(serial) + QStringLiteral(".csv");
  QString name = SafeFileNamePart(nick);
  while (!name.isEmpty() && QFile::encodeName(name + tail).size() > kMaxFileNameBytes) {
    // Never half a surrogate pair.
    name.chop(name.size() >= 2 && name.back().isLowSurrogate() ? 2 : 1);
  }
  return name + tail;
}

}  // namespace dova
