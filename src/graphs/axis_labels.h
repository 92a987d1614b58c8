#pragma once

#include <QLocale>
#include <QString>
#include <vector>

#include "platform/datetime.h"

namespace dova {

// What the trend charts write on their axes and where they put it, apart from any drawing.

// A time label: day of month without leading zero, the locale's short month name, the hour on
// the 12-hour clock, colon, two-digit minutes and "am" or "pm": 8 December 15:05 reads
// "8Dec 3:05pm" under an English locale. The time is taken to the nearest second first, so a
// tick computed a hair below a whole minute is labelled with that minute. With seconds, two-digit
// seconds follow the minutes: "8Dec 3:05:30pm".
QString FormatTimeLabel(TDateTime t, const QLocale& locale, bool with_seconds = false);

// The shown time range, in days, below which the labels carry seconds: under three minutes
// a whole-minute label may not fall in the range at all.
inline constexpr double kSecondsLabelSpan = 3 * kOneMinute;
inline bool TimeLabelsWithSeconds(double span) {
  return span < kSecondsLabelSpan;
}

// A number with the locale's thousands and decimal separators, rounded to at most
// max_decimals and shown with at least min_decimals: (1, 3) writes 1234.5 as "1,234.5" and 37 as
// "37.0", (0, 3) writes 37 as "37". A value that rounds to zero has no minus sign.
QString FormatAxisNumber(double value, const QLocale& locale, int min_decimals, int max_decimals);

// The label step of the time axis, in days: the shortest of the usual clock steps (1, 5, 10, 15,
// 30 minutes, 1, 2, 6, 12 hours, 1, 2, 3, 7 days, ...) that is at least one minute and leaves the
// labels at least 20 per cent of their width apart. A span with seconds labels (see
// TimeLabelsWithSeconds) may also step by 1, 2, 5, 10, 15 or 30 seconds. `span` is the axis
// range in days, `pixels` its length on screen, `label_width` the width of the widest label
// (of the form the span calls for).
double TimeLabelStep(double span, double pixels, double label_width);

// The label step of a value axis: the smallest of 1, 2, 5 times a power of ten that is at least
// `min_step` and leaves the labels at least 25 per cent of their height apart.
double ValueLabelStep(double span, double pixels, double label_height, double min_step);

// The multiples of step from lower to upper, both included (with a little room for rounding).
std::vector<double> TickPositions(double lower, double upper, double step);

}  // namespace dova
