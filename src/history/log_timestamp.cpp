#include "history/log_timestamp.h"

#include <QDate>
#include <cstdlib>

namespace dova {

namespace {

enum Slot { kYear, kMonth, kDay, kHour, kMinute, kSecond, kMs, kAmPm, kSlots };

// Reads between min_digits and max_digits ASCII digits.
bool ReadNumber(QStringView text, qsizetype& pos, int min_digits, int max_digits, int& out) {
  int value = 0;
  int digits = 0;
  while (digits < max_digits && pos < text.size()) {
    const char16_t c = text[pos].unicode();
    if (c < u'0' || c > u'9') break;
    value = value * 10 + (c - u'0');
    ++digits;
    ++pos;
  }
  if (digits < min_digits) return false;
  out = value;
  return true;
}

// The longest of `names` that `text` continues with at pos (case-insensitive); its index.
int MatchName(QStringView text, qsizetype pos, const QStringList& names, qsizetype& length) {
  int best = -1;
  length = 0;
  for (int i = 0; i < names.size(); ++i) {
    const QString& name = names[i];
    if (name.isEmpty() || name.size() <= length) continue;
    if (text.mid(pos).startsWith(name, Qt::CaseInsensitive)) {
      best = i;
      length = name.size();
    }
  }
  return best;
}

}  // namespace

std::optional<int> DayNumber(int year, int month, int day) {
  if (!QDate::isValid(year, month, day)) return std::nullopt;
  static const qint64 kEpoch = QDate(1899, 12, 30).toJulianDay();
  return static_cast<int>(QDate(year, month, day).toJulianDay() - kEpoch);
}

TTimestampFormat::TTimestampFormat(const LogFormat& format, int reference_year)
    : names_(format.Names()),
      am_pm_{names_.amText(), names_.pmText(), QStringLiteral("AM"), QStringLiteral("PM")},
      reference_year_(reference_year) {
  bool date_am_pm = false;
  bool time_am_pm = false;
  date_ = Compile(format.ShortDateFormat(), &date_am_pm);
  time_ = Compile(format.LongTimeFormat(), &time_am_pm);
}

std::vector<TTimestampFormat::TToken> TTimestampFormat::Compile(const QString& format,
                                                                bool* has_am_pm) {
  // Qt's format letters; runs of one letter make one field, quoted text is literal ('' is a
  // quote). Whether "h" counts 12 or 24 hours depends on an AM/PM field anywhere.
  std::vector<TToken> tokens;
  auto literal = [&tokens](QChar c) {
    if (tokens.empty() || tokens.back().Field != TField::Literal) tokens.push_back({});
    tokens.back().Text.append(c);
  };
  *has_am_pm = false;
  const qsizetype n = format.size();
  for (qsizetype i = 0; i < n;) {
    const QChar c = format[i];
    if (c == u'\'') {
      if (i + 1 < n && format[i + 1] == u'\'') {
        literal(c);
        i += 2;
        continue;
      }
      ++i;
      while (i < n) {
        if (format[i] == u'\'') {
          if (i + 1 < n && format[i + 1] == u'\'') {
            literal(QChar(u'\''));
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        literal(format[i++]);
      }
      continue;
    }
    qsizetype run = 1;
    while (i + run < n && format[i + run] == c)
      ++run;
    TField field = TField::Literal;
    switch (c.unicode()) {
      case u'd':
        field = run <= 2 ? TField::Day : TField::DayName;
        break;
      case u'M':
        field = run <= 2   ? TField::Month
                : run == 3 ? TField::MonthShortName
                           : TField::MonthLongName;
        break;
      case u'y':
        field = run == 2 ? TField::Year2 : TField::Year4;
        break;
      case u'h':
        field = TField::Hour12;
        break;
      case u'H':
        field = TField::Hour24;
        break;
      case u'm':
        field = TField::Minute;
        break;
      case u's':
        field = TField::Second;
        break;
      case u'z':
        field = TField::Millisecond;
        break;
      case u'A':
      case u'a':
        field = TField::AmPm;
        *has_am_pm = true;
        // "AP" and "ap" are one field, as is "A" alone.
        if (run == 1 && i + 1 < n && (format[i + 1] == u'P' || format[i + 1] == u'p')) run = 2;
        break;
      case u't':
        // A time-zone field the writer left out; nothing to read.
        i += run;
        continue;
      default:
        break;
    }
    if (field == TField::Literal) {
      for (qsizetype k = 0; k < run; ++k)
        literal(c);
    } else {
      tokens.push_back({field, {}});
    }
    i += run;
  }
  return tokens;
}

bool TTimestampFormat::ParseTokens(const std::vector<TToken>& tokens, QStringView text,
                                   qsizetype& pos, int values[]) const {
  for (const TToken& token : tokens) {
    qsizetype length = 0;
    switch (token.Field) {
      case TField::Literal:
        if (!text.mid(pos).startsWith(token.Text)) return false;
        pos += token.Text.size();
        break;
      case TField::Day:
        if (!ReadNumber(text, pos, 1, 2, values[kDay])) return false;
        break;
      case TField::Month:
        if (!ReadNumber(text, pos, 1, 2, values[kMonth])) return false;
        break;
      case TField::Year2:
        if (!ReadNumber(text, pos, 2, 2, values[kYear])) return false;
        values[kYear] = ResolveYear(values[kYear]);
        break;
      case TField::Year4:
        if (!ReadNumber(text, pos, 4, 4, values[kYear])) return false;
        break;
      case TField::Hour12:
      case TField::Hour24:
        if (!ReadNumber(text, pos, 1, 2, values[kHour])) return false;
        break;
      case TField::Minute:
        if (!ReadNumber(text, pos, 1, 2, values[kMinute])) return false;
        break;
      case TField::Second:
        if (!ReadNumber(text, pos, 1, 2, values[kSecond])) return false;
        break;
      case TField::Millisecond:
        if (!ReadNumber(text, pos, 1, 3, values[kMs])) return false;
        break;
      case TField::DayName: {
        QStringList names;
        for (int d = 1; d <= 7; ++d) {
          names << names_.dayName(d, QLocale::LongFormat)
                << names_.dayName(d, QLocale::ShortFormat);
        }
        if (MatchName(text, pos, names, length) < 0) return false;
        pos += length;
        break;
      }
      case TField::MonthShortName:
      case TField::MonthLongName: {
        QStringList names;
        for (int m = 1; m <= 12; ++m) {
          names << names_.monthName(m, QLocale::LongFormat)
                << names_.monthName(m, QLocale::ShortFormat)
                << names_.standaloneMonthName(m, QLocale::ShortFormat);
        }
        const int index = MatchName(text, pos, names, length);
        if (index < 0) return false;
        values[kMonth] = index / 3 + 1;
        pos += length;
        break;
      }
      case TField::AmPm: {
        const int index = MatchName(text, pos, am_pm_, length);
        if (index < 0) return false;
        values[kAmPm] = index % 2;
        pos += length;
        break;
      }
    }
  }
  return true;
}

int TTimestampFormat::ResolveYear(int two_digits) const {
  const int century = reference_year_ - ((reference_year_ % 100) + 100) % 100;
  int best = century + two_digits;
  for (const int candidate : {century - 100 + two_digits, century + 100 + two_digits}) {
    if (std::abs(candidate - reference_year_) < std::abs(best - reference_year_)) best = candidate;
  }
  return best;
}

std::optional<TDateTime> TTimestampFormat::Parse(QStringView text, qsizetype& used) const {
  int values[kSlots] = {0, 0, 0, 0, 0, 0, 0, -1};
  qsizetype pos = 0;
  if (!ParseTokens(date_, text, pos, values)) return std::nullopt;
  const std::optional<int> day = DayNumber(values[kYear], values[kMonth], values[kDay]);
  if (!day) return std::nullopt;
  // At midnight the writer leaves the time out: the date is followed by the record's ", ".
  qsizetype time_pos = pos;
  if (time_pos < text.size() && text[time_pos] == u' ') {
    ++time_pos;
    if (ParseTokens(time_, text, time_pos, values)) {
      int hour = values[kHour];
      if (values[kAmPm] >= 0) {
        if (hour < 1 || hour > 12) return std::nullopt;
        hour = hour % 12 + (values[kAmPm] == 1 ? 12 : 0);
      }
      if (hour > 23 || values[kMinute] > 59 || values[kSecond] > 59) return std::nullopt;
      used = time_pos;
      const double ms =
          ((hour * 60.0 + values[kMinute]) * 60.0 + values[kSecond]) * 1000.0 + values[kMs];
      return *day + ms / kMsPerDay;
    }
  }
  used = pos;
  return static_cast<TDateTime>(*day);
}

}  // namespace dova
