#pragma once

#include <QString>

namespace dova {

// A hint is "Short|Long": the short part is the tool tip, the long part goes to the status
// bar. A hint without a bar is used whole for both.
inline QString ShortHint(const QString& hint) {
  return hint.section(u'|', 0, 0);
}

inline QString LongHint(const QString& hint) {
  return hint.contains(u'|') ? hint.section(u'|', 1) : hint;
}

}  // namespace dova
