#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "graphs/graph_series.h"
#include "history/log_timestamp.h"
#include "monitor/tile_events.h"
#include "platform/datetime.h"

class QFile;

namespace dova {

inline constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// What one trend window shows of a stored log: the reading and its set-point as step lines
// (a value holds until the next point; a run of equal values keeps its first and its newest
// point, as the live window keeps it), and the event and error marks on rows 0..8 as the
// live window places them. A point with no value (NaN) starts a stretch without data: the
// link was down, or the set-point was not yet known.
struct THistoryChart {
  TLineSeries Values;
  TLineSeries SetPoints;
  TMarkSeries Events;
  TMarkSeries Errors;
  std::int32_t EventRow = 0;
};

// One state or link record of the log, for the statistics and the events table.
struct TLogMark {
  TDateTime Time = 0;
  TTileEventKind Kind = TTileEventKind::LinkUp;
  TTileSide Side = TTileSide::None;
  // One of the states written right after the log was opened: found, not seen happening.
  bool Initial = false;
  double Value = 0;  // the new set-point of SetPointAdjusted
};

// A stretch without data between two links. `Announced`: the earlier link ended with its
// "Disconnected" line; otherwise the program stopped without one (a crash, a power cut) and
// the gap starts at the last line before the next "Connected".
struct TDataGap {
  TDateTime Start = 0;
  TDateTime End = 0;
  bool Announced = true;
};

// Lines that could not be read: how many, and the numbers of the first few (1-based).
struct TUnreadLines {
  static constexpr std::size_t kKept = 5;
  std::uint64_t Count = 0;
  std::vector<std::int64_t> First;
  void Add(std::int64_t line) {
    ++Count;
    if (First.size() < kKept) First.push_back(line);
  }
};

// A stored log read back into the series and marks a live tile builds.
struct TStoredLog {
  THistoryChart Left;
  THistoryChart Right;
  THistoryChart Gas;
  std::vector<TLogMark> Marks;
  std::vector<TDataGap> Gaps;
  TUnreadLines Unread;
  // The first and last time stamp read (NaN while none).
  TDateTime FirstTime = kNoValue;
  TDateTime LastTime = kNoValue;
  std::int64_t LinesRead = 0;
  // Notes of the writer that lines were lost while it could not write.
  std::uint64_t LostLineNotes = 0;
  // The number of a last line without its end (being written, or cut off), 0 when none.
  // It is read once it is finished.
  std::int64_t UnendedLine = 0;

  THistoryChart& Chart(TTileSide side) {
    return side == TTileSide::Left ? Left : side == TTileSide::Right ? Right : Gas;
  }
  const THistoryChart& Chart(TTileSide side) const {
    return side == TTileSide::Left ? Left : side == TTileSide::Right ? Right : Gas;
  }
};

// The locale a log was written under, as far as its lines tell. When several locales read
// the lines equally well but give different times (day and month swapped), the first in
// order of preference is taken, Ambiguous is set and the others are listed, so the user can
// be asked.
struct TLocaleGuess {
  QLocale Locale = QLocale::c();
  bool Found = false;
  bool Ambiguous = false;
  std::vector<QLocale> Alternatives;
};

// The locales tried, in order: the user's own, then the common ones.
std::vector<QLocale> CandidateLocales(const QLocale& user);

// Picks the locale whose formats read the most of `lines` (whole log lines without their
// ends). Among readings that differ, one that runs backwards or ends after the file's own
// time stamp (`file_time`, plus a day) is not plausible, and one that ends within a day
// before it beats those that end earlier.
TLocaleGuess GuessLocale(const std::vector<QByteArray>& lines, int reference_year,
                         TDateTime file_time, const std::vector<QLocale>& candidates);

// Name and serial number of the incubator, from a log's file name "<name> <serial>.csv".
struct TIncubatorName {
  QString Name;
  QString Serial;
};
TIncubatorName IncubatorFromFileName(const QString& path);

// Reads a log file, also one that is still being written: Refresh reads what was added since
// the last call and never locks the file (the writer's lock is advisory and only for
// writers). Unreadable lines are skipped and counted; a line not yet ended is left for the
// next Refresh. A file that became shorter (its log was cleared) is read again from the
// start.
class TStoredLogReader {
 public:
  struct TOptions {
    // The writer's locale when the user knows it; otherwise it is guessed.
    std::optional<QLocale> Locale;
    QLocale User = QLocale::system();
  };
  enum class TResult { Read, Unreadable, Cancelled };
  // Called after each chunk with the bytes read and the bytes to read; false cancels.
  using TProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

  explicit TStoredLogReader(QString path);
  TStoredLogReader(QString path, TOptions options);
  ~TStoredLogReader();

  TResult Refresh(const TProgress& progress = {});
  // Reads the whole file again under the given locale (the user's answer to an ambiguous
  // guess).
  TResult Reread(const QLocale& locale, const TProgress& progress = {});

  const QString& Path() const { return path_; }
  const QString& Error() const { return error_; }
  const TStoredLog& Log() const { return *log_; }
  // Hands the log over (to windows that take its lines); the next Refresh reads the whole
  // file again.
  std::unique_ptr<TStoredLog> TakeLog();
  const TLocaleGuess& Guess() const { return guess_; }
  std::int64_t BytesRead() const { return offset_; }

  // One line without its end, numbered from 1; public for the benchmark and tests.
  void ReadLine(QByteArrayView bytes, std::int64_t number);

 private:
  struct TPending {
    bool Has = false;
    TDateTime Time = 0;
    double Value = 0;
  };
  void Reset();
  bool Guess(QFile& file);
  bool ReadRecord(QStringView record, TDateTime t);
  void Reading(TTileSide side, bool set_point, double value, TDateTime t);
  void FlushPending(TTileSide side);
  void State(TTileSide side, TTileEventKind kind, TDateTime t);
  void LinkUp(TDateTime t);
  void LinkDown(TDateTime t);
  void EndValues(TDateTime t);

  QString path_;
  TOptions options_;
  QString error_;
  std::unique_ptr<TStoredLog> log_;
  TLocaleGuess guess_;
  std::unique_ptr<TTimestampFormat> format_;
  std::int64_t offset_ = 0;
  std::int64_t line_number_ = 0;
  bool pending_cr_ = false;
  // The time stamp text of the previous line and its value: a block of records shares one.
  QString last_stamp_;
  TDateTime last_stamp_time_ = 0;
  TPending pending_[4];
  bool linked_ = false;
  bool state_block_ = false;
  std::optional<TDateTime> down_since_;
};

}  // namespace dova
