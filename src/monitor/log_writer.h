#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

#include "monitor/incubator_state.h"
#include "monitor/log_format.h"
#include "monitor/panel_host.h"
#include "monitor/tile_events.h"
#include "platform/datetime.h"
#include "platform/logfile/durable_log.h"
#include "platform/logfile/log_files.h"
#include "platform/logfile/sync_queue.h"
#include "platform/timer.h"

namespace dova {

class Scheduler;

// The tile's log file: it owns the file and its lock, turns the tile's events into log
// lines, and writes the periodic records on their grid. It reads the incubator state for
// the records and never changes it.
//
// A line is in the file whole or not at all. Lines that cannot be written now (a full
// disk, a file that cannot be opened yet, a file held by the previous link of the same
// incubator) wait in order, each with its own time stamp, and are written as soon as the
// file takes them again; the user is told once when writing stops and once when it goes
// on. When the file or its folder is removed while open, the folder is made again and a
// new file started.
//
// Lines reach the disk through a DurableLog: every line within a second, and "Connected",
// "Disconnected" and every change of state at once (queued for the sync thread before the
// next poll tick; the changes one reply brings share one sync). A sync the disk refuses is told
// once and counted; the lines since the last good sync are written again from memory. A file that
// ends in a damaged line (a power cut during an earlier run) is told once; the first new line
// starts on a line of its own.
class TLogWriter {
 public:
  // Log files over this size draw a warning when they are opened.
  static constexpr std::int64_t kLogSizeWarning = 10LL * 1024 * 1024;
  // Lines kept while the file cannot be written (about a day of records and events); more
  // are counted and the count is written when writing goes on.
  static constexpr std::size_t kMaxPendingLines = 20000;
  // How often a file that cannot be opened or written is tried again.
  static constexpr std::uint32_t kRetryMs = 2000;

  TLogWriter(Scheduler& sched, IMessageBoxes& boxes, const LogFormat& format,
             const TIncubatorState& state, TTileEventStream& events, LogFiles& files,
             SyncQueue& sync);
  ~TLogWriter();
  TLogWriter(const TLogWriter&) = delete;
  TLogWriter& operator=(const TLogWriter&) = delete;

  // Starts turning the tile's events into log lines (listeners are called in the order
  // they subscribe, so the tile decides where the log stands among them).
  void Listen();
  // Opens (or creates) the file at `path` and writes "Connected". A file that cannot be
  // opened is reported and tried again every kRetryMs while the link lives.
  void Open(const QString& path);
  // One line with the current time stamp; never throws (see above). `urgent`: on the disk
  // before the next poll tick rather than within a second.
  void WriteLog(const QString& text, bool urgent = false);
  // The first records come two seconds after the incubator told its name.
  void StartRecords();
  bool RecordsRunning() const { return Timer2.Enabled(); }
  void Timer2Timer();
  void Clear();
  // Forgets the file without a closing line (a new folder or name follows). Lines still
  // waiting go to the next file.
  void Forget();
  void SetLogInterval(std::uint8_t minutes);
  void StopRecords() { Timer2.SetEnabled(false); }
  // Writes "Disconnected" and closes the file. Lines that still cannot be written are
  // lost with the link; the user is told how many.
  void Close();

  // A new file was started after the old one vanished: the tile writes its state block.
  std::function<void()> OnReopened;

  std::uint64_t LinesWritten() const { return lines_written_; }
  // Lines that could not be written when they were due (written later or lost).
  std::uint64_t WriteFailures() const { return write_failures_; }
  std::size_t PendingLines() const { return pending_.size(); }
  std::uint64_t DroppedLines() const { return dropped_total_; }
  // Syncs the disk refused, for the whole link.
  std::uint64_t SyncFailures() const { return sync_failures_; }

  QString Directory;
  std::uint8_t LogInterval = 0;
  TDateTime NextRecordTime = 0;
  std::unique_ptr<DurableLog> File;
  Timer Timer2;
  Timer RetryTimer;

 private:
  void OnEvent(const TTileEvent& e);
  QByteArray Line(const QString& text) const;
  bool TryOpen(bool make_folder);
  void OnSyncStatus(const SyncStatus& status);
  // Writes the waiting lines in order; false when the file stopped taking them.
  bool Flush();
  bool WriteNow(const QByteArray& line);
  void Enqueue(QByteArray line);
  void Stopped(const QString& why);
  void RetryTimerTimer();
  bool Reopen();
  // The urgent lines written in the handler now running share one sync, queued once that
  // handler has returned (before the next poll tick).
  void SyncSoon();

  Scheduler& sched_;
  IMessageBoxes& boxes_;
  const LogFormat& format_;
  const TIncubatorState& state_;
  TTileEventStream& events_;
  LogFiles& files_;
  SyncQueue& sync_;
  TTileEventStream::TSubscription subscription_ = 0;
  QString path_;
  // Open was called and the link has not ended: lines are wanted even without a file.
  bool wanted_ = false;
  std::deque<QByteArray> pending_;
  std::uint64_t dropped_ = 0;        // since writing stopped
  std::uint64_t dropped_total_ = 0;  // for the whole link
  bool stopped_ = false;             // the user was told that writing stopped
  std::uint64_t lines_written_ = 0;
  std::uint64_t write_failures_ = 0;
  std::uint64_t sync_failures_ = 0;
  bool sync_told_ = false;   // the user was told that the disk refuses syncs
  bool sync_asked_ = false;  // SyncSoon's call waits
  // Expires with the writer: a call it left waiting does nothing then (the file's last
  // sync follows from its own closing).
  std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
};

}  // namespace dova
