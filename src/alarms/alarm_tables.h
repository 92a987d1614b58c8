#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

#include "alarms/alarm_board.h"
#include "alarms/alarm_journal.h"

namespace dova {

// The alarm list's table of current alarms, read from the board: incubator (name and
// serial), alarm (kind and side), since, value, limit, state, acknowledged by, acknowledged
// at, comment. Unacknowledged alarms come first; a view may sort it by any column (the
// sort role holds times as numbers). A row's state and shelf are in roles of their own, for
// the view to colour it.
class TAlarmTableModel : public QAbstractTableModel {
 public:
  enum TColumn { Incubator, Alarm, Since, Value, Limit, State, AckBy, AckAt, Comment, Count };
  static constexpr int kStateRole = Qt::UserRole + 1;    // TAlarmState as int
  static constexpr int kShelvedRole = Qt::UserRole + 2;  // bool

  explicit TAlarmTableModel(TAlarmBoard& board);
  ~TAlarmTableModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  const TAlarmInfo& Row(int row) const { return rows_[static_cast<std::size_t>(row)]; }
  // The rows again from the board (the list's own changes come through the board).
  void Reload();

 private:
  TAlarmBoard& board_;
  std::vector<TAlarmInfo> rows_;
  TScopedSubscription changed_;
  std::uint64_t shown_revision_ = 0;
};

// The journal's history: one row per line, newest first, filtered by incubator (serial, all
// when empty) and by period (either end open).
class TJournalTableModel : public QAbstractTableModel {
 public:
  enum TColumn { Time, Incubator, Alarm, Transition, Value, Limit, User, Comment, Count };

  TJournalTableModel() = default;

  // Reads the journal file again; false (and the rows kept) when it cannot be read.
  bool Load(const QString& path);
  void SetEntries(std::vector<TJournalEntry> entries);
  void SetFilter(const QString& serial, std::optional<QDateTime> from, std::optional<QDateTime> to);
  // Every serial the journal names, with its newest name, for the filter's choices.
  std::vector<std::pair<QString, QString>> Incubators() const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  void Apply();

  std::vector<TJournalEntry> entries_;
  std::vector<const TJournalEntry*> shown_;
  QString serial_;
  std::optional<QDateTime> from_, to_;
};

// A time as the lists show it: the locale's short date and long time.
QString ListTime(TDateTime time);

}  // namespace dova
