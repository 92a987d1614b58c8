#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "alarms/alarm_types.h"
#include "platform/logfile/log_files.h"
#include "platform/observer.h"
#include "platform/timer.h"

namespace dova {

class Scheduler;
class TAlarmEngine;

// ---------------------------------------------------------------- the journal's text
//
// "Alarm Journal.csv": UTF-8, a header line, one line per transition (CRLF, RFC 4180
// quoting), never edited. The last field of a line is its chain: the SHA-256 (hex) of the
// previous line's chain (64 zeros before the first line), a comma, and this line's other
// fields as written. An edited, inserted or deleted line breaks the chain from there on.

inline constexpr char kJournalFileName[] = "Alarm Journal.csv";

// The header line with its line end.
QByteArray JournalHeader();
// One journal line (with its line end) for a transition after the line whose chain is
// `previous_chain`; `chain` gets this line's chain.
QByteArray JournalLine(const TAlarmTransition& t, const QByteArray& previous_chain,
                       QByteArray* chain);
// ISO 8601 local time with its offset from UTC ("2010-03-08T14:05:09+01:00").
QString JournalTime(TDateTime time);
std::optional<TDateTime> ParseJournalTime(const QString& text);
// One CSV record's fields; nothing when its quoting is broken.
std::optional<QStringList> ParseCsvLine(QStringView line);

// One line read back.
struct TJournalEntry {
  int Line = 0;  // its line number in the file (the header is line 1)
  TAlarmTransition Transition;
  QByteArray Chain;
};

// What a look at a journal's bytes found: every entry up to the first line that breaks the
// chain (or cannot be read), and that line.
struct TJournalCheck {
  bool Intact = true;
  int Entries = 0;
  int BrokenLine = 0;
  QString Problem;
  std::vector<TJournalEntry> Read;
  QByteArray LastChain;
};
TJournalCheck CheckJournal(const QByteArray& bytes);

// What `--verify-journal FILE` prints; returns the exit code (0 when intact).
int VerifyJournalFile(const QString& path, QString* report);

// What the journal holds that is not settled: alarms raised and not acknowledged or not
// cleared, and shelves that have not ended by `now`.
struct TJournalState {
  std::vector<TAlarmInfo> Alarms;
  struct TShelf {
    QString Serial;
    QString Name;
    TDateTime Until = 0;
    QString Reason;
  };
  std::vector<TShelf> Shelves;
};
TJournalState ReplayJournal(const std::vector<TJournalEntry>& entries, TDateTime now);

// ---------------------------------------------------------------- the journal file

// Writes the alarm stream into the journal in the data folder, through the log-file layer.
// Lines that cannot be written (no folder, a read-only file, a full disk) wait in order and
// are written when the file takes them again; meanwhile the journal is in trouble, which
// the engine raises as log trouble. Alarms never wait for the journal.
class TAlarmJournal {
 public:
  static constexpr std::uint32_t kRetryMs = 2000;
  // A journal file as read back: whether it is there, and its bytes when it can be read.
  struct TReadBack {
    bool Exists = false;
    bool Readable = false;
    QByteArray Bytes;
  };
  using TReader = std::function<TReadBack(const QString& path)>;

  TAlarmJournal(Scheduler& sched, LogFiles& files, QString folder, TReader reader = {});
  ~TAlarmJournal();
  TAlarmJournal(const TAlarmJournal&) = delete;
  TAlarmJournal& operator=(const TAlarmJournal&) = delete;

  // Reads the journal back and picks the file to go on with: the last of "Alarm
  // Journal.csv", "Alarm Journal (2).csv", … A damaged one is never written again: a new
  // one is started beside it and the damage is told in Problems.
  TJournalState Open(TDateTime now);
  QStringList TakeProblems() { return std::exchange(problems_, {}); }

  // Listens to the engine's stream and tells it of the journal's trouble.
  void Attach(TAlarmEngine& engine);
  void Append(const TAlarmTransition& t);

  // After each write: makes the lines durable. The seam for the file layer's sync.
  std::function<void(LogFile&)> Sync;

  const QString& Path() const { return path_; }
  std::size_t PendingLines() const { return pending_.size(); }
  bool InTrouble() const { return trouble_; }
  // True while in trouble; the text says why.
  TObservers<bool, const QString&> TroubleChanged;

 private:
  bool TryOpen(QString* why);
  // Writes what waits, in order; false (and why) when the file stopped taking lines.
  bool WriteWaiting(QString* why);
  void Flush();
  QString FileName(int number) const;
  void SetTrouble(bool trouble, const QString& why);

  Scheduler& sched_;
  LogFiles& files_;
  QString folder_;
  TReader reader_;
  QString path_;
  std::unique_ptr<LogFile> file_;
  std::deque<TAlarmTransition> pending_;
  QByteArray chain_;
  QStringList problems_;
  bool trouble_ = false;
  bool flushing_ = false;
  Timer retry_;
  TAlarmEngine* engine_ = nullptr;
  TScopedSubscription subscription_;
};

}  // namespace dova
