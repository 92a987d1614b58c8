// The viewer's cost on a year of one incubator at a one-minute interval (525,600 readings in
// each line), on Qt's offscreen platform: a zoom or pan of a trend window with its replot, and
// the period report of the last 30 days written as a PDF.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <memory>

#include "platform/settings/settings_store.h"
#include "platform/virtual_scheduler.h"
#include "ui/graphs/graph_windows.h"
#include "ui/graphs/trend_chart.h"
#include "ui/history/stored_report.h"
#include "year_file.h"

namespace dova {
namespace {

struct Year {
  Year() {
    TStoredLogReader reader(YearFile(), {QLocale(QStringLiteral("en_US")), QLocale::c()});
    if (reader.Refresh() != TStoredLogReader::TResult::Read) std::abort();
    view = ui::TStoredView::Make(scheduler, reader.TakeLog(), QStringLiteral("Bench: 0001"));
    view.ShowPeriod(view.Log->FirstTime, view.Log->LastTime);
  }
  VirtualScheduler scheduler;
  ui::TStoredView view;
};

Year& TheYear() {
  static Year year;
  return year;
}

void Settle() {
  for (int i = 0; i < 3; ++i)
    QApplication::processEvents();
}

// Arg 0: the days shown (the whole year, a week, a day); args 1 and 2: the window's size.
// Each step pans by a tenth of the days shown, to and fro, as a drag with the right button
// does, and replots at once.
void BM_PanYear(benchmark::State& state) {
  Year& year = TheYear();
  TStoredTempGraph& model = *year.view.Left;
  const TStoredLog& log = *year.view.Log;
  const double days = static_cast<double>(state.range(0));
  const TDateTime middle = (log.FirstTime + log.LastTime) / 2;
  model.ShowPeriod(middle - days / 2, middle + days / 2);
  ui::TTempGraph window(model);
  window.resize(int(state.range(1)), int(state.range(2)));
  window.show();
  Settle();
  ui::TTrendChart& chart = window.Chart1();
  int step = 0;
  double pan_ms = 0;
  double replot_ms = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    model.UserPan((step++ % 2 == 0 ? 1 : -1) * days / 10, 0);
    const auto panned = std::chrono::steady_clock::now();
    chart.replot(QCustomPlot::rpImmediateRefresh);
    pan_ms += std::chrono::duration<double, std::milli>(panned - start).count();
    replot_ms +=
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - panned)
            .count();
  }
  state.counters["points_per_line"] = static_cast<double>(model.TempSeries().Count());
  // Of each step: the model's pan (and what it notifies), then the drawing.
  state.counters["pan_ms"] = pan_ms / std::max<double>(1, step);
  state.counters["replot_ms"] = replot_ms / std::max<double>(1, step);
  model.ShowPeriod(log.FirstTime, log.LastTime);
}
BENCHMARK(BM_PanYear)
    ->Args({365, 693, 165})
    ->Args({365, 1900, 330})
    ->Args({7, 1900, 330})
    ->Args({1, 1900, 330})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A zoom rectangle over a tenth of the year, then its undo, each with its replot.
void BM_ZoomYear(benchmark::State& state) {
  Year& year = TheYear();
  TStoredTempGraph& model = *year.view.Left;
  const TStoredLog& log = *year.view.Log;
  model.ShowPeriod(log.FirstTime, log.LastTime);
  ui::TTempGraph window(model);
  window.resize(1900, 330);
  window.show();
  Settle();
  ui::TTrendChart& chart = window.Chart1();
  const TDateTime span = log.LastTime - log.FirstTime;
  bool zoomed = false;
  for (auto _ : state) {
    if (zoomed) {
      model.Chart1DblClick();
    } else {
      model.UserZoom(log.FirstTime + span * 0.45, log.FirstTime + span * 0.55, 36.5, 37.5);
    }
    zoomed = !zoomed;
    chart.replot(QCustomPlot::rpImmediateRefresh);
  }
}
BENCHMARK(BM_ZoomYear)->Unit(benchmark::kMillisecond)->UseRealTime();

// The last 30 days of the year as a period report: the statistics, the three charts drawn
// and the PDF written.
void BM_ReportThirtyDays(benchmark::State& state) {
  Year& year = TheYear();
  const TStoredLog& log = *year.view.Log;
  QTemporaryDir dir;
  const QString out = dir.filePath(QStringLiteral("report.pdf"));
  const MemorySettingsStore store;
  const TDateTime from = log.LastTime - 30;
  for (auto _ : state) {
    year.view.ShowPeriod(from, log.LastTime);
    const TPeriodReport report =
        ui::BuildViewReport(year.view, from, log.LastTime, YearFile(),
                            {QStringLiteral("Bench"), QStringLiteral("0001")}, store,
                            QStringLiteral("bench"), QLocale(QStringLiteral("en_US")));
    QString error;
    if (!ui::WriteReportPdf(report, year.view, out, QPageSize::A4, error))
      state.SkipWithError("report not written");
  }
}
BENCHMARK(BM_ReportThirtyDays)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace dova

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
