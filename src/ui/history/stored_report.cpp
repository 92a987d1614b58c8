#include "ui/history/stored_report.h"

#include <QApplication>
#include <QFile>
#include <QPdfWriter>
#include <QTextDocument>
#include <QTimeZone>
#include <QUrl>

#include "alarms/alarm_settings.h"
#include "history/alarm_context.h"

#include "ui/graphs/graph_windows.h"
#include "ui/graphs/trend_chart.h"

namespace dova::ui {

TStoredView TStoredView::Make(Scheduler& scheduler, std::unique_ptr<TStoredLog> log,
                              const QString& caption) {
  TStoredView view;
  view.Left = std::make_unique<TStoredTempGraph>(scheduler, std::move(log->Left));
  view.Right = std::make_unique<TStoredTempGraph>(scheduler, std::move(log->Right));
  view.Gas = std::make_unique<TStoredGasGraph>(scheduler, std::move(log->Gas));
  view.Left->SetCaption(caption + QStringLiteral(" - Left Temperature"));
  view.Right->SetCaption(caption + QStringLiteral(" - Right Temperature"));
  view.Gas->SetCaption(caption + QStringLiteral(" - Gas Flow"));
  view.Log = std::move(log);
  return view;
}

TPeriodStats TStoredView::Stats(TDateTime from, TDateTime to, const TAlarmBand& band) const {
  const TReadingLines lines[3] = {Left->Lines(), Right->Lines(), Gas->Lines()};
  return ComputePeriodStats(*Log, lines, from, to, band);
}

void TStoredView::ShowPeriod(TDateTime from, TDateTime to) {
  Left->ShowPeriod(from, to);
  Right->ShowPeriod(from, to);
  Gas->ShowPeriod(from, to);
}

TPeriodReport BuildViewReport(const TStoredView& view, TDateTime from, TDateTime to,
                              const QString& path, const TIncubatorName& name,
                              const SettingsStore& store, const QString& version,
                              const QLocale& locale) {
  TAlarmSettings settings(&store);
  const TAlarmBand band = AlarmBandOf(settings, name.Serial);
  const TReportSource source{name.Name,
                             name.Serial,
                             path,
                             FileSha256(path).value_or(QString()),
                             version,
                             QDateTime::currentDateTime(),
                             QString::fromLatin1(QTimeZone::systemTimeZoneId())};
  return BuildPeriodReport(*view.Log, view.Stats(from, to, band), source, band, locale,
                           JournalEntriesBeside(path, name.Serial, from, to));
}

QPageSize::PageSizeId DefaultPageSize(const QLocale& locale) {
  return locale.measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter
                                                                 : QPageSize::A4;
}

namespace {

QString Escaped(const QString& text) {
  return text.toHtmlEscaped();
}

constexpr int kChartWidth = 760;
constexpr int kChartHeight = 250;

// A chart of the period drawn by the live window, at twice the resolution it is shown.
QImage ChartImage(TTrendGraphWindow& window) {
  window.setAttribute(Qt::WA_DontShowOnScreen);
  window.resize(kChartWidth, kChartHeight);
  window.show();
  window.Chart1().replot(QCustomPlot::rpImmediateRefresh);
  QImage image = window.Chart1().toPixmap(kChartWidth, kChartHeight, 2.0).toImage();
  window.hide();
  return image;
}

}  // namespace

void PrintReport(const TPeriodReport& report, TStoredView& view, QPagedPaintDevice& device) {
  QTextDocument doc;
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPointSize(9);
  doc.setDefaultFont(font);

  TTempGraph left(*view.Left);
  TTempGraph right(*view.Right);
  TGasGraph gas(*view.Gas);
  const struct {
    TTrendGraphWindow* Window;
    const char* Url;
    QString Title;
  } charts[] = {{&left, "chart://left", QStringLiteral("Left chamber temperature")},
                {&right, "chart://right", QStringLiteral("Right chamber temperature")},
                {&gas, "chart://gas", QStringLiteral("Gas flow")}};

  QString html;
  html += QStringLiteral("<h2>") + Escaped(report.Title) + QStringLiteral("</h2>");
  html += QStringLiteral("<table cellspacing='0' cellpadding='2'>");
  for (const auto& [label, value] : report.Header) {
    html += QStringLiteral("<tr><td><b>") + Escaped(label) + QStringLiteral("</b></td><td>") +
            Escaped(value) + QStringLiteral("</td></tr>");
  }
  html += QStringLiteral("</table><h3>Statistics</h3>");
  html += QStringLiteral(
      "<table border='1' cellspacing='0' cellpadding='3' width='100%'>"
      "<tr><th></th><th>Left chamber</th><th>Right chamber</th><th>Gas flow</th></tr>");
  for (const TPeriodReport::TRow& row : report.Statistics) {
    html += QStringLiteral("<tr><td><b>") + Escaped(row.Label) + QStringLiteral("</b></td><td>") +
            Escaped(row.Left) + QStringLiteral("</td><td>") + Escaped(row.Right) +
            QStringLiteral("</td><td>") + Escaped(row.Gas) + QStringLiteral("</td></tr>");
  }
  html += QStringLiteral("</table>");
  for (const auto& chart : charts) {
    doc.addResource(QTextDocument::ImageResource, QUrl(QString::fromLatin1(chart.Url)),
                    ChartImage(*chart.Window));
    html += QStringLiteral("<p><b>") + chart.Title + QStringLiteral("</b><br><img src='") +
            QString::fromLatin1(chart.Url) + QStringLiteral("' width='") +
            QString::number(kChartWidth * 3 / 4) + QStringLiteral("' height='") +
            QString::number(kChartHeight * 3 / 4) + QStringLiteral("'></p>");
  }
  html += QStringLiteral("<h3>Excursions and events</h3>");
  html += QStringLiteral(
      "<table border='1' cellspacing='0' cellpadding='2' width='100%'>"
      "<tr><th>Time</th><th>Where</th><th>What</th><th>Duration</th><th>Value</th></tr>");
  for (const TPeriodReport::TEvent& e : report.Events) {
    html += QStringLiteral("<tr><td>") + Escaped(e.When) + QStringLiteral("</td><td>") +
            Escaped(e.Where) + QStringLiteral("</td><td>") + Escaped(e.What) +
            QStringLiteral("</td><td>") + Escaped(e.Duration) + QStringLiteral("</td><td>") +
            Escaped(e.Extreme) + QStringLiteral("</td></tr>");
  }
  html += QStringLiteral("</table>");
  if (report.EventsLeftOut > 0) {
    html += QStringLiteral("<p>") + QString::number(report.EventsLeftOut) +
            QStringLiteral(" further events are not listed.</p>");
  }
  if (report.HasJournal) {
    html += QStringLiteral("<h3>Alarm journal</h3>");
    for (const QString& problem : report.JournalProblems)
      html += QStringLiteral("<p><b>") + Escaped(problem) + QStringLiteral("</b></p>");
    if (report.Journal.empty()) {
      html += QStringLiteral("<p>No entries for this incubator in the period.</p>");
    } else {
      html += QStringLiteral(
          "<table border='1' cellspacing='0' cellpadding='2' width='100%'>"
          "<tr><th>Time</th><th>Alarm</th><th>Transition</th><th>Details</th></tr>");
      for (const TPeriodReport::TJournalRow& e : report.Journal) {
        html += QStringLiteral("<tr><td>") + Escaped(e.When) + QStringLiteral("</td><td>") +
                Escaped(e.Alarm) + QStringLiteral("</td><td>") + Escaped(e.Transition) +
                QStringLiteral("</td><td>") + Escaped(e.Details) + QStringLiteral("</td></tr>");
      }
      html += QStringLiteral("</table>");
    }
    if (report.JournalLeftOut > 0) {
      html += QStringLiteral("<p>") + QString::number(report.JournalLeftOut) +
              QStringLiteral(" further journal entries are not listed.</p>");
    }
  }
  doc.setHtml(html);
  doc.print(&device);
}

bool WriteReportPdf(const TPeriodReport& report, TStoredView& view, const QString& path,
                    QPageSize::PageSizeId page, QString& error) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    error = QStringLiteral("Cannot write ") + path + QStringLiteral(": ") + file.errorString();
    return false;
  }
  {
    QPdfWriter writer(&file);
    writer.setPageSize(QPageSize(page));
    writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    writer.setTitle(report.Title);
    writer.setCreator(QStringLiteral("dova300-logger"));
    PrintReport(report, view, writer);
  }
  file.close();
  if (file.error() != QFileDevice::NoError) {
    error = QStringLiteral("Cannot write ") + path + QStringLiteral(": ") + file.errorString();
    return false;
  }
  return true;
}

}  // namespace dova::ui
