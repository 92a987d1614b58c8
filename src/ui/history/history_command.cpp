#include "ui/history/history_command.h"

#include <QApplication>
#include <QFile>
#include <QTimeZone>
#include <cstdio>
#include <optional>

#include "history/period_report.h"
#include "history/stored_log.h"
#include "platform/virtual_scheduler.h"
#include "ui/history/stored_report.h"

namespace dova::ui {

namespace {

struct TOptions {
  enum class TCommand { Report, Csv } Command = TCommand::Report;
  QString Log;
  QString Out;
  std::optional<TDateTime> From;
  std::optional<TDateTime> To;
  std::optional<QLocale> Locale;
  std::optional<QPageSize::PageSizeId> Page;
  QString Error;
};

TOptions Parse(const QStringList& args) {
  TOptions o;
  auto value = [&](qsizetype& i) -> std::optional<QString> {
    if (i + 1 >= args.size()) {
      o.Error = args[i] + QStringLiteral(" needs a value");
      return std::nullopt;
    }
    return args[++i];
  };
  for (qsizetype i = 0; i < args.size() && o.Error.isEmpty(); ++i) {
    const QString& a = args[i];
    if (a == QStringLiteral("--report") || a == QStringLiteral("--export-csv")) {
      o.Command =
          a == QStringLiteral("--report") ? TOptions::TCommand::Report : TOptions::TCommand::Csv;
      if (auto v = value(i)) o.Log = *v;
    } else if (a == QStringLiteral("--out")) {
      if (auto v = value(i)) o.Out = *v;
    } else if (a == QStringLiteral("--from") || a == QStringLiteral("--to")) {
      const auto v = value(i);
      if (!v) break;
      const std::optional<TDateTime> t = ParseIsoTime(*v);
      if (!t) {
        o.Error = a + QStringLiteral(": not an ISO 8601 time: ") + *v;
      } else {
        (a == QStringLiteral("--from") ? o.From : o.To) = t;
      }
    } else if (a == QStringLiteral("--locale")) {
      const auto v = value(i);
      if (!v) break;
      const QLocale locale(*v);
      if (locale == QLocale::c() && *v != QStringLiteral("C")) {
        o.Error = QStringLiteral("--locale: unknown locale: ") + *v;
      } else {
        o.Locale = locale;
      }
    } else if (a == QStringLiteral("--page")) {
      const auto v = value(i);
      if (!v) break;
      if (v->compare(QStringLiteral("a4"), Qt::CaseInsensitive) == 0) {
        o.Page = QPageSize::A4;
      } else if (v->compare(QStringLiteral("letter"), Qt::CaseInsensitive) == 0) {
        o.Page = QPageSize::Letter;
      } else {
        o.Error = QStringLiteral("--page: a4 or letter, not ") + *v;
      }
    } else {
      o.Error = QStringLiteral("Unknown option for a stored log: ") + a;
    }
  }
  if (o.Error.isEmpty() && o.Log.isEmpty()) o.Error = QStringLiteral("No log file given");
  if (o.Error.isEmpty() && o.Out.isEmpty()) o.Error = QStringLiteral("--out FILE is missing");
  if (o.Error.isEmpty() && o.From && o.To && *o.To < *o.From) {
    o.Error = QStringLiteral("--to lies before --from");
  }
  return o;
}

void PrintError(const QString& text) {
  std::fputs((text + u'\n').toLocal8Bit().constData(), stderr);
}

int Fail(int code, const QString& text) {
  PrintError(text);
  return code;
}

}  // namespace

bool IsHistoryCommand(const QStringList& arguments) {
  return arguments.contains(QStringLiteral("--report")) ||
         arguments.contains(QStringLiteral("--export-csv"));
}

QString HistoryCommandHelp() {
  return QStringLiteral(
      "  --report FILE [--from ISO-TIME] [--to ISO-TIME] [--locale NAME] [--page a4|letter]\n"
      "           --out REPORT.pdf   a period report of a stored log, without a display\n"
      "  --export-csv FILE [--from ISO-TIME] [--to ISO-TIME] [--locale NAME] --out OUT.csv\n"
      "                              the period as a table for spreadsheets\n");
}

int RunHistoryCommand(const QStringList& arguments, const QString& version, int argc, char** argv) {
  const TOptions o = Parse(arguments);
  if (!o.Error.isEmpty()) return Fail(2, o.Error);

  TStoredLogReader::TOptions read_options;
  read_options.Locale = o.Locale;
  TStoredLogReader reader(o.Log, read_options);
  // The report's charts are widgets: they are drawn without a screen.
  if (o.Command == TOptions::TCommand::Report && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  std::unique_ptr<QCoreApplication> app;
  if (o.Command == TOptions::TCommand::Report) {
    app = std::make_unique<QApplication>(argc, argv);
  } else {
    app = std::make_unique<QCoreApplication>(argc, argv);
  }
  if (reader.Refresh() != TStoredLogReader::TResult::Read) return Fail(1, reader.Error());
  if (reader.Guess().Ambiguous) {
    QStringList names;
    for (const QLocale& l : reader.Guess().Alternatives)
      names << l.name();
    PrintError(QStringLiteral("The dates of ") + o.Log + QStringLiteral(" read as ") +
               reader.Guess().Locale.name() + QStringLiteral(" but also as ") +
               names.join(QStringLiteral(", ")) + QStringLiteral("; --locale chooses."));
  }
  const TStoredLog& log = reader.Log();
  const TDateTime from = o.From.value_or(std::isnan(log.FirstTime) ? 0 : log.FirstTime);
  const TDateTime to = o.To.value_or(std::isnan(log.LastTime) ? from : log.LastTime);

  if (o.Command == TOptions::TCommand::Csv) {
    QFile out(o.Out);
    if (!out.open(QIODevice::WriteOnly) || !WriteTidyCsv(log, from, to, out)) {
      return Fail(
          1, QStringLiteral("Cannot write ") + o.Out + QStringLiteral(": ") + out.errorString());
    }
    return 0;
  }

  const std::optional<QString> sha = FileSha256(o.Log);
  const TIncubatorName name = IncubatorFromFileName(o.Log);
  const QLocale locale = o.Locale.value_or(QLocale::system());
  TReportSource source{name.Name,
                       name.Serial,
                       o.Log,
                       sha.value_or(QString()),
                       version,
                       QDateTime::currentDateTime(),
                       QString::fromLatin1(QTimeZone::systemTimeZoneId())};
  VirtualScheduler scheduler;
  const TAlarmBand band;
  TStoredView view = TStoredView::Make(scheduler, reader.TakeLog(),
                                       name.Name + QStringLiteral(": ") + name.Serial);
  view.ShowPeriod(from, to);
  const TPeriodReport report =
      BuildPeriodReport(*view.Log, view.Stats(from, to, band), source, band, locale);
  QString error;
  if (!WriteReportPdf(report, view, o.Out, o.Page.value_or(DefaultPageSize(locale)), error)) {
    return Fail(1, error);
  }
  return 0;
}

}  // namespace dova::ui
