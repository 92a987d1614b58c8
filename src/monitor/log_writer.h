#pragma once

#include <QString>
#include <cstdint>
#include <memory>

#include "monitor/incubator_state.h"
#include "monitor/log_format.h"
#include "monitor/panel_host.h"
#include "monitor/tile_events.h"
#include "platform/datetime.h"
#include "platform/logfile/log_file_stream.h"
#include "platform/timer.h"

namespace dova {

class Scheduler;

// The tile's log file: it owns the file and its lock, turns the tile's events into log
// lines, and writes the periodic records on their grid. It reads the incubator state for
// the records and never changes it.
class TLogWriter {
 public:
  // Log files over this size draw a warning when they are opened.
  static constexpr std::int64_t kLogSizeWarning = 10LL * 1024 * 1024;

  TLogWriter(Scheduler& sched, IMessageBoxes& boxes, const LogFormat& format,
             const TIncubatorState& state, TTileEventStream& events);
  ~TLogWriter();
  TLogWriter(const TLogWriter&) = delete;
  TLogWriter& operator=(const TLogWriter&) = delete;

  // Starts turning the tile's events into log lines (listeners are called in the order
  // they subscribe, so the tile decides where the log stands among them).
  void Listen();
  // Opens (or creates) the file at `path` and writes "Connected".
  void Open(const QString& path);
  void WriteLog(const QString& text);
  // The first records come two seconds after the incubator told its name.
  void StartRecords();
  void Timer2Timer();
  void Clear();
  // Forgets the file (no closing line): a new folder or name follows.
  void Forget() { LogFile.reset(); }
  void SetLogInterval(std::uint8_t minutes);
  void StopRecords() { Timer2.SetEnabled(false); }
  // Lines written to the file, and lines that could not be written (the write failed, or
  // the file could not be opened), since the tile was made; for the metrics endpoint.
  std::uint64_t LinesWritten() const { return lines_written_; }
  std::uint64_t WriteFailures() const { return write_failures_; }
  // Writes "Disconnected" and closes the file, even when that line cannot be written.
  void Close();

  QString Directory;
  std::uint8_t LogInterval = 0;
  TDateTime NextRecordTime = 0;
  std::unique_ptr<LogFileStream> LogFile;
  Timer Timer2;

 private:
  void OnEvent(const TTileEvent& e);

  Scheduler& sched_;
  IMessageBoxes& boxes_;
  const LogFormat& format_;
  const TIncubatorState& state_;
  TTileEventStream& events_;
  TTileEventStream::TSubscription subscription_ = 0;
  std::uint64_t lines_written_ = 0;
  std::uint64_t write_failures_ = 0;
  // The last Open could not open or create the file: its lines are lost, not just unwritten.
  bool open_failed_ = false;
};

}  // namespace dova
