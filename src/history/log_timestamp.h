#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>
#include <vector>

#include "monitor/log_format.h"
#include "platform/datetime.h"

namespace dova {

// The time stamp of a log line read back: the writer's short date, a blank and its long time
// (the date alone at midnight), compiled once from the format strings of the writer's locale
// so that a year of lines reads without going through Qt's general date parser.
//
// A two-digit year is put in the century that brings it nearest `reference_year` (the year of
// the file's own time stamp): "26" read in a file last changed in 2026 is 2026, never 1926.
class TTimestampFormat {
 public:
  TTimestampFormat(const LogFormat& format, int reference_year);

  // Reads a time stamp at the start of `text`; on success `used` is the number of
  // characters it took. Fields are read leniently (one or two digits for any day, month,
  // hour, minute or second field; AM/PM texts in any case).
  std::optional<TDateTime> Parse(QStringView text, qsizetype& used) const;

  int ReferenceYear() const { return reference_year_; }

 private:
  enum class TField : unsigned char {
    Literal,
    Day,
    DayName,
    Month,
    MonthShortName,
    MonthLongName,
    Year2,
    Year4,
    Hour12,
    Hour24,
    Minute,
    Second,
    Millisecond,
    AmPm,
  };
  struct TToken {
    TField Field = TField::Literal;
    QString Text;  // literal text
  };
  static std::vector<TToken> Compile(const QString& format, bool* has_am_pm);
  bool ParseTokens(const std::vector<TToken>& tokens, QStringView text, qsizetype& pos,
                   int values[8]) const;
  int ResolveYear(int two_digits) const;

  std::vector<TToken> date_;
  std::vector<TToken> time_;
  QLocale names_;
  QStringList am_pm_;
  int reference_year_;
};

// The number of days from 1899-12-30 to the given date, or nothing for a date that does not
// exist (31 April).
std::optional<int> DayNumber(int year, int month, int day);

}  // namespace dova
