#pragma once

// A stored log opened for showing: the log read back, the three trend-window models holding
// its lines, and the period shown. The viewer and the report both start from one.

#include <QPageSize>
#include <QPagedPaintDevice>
#include <QString>
#include <memory>

#include "history/period_report.h"
#include "history/stored_graphs.h"
#include "history/stored_log.h"

namespace dova {
class Scheduler;
class SettingsStore;
}  // namespace dova

namespace dova::ui {

struct TStoredView {
  std::unique_ptr<TStoredLog> Log;
  std::unique_ptr<TStoredTempGraph> Left;
  std::unique_ptr<TStoredTempGraph> Right;
  std::unique_ptr<TStoredGasGraph> Gas;

  // Moves the log's lines into the three models, captioned after the incubator.
  static TStoredView Make(Scheduler& scheduler, std::unique_ptr<TStoredLog> log,
                          const QString& caption);
  TPeriodStats Stats(TDateTime from, TDateTime to, const TAlarmBand& band) const;
  void ShowPeriod(TDateTime from, TDateTime to);
};

// What a report of the period from..to says about the log at `path` of the incubator `name`
// (from its file name, or as the user corrected it): the statistics within the alarm band the
// incubator's alarm settings in `store` give, and the entries of the alarm journal beside
// the file.
TPeriodReport BuildViewReport(const TStoredView& view, TDateTime from, TDateTime to,
                              const QString& path, const TIncubatorName& name,
                              const SettingsStore& store, const QString& version,
                              const QLocale& locale);

// The report on a paged device (a printer, a PDF writer) set up by the caller: contents, then
// the three charts of the period, the events table and the alarm journal's entries.
void PrintReport(const TPeriodReport& report, TStoredView& view, QPagedPaintDevice& device);

// The report as a PDF: contents, then the three charts of the period, then the events table.
// Needs a QApplication (the charts are widgets; the offscreen platform will do). False with
// `error` set when the file cannot be written.
bool WriteReportPdf(const TPeriodReport& report, TStoredView& view, const QString& path,
                    QPageSize::PageSizeId page, QString& error);

// The page size a locale's users print on: Letter where US units are used, A4 elsewhere.
QPageSize::PageSizeId DefaultPageSize(const QLocale& locale);

}  // namespace dova::ui
