#include "monitor/log_format.h"

#include <QDate>
#include <QTime>
#include <charconv>
#include <cmath>
#include <string>

namespace dova {

LogFormat::LogFormat(QString shortDateFormat, QString longTimeFormat, QChar decimalSeparator,
                     QLocale names)
    : short_date_(std::move(shortDateFormat)),
      long_time_(std::move(longTimeFormat)),
      decimal_(decimalSeparator),
      names_(std::move(names)) {
  // A format that shows milliseconds ('z') changes within a second.
  stamp_.whole_seconds = !long_time_.contains(u'z');
}

LogFormat LogFormat::FromSystem() {
  return ForLocale(QLocale::system());
}

LogFormat LogFormat::ForLocale(const QLocale& locale) {
  const QString point = locale.decimalPoint();
  return LogFormat(locale.dateFormat(QLocale::ShortFormat),
                   RemoveTimeZoneField(locale.timeFormat(QLocale::LongFormat)),
                   point.isEmpty() ? QChar(u'.') : point.at(0), locale);
}

LogFormat LogFormat::Pinned() {
  return LogFormat(QStringLiteral("d/MM/yyyy"), QStringLiteral("h:mm:ss AP"), QChar(u'.'));
}

QString LogFormat::RemoveTimeZoneField(const QString& timeFormat) {
  // Walk the format, leaving quoted literal text alone; drop every run of 't' together with
  // one blank next to it (the one before it when there is one).
  QString out;
  bool quoted = false;
  bool dropNextBlank = false;
  for (qsizetype i = 0; i < timeFormat.size(); ++i) {
    const QChar c = timeFormat.at(i);
    if (c == u'\'') {
      quoted = !quoted;
      out.append(c);
      dropNextBlank = false;
      continue;
    }
    if (!quoted && c == u't') {
      while (i + 1 < timeFormat.size() && timeFormat.at(i + 1) == u't')
        ++i;
      if (out.endsWith(u' ')) {
        out.chop(1);
      } else {
        dropNextBlank = true;
      }
      continue;
    }
    if (dropNextBlank && c == u' ') {
      dropNextBlank = false;
      continue;
    }
    dropNextBlank = false;
    out.append(c);
  }
  return out;
}

QString LogFormat::Timestamp(TDateTime when) const {
  QDate day;
  QTime time;
  SplitDateTime(when, day, time);
  // Formatting by the locale's patterns is slow, and lines come in blocks stamped within one
  // second (the state block, the records): the last texts are kept for the next line.
  if (day != stamp_.day) {
    stamp_.day = day;
    stamp_.date = names_.toString(day, short_date_);
    stamp_.time_key = -1;
  }
  const int ms = time.msecsSinceStartOfDay();
  if (ms == 0) return stamp_.date;
  const int key = stamp_.whole_seconds ? ms / 1000 : ms;
  if (key != stamp_.time_key) {
    stamp_.time_key = key;
    stamp_.text = stamp_.date + u' ' + names_.toString(time, long_time_);
  }
  return stamp_.text;
}

QString LogFormat::Number(double value, int decimals) const {
  if (!std::isfinite(value)) return QString::number(value);
  // Fifteen significant digits of the value: d.dddddddddddddde±x. Rounding works on these
  // decimal digits, so 0.15 counts as the half it is written as.
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
  const std::string sci(buf, res.ptr);
  const bool negative = sci[0] == '-';
  const std::size_t start = negative ? 1 : 0;
  std::string digits;
  std::size_t pos = start;
  for (; pos < sci.size() && sci[pos] != 'e'; ++pos) {
    if (sci[pos] != '.') digits.push_back(sci[pos]);
  }
  const int exponent = std::stoi(sci.substr(pos + 1));
  // Number of digits left of the last kept place: value * 10^decimals has this many.
  const int keep = exponent + 1 + decimals;
  std::string kept;
  if (keep >= static_cast<int>(digits.size())) {
    kept = digits + std::string(static_cast<std::size_t>(keep) - digits.size(), '0');
  } else if (keep < 0) {
    kept = "0";
  } else {
    kept = digits.substr(0, static_cast<std::size_t>(keep));
    const std::string rest = digits.substr(static_cast<std::size_t>(keep));
    const std::string half = "5" + std::string(rest.size() - 1, '0');
    const int cmp = rest.compare(half);
    const bool lastOdd = !kept.empty() && ((kept.back() - '0') % 2 == 1);
    if (kept.empty()) kept = "0";
    if (cmp > 0 || (cmp == 0 && lastOdd)) {
      // Add one at the last kept place, carrying as far as needed.
      int i = static_cast<int>(kept.size()) - 1;
      while (i >= 0 && kept[static_cast<std::size_t>(i)] == '9') {
        kept[static_cast<std::size_t>(i)] = '0';
        --i;
      }
      if (i < 0) {
        kept.insert(kept.begin(), '1');
      } else {
        ++kept[static_cast<std::size_t>(i)];
      }
    }
  }
  // kept is the rounded value times 10^decimals; put the separator back.
  if (kept.size() <= static_cast<std::size_t>(decimals)) {
    kept.insert(0, static_cast<std::size_t>(decimals) + 1 - kept.size(), '0');
  }
  std::string whole = kept.substr(0, kept.size() - static_cast<std::size_t>(decimals));
  std::string fraction = kept.substr(kept.size() - static_cast<std::size_t>(decimals));
  while (!fraction.empty() && fraction.back() == '0')
    fraction.pop_back();
  const std::size_t nonZero = whole.find_first_not_of('0');
  whole = nonZero == std::string::npos ? "0" : whole.substr(nonZero);
  const bool zero = whole == "0" && fraction.empty();
  QString text;
  if (negative && !zero) text.append(u'-');
  text.append(QLatin1StringView(whole.data(), static_cast<qsizetype>(whole.size())));
  if (!fraction.empty()) {
    text.append(decimal_);
    text.append(QLatin1StringView(fraction.data(), static_cast<qsizetype>(fraction.size())));
  }
  return text;
}

std::optional<std::int32_t> LogFormat::DisplayTenths(QStringView text) const {
  // [+|-] digits [separator digits] [e|E [+|-] digits], at least one mantissa digit.
  std::string ascii;
  ascii.reserve(static_cast<std::size_t>(text.size()));
  qsizetype i = 0;
  const qsizetype n = text.size();
  bool negative = false;
  if (i < n && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  if (negative) ascii.push_back('-');
  int mantissaDigits = 0;
  while (i < n && text[i].isDigit() && text[i].unicode() < 0x80) {
    ascii.push_back(static_cast<char>(text[i].unicode()));
    ++mantissaDigits;
    ++i;
  }
  if (i < n && text[i] == decimal_) {
    ascii.push_back('.');
    ++i;
    while (i < n && text[i].unicode() >= u'0' && text[i].unicode() <= u'9') {
      ascii.push_back(static_cast<char>(text[i].unicode()));
      ++mantissaDigits;
      ++i;
    }
  }
  if (mantissaDigits == 0) return std::nullopt;
  if (i < n && (text[i] == u'e' || text[i] == u'E')) {
    ascii.push_back('e');
    ++i;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
      ascii.push_back(static_cast<char>(text[i].unicode()));
      ++i;
    }
    int expDigits = 0;
    while (i < n && text[i].unicode() >= u'0' && text[i].unicode() <= u'9') {
      ascii.push_back(static_cast<char>(text[i].unicode()));
      ++expDigits;
      ++i;
    }
    if (expDigits == 0) return std::nullopt;
  }
  if (i != n) return std::nullopt;
  double value = 0;
  const auto res = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (res.ec != std::errc() || res.ptr != ascii.data() + ascii.size()) return std::nullopt;
  const double tenths = std::trunc(value * 10.0);
  if (!(tenths >= -2147483648.0 && tenths <= 2147483647.0)) return std::nullopt;
  return static_cast<std::int32_t>(tenths);
}

}  // namespace dova
