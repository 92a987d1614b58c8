#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>

#include "platform/datetime.h"

namespace dova {

// The user's locale as the log file and the display reading need it: short date format,
// long time format (without a time-zone field) and decimal separator. The program takes
// them from the system once; tests pin them so that expected files are stable.
class LogFormat {
 public:
  // shortDate and longTime are Qt date/time format strings ("d/MM/yyyy", "h:mm:ss AP").
  // `names` supplies month/day names and the AM/PM texts.
  LogFormat(QString shortDateFormat, QString longTimeFormat, QChar decimalSeparator,
            QLocale names = QLocale::c());

  // From QLocale::system(): its short date and long time formats, the time-zone field of
  // the latter removed together with one neighbouring blank.
  static LogFormat FromSystem();
  // The same from a given locale, as a computer set to it writes its logs.
  static LogFormat ForLocale(const QLocale& locale);
  // The formats the tests use: lines read "8/03/2010 2:05:09 PM".
  static LogFormat Pinned();

  static QString RemoveTimeZoneField(const QString& timeFormat);

  const QString& ShortDateFormat() const { return short_date_; }
  const QString& LongTimeFormat() const { return long_time_; }
  QChar DecimalSeparator() const { return decimal_; }
  const QLocale& Names() const { return names_; }

  // Date and time of a log line: short date, a blank, long time; at exactly midnight the
  // date alone. Keeps the last texts for the next call: one thread at a time.
  QString Timestamp(TDateTime when) const;

  // A number for the log: `value` brought to `decimals` places (exact halves of the decimal
  // value go to the even neighbour), then the shortest text with at most 15 significant
  // digits, no trailing zeros, no separator for whole values. 37.0 -> "37", 37.25 -> "37.2".
  QString Number(double value, int decimals) const;

  // The chamber display's text read as a number with the user's decimal separator, times
  // ten with the fraction dropped: "37.2" -> 372. None when the text is not a number (an
  // empty text, "OFF", "LID", "Err") or the result does not fit 32 bits.
  std::optional<std::int32_t> DisplayTenths(QStringView text) const;

 private:
  QString short_date_;
  QString long_time_;
  QChar decimal_;
  QLocale names_;
  // The last time stamp made, by day and by second (by millisecond when the format shows
  // milliseconds).
  struct LastStamp {
    QDate day;
    QString date;
    int time_key = -1;
    QString text;
    bool whole_seconds = true;
  };
  mutable LastStamp stamp_;
};

}  // namespace dova
