#include "monitor/log_writer.h"

#include "platform/scheduler.h"
#include "protocol/protocol.h"

namespace dova {

TLogWriter::TLogWriter(Scheduler& sched, IMessageBoxes& boxes, const LogFormat& format,
                       const TIncubatorState& state, TTileEventStream& events, LogFiles& files,
                       SyncQueue& sync)
    : Timer2(sched, 1000, false),
      RetryTimer(sched, kRetryMs, false),
      sched_(sched),
      boxes_(boxes),
      format_(format),
      state_(state),
      events_(events),
      files_(files),
      sync_(sync) {
  Timer2.SetOnTimer([this] { Timer2Timer(); });
  RetryTimer.SetOnTimer([this] { RetryTimerTimer(); });
}

TLogWriter::~TLogWriter() {
  if (subscription_) events_.Unsubscribe(subscription_);
}

void TLogWriter::Listen() {
  if (!subscription_) {
    subscription_ = events_.Subscribe([this](const TTileEvent& e) { OnEvent(e); });
  }
}

void TLogWriter::OnEvent(const TTileEvent& e) {
  switch (e.Kind) {
    // Changes of state are what a record of a power cut is read for: on the disk at once.
    case TTileEventKind::SetPointAdjusted:
      WriteLog(SideText(e.Side) + QStringLiteral(" Set-Point Adjusted, ") +
                   format_.Number(e.Value, e.Decimals),
               true);
      break;
    default: {
      const QString& text = StateEventText(e.Kind);
      if (!text.isEmpty()) WriteLog(SideText(e.Side) + u' ' + text, true);
      break;
    }
  }
}

bool TLogWriter::TryOpen(bool make_folder) {
  // A data folder that went away while we ran is made again (one level only).
  File = DurableLog::Open(sched_, sync_, files_, path_, make_folder);
  if (!File) return false;
  File->OnStatus = [this](const SyncStatus& status) { OnSyncStatus(status); };
  if (File->HadDamagedEnd()) {
    boxes_.DisplayMessage(QStringLiteral("The log file ") + path_ +
                              QStringLiteral(" ended in a damaged line (the end of an earlier "
                                             "run was cut off); new lines start on a line of "
                                             "their own."),
                          QStringLiteral("Warning"));
  }
  return true;
}

void TLogWriter::OnSyncStatus(const SyncStatus& status) {
  if (status.Ok) {
    sync_told_ = false;  // a later refusal is a new trouble, told again
    return;
  }
  ++sync_failures_;
  if (sync_told_) return;
  sync_told_ = true;
  boxes_.DisplayMessage(QStringLiteral("The disk did not take the last lines of ") + path_ +
                            QStringLiteral(" (") + status.Error +
                            QStringLiteral("). They are written again from memory and saved "
                                           "in the next second."),
                        QStringLiteral("Error"));
}

void TLogWriter::Open(const QString& path) {
  path_ = path;
  wanted_ = true;
  bool big = false;
  if (TryOpen(false)) {
    big = File->Position() > kLogSizeWarning;
    // Lines still waiting from before (the folder changed while they waited) come first,
    // with their own time stamps.
    if (!pending_.empty() && Flush()) File->SyncNow();
  } else {
    boxes_.DisplayMessage(QStringLiteral("File Open Error! Cannot Open: ") + path,
                          QStringLiteral("Error"));
    // Tried again while the link lives; the lines wait meanwhile.
    stopped_ = true;
    RetryTimer.SetEnabled(true);
  }
  // "Connected" goes in before the size warning: the warning is modal, and the link may
  // end (and write its last line) while it is open.
  WriteLog(QStringLiteral("Connected"), true);
  if (big) {
    boxes_.ShowWarning(QStringLiteral("File: ") + path +
                       QStringLiteral(" exceeds 10MB. Consider archiving and deleting"));
  }
}

QByteArray TLogWriter::Line(const QString& text) const {
  return protocol::ToDevice(format_.Timestamp(sched_.Now()) + QStringLiteral(", ") + text +
                            QChar(u'\r'));
}

void TLogWriter::WriteLog(const QString& text, bool urgent) {
  if (!wanted_) return;
  QByteArray line = Line(text);
  if (File && !File->StillThere() && !Reopen()) {
    Enqueue(std::move(line));
    return;
  }
  // Behind lines that still wait, in order; they are synced at once when they go in.
  if (!pending_.empty() || !File || !WriteNow(line)) {
    Enqueue(std::move(line));
    return;
  }
  if (urgent) SyncSoon();
}

void TLogWriter::SyncSoon() {
  // A display reply that changes several states writes several lines in one handler; a
  // sync each would cost the disk (and the sync thread) as many flushes for one moment.
  if (sync_asked_) return;
  sync_asked_ = true;
  sched_.Post([this, alive = std::weak_ptr<const bool>(alive_)] {
    if (alive.expired()) return;
    sync_asked_ = false;
    if (File) File->SyncNow();
  });
}

bool TLogWriter::WriteNow(const QByteArray& line) {
  try {
    File->Append(line);
  } catch (const LogFileExcept& e) {
    ++write_failures_;
    Stopped(QString::fromStdString(e.what()));
    return false;
  }
  ++lines_written_;
  return true;
}

void TLogWriter::Enqueue(QByteArray line) {
  if (pending_.size() >= kMaxPendingLines) {
    // The oldest lines are kept: the start of the trouble matters most, and the gap is
    // told in the file where it is.
    ++dropped_;
    ++dropped_total_;
  } else {
    pending_.push_back(std::move(line));
  }
  if (!File) ++write_failures_;
  RetryTimer.SetEnabled(true);
}

void TLogWriter::Stopped(const QString& why) {
  if (stopped_) return;
  stopped_ = true;
  boxes_.DisplayMessage(QStringLiteral("Cannot write to ") + path_ + QStringLiteral(" (") + why +
                            QStringLiteral("). Lines are kept and written when it can be "
                                           "written again."),
                        QStringLiteral("Error"));
}

bool TLogWriter::Reopen() {
  // The file (or its folder) was removed under us: what we write would go nowhere.
  File.reset();
  if (!TryOpen(true)) return false;
  boxes_.DisplayMessage(QStringLiteral("The log file ") + path_ +
                            QStringLiteral(" was removed; logging goes on in a new file."),
                        QStringLiteral("Warning"));
  const QByteArray connected = Line(QStringLiteral("Connected"));
  if (!WriteNow(connected)) {
    pending_.push_front(connected);
    return false;
  }
  File->SyncNow();
  if (OnReopened) OnReopened();
  return true;
}

bool TLogWriter::Flush() {
  while (!pending_.empty()) {
    if (!WriteNow(pending_.front())) return false;
    pending_.pop_front();
  }
  if (dropped_ > 0) {
    const QByteArray note = Line(QString::number(dropped_) +
                                 QStringLiteral(" lines were lost while the log could not be "
                                                "written"));
    if (!WriteNow(note)) return false;
    dropped_ = 0;
  }
  return true;
}

void TLogWriter::RetryTimerTimer() {
  if (!wanted_) {
    RetryTimer.SetEnabled(false);
    return;
  }
  if (File && !File->StillThere() && !Reopen()) return;
  if (!File && !TryOpen(true)) return;
  if (!Flush()) return;
  File->SyncNow();
  RetryTimer.SetEnabled(false);
  if (stopped_) {
    stopped_ = false;
    boxes_.DisplayMessage(QStringLiteral("Writing to ") + path_ + QStringLiteral(" again."),
                          QStringLiteral("Information"));
  }
}

void TLogWriter::StartRecords() {
  NextRecordTime = sched_.Now() + 2 * kOneSecond;
  Timer2.SetInterval(2000);
  Timer2.SetEnabled(true);
}

void TLogWriter::Timer2Timer() {
  const TDateTime interval = LogInterval * kOneMinute;
  NextRecordTime += interval;
  const TDateTime now = sched_.Now();
  std::int64_t ms = MillisecondsBetween(now, NextRecordTime);
  // A due time already behind us (the thread was held up, the clock moved forward): skip
  // whole intervals so the grid stays put and the next block comes when it is due.
  if (LogInterval > 0) {
    while (ms < 1) {
      NextRecordTime += interval;
      ms = MillisecondsBetween(now, NextRecordTime);
    }
    // A due time more than one interval ahead means the clock was set back (the end of
    // daylight saving time): start the grid again from now rather than pausing the
    // records until the clock has caught up. (A tick on time lands within a millisecond
    // of the grid; the second of slack keeps rounding from moving it.)
    const std::int64_t interval_ms = std::int64_t{LogInterval} * 60000;
    if (ms > interval_ms + 1000) {
      NextRecordTime = now + interval;
      ms = interval_ms;
    }
  }
  Timer2.SetInterval(ms > 0 ? static_cast<std::uint32_t>(ms) : 0u);
  TTileEvent due;
  due.Kind = TTileEventKind::RecordDue;
  due.Time = now;
  events_.Emit(due);
  const TIncubatorState& s = state_;
  WriteLog(QStringLiteral("Left Temperature, ") + format_.Number(s.LeftTemp / 10.0, 1));
  WriteLog(QStringLiteral("Left Set-Point, ") + format_.Number(s.LeftSetPoint / 10.0, 1));
  WriteLog(QStringLiteral("Right Temperature, ") + format_.Number(s.RightTemp / 10.0, 1));
  WriteLog(QStringLiteral("Right Set-Point, ") + format_.Number(s.RightSetPoint / 10.0, 1));
  WriteLog(QStringLiteral("Gas Flow, ") + format_.Number(s.GasFlow, 0));
  WriteLog(QStringLiteral("Gas Set-Point, ") + format_.Number(s.GasSetPoint, 0));
}

void TLogWriter::Clear() {
  if (File) File->Clear();
}

void TLogWriter::Forget() {
  if (File && !pending_.empty()) Flush();
  if (File) File->Poll();
  File.reset();  // its last sync follows on the sync thread
  wanted_ = false;
  RetryTimer.SetEnabled(false);
  stopped_ = false;
}

void TLogWriter::SetLogInterval(std::uint8_t minutes) {
  LogInterval = minutes;
  NextRecordTime = sched_.Now() + kOneSecond;
  Timer2.SetInterval(1000);
}

void TLogWriter::Close() {
  Timer2.SetEnabled(false);
  RetryTimer.SetEnabled(false);
  if (wanted_) {
    WriteLog(QStringLiteral("Disconnected"), true);
    if (File) Flush();
    const std::size_t lost = pending_.size() + dropped_;
    if (lost > 0) {
      boxes_.DisplayMessage(QString::number(lost) + QStringLiteral(" lines for ") + path_ +
                                QStringLiteral(" could not be written before the link ended."),
                            QStringLiteral("Error"));
    }
  }
  pending_.clear();
  dropped_ = 0;
  wanted_ = false;
  stopped_ = false;
  if (File) File->Poll();
  File.reset();  // its last sync follows on the sync thread
}

}  // namespace dova
