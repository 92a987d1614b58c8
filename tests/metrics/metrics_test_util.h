#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace dova::testing {

// The exposition's lines (it must end with a line feed; no empty last line).
inline QStringList ExpositionLines(const QByteArray& text) {
  QStringList lines = QString::fromUtf8(text).split(u'\n');
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  return lines;
}

// The sample lines that carry the label serial="serial".
inline QStringList LinesOf(const QStringList& lines, const QString& serial) {
  QStringList found;
  for (const QString& line : lines)
    if (!line.startsWith(u'#') && line.contains("serial=\"" + serial + "\"")) found << line;
  return found;
}

}  // namespace dova::testing
