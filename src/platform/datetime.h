#pragma once

#include <cstdint>

class QDate;
class QDateTime;
class QTime;

namespace dova {

// The date-time value used everywhere: days since 1899-12-30 in local time, the fraction
// being the time of day. One minute is 1/1440.
using TDateTime = double;

inline constexpr double kMsPerDay = 86400000.0;
inline constexpr TDateTime kOneSecond = 1.0 / 86400.0;
inline constexpr TDateTime kOneMinute = 1.0 / 1440.0;

// The only conversions between our date-time value and Qt's.
TDateTime DateTimeFromQDateTime(const QDateTime& dt);
QDateTime QDateTimeFromDateTime(TDateTime value);
// The calendar date and the time of day of a value as they are written, without a time
// zone: a QDateTime in local time asks the system for the zone's rules every time.
void SplitDateTime(TDateTime value, QDate& date, QTime& time);

// A date-time for the given local calendar values (for tests and the simulator).
TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                         int ms = 0);

// Whole milliseconds from a to b (b - a), rounded to the nearest millisecond.
std::int64_t MillisecondsBetween(TDateTime a, TDateTime b);

}  // namespace dova
