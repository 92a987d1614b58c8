#include "platform/datetime.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <cmath>

namespace dova {

namespace {
const QDate kEpoch(1899, 12, 30);
}

TDateTime DateTimeFromQDateTime(const QDateTime& dt) {
  const QDate d = dt.date();
  const QTime t = dt.time();
  const double days = static_cast<double>(kEpoch.daysTo(d));
  return days + t.msecsSinceStartOfDay() / kMsPerDay;
}

void SplitDateTime(TDateTime value, QDate& date, QTime& time) {
  double whole = std::floor(value);
  auto ms = static_cast<qint64>(std::llround((value - whole) * kMsPerDay));
  if (ms >= 86400000) {
    whole += 1;
    ms -= 86400000;
  }
  date = kEpoch.addDays(static_cast<qint64>(whole));
  time = QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms));
}

QDateTime QDateTimeFromDateTime(TDateTime value) {
  QDate d;
  QTime t;
  SplitDateTime(value, d, t);
  return QDateTime(d, t);
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms) {
  return DateTimeFromQDateTime(QDateTime(QDate(year, month, day), QTime(hour, minute, second, ms)));
}

std::int64_t MillisecondsBetween(TDateTime a, TDateTime b) {
  return static_cast<std::int64_t>(std::llround((b - a) * kMsPerDay));
}

}  // namespace dova
