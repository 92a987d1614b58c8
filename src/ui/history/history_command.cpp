#include "ui/history/history_command.h"

#include <QApplication>
#include <QFile>
#include <cstdio>
#include <optional>

#include "app/command_line.h"
#include "history/period_report.h"
#include "history/stored_log.h"
#include "platform/settings/settings_store.h"
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

TOptions Parse(const TCommandLine& line) {
  TOptions o;
  o.Command = line.Report.isEmpty() ? TOptions::TCommand::Csv : TOptions::TCommand::Report;
  o.Log = o.Command == TOptions::TCommand::Report ? line.Report : line.ExportCsv;
  o.Out = line.Out;
  const auto time = [&o](const char* name, const QString& text, std::optional<TDateTime>& into) {
    if (text.isEmpty() || !o.Error.isEmpty()) return;
    into = ParseIsoTime(text);
    if (!into)
      o.Error = QString::fromLatin1(name) + QStringLiteral(": not an ISO 8601 time: ") + text;
  };
  time("--from", line.From, o.From);
  time("--to", line.To, o.To);
  if (o.Error.isEmpty() && !line.Locale.isEmpty()) {
    const QLocale locale(line.Locale);
    if (locale == QLocale::c() && line.Locale != QStringLiteral("C")) {
      o.Error = QStringLiteral("--locale: unknown locale: ") + line.Locale;
    } else {
      o.Locale = locale;
    }
  }
  if (o.Error.isEmpty() && !line.Page.isEmpty()) {
    if (line.Page.compare(QStringLiteral("a4"), Qt::CaseInsensitive) == 0) {
      o.Page = QPageSize::A4;
    } else if (line.Page.compare(QStringLiteral("letter"), Qt::CaseInsensitive) == 0) {
      o.Page = QPageSize::Letter;
    } else {
      o.Error = QStringLiteral("--page takes a4 or letter, not ") + line.Page;
    }
  }
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

int RunHistoryCommand(const TCommandLine& line, const QString& version, int argc, char** argv) {
  const TOptions o = Parse(line);
  if (!o.Error.isEmpty()) return Fail(2, QStringLiteral("dova300-logger: ") + o.Error);

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

  TIncubatorName name = IncubatorFromFileName(o.Log);
  if (!line.Name.isEmpty()) name.Name = line.Name;
  if (!line.Serial.isEmpty()) name.Serial = line.Serial;
  const QLocale locale = o.Locale.value_or(QLocale::system());
  VirtualScheduler scheduler;
  TStoredView view = TStoredView::Make(scheduler, reader.TakeLog(),
                                       name.Name + QStringLiteral(": ") + name.Serial);
  view.ShowPeriod(from, to);
  // The alarm band comes from the user's own settings, as the logger keeps them.
  const QSettingsStore store;
  const TPeriodReport report = BuildViewReport(view, from, to, o.Log, name, store, version, locale);
  QString error;
  if (!WriteReportPdf(report, view, o.Out, o.Page.value_or(DefaultPageSize(locale)), error)) {
    return Fail(1, error);
  }
  return 0;
}

}  // namespace dova::ui
