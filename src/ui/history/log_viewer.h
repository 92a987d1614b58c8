#pragma once

// The viewer of stored logs: one window per file with a period bar, the three charts of the
// file drawn by the live trend windows, and the statistics of the period shown. Several may be
// open at once beside the live windows.

#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>

#include "history/period_report.h"
#include "history/stored_log.h"

class QComboBox;
class QPrinter;
class QDateTimeEdit;
class QLabel;
class QTableWidget;

namespace dova {
class VirtualScheduler;
}

namespace dova::ui {

class TTempGraph;
class TGasGraph;
struct TStoredView;

class TLogViewer : public QWidget {
 public:
  // Reads the file (with a progress dialog and a Cancel button when it takes a while); the
  // window shows what it could read and says why when it read nothing.
  explicit TLogViewer(const QString& path, QWidget* parent = nullptr);
  ~TLogViewer() override;

  const QString& Path() const { return path_; }
  bool Loaded() const;
  const QString& Problem() const { return problem_; }
  QComboBox& PeriodBox() const { return *period_; }
  QTableWidget& StatisticsTable() const { return *table_; }
  TTempGraph* LeftWindow() const { return left_; }
  TGasGraph* GasWindow() const { return gas_; }

  // The incubator the log is of: from its file name ("<name> <serial>.csv") until the user
  // corrects it. The serial chooses the alarm band (its alarm settings) and the alarm
  // journal's entries in the report. A correction made in the dialog is kept for the file
  // and holds when it is opened again.
  const TIncubatorName& Incubator() const { return name_; }
  void SetIncubator(const TIncubatorName& name);
  // Asks for the name and serial in a small dialog; false when cancelled.
  bool EditIncubator();

  // Reads the file again (a log still being written has grown).
  void Reload();
  void ShowPreset(int index);
  void ShowFromTo();
  bool ExportCsv(const QString& path);
  bool ExportReport(const QString& path);
  // The same report on a printer the caller set up; false when there is nothing to print.
  bool PrintReport(QPrinter& printer);
  // File > Print Report...: the print dialog, then the report.
  void PrintReportWithDialog();
  bool ExportCharts(const QString& folder);

 private:
  void Build();
  void Fill();
  void ShowPeriod(double from, double to);
  void ShowTitle();
  TPeriodReport Report() const;

  QString path_;
  TIncubatorName name_;
  QString read_status_;
  QString problem_;
  std::unique_ptr<VirtualScheduler> scheduler_;
  std::unique_ptr<TStoredView> view_;
  QComboBox* period_ = nullptr;
  QDateTimeEdit* from_ = nullptr;
  QDateTimeEdit* to_ = nullptr;
  QLabel* status_ = nullptr;
  QTableWidget* table_ = nullptr;
  QWidget* charts_ = nullptr;
  TTempGraph* left_ = nullptr;
  TTempGraph* right_ = nullptr;
  TGasGraph* gas_ = nullptr;
  double shown_from_ = 0;
  double shown_to_ = 0;
};

// The files opened last, newest first (at most eight), kept in the program's settings.
QStringList RecentLogs();
void RememberLog(const QString& path);

// File > Open Log...: asks for a file (or takes `path`) and opens a viewer window for it.
TLogViewer* OpenLogViewer(QWidget* parent, const QString& path = QString());

}  // namespace dova::ui
