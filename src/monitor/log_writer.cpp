#include "monitor/log_writer.h"

#include "platform/scheduler.h"
#include "protocol/protocol.h"

namespace dova {

TLogWriter::TLogWriter(Scheduler& sched, IMessageBoxes& boxes, const LogFormat& format,
                       const TIncubatorState& state, TTileEventStream& events)
    : Timer2(sched, 1000, false),
      sched_(sched),
      boxes_(boxes),
      format_(format),
      state_(state),
      events_(events) {
  Timer2.SetOnTimer([this] { Timer2Timer(); });
}

TLogWriter::~TLogWriter() {
  if (subscription_) events_.Unsubscribe(subscription_);
}

void TLogWriter::Listen() {
  if (!subscription_)
    subscription_ = events_.Subscribe([this](const TTileEvent& e) { OnEvent(e); });
}

void TLogWriter::OnEvent(const TTileEvent& e) {
  switch (e.Kind) {
    case TTileEventKind::SetPointAdjusted:
      WriteLog(SideText(e.Side) + QStringLiteral(" Set-Point Adjusted, ") +
               format_.Number(e.Value, e.Decimals));
      break;
    default: {
      const QString& text = StateEventText(e.Kind);
      if (!text.isEmpty()) WriteLog(SideText(e.Side) + u' ' + text);
      break;
    }
  }
}

void TLogWriter::Open(const QString& path) {
  LogFile = LogFileStream::OpenExisting(path);
  open_failed_ = false;
  if (LogFile) {
    if (LogFile->Position() > kLogSizeWarning) {
      boxes_.ShowWarning(QStringLiteral("File: ") + path +
                         QStringLiteral(" exceeds 10MB. Consider archiving and deleting"));
    }
  } else {
    if (LogFileStream::CreateIfMissing(path)) LogFile = LogFileStream::OpenExisting(path);
    if (!LogFile) {
      open_failed_ = true;
      boxes_.DisplayMessage(QStringLiteral("File Open Error! Cannot Open: ") + path,
                            QStringLiteral("Error"));
    }
  }
  WriteLog(QStringLiteral("Connected"));
}

void TLogWriter::WriteLog(const QString& text) {
  if (!LogFile) {
    if (open_failed_) ++write_failures_;
    return;
  }
  const QString line = format_.Timestamp(sched_.Now()) + QStringLiteral(", ") + text + QChar(u'\r');
  try {
    LogFile->Write(protocol::ToDevice(line));
  } catch (...) {
    ++write_failures_;
    throw;
  }
  ++lines_written_;
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
  if (LogFile) LogFile->Clear();
}

void TLogWriter::SetLogInterval(std::uint8_t minutes) {
  LogInterval = minutes;
  NextRecordTime = sched_.Now() + kOneSecond;
  Timer2.SetInterval(1000);
}

void TLogWriter::Close() {
  Timer2.SetEnabled(false);
  if (!LogFile) return;
  // The file is closed even when its last line cannot be written.
  try {
    WriteLog(QStringLiteral("Disconnected"));
  } catch (...) {
    LogFile.reset();
    throw;
  }
  LogFile.reset();
}

}  // namespace dova
