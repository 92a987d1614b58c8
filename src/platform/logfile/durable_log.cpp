#include "platform/logfile/durable_log.h"

#include <QFileInfo>

#include <algorithm>
#include <deque>
#include <mutex>
#include <vector>

namespace dova {

bool EndIsDamaged(QByteArrayView tail) {
  if (tail.isEmpty()) return false;
  const char last = tail.back();
  return last != '\r' && last != '\n';  // NULs included
}

// What the writer's thread and the sync jobs share. The mutex guards the bookkeeping and
// every change of the file's bytes (appends, clearing, lines written again), never a sync:
// the writer waits at most for a copy of a few lines into the system's cache.
struct DurableLog::Shared {
  struct Line {
    std::uint64_t change;  // the change that wrote it
    std::int64_t offset;
    QByteArray bytes;
  };
  std::mutex mutex;
  std::unique_ptr<LogFile> file;
  LogFiles* files = nullptr;
  QStringList folders;  // whose list of names is still to be synced
  std::deque<Line> unsynced;
  std::uint64_t changes = 0;  // appends and clearings so far
  std::uint64_t synced = 0;   // changes that the last good sync covered
  bool queued = false;        // a job waits or runs
  bool again = false;         // asked for again while it ran
  bool rewrite_due = false;   // lines still to be written again before the next sync
  bool failing = false;       // the last round failed
  bool closing = false;       // the owner is gone
  std::uint64_t syncs = 0;
  std::uint64_t failures = 0;
  std::vector<SyncStatus> reports;

  bool Behind() const { return synced < changes || !folders.isEmpty() || rewrite_due; }

  // With the mutex held: the lines since the last good sync, over themselves.
  void Rewrite(SyncStatus& status) {
    for (const Line& line : unsynced) {
      try {
        file->WriteAt(line.offset, line.bytes);
      } catch (const LogFileExcept& e) {
        status.Error += QStringLiteral("; ") + QString::fromStdString(e.what());
        rewrite_due = true;
        return;
      }
      ++status.Rewritten;
    }
    rewrite_due = false;
  }

  // The job: sync rounds until nobody asked for another one.
  static void Run(const std::shared_ptr<Shared>& s) {
    std::unique_lock lock(s->mutex);
    bool last_try_done = false;
    for (;;) {
      s->again = false;
      if (s->rewrite_due) {
        // Lines that could not be written again after a failure are never synced
        // unwritten: that sync would prove nothing.
        SyncStatus status{false, QStringLiteral("lines not yet written again"), 0};
        s->Rewrite(status);
        if (s->rewrite_due) {
          s->reports.push_back(status);
          break;
        }
      }
      const std::uint64_t upto = s->changes;
      const QStringList folders = s->folders;
      LogFile& file = *s->file;
      lock.unlock();
      QString error;
      QStringList done;
      for (const QString& folder : folders) {
        if (s->files->SyncFolder(folder)) {
          done << folder;
        } else {
          error = QStringLiteral("Cannot save the folder ") + folder;
        }
      }
      if (error.isEmpty()) {
        try {
          file.Sync();
        } catch (const LogFileExcept& e) {
          error = QString::fromStdString(e.what());
        }
      }
      lock.lock();
      for (const QString& folder : done)
        s->folders.removeAll(folder);
      if (error.isEmpty()) {
        ++s->syncs;
        s->synced = std::max(s->synced, upto);
        while (!s->unsynced.empty() && s->unsynced.front().change <= upto)
          s->unsynced.pop_front();
        if (s->failing) {
          s->failing = false;
          s->reports.push_back(SyncStatus{});
        }
        if (s->again) continue;
        break;
      }
      ++s->failures;
      s->failing = true;
      SyncStatus status{false, error, 0};
      s->Rewrite(status);
      s->reports.push_back(status);
      // Nobody starts another round for a closed file: one more, after the lines were
      // written again.
      if (s->closing && !last_try_done) {
        last_try_done = true;
        continue;
      }
      // Otherwise the owner's next round comes within a second: a disk that keeps
      // failing is not hammered.
      break;
    }
    s->queued = false;
  }
};

DurableLog::DurableLog(Scheduler& sched, SyncQueue& queue, LogFiles& files,
                       std::unique_ptr<LogFile> file, QStringList foldersToSync)
    : queue_(queue),
      shared_(std::make_shared<Shared>()),
      path_(file->Path()),
      timer_(sched, kMaxUnsyncedMs, false) {
  damaged_end_ = EndIsDamaged(file->Tail(1));
  fresh_line_ = damaged_end_;
  shared_->file = std::move(file);
  shared_->files = &files;
  timer_.SetOnTimer([this] { Round(); });
  if (queue_.Enabled()) {
    shared_->folders = std::move(foldersToSync);
    if (!shared_->folders.isEmpty()) timer_.SetEnabled(true);
  }
}

std::unique_ptr<DurableLog> DurableLog::Open(Scheduler& sched, SyncQueue& queue, LogFiles& files,
                                             const QString& path, bool makeFolder) {
  std::unique_ptr<LogFile> file = files.OpenExisting(path);
  QStringList folders;
  if (!file) {
    const QFileInfo info(path);
    if (makeFolder) files.MakeFolder(info.absolutePath());
    if (files.CreateIfMissing(path)) file = files.OpenExisting(path);
    // A name without a folder lives in the current one.
    const QString folder = info.path() == QStringLiteral(".") ? QString() : info.path();
    folders << folder;
    if (makeFolder) folders << QFileInfo(folder).path();
  }
  if (!file) return nullptr;
  return std::make_unique<DurableLog>(sched, queue, files, std::move(file), folders);
}

DurableLog::~DurableLog() {
  bool post = false;
  {
    std::lock_guard lock(shared_->mutex);
    shared_->closing = true;
    shared_->file->Unlock();
    if (queue_.Enabled() && shared_->Behind()) {
      if (shared_->queued) {
        shared_->again = true;
      } else {
        shared_->queued = true;
        post = true;
      }
    }
  }
  if (post) queue_.Post([s = shared_] { Shared::Run(s); });
}

const QString& DurableLog::Path() const {
  return path_;
}

std::int64_t DurableLog::Position() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->file->Position();
}

