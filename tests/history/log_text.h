#pragma once

// Log files for the reader's tests, written with the writer's own time stamps and numbers.

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QFileDevice>
#include <QString>
#include <vector>

#include "monitor/log_format.h"
#include "platform/datetime.h"

namespace dova::testing {

struct LogLine {
  TDateTime Time;
  QString Record;
};

// The lines as the writer under `format` writes them, each ended by `eol`.
inline QByteArray LogBytes(const LogFormat& format, const std::vector<LogLine>& lines,
                           const QByteArray& eol = "\r") {
  QByteArray out;
  for (const LogLine& line : lines)
    out += (format.Timestamp(line.Time) + QStringLiteral(", ") + line.Record).toUtf8() + eol;
  return out;
}

// A reading block of the periodic records at `t`.
inline std::vector<LogLine> Block(const LogFormat& format, TDateTime t, double left, double left_sp,
                                  double right, double right_sp, double flow, double flow_sp) {
  return {{t, QStringLiteral("Left Temperature, ") + format.Number(left, 1)},
          {t, QStringLiteral("Left Set-Point, ") + format.Number(left_sp, 1)},
          {t, QStringLiteral("Right Temperature, ") + format.Number(right, 1)},
          {t, QStringLiteral("Right Set-Point, ") + format.Number(right_sp, 1)},
          {t, QStringLiteral("Gas Flow, ") + format.Number(flow, 0)},
          {t, QStringLiteral("Gas Set-Point, ") + format.Number(flow_sp, 0)}};
}

inline void Append(std::vector<LogLine>& to, const std::vector<LogLine>& lines) {
  to.insert(to.end(), lines.begin(), lines.end());
}

// Writes the file and sets its time stamp, which the reader takes for the century of
// two-digit years and for judging which reading of the dates is plausible.
inline bool WriteLogFile(const QString& path, const QByteArray& bytes, TDateTime modified,
                         QIODevice::OpenMode mode = QIODevice::WriteOnly) {
  QFile file(path);
  if (!file.open(mode)) return false;
  if (file.write(bytes) != bytes.size()) return false;
  file.close();
  if (!file.open(QIODevice::Append)) return false;
  return file.setFileTime(QDateTimeFromDateTime(modified), QFileDevice::FileModificationTime);
}

}  // namespace dova::testing
