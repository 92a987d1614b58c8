#include "ui/history/statistics_table.h"

#include <QHeaderView>

namespace dova::ui {

TStatisticsTable::TStatisticsTable(QWidget* parent) : QTableWidget(parent) {
  setColumnCount(4);
  setHorizontalHeaderLabels(
      {QString(), QStringLiteral("Left"), QStringLiteral("Right"), QStringLiteral("Gas")});
  verticalHeader()->hide();
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Every column in view at once: the figures share the width, long ones ("36.2 °C at 7 Dec
  // 2026 09:35:01") wrap onto a second line and the row grows to hold them.
  setWordWrap(true);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setTextElideMode(Qt::ElideNone);
}

void TStatisticsTable::SetRows(const std::vector<TPeriodReport::TRow>& rows) {
  setRowCount(static_cast<int>(rows.size()));
  int r = 0;
  for (const TPeriodReport::TRow& row : rows) {
    const QString cells[] = {row.Label, row.Left, row.Right, row.Gas};
    for (int c = 0; c < 4; ++c)
      setItem(r, c, new QTableWidgetItem(cells[c]));
    ++r;
  }
}

}  // namespace dova::ui
