#include "alarms/alarm_tables.h"

#include <QFile>
#include <QLocale>
#include <algorithm>

namespace dova {

namespace {

QString Who(const QString& name, const QString& serial) {
  return name.isEmpty() ? serial : name + QStringLiteral(" (") + serial + u')';
}

}  // namespace

QString ListTime(TDateTime time) {
  if (time <= 0) return {};
  return QLocale().toString(QDateTimeFromDateTime(time), QLocale::ShortFormat);
}

// ---------------------------------------------------------------- current alarms

TAlarmTableModel::TAlarmTableModel(TAlarmBoard& board)
    : board_(board), changed_(board.Changed(), [this] { Reload(); }) {
  Reload();
}

TAlarmTableModel::~TAlarmTableModel() = default;

void TAlarmTableModel::Reload() {
  std::vector<TAlarmInfo> rows = board_.Rows();
  // The flash phase turns the board twice a second; the rows change far less often.
  const bool same =
      rows.size() == rows_.size() &&
      std::equal(rows.begin(), rows.end(), rows_.begin(), [](const auto& a, const auto& b) {
        return a.Serial == b.Serial && a.Key == b.Key && a.State == b.State && a.Value == b.Value &&
               a.AcknowledgedBy == b.AcknowledgedBy && a.Shelved == b.Shelved && a.Name == b.Name &&
               a.Comment == b.Comment;
      });
  if (same) return;
  beginResetModel();
  rows_ = std::move(rows);
  endResetModel();
}

int TAlarmTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TAlarmTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Count;
}

QVariant TAlarmTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const TAlarmInfo& a = rows_[static_cast<std::size_t>(index.row())];
  if (role == kStateRole) return static_cast<int>(a.State);
  if (role == kShelvedRole) return a.Shelved;
  if (role == Qt::UserRole) {
    // For sorting: times as numbers, unacknowledged first in the state column.
    switch (index.column()) {
      case Since:
        return a.Since;
      case AckAt:
        return a.AcknowledgedAt;
      case State:
        return static_cast<int>(a.State == TAlarmState::ActiveAcknowledged);
      default:
        break;
    }
  }
  if (role != Qt::DisplayRole && role != Qt::UserRole) return {};
  switch (index.column()) {
    case Incubator:
      return Who(a.Name, a.Serial);
    case Alarm:
      return AlarmTitle(a.Key);
    case Since:
      return ListTime(a.Since) +
             (a.BeforeRestart ? QStringLiteral(" (raised before the restart)") : QString());
    case Value:
      return a.Value;
    case Limit:
      return a.Limit;
    case State: {
      QString state = StateText(a.State);
      if (a.Shelved) state += QStringLiteral(", shelved");
      return state;
    }
    case AckBy:
      return a.AcknowledgedBy;
    case AckAt:
      return ListTime(a.AcknowledgedAt);
    case Comment:
      return a.Comment;
    default:
      return {};
  }
}

QVariant TAlarmTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kHeaders[Count] = {"Incubator",       "Alarm",           "Since",
                                              "Value",           "Limit",           "State",
                                              "Acknowledged by", "Acknowledged at", "Comment"};
  return section >= 0 && section < Count ? QString::fromLatin1(kHeaders[section]) : QVariant();
}

// ---------------------------------------------------------------- journal history

bool TJournalTableModel::Load(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  TJournalCheck check = CheckJournal(file.readAll());
  SetEntries(std::move(check.Read));
  return true;
}

void TJournalTableModel::SetEntries(std::vector<TJournalEntry> entries) {
  beginResetModel();
  entries_ = std::move(entries);
  Apply();
  endResetModel();
}

void TJournalTableModel::SetFilter(const QString& serial, std::optional<QDateTime> from,
                                   std::optional<QDateTime> to) {
  beginResetModel();
  serial_ = serial;
  from_ = std::move(from);
  to_ = std::move(to);
  Apply();
  endResetModel();
}

void TJournalTableModel::Apply() {
  shown_.clear();
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    const TAlarmTransition& t = it->Transition;
    if (!serial_.isEmpty() && t.Serial != serial_) continue;
    const QDateTime at = QDateTimeFromDateTime(t.Time);
    if (from_ && at < *from_) continue;
    if (to_ && at > *to_) continue;
    shown_.push_back(&*it);
  }
}

std::vector<std::pair<QString, QString>> TJournalTableModel::Incubators() const {
  std::vector<std::pair<QString, QString>> out;
  for (const TJournalEntry& e : entries_) {
    const TAlarmTransition& t = e.Transition;
    auto found =
        std::find_if(out.begin(), out.end(), [&](const auto& p) { return p.first == t.Serial; });
    if (found == out.end()) {
      out.emplace_back(t.Serial, t.Name);
    } else if (!t.Name.isEmpty()) {
      found->second = t.Name;
    }
  }
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
    return QString::localeAwareCompare(a.second, b.second) < 0;
  });
  return out;
}

int TJournalTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int TJournalTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Count;
}

QVariant TJournalTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const TAlarmTransition& t = shown_[static_cast<std::size_t>(index.row())]->Transition;
  if (role == Qt::UserRole && index.column() == Time) return t.Time;
  if (role != Qt::DisplayRole && role != Qt::UserRole) return {};
  switch (index.column()) {
    case Time:
      return ListTime(t.Time);
    case Incubator:
      return Who(t.Name, t.Serial);
    case Alarm:
      return t.Key ? AlarmTitle(*t.Key) : QString();
    case Transition:
      return TransitionText(t.Transition);
    case Value:
      return t.Value;
    case Limit:
      return t.Limit;
    case User:
      return t.User;
    case Comment:
      return t.Comment;
    default:
      return {};
  }
}

QVariant TJournalTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kHeaders[Count] = {"Time",  "Incubator", "Alarm", "Transition",
                                              "Value", "Limit",     "User",  "Comment"};
  return section >= 0 && section < Count ? QString::fromLatin1(kHeaders[section]) : QVariant();
}

}  // namespace dova
