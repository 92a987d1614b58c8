#include "graphs/axis_labels.h"

#include <QDate>
#include <array>
#include <cmath>

namespace dova {

QString FormatTimeLabel(TDateTime t, const QLocale& locale, bool with_seconds) {
  if (!std::isfinite(t)) return {};
  const long long seconds = std::llround(t * 86400.0);
  long long days = seconds / 86400;
  long long of_day = seconds % 86400;
  if (of_day < 0) {
    of_day += 86400;
    --days;
  }
  const QDate date = QDate(1899, 12, 30).addDays(days);
  const int hour = static_cast<int>(of_day / 3600);
  const int minute = static_cast<int>(of_day / 60 % 60);
  const int second = static_cast<int>(of_day % 60);
  const int hour12 = hour % 12 == 0 ? 12 : hour % 12;
  auto two_digits = [](int n) { return QStringLiteral("%1").arg(n, 2, 10, QChar('0')); };
  QString text = QString::number(date.day()) +
                 locale.monthName(date.month(), QLocale::ShortFormat) + ' ' +
                 QString::number(hour12) + ':' + two_digits(minute);
  if (with_seconds) text += ':' + two_digits(second);
  return text + (hour < 12 ? QStringLiteral("am") : QStringLiteral("pm"));
}

QString FormatAxisNumber(double value, const QLocale& locale, int min_decimals, int max_decimals) {
  if (!std::isfinite(value)) return QString::number(value);
  if (std::round(value * std::pow(10.0, max_decimals)) == 0) value = 0;
  QLocale grouped = locale;
  grouped.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
  QString text = grouped.toString(value, 'f', max_decimals);
  if (max_decimals > min_decimals) {
    const QString point = grouped.decimalPoint();
    const QString zero = grouped.zeroDigit();
    const qsizetype at = text.lastIndexOf(point);
    if (at >= 0) {
      qsizetype keep = text.size();
      const qsizetype least = at + point.size() + min_decimals;
      while (keep > least && text.mid(keep - zero.size(), zero.size()) == zero)
        keep -= zero.size();
      if (keep == at + point.size()) keep = at;  // no decimals left: no point either
      text.truncate(keep);
    }
  }
  return text;
}

double TimeLabelStep(double span, double pixels, double label_width) {
  static constexpr std::array<double, 20> kMinutes = {
      1,    5,    10,    15,    30,    60,    120,    360,    720,    1440,
      2880, 4320, 10080, 21600, 43200, 86400, 129600, 259200, 525600, 1051200};
  static constexpr std::array<double, 6> kSeconds = {1, 2, 5, 10, 15, 30};
  if (!(span > 0) || !(pixels > 0)) return kOneMinute;
  const double days_per_pixel = span / pixels;
  const double least = 1.2 * label_width * days_per_pixel;
  if (TimeLabelsWithSeconds(span)) {
    for (const double s : kSeconds) {
      if (s * kOneSecond >= least) return s * kOneSecond;
    }
  }
  for (const double m : kMinutes) {
    if (m * kOneMinute >= least) return m * kOneMinute;
  }
  return std::ceil(least / (kMinutes.back() * kOneMinute)) * kMinutes.back() * kOneMinute;
}

double ValueLabelStep(double span, double pixels, double label_height, double min_step) {
  if (!(span > 0) || !(pixels > 0) || !(min_step > 0)) return min_step > 0 ? min_step : 1;
  const double least = std::max(min_step * (1 - 1e-9), 1.25 * label_height * span / pixels);
  double power = std::pow(10.0, std::floor(std::log10(least)));
  for (int guard = 0; guard < 4; ++guard, power *= 10) {
    for (const double m : {1.0, 2.0, 5.0}) {
      const double step = m * power;
      if (step >= least * (1 - 1e-9)) return std::max(step, min_step);
    }
  }
  return least;
}

std::vector<double> TickPositions(double lower, double upper, double step) {
  std::vector<double> ticks;
  if (!(step > 0) || !(upper >= lower) || !std::isfinite(lower) || !std::isfinite(upper))
    return ticks;
  const double slack = step * 1e-6;
  const double first = std::ceil((lower - slack) / step);
  const double last = std::floor((upper + slack) / step);
  if (last - first > 10000) return ticks;  // a broken range; draw no labels rather than hang
  for (double k = first; k <= last; ++k)
    ticks.push_back(k * step);
  return ticks;
}

}  // namespace dova
