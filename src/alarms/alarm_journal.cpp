#include "alarms/alarm_journal.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QStringDecoder>
#include <QTimeZone>
#include <map>

#include "alarms/alarm_engine.h"
#include "platform/scheduler.h"

namespace dova {

namespace {

const QByteArray kZeroChain(64, '0');
constexpr int kFieldCount = 11;

// Device text and comments stay on their line: a control character becomes a space.
QString OneLine(const QString& text) {
  QString out = text;
  for (QChar& c : out) {
    if (c.unicode() < 0x20 || c.unicode() == 0x7f) c = QLatin1Char(' ');
  }
  return out;
}

QString Quote(const QString& field) {
  const QString text = OneLine(field);
  const bool needs = text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
                     (!text.isEmpty() && (text.front().isSpace() || text.back().isSpace()));
  if (!needs) return text;
  QString quoted = text;
  quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
  return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QByteArray ChainOf(const QByteArray& previous, const QByteArray& fields) {
  QCryptographicHash hash(QCryptographicHash::Sha256);
  hash.addData(previous);
  hash.addData(QByteArrayView(","));
  hash.addData(fields);
  return hash.result().toHex();
}

// The fields of a line but its chain, as written.
QByteArray FieldsText(const TAlarmTransition& t) {
  const bool has_key = t.Key.has_value();
  const QStringList fields = {
      JournalTime(t.Time),
      Quote(t.Serial),
      Quote(t.Name),
      has_key ? KindText(t.Key->Kind) : QString(),
      has_key ? SideText(t.Key->Side) : QString(),
      TransitionText(t.Transition),
      Quote(t.Value),
      Quote(t.Limit),
      Quote(t.User),
      Quote(t.Comment),
  };
  return fields.join(QLatin1Char(',')).toUtf8();
}

}  // namespace

QByteArray JournalHeader() {
  return QByteArrayLiteral(
      "time,serial,name,kind,side,transition,value,limit,user,comment,chain\r\n");
}

QString JournalTime(TDateTime time) {
  const QDateTime local = QDateTimeFromDateTime(time);
  const int offset = local.offsetFromUtc();
  const int minutes = std::abs(offset) / 60;
  return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
         (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
         QStringLiteral("%1:%2")
             .arg(minutes / 60, 2, 10, QLatin1Char('0'))
             .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

std::optional<TDateTime> ParseJournalTime(const QString& text) {
  const QDateTime dt = QDateTime::fromString(text, Qt::ISODate);
  if (!dt.isValid()) return std::nullopt;
  return DateTimeFromQDateTime(dt.toLocalTime());
}

QByteArray JournalLine(const TAlarmTransition& t, const QByteArray& previous_chain,
                       QByteArray* chain) {
  const QByteArray fields = FieldsText(t);
  const QByteArray c = ChainOf(previous_chain.isEmpty() ? kZeroChain : previous_chain, fields);
  if (chain != nullptr) *chain = c;
  return fields + ',' + c + "\r\n";
}

std::optional<QStringList> ParseCsvLine(QStringView line) {
  QStringList fields;
  QString field;
  qsizetype i = 0;
  const qsizetype n = line.size();
  while (true) {
    field.clear();
    if (i < n && line[i] == QLatin1Char('"')) {
      ++i;
      while (true) {
        if (i >= n) return std::nullopt;  // no closing quote
        if (line[i] == QLatin1Char('"')) {
          if (i + 1 < n && line[i + 1] == QLatin1Char('"')) {
            field += QLatin1Char('"');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += line[i++];
      }
      if (i < n && line[i] != QLatin1Char(',')) return std::nullopt;
    } else {
      while (i < n && line[i] != QLatin1Char(',')) {
        if (line[i] == QLatin1Char('"')) return std::nullopt;
        field += line[i++];
      }
    }
    fields.append(field);
    if (i >= n) break;
    ++i;  // the comma
  }
  return fields;
}

TJournalCheck CheckJournal(const QByteArray& bytes) {
  TJournalCheck check;
  check.LastChain = kZeroChain;
  const auto broken = [&](int line, const QString& problem) {
    check.Intact = false;
    check.BrokenLine = line;
    check.Problem = problem;
    return check;
  };
  if (bytes.isEmpty()) return check;
  QStringDecoder utf8(QStringDecoder::Utf8);
  QList<QByteArray> lines = bytes.split('\n');
  // What follows the last line end: nothing in a whole file.
  const QByteArray tail = lines.takeLast();
  for (int i = 0; i < lines.size(); ++i) {
    const int number = i + 1;
    QByteArray raw = lines[i];
    if (raw.endsWith('\r')) raw.chop(1);
    if (number == 1) {
      if (raw + "\r\n" != JournalHeader())
        return broken(1, QStringLiteral("not the journal's header"));
      continue;
    }
    const QString text = utf8.decode(raw);
    if (utf8.hasError()) return broken(number, QStringLiteral("not UTF-8 text"));
    const std::optional<QStringList> fields = ParseCsvLine(text);
    if (!fields || fields->size() != kFieldCount) {
      return broken(number, QStringLiteral("not a journal line"));
    }
    const qsizetype comma = raw.lastIndexOf(',');
    const QByteArray chain = ChainOf(check.LastChain, raw.left(comma));
    if (fields->back().toLatin1() != chain) {
      return broken(number, QStringLiteral("the chain does not match (a line was changed, "
                                           "inserted or removed here or just before)"));
    }
    TJournalEntry entry;
    entry.Line = number;
    entry.Chain = chain;
    TAlarmTransition& t = entry.Transition;
    const QStringList& f = *fields;
    const std::optional<TDateTime> time = ParseJournalTime(f[0]);
    const std::optional<TAlarmTransitionKind> what = TransitionFromText(f[5]);
    if (!time || !what) return broken(number, QStringLiteral("not a journal line"));
    t.Time = *time;
    t.Serial = f[1];
    t.Name = f[2];
    if (!f[3].isEmpty()) {
      const std::optional<TAlarmKind> kind = KindFromText(f[3]);
      const std::optional<TAlarmSide> side = SideFromText(f[4]);
      if (!kind || !side) return broken(number, QStringLiteral("not a journal line"));
      t.Key = TAlarmKey{*kind, *side};
      t.Priority = PriorityOf(*kind);
    }
    t.Transition = *what;
    t.Value = f[6];
    t.Limit = f[7];
    t.User = f[8];
    t.Comment = f[9];
    check.Read.push_back(std::move(entry));
    check.LastChain = chain;
    ++check.Entries;
  }
  if (lines.isEmpty()) return broken(1, QStringLiteral("not the journal's header"));
  if (!tail.isEmpty()) {
    return broken(static_cast<int>(lines.size()) + 1, QStringLiteral("an unfinished line"));
  }
  return check;
}

int VerifyJournalFile(const QString& path, QString* report) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    *report = QStringLiteral("%1: cannot be read (%2)").arg(path, file.errorString());
    return 2;
  }
  const TJournalCheck check = CheckJournal(file.readAll());
  if (check.Intact) {
    *report = QStringLiteral("intact, %1 entries").arg(check.Entries);
    return 0;
  }
  *report = QStringLiteral("line %1: %2").arg(check.BrokenLine).arg(check.Problem);
  return 1;
}

TJournalState ReplayJournal(const std::vector<TJournalEntry>& entries, TDateTime now) {
  std::map<std::pair<QString, int>, TAlarmInfo> alarms;
  std::map<QString, TJournalState::TShelf> shelves;
  for (const TJournalEntry& entry : entries) {
    const TAlarmTransition& t = entry.Transition;
    if (!t.Key) {
      if (t.Transition == TAlarmTransitionKind::Shelved) {
        const qint64 minutes = t.Value.section(QLatin1Char(' '), 0, 0).toLongLong();
        shelves[t.Serial] = {t.Serial, t.Name, t.Time + minutes * kOneMinute, t.Comment};
      } else if (t.Transition == TAlarmTransitionKind::Unshelved) {
        shelves.erase(t.Serial);
      }
      continue;
    }
    const std::optional<int> slot = SlotOf(*t.Key);
    if (!slot) continue;
    TAlarmInfo& a = alarms[{t.Serial, *slot}];
    a.Serial = t.Serial;
    if (!t.Name.isEmpty()) a.Name = t.Name;
    a.Key = *t.Key;
    a.Priority = t.Priority;
    switch (t.Transition) {
      case TAlarmTransitionKind::Raised:
        a.State = TAlarmState::ActiveUnacknowledged;
        a.Since = t.Time;
        a.Value = t.Value;
        a.Limit = t.Limit;
        a.AcknowledgedBy.clear();
        a.AcknowledgedAt = 0;
        a.Comment.clear();
        break;
      case TAlarmTransitionKind::Cleared:
        if (a.State == TAlarmState::ActiveUnacknowledged) {
          a.State = TAlarmState::ClearedUnacknowledged;
        } else if (a.State == TAlarmState::ActiveAcknowledged) {
          a.State = TAlarmState::Normal;
        }
        break;
      case TAlarmTransitionKind::Acknowledged:
        if (a.State == TAlarmState::ActiveUnacknowledged) {
          a.State = TAlarmState::ActiveAcknowledged;
        } else if (a.State == TAlarmState::ClearedUnacknowledged) {
          a.State = TAlarmState::Normal;
        }
        a.AcknowledgedBy = t.User;
        a.AcknowledgedAt = t.Time;
        a.Comment = t.Comment;
        break;
      default:
        break;
    }
  }
  TJournalState state;
  for (auto& [key, a] : alarms) {
    if (a.State == TAlarmState::Normal) continue;
    a.BeforeRestart = true;
    state.Alarms.push_back(a);
  }
  for (auto& [serial, shelf] : shelves) {
    if (shelf.Until > now) state.Shelves.push_back(shelf);
  }
  return state;
}

// ---------------------------------------------------------------- the journal file

TAlarmJournal::TAlarmJournal(Scheduler& sched, LogFiles& files, QString folder, TReader reader)
    : sched_(sched),
      files_(files),
      folder_(std::move(folder)),
      reader_(std::move(reader)),
      chain_(kZeroChain),
      retry_(sched, kRetryMs, false) {
  if (!reader_) {
    reader_ = [](const QString& path) {
      TReadBack back;
      QFile file(path);
      back.Exists = file.exists();
      if (back.Exists && file.open(QIODevice::ReadOnly)) {
        back.Readable = true;
        back.Bytes = file.readAll();
      }
      return back;
    };
  }
  retry_.SetOnTimer([this] { Flush(); });
}

TAlarmJournal::~TAlarmJournal() = default;

QString TAlarmJournal::FileName(int number) const {
  const QString base = QString::fromLatin1(kJournalFileName);
  const QString name = number <= 1 ? base : QStringLiteral("Alarm Journal (%1).csv").arg(number);
  return folder_.isEmpty() ? name : folder_ + QChar(kPathDelimiter) + name;
}

TJournalState TAlarmJournal::Open(TDateTime now) {
  int last = 0;
  TReadBack back;
  for (int n = 1;; ++n) {
    TReadBack next = reader_(FileName(n));
    if (!next.Exists) break;
    last = n;
    back = std::move(next);
  }
  path_ = FileName(std::max(last, 1));
  chain_ = kZeroChain;
  if (last == 0) return {};
  const TJournalCheck check =
      back.Readable ? CheckJournal(back.Bytes) : TJournalCheck{false, 0, 0, {}, {}, {}};
  if (check.Intact) {
    chain_ = check.LastChain;
    return ReplayJournal(check.Read, now);
  }
  // Never written again: what it holds is evidence. The next one starts beside it.
  path_ = FileName(last + 1);
  problems_.append(
      back.Readable
          ? QStringLiteral("The alarm journal %1 is damaged at line %2 (%3); a new journal "
                           "%4 is started beside it.")
                .arg(FileName(last))
                .arg(check.BrokenLine)
                .arg(check.Problem, path_)
          : QStringLiteral("The alarm journal %1 cannot be read; a new journal %2 is started "
                           "beside it.")
                .arg(FileName(last), path_));
  return ReplayJournal(check.Read, now);
}

void TAlarmJournal::Attach(TAlarmEngine& engine) {
  engine_ = &engine;
  subscription_ = TScopedSubscription(engine.Stream(), [this](const TAlarmTransition& t) {
    if (t.Transition != TAlarmTransitionKind::Restored) Append(t);
  });
  if (trouble_)
    engine.SetJournalTrouble(true, QStringLiteral("the alarm journal cannot be written"));
}

void TAlarmJournal::Append(const TAlarmTransition& t) {
  pending_.push_back(t);
  Flush();
}

bool TAlarmJournal::TryOpen(QString* why) {
  if (file_ && !file_->StillThere()) {
    // Removed or renamed while open: a new file, with a chain of its own.
    file_.reset();
  }
  if (file_) return true;
  if (!folder_.isEmpty() && !files_.MakeFolder(folder_)) {
    *why = QStringLiteral("the data folder %1 cannot be made").arg(folder_);
    return false;
  }
  if (!files_.CreateIfMissing(path_) || !(file_ = files_.OpenExisting(path_))) {
    *why = QStringLiteral("%1 cannot be opened for writing").arg(path_);
    return false;
  }
  if (file_->Position() == 0) {
    chain_ = kZeroChain;
    try {
      file_->Write(JournalHeader());
    } catch (const LogFileExcept& e) {
      *why = QString::fromStdString(e.Message());
      file_.reset();
      return false;
    }
  }
  return true;
}

bool TAlarmJournal::WriteWaiting(QString* why) {
  while (!pending_.empty()) {
    if (!TryOpen(why)) return false;
    QByteArray chain;
    const QByteArray line = JournalLine(pending_.front(), chain_, &chain);
    try {
      file_->Write(line);
      if (Sync) Sync(*file_);
    } catch (const LogFileExcept& e) {
      *why = QString::fromStdString(e.Message());
      return false;
    }
    chain_ = chain;
    pending_.pop_front();
  }
  return true;
}

void TAlarmJournal::Flush() {
  if (flushing_) return;
  flushing_ = true;
  QString why;
  const bool written = WriteWaiting(&why);
  flushing_ = false;
  retry_.SetEnabled(!written);
  SetTrouble(!written, why);
}

void TAlarmJournal::SetTrouble(bool trouble, const QString& why) {
  if (trouble == trouble_) return;
  trouble_ = trouble;
  TroubleChanged.Notify(trouble, why);
  if (engine_ != nullptr) engine_->SetJournalTrouble(trouble, why);
}

}  // namespace dova
