#include "history/period_report.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>
#include <algorithm>
#include <cmath>

namespace dova {

namespace {

QString Number(const QLocale& locale, double value, int decimals) {
  if (std::isnan(value)) return QStringLiteral("\u2014");
  return locale.toString(value, 'f', decimals);
}

QString TimeText(const QLocale& locale, TDateTime t) {
  if (std::isnan(t)) return QString();
  return locale.toString(QDateTimeFromDateTime(t), QLocale::ShortFormat);
}

QString StateText(const TStateStats& s) {
  if (s.Count() == 0) return QStringLiteral("0");
  return QString::number(s.Count()) + QStringLiteral(" (") + DurationText(s.Total()) +
         QStringLiteral(")");
}

QString MarkText(const TLogMark& mark) {
  switch (mark.Kind) {
    case TTileEventKind::LinkUp:
      return QStringLiteral("Connected");
    case TTileEventKind::LinkDown:
      return QStringLiteral("Disconnected");
    case TTileEventKind::SetPointAdjusted:
      return QStringLiteral("Set-Point Adjusted");
    default:
      return StateEventText(mark.Kind);
  }
}

}  // namespace

QString AlarmBandText(const TAlarmBand& band, const QLocale& locale) {
  return QStringLiteral("\u00B1") +
         locale.toString(band.Temperature, 'g', QLocale::FloatingPointShortest) +
         QStringLiteral(" \u00B0C, \u00B1") +
         locale.toString(band.Flow, 'g', QLocale::FloatingPointShortest) +
         QStringLiteral(" ml/min");
}

QString DurationText(TDateTime days) {
  const auto seconds = static_cast<long long>(std::llround(days * 86400.0));
  const long long h = seconds / 3600;
  const long long m = seconds % 3600 / 60;
  const long long s = seconds % 60;
  if (h > 0) return QStringLiteral("%1 h %2 min").arg(h).arg(m, 2, 10, QChar(u'0'));
  if (m > 0) return QStringLiteral("%1 min %2 s").arg(m).arg(s, 2, 10, QChar(u'0'));
  return QStringLiteral("%1 s").arg(s);
}

std::optional<QString> FileSha256(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  QCryptographicHash hash(QCryptographicHash::Sha256);
  if (!hash.addData(&file)) return std::nullopt;
  return QString::fromLatin1(hash.result().toHex());
}

std::optional<TDateTime> ParseIsoTime(const QString& text) {
  QDateTime dt = QDateTime::fromString(text, Qt::ISODateWithMs);
  if (!dt.isValid()) dt = QDateTime::fromString(text, Qt::ISODate);
  if (!dt.isValid()) {
    const QDate date = QDate::fromString(text, Qt::ISODate);
    if (!date.isValid()) return std::nullopt;
    dt = date.startOfDay();
  }
  // A time with a zone is brought to local time, the log's own.
  if (dt.timeSpec() != Qt::LocalTime) dt = dt.toLocalTime();
  return DateTimeFromQDateTime(dt);
}

TPeriodReport BuildPeriodReport(const TStoredLog& log, const TPeriodStats& stats,
                                const TReportSource& source, const TAlarmBand& band,
                                const QLocale& locale, const TJournalExtract& journal) {
  TPeriodReport report;
  const TDateTime from = stats.From;
  const TDateTime to = stats.To;
  // The period shown is what the log holds of the one asked for.
  const TDateTime shown_from = std::isnan(log.FirstTime) ? from : std::max(from, log.FirstTime);
  const TDateTime shown_to = std::isnan(log.LastTime) ? to : std::min(to, log.LastTime);
  report.Stats = stats;
  const TPeriodStats& s = report.Stats;

  report.Title = QStringLiteral("Period report: ") + source.Name +
                 (source.Serial.isEmpty() ? QString() : QStringLiteral(" ") + source.Serial);
  auto header = [&](const char* label, const QString& value) {
    report.Header.emplace_back(QString::fromUtf8(label), value);
  };
  header("Incubator", source.Name);
  header("Serial number", source.Serial);
  header("Period",
         TimeText(locale, shown_from) + QStringLiteral(" \u2013 ") + TimeText(locale, shown_to));
  header("Time zone", source.TimeZone);
  header("Generated", locale.toString(source.GeneratedAt, QLocale::ShortFormat));
  header("Program", QStringLiteral("dova300-logger ") + source.ProgramVersion);
  header("Source file", source.Path);
  header("SHA-256", source.Sha256);
  header("Alarm band", AlarmBandText(band, locale));
  header("Gaps in the data", StateText(s.Gaps));
  QString unread = QString::number(log.Unread.Count + (log.UnendedLine > 0 ? 1 : 0));
  if (log.Unread.Count > 0 || log.UnendedLine > 0) {
    QStringList lines;
    for (const std::int64_t n : log.Unread.First)
      lines << QString::number(n);
    if (log.UnendedLine > 0) lines << QString::number(log.UnendedLine);
    unread += QStringLiteral(" (lines ") + lines.join(QStringLiteral(", ")) +
              (log.Unread.Count > log.Unread.First.size() ? QStringLiteral(", \u2026)")
                                                          : QStringLiteral(")"));
  }
  header("Unreadable lines", unread);
  if (journal.Files.isEmpty()) {
    header("Alarm journal", QStringLiteral("none beside the log file"));
  } else {
    QStringList names;
    for (const QString& f : journal.Files)
      names << QFileInfo(f).fileName();
    const std::size_t n = journal.Entries.size();
    header("Alarm journal", names.join(QStringLiteral(", ")) + QStringLiteral(": ") +
                                QString::number(n) +
                                (n == 1 ? QStringLiteral(" entry") : QStringLiteral(" entries")) +
                                QStringLiteral(" for this incubator in the period"));
  }

  const TReadingStats* readings[] = {&s.Left, &s.Right, &s.Gas};
  const int decimals[] = {1, 1, 0};
  const QString units[] = {QStringLiteral(" \u00B0C"), QStringLiteral(" \u00B0C"),
                           QStringLiteral(" ml/min")};
  auto row = [&](const char* label, auto&& cell) {
    TPeriodReport::TRow r{QString::fromUtf8(label), cell(0), cell(1), cell(2)};
    report.Statistics.push_back(std::move(r));
  };
  auto extreme = [&](int i, double value, TDateTime at) {
    if (!readings[i]->HasData) return QStringLiteral("\u2014");
    return Number(locale, value, decimals[i]) + units[i] + QStringLiteral(" at ") +
           TimeText(locale, at);
  };
  row("Minimum", [&](int i) { return extreme(i, readings[i]->Minimum, readings[i]->MinimumAt); });
  row("Maximum", [&](int i) { return extreme(i, readings[i]->Maximum, readings[i]->MaximumAt); });
  row("Time-weighted mean", [&](int i) {
    return Number(locale, readings[i]->Mean, decimals[i] + 1) +
           (readings[i]->HasData ? units[i] : QString());
  });
  row("Standard deviation",
      [&](int i) { return Number(locale, readings[i]->StandardDeviation, decimals[i] + 2); });
  row("Mean kinetic temperature", [&](int i) {
    return i == 2 ? QStringLiteral("\u2014")
                  : Number(locale, readings[i]->MeanKinetic, 2) +
                        (readings[i]->HasData ? units[i] : QString());
  });
  row("Time within the alarm band", [&](int i) {
    return std::isnan(readings[i]->InBandShare)
               ? QStringLiteral("\u2014")
               : Number(locale, readings[i]->InBandShare * 100.0, 1) + QStringLiteral(" %");
  });
  row("Excursions", [&](int i) { return QString::number(readings[i]->Excursions.size()); });
  row("Time with data", [&](int i) { return DurationText(readings[i]->Covered); });
  row("Lid openings", [&](int i) {
    return i == 0 ? StateText(s.LeftLid) : i == 1 ? StateText(s.RightLid) : QString();
  });
  row("Temperature errors", [&](int i) {
    return i == 0   ? StateText(s.LeftTemperatureErrors)
           : i == 1 ? StateText(s.RightTemperatureErrors)
                    : QString();
  });
  row("Purges", [&](int i) { return i == 2 ? StateText(s.Purges) : QString(); });
  row("CO2 errors", [&](int i) { return i == 2 ? StateText(s.CO2Errors) : QString(); });
  row("Flow errors", [&](int i) { return i == 2 ? StateText(s.FlowErrors) : QString(); });

  // The events table: excursions, changes of state and gaps, in time order.
  std::vector<TPeriodReport::TEvent> events;
  const QString sides[] = {QStringLiteral("Left"), QStringLiteral("Right"), QStringLiteral("Gas")};
  for (int i = 0; i < 3; ++i) {
    for (const TExcursion& e : readings[i]->Excursions) {
      events.push_back({e.Start,
                        {},
                        sides[i],
                        QStringLiteral("Out of band"),
                        DurationText(e.Duration),
                        Number(locale, e.Extreme, decimals[i]) + units[i]});
    }
  }
  for (const TLogMark& mark : log.Marks) {
    if (mark.Time < from || mark.Time > to) continue;
    if (mark.Initial && !IsErrorEvent(mark.Kind)) continue;
    QString extra;
    if (mark.Kind == TTileEventKind::SetPointAdjusted) {
      const int d = mark.Side == TTileSide::Gas ? 0 : 1;
      extra = Number(locale, mark.Value, d) + units[mark.Side == TTileSide::Gas ? 2 : 0];
    }
    events.push_back({mark.Time, {}, SideText(mark.Side), MarkText(mark), {}, extra});
  }
  for (const TStatePeriod& gap : s.Gaps.Periods) {
    events.push_back(
        {gap.Start, {}, QString(), QStringLiteral("No data"), DurationText(gap.Duration), {}});
  }
  std::stable_sort(events.begin(), events.end(),
                   [](const auto& a, const auto& b) { return a.Time < b.Time; });
  if (events.size() > TPeriodReport::kMaxEvents) {
    report.EventsLeftOut = events.size() - TPeriodReport::kMaxEvents;
    events.resize(TPeriodReport::kMaxEvents);
  }
  for (auto& e : events)
    e.When = TimeText(locale, e.Time);
  report.Events = std::move(events);

  report.HasJournal = !journal.Files.isEmpty();
  report.JournalProblems = journal.Problems;
  for (const TAlarmTransition& t : journal.Entries) {
    if (report.Journal.size() == TPeriodReport::kMaxEvents) {
      ++report.JournalLeftOut;
      continue;
    }
    TPeriodReport::TJournalRow row;
    row.Time = t.Time;
    row.When = locale.toString(QDateTimeFromDateTime(t.Time), QLocale::ShortFormat);
    if (t.Key) {
      const QString& side = SideText(t.Key->Side);
      const QString& kind = KindText(t.Key->Kind);
      // "Left temperature high", but "Gas flow high" rather than "Gas gas flow high".
      row.Alarm =
          side.isEmpty() || kind.startsWith(side, Qt::CaseInsensitive) ? kind : side + u' ' + kind;
      row.Alarm[0] = row.Alarm[0].toUpper();
    } else {
      row.Alarm = QStringLiteral("Incubator");
    }
    row.Transition = TransitionText(t.Transition);
    QStringList details;
    if (!t.Value.isEmpty()) details << QStringLiteral("value ") + t.Value;
    if (!t.Limit.isEmpty()) details << QStringLiteral("limit ") + t.Limit;
    if (!t.User.isEmpty()) details << QStringLiteral("by ") + t.User;
    if (!t.Comment.isEmpty())
      details << QStringLiteral("\u201C") + t.Comment + QStringLiteral("\u201D");
    row.Details = details.join(QStringLiteral(", "));
    report.Journal.push_back(std::move(row));
  }
  return report;
}

bool WriteTidyCsv(const TStoredLog& log, TDateTime from, TDateTime to, QIODevice& out) {
  const TLineSeries* series[] = {&log.Left.Values,     &log.Left.SetPoints, &log.Right.Values,
                                 &log.Right.SetPoints, &log.Gas.Values,     &log.Gas.SetPoints};
  const int decimals[] = {1, 1, 1, 1, 0, 0};
  // Times of every point and every mark in the period, in order; a row per time, and one
  // more per further event at that time.
  std::vector<TDateTime> times;
  for (const TLineSeries* s : series) {
    for (const TChartPoint& p : *s) {
      if (p.x >= from && p.x <= to) times.push_back(p.x);
    }
  }
  std::vector<const TLogMark*> marks;
  for (const TLogMark& m : log.Marks) {
    if (m.Time < from || m.Time > to) continue;
    marks.push_back(&m);
    times.push_back(m.Time);
  }
  std::sort(times.begin(), times.end());
  times.erase(std::unique(times.begin(), times.end()), times.end());
  std::stable_sort(marks.begin(), marks.end(),
                   [](const TLogMark* a, const TLogMark* b) { return a->Time < b->Time; });

  QByteArray text =
      "time_utc,time_local,left_temperature,left_setpoint,right_temperature,"
      "right_setpoint,gas_flow,gas_setpoint,event\n";
  std::size_t index[6] = {};
  bool any[6] = {};
  std::size_t next_mark = 0;
  for (const TDateTime t : times) {
    const QDateTime local = QDateTimeFromDateTime(t);
    QByteArray row = local.toUTC().toString(Qt::ISODate).toLatin1() + ',' +
                     local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1();
    for (int k = 0; k < 6; ++k) {
      const TLineSeries& s = *series[k];
      while (index[k] < s.Count() && s[index[k]].x <= t) {
        ++index[k];
        any[k] = true;
      }
      row += ',';
      if (any[k]) {
        const double v = s[index[k] - 1].y;
        if (!std::isnan(v)) row += QByteArray::number(v, 'f', decimals[k]);
      }
    }
    bool wrote = false;
    while (next_mark < marks.size() && marks[next_mark]->Time <= t) {
      const TLogMark& m = *marks[next_mark++];
      QString what = MarkText(m);
      if (m.Side != TTileSide::None) what = SideText(m.Side) + u' ' + what;
      if (m.Kind == TTileEventKind::SetPointAdjusted) {
        what += u' ' + QString::number(m.Value, 'f', m.Side == TTileSide::Gas ? 0 : 1);
      }
      text += row + ',' + what.toUtf8() + '\n';
      wrote = true;
    }
    if (!wrote) text += row + ",\n";
    if (text.size() > (1 << 20)) {
      if (out.write(text) != text.size()) return false;
      text.clear();
    }
  }
  return out.write(text) == text.size();
}

}  // namespace dova
