#pragma once

#include <QDateTime>
#include <QIODevice>
#include <QLocale>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

#include "history/alarm_context.h"
#include "history/period_stats.h"
#include "history/stored_log.h"

namespace dova {

// What the report says about where its data came from. A log names neither the incubator
// nor its serial number: they come from its file name, and the user may correct them.
struct TReportSource {
  QString Name;
  QString Serial;
  QString Path;
  QString Sha256;
  QString ProgramVersion;
  QDateTime GeneratedAt;
  QString TimeZone;
};

// The contents of a period report as texts, in the order the pages show them; the renderer
// lays them out and adds the three charts of the period.
struct TPeriodReport {
  struct TRow {
    QString Label;
    QString Left;
    QString Right;
    QString Gas;
  };
  struct TEvent {
    TDateTime Time = 0;
    QString When;
    QString Where;
    QString What;
    QString Duration;
    QString Extreme;
  };
  // One entry of the alarm journal: what the journal holds of it, as texts.
  struct TJournalRow {
    TDateTime Time = 0;
    QString When;
    QString Alarm;       // "Left temperature high"; "Incubator" for shelving
    QString Transition;  // "raised", "acknowledged", …
    QString Details;     // value, limit, user and comment as far as the journal has them
  };
  // Rows of the events table (and of the journal's table) beyond this are counted, not listed.
  static constexpr std::size_t kMaxEvents = 1000;

  QString Title;
  std::vector<std::pair<QString, QString>> Header;
  std::vector<TRow> Statistics;
  std::vector<TEvent> Events;
  std::size_t EventsLeftOut = 0;
  // The alarm journal's entries for the incubator in the period; HasJournal is false when no
  // journal lies beside the log.
  bool HasJournal = false;
  std::vector<TJournalRow> Journal;
  std::size_t JournalLeftOut = 0;
  QStringList JournalProblems;
  TPeriodStats Stats;
};

// `stats` are the statistics of the period from ComputePeriodStats; `journal` the journal's
// entries for the incubator in that period (JournalEntriesBeside).
TPeriodReport BuildPeriodReport(const TStoredLog& log, const TPeriodStats& stats,
                                const TReportSource& source, const TAlarmBand& band,
                                const QLocale& locale, const TJournalExtract& journal = {});

// "±0.5 °C, ±5 ml/min".
QString AlarmBandText(const TAlarmBand& band, const QLocale& locale);

// "2 h 05 min", "3 min 20 s", "12 s".
QString DurationText(TDateTime days);

// The SHA-256 of a file in lower-case hex, or nothing when it cannot be read.
std::optional<QString> FileSha256(const QString& path);

// A time given as ISO 8601 text ("2026-12-14", "2026-12-14T10:00", with or without a zone)
// as our local date-time value; nothing when it is not one.
std::optional<TDateTime> ParseIsoTime(const QString& text);

// The period as a tidy table for spreadsheets and data tools: a header, then one row per
// time something was recorded (a reading that changed, an event), each with the readings that
// held then. Numbers with a decimal point, times in ISO 8601 (UTC with "Z", and local).
// Multiple events at one time give one row each. Returns false when writing failed.
bool WriteTidyCsv(const TStoredLog& log, TDateTime from, TDateTime to, QIODevice& out);

}  // namespace dova
