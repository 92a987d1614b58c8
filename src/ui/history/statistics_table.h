#pragma once

#include <QTableWidget>
#include <vector>

#include "history/period_report.h"

namespace dova::ui {

// The viewer's figures of the period shown: one row a figure, a column each for the left
// and right temperatures and the gas flow. Every column is in view at once; long figures
// wrap and their row grows.
class TStatisticsTable : public QTableWidget {
 public:
  explicit TStatisticsTable(QWidget* parent = nullptr);

  // Shows these rows in place of the ones shown.
  void SetRows(const std::vector<TPeriodReport::TRow>& rows);
};

}  // namespace dova::ui