bool DurableLog::StillThere() const {
  return shared_->file->StillThere();
}

void DurableLog::Append(const QByteArray& lines) {
  if (lines.isEmpty()) return;
  const QByteArray bytes = fresh_line_ ? QByteArray(1, '\r') + lines : lines;
  {
    std::lock_guard lock(shared_->mutex);
    const std::int64_t at = shared_->file->Position();
    shared_->file->Write(bytes);
    ++shared_->changes;
    if (queue_.Enabled()) shared_->unsynced.push_back({shared_->changes, at, bytes});
  }
  fresh_line_ = false;
  // The first line since the last round starts the clock; later ones ride along.
  if (queue_.Enabled() && !timer_.Enabled()) timer_.SetEnabled(true);
}

void DurableLog::SyncNow() {
  if (!queue_.Enabled()) return;
  Request();
  if (!timer_.Enabled()) timer_.SetEnabled(true);  // to take in the outcome
}

void DurableLog::Clear() {
  std::lock_guard lock(shared_->mutex);
  shared_->file->Clear();
  shared_->unsynced.clear();
  shared_->rewrite_due = false;
  ++shared_->changes;
  fresh_line_ = false;
}

void DurableLog::Request() {
  {
    std::lock_guard lock(shared_->mutex);
    if (!shared_->Behind()) return;
    if (shared_->queued) {
      shared_->again = true;
      return;
    }
    shared_->queued = true;
  }
  queue_.Post([s = shared_] { Shared::Run(s); });
}

void DurableLog::Round() {
  Poll();
  bool behind = false;
  bool busy = false;
  {
    std::lock_guard lock(shared_->mutex);
    behind = shared_->Behind();
    busy = shared_->queued;
  }
  if (behind) Request();
  if (!behind && !busy) timer_.SetEnabled(false);
}

void DurableLog::Poll() {
  std::vector<SyncStatus> reports;
  {
    std::lock_guard lock(shared_->mutex);
    reports.swap(shared_->reports);
  }
  for (const SyncStatus& r : reports)
    if (OnStatus) OnStatus(r);
}

std::size_t DurableLog::UnsyncedLines() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->unsynced.size();
}

std::uint64_t DurableLog::Syncs() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->syncs;
}

std::uint64_t DurableLog::SyncFailures() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->failures;
}

}  // namespace dova
