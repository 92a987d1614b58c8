#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "alarms/alarm_tables.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QSortFilterProxyModel;
class QTabWidget;
class QTableView;

namespace dova::ui {

class TAcknowledgeDialog;

// The alarm list: the current alarms in a table (coloured by state, sortable, unacknowledged
// first) and the journal's history with a filter by incubator and period. Double-click or
// Enter acknowledges the selected rows through the acknowledge dialog. The main window docks
// it below the trend windows: it covers every incubator, so it stays in view whichever one is
// selected and however the trend windows are arranged.
class TAlarmList : public QWidget {
 public:
  static constexpr const char* kCaption = "Alarms";

  TAlarmList(TAlarmBoard& board, TAlarmEngine& engine, TAcknowledgeDialog& acknowledge,
             std::function<QString()> login, std::function<QString()> journal_path,
             QWidget* parent = nullptr);
  ~TAlarmList() override;

  // Acknowledges the unacknowledged alarms among the selected rows (after asking who);
  // returns how many were acknowledged.
  int AcknowledgeSelected();
  // Reads the journal again and applies the filter.
  void RefreshHistory();

  QTabWidget* Tabs = nullptr;
  QTableView* Current = nullptr;
  QTableView* History = nullptr;
  QComboBox* Incubator = nullptr;
  QCheckBox* FromOn = nullptr;
  QDateTimeEdit* From = nullptr;
  QCheckBox* ToOn = nullptr;
  QDateTimeEdit* To = nullptr;
  QLabel* HistoryNote = nullptr;

  TAlarmTableModel& CurrentModel() { return *current_; }
  TJournalTableModel& HistoryModel() { return *history_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ApplyFilter();

  TAlarmEngine& engine_;
  TAcknowledgeDialog& acknowledge_;
  std::function<QString()> login_;
  std::function<QString()> journal_path_;
  std::unique_ptr<TAlarmTableModel> current_;
  std::unique_ptr<TJournalTableModel> history_;
  QSortFilterProxyModel* current_sorted_ = nullptr;
};

}  // namespace dova::ui
