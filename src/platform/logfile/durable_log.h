#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/logfile/log_files.h"
#include "platform/logfile/sync_queue.h"
#include "platform/timer.h"

namespace dova {

class Scheduler;

// True when a file that ends in these bytes ends in a damaged line: NUL bytes (its size
// reached the disk before its data, at a power cut) or a last line without its line end
// (cut in the middle). An empty file, or one whose last byte is CR or LF, ends well.
bool EndIsDamaged(QByteArrayView tail);

// What one sync round came to, told to the owner on its own thread.
struct SyncStatus {
  // False: the disk refused a sync. Everything written since the last good sync counts as
  // lost there and has been written again from memory; the next round syncs it anew.
  bool Ok = true;
  // The system's words for the failure.
  QString Error;
  // Lines written again from memory after the failure.
  std::size_t Rewritten = 0;
};

// An open log file whose lines reach the disk: every line is synced at most
// kMaxUnsyncedMs after it was written, and at once when the writer asks for it (SyncNow).
// The file of a new name is followed by a sync of its folder. The syncs run on a SyncQueue,
// never on the writer's thread; lines are written at once on the writer's thread, in the
// order they come, and are kept in memory until a sync that started after them succeeded.
// When a sync fails, the lines since the last good one are written again over themselves
// (the same bytes at the same place: readers see no change) and synced in the next round;
// a sync is never asked again without writing first, because the system may have dropped
// the data the failed one was to carry.
//
// A file that ends in a damaged line (EndIsDamaged) is never cut or rewritten: the first
// line written starts with a line end of its own, so it stands whole on a line.
//
// Used on one thread (the user-interface thread); the scheduler's timer drives the
// one-second rounds and hands the results of the syncs back (OnStatus).
class DurableLog {
 public:
  static constexpr std::uint32_t kMaxUnsyncedMs = 1000;

  // `foldersToSync`: the folders whose list of names must reach the disk (the file's own
  // folder when the file was just made, and its parent when the folder was just made).
  DurableLog(Scheduler& sched, SyncQueue& queue, LogFiles& files, std::unique_ptr<LogFile> file,
             QStringList foldersToSync = {});
  // Opens the file at `path` at its end, creating it when it is missing; with `makeFolder`
  // its folder too (one level) when that is missing. A new name is synced into its folder
  // (and a new folder into its parent). Null when the file cannot be opened.
  static std::unique_ptr<DurableLog> Open(Scheduler& sched, SyncQueue& queue, LogFiles& files,
                                          const QString& path, bool makeFolder);
  // Nothing more is written. The file's lock is given up at once; the last sync (and, when
  // it fails, the lines written again and one more sync) runs on the queue, which closes
  // the file after it.
  ~DurableLog();
  DurableLog(const DurableLog&) = delete;
  DurableLog& operator=(const DurableLog&) = delete;

  const QString& Path() const;
  std::int64_t Position() const;
  bool StillThere() const;
  // The file ended in a damaged line when it was opened.
  bool HadDamagedEnd() const { return damaged_end_; }

  // Writes one or more whole lines at the end of the file (all or none: LogFileExcept as
  // LogFile::Write). Their sync follows within kMaxUnsyncedMs.
  void Append(const QByteArray& lines);
  // Everything appended so far must be on the disk before the next poll tick: its sync is
  // queued now (merged with one that waits).
  void SyncNow();
  // Empties the file; lines not yet synced are forgotten with it.
  void Clear();

  // Called on the writer's thread with the outcome of a sync that failed, and of the first
  // good one after a failure.
  std::function<void(const SyncStatus&)> OnStatus;

  // Takes in what the queue has done so far (OnStatus); the timer does this too.
  void Poll();
  // Lines kept until their sync succeeds.
  std::size_t UnsyncedLines() const;
  std::uint64_t Syncs() const;
  std::uint64_t SyncFailures() const;

  struct Shared;

 private:
  void Round();
  void Request();

  SyncQueue& queue_;
  std::shared_ptr<Shared> shared_;
  QString path_;
  bool damaged_end_ = false;
  bool fresh_line_ = false;  // the next line starts with a line end of its own
  Timer timer_;
};

}  // namespace dova
