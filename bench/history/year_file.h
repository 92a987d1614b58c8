#pragma once

// The benchmarks' year of one incubator at a one-minute interval, written once per run into a
// temporary folder.

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <cstdlib>

#include "monitor/log_format.h"
#include "platform/datetime.h"

namespace dova {

// A year of one incubator as the logger writes it under en_US: a block of six records every
// minute, readings that move by a tenth now and then, a lid opening twice a day.
inline const QString& YearFile() {
  static QTemporaryDir dir;
  static const QString path = dir.filePath(QStringLiteral("Bench 0001.csv"));
  static bool made = false;
  if (made) return path;
  made = true;
  const LogFormat f = LogFormat::ForLocale(QLocale(QStringLiteral("en_US")));
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) std::abort();
  const TDateTime start = EncodeDateTime(2025, 12, 1, 0, 0, 30);
  QByteArray chunk;
  chunk += f.Timestamp(start).toUtf8() + ", Connected\r";
  std::uint32_t noise = 12345;
  auto wobble = [&noise] {
    noise = noise * 1103515245u + 12345u;
    return ((noise >> 16) % 5) / 10.0 - 0.2;
  };
  for (int minute = 0; minute < 365 * 1440; ++minute) {
    const TDateTime t = start + minute * kOneMinute;
    const QByteArray stamp = f.Timestamp(t).toUtf8() + ", ";
    if (minute % 720 == 300) chunk += stamp + "Left Lid Open\r";
    if (minute % 720 == 302) chunk += stamp + "Left Lid Closed\r";
    chunk += stamp + "Left Temperature, " + f.Number(37.0 + wobble(), 1).toUtf8() + '\r';
    chunk += stamp + "Left Set-Point, 37\r";
    chunk += stamp + "Right Temperature, " + f.Number(37.0 + wobble(), 1).toUtf8() + '\r';
    chunk += stamp + "Right Set-Point, 37\r";
    chunk += stamp + "Gas Flow, " + QByteArray::number(20 + int(wobble() * 10)) + '\r';
    chunk += stamp + "Gas Set-Point, 20\r";
    if (chunk.size() > (8 << 20)) {
      file.write(chunk);
      chunk.clear();
    }
  }
  file.write(chunk);
  return path;
}

}  // namespace dova
