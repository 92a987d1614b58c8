#include "history/stored_log.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "graphs/trend_graph.h"
#include "protocol/protocol.h"

namespace dova {

namespace {

constexpr std::int64_t kChunkBytes = 4 * 1024 * 1024;
constexpr std::int64_t kSampleBytes = 64 * 1024;
constexpr std::size_t kSampleLines = 200;
// Clocks put back at the end of summer time make the stamps run back by up to an hour.
constexpr TDateTime kLargestStepBack = 2.0 / 24.0;

const QString kSeparator = QStringLiteral(", ");

QString Decode(QByteArrayView bytes) {
  return protocol::FromDevice(QByteArray::fromRawData(bytes.data(), bytes.size()));
}

// A number as the writer wrote it, with either decimal separator.
std::optional<double> ReadNumber(QStringView text) {
  if (text.isEmpty() || text.size() > 32) return std::nullopt;
  char ascii[33];
  std::size_t n = 0;
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if ((u >= u'0' && u <= u'9') || u == u'-') {
      ascii[n++] = static_cast<char>(u);
    } else if (u == u'.' || u == u',') {
      ascii[n++] = '.';
    } else {
      return std::nullopt;
    }
  }
  double value = 0;
  const auto res = std::from_chars(ascii, ascii + n, value);
  if (res.ec != std::errc() || res.ptr != ascii + n) return std::nullopt;
  return value;
}

// The whole lines of `bytes` (CR, LF, CRLF or NUL end them); with `skip_first` the first,
// probably cut, line is left out. The unfinished end is left out too.
std::vector<QByteArray> SplitSample(const QByteArray& bytes, bool skip_first) {
  std::vector<QByteArray> lines;
  qsizetype start = 0;
  bool first = true;
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c != '\r' && c != '\n' && c != '\0') continue;
    if (i > start && !(first && skip_first)) lines.push_back(bytes.mid(start, i - start));
    first = false;
    start = i + 1;
  }
  return lines;
}

void AddPoint(TLineSeries& series, TDateTime t, double value) {
  if (std::isnan(value)) {
    if (!series.Empty() && std::isnan(series.Last().y)) return;
    series.Add({t, value});
    return;
  }
  // A run of equal values keeps its first and its newest point, as in the live window.
  const std::size_t n = series.Count();
  if (n > 1 && series[n - 1].y == value && series[n - 2].y == value) series.DeleteLast();
  series.Add({t, value});
}

struct TStateText {
  TTileSide Side;
  TTileEventKind Kind;
};

}  // namespace

// ---------------------------------------------------------------- locale guess

std::vector<QLocale> CandidateLocales(const QLocale& user) {
  static const char* const kCommon[] = {"en_US", "en_GB", "de_DE", "fr_FR", "es_ES", "it_IT",
                                        "nl_NL", "ja_JP", "zh_CN", "en_AU", "pt_BR", "ru_RU",
                                        "pl_PL", "sv_SE", "ko_KR", "da_DK", "fi_FI"};
  std::vector<QLocale> out{user};
  for (const char* name : kCommon) {
    QLocale locale{QString::fromLatin1(name)};
    if (locale.name() != user.name()) out.push_back(locale);
  }
  return out;
}

TLocaleGuess GuessLocale(const std::vector<QByteArray>& lines, int reference_year,
                         TDateTime file_time, const std::vector<QLocale>& candidates) {
  std::vector<QString> texts;
  texts.reserve(lines.size());
  for (const QByteArray& line : lines)
    texts.push_back(Decode(line));

  struct TReading {
    std::size_t Candidate;
    std::vector<TDateTime> Times;
    std::size_t Read = 0;
  };
  std::vector<TReading> readings;
  for (std::size_t c = 0; c < candidates.size(); ++c) {
    const TTimestampFormat format(LogFormat::ForLocale(candidates[c]), reference_year);
    TReading reading{c, std::vector<TDateTime>(texts.size(), kNoValue)};
    for (std::size_t i = 0; i < texts.size(); ++i) {
      qsizetype used = 0;
      const std::optional<TDateTime> t = format.Parse(texts[i], used);
      if (t && QStringView(texts[i]).mid(used).startsWith(kSeparator)) {
        reading.Times[i] = *t;
        ++reading.Read;
      }
    }
    readings.push_back(std::move(reading));
  }
  std::size_t best = 0;
  for (const TReading& r : readings)
    best = std::max(best, r.Read);
  TLocaleGuess guess;
  if (best == 0) return guess;

  // Locales that read the lines alike are one reading; the first of them stands for it.
  auto same = [](const std::vector<TDateTime>& a, const std::vector<TDateTime>& b) {
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (std::isnan(a[i]) != std::isnan(b[i])) return false;
      if (!std::isnan(a[i]) && a[i] != b[i]) return false;
    }
    return true;
  };
  std::vector<const TReading*> distinct;
  for (const TReading& r : readings) {
    if (r.Read != best) continue;
    const bool known = std::any_of(distinct.begin(), distinct.end(),
                                   [&](const TReading* d) { return same(d->Times, r.Times); });
    if (!known) distinct.push_back(&r);
  }
  auto plausible = [file_time](const TReading* r) {
    TDateTime previous = kNoValue;
    for (const TDateTime t : r->Times) {
      if (std::isnan(t)) continue;
      if (!std::isnan(previous) && t < previous - kLargestStepBack) return false;
      previous = t;
    }
    return std::isnan(file_time) || previous <= file_time + 1.0;
  };
  std::vector<const TReading*> likely;
  std::copy_if(distinct.begin(), distinct.end(), std::back_inserter(likely), plausible);
  // A log is written up to shortly before its file's last change: a reading that ends within
  // a day of it beats readings that end months earlier (unless the file was copied since).
  std::vector<const TReading*> recent;
  std::copy_if(likely.begin(), likely.end(), std::back_inserter(recent), [&](const TReading* r) {
    const auto last = std::find_if(r->Times.rbegin(), r->Times.rend(),
                                   [](TDateTime t) { return !std::isnan(t); });
    return !std::isnan(file_time) && last != r->Times.rend() && *last >= file_time - 1.0;
  });
  if (recent.size() == 1) likely = recent;
  const std::vector<const TReading*>& pool = likely.empty() ? distinct : likely;

  guess.Found = true;
  guess.Locale = candidates[pool.front()->Candidate];
  guess.Ambiguous = pool.size() > 1;
  for (const TReading* r : distinct) {
    if (r != pool.front()) guess.Alternatives.push_back(candidates[r->Candidate]);
  }
  return guess;
}

TIncubatorName IncubatorFromFileName(const QString& path) {
  QString base = QFileInfo(path).fileName();
  if (base.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)) base.chop(4);
  const qsizetype blank = base.lastIndexOf(u' ');
  if (blank < 0) return {base, QString()};
  return {base.left(blank), base.mid(blank + 1)};
}

// ---------------------------------------------------------------- reader

TStoredLogReader::TStoredLogReader(QString path) : TStoredLogReader(std::move(path), TOptions{}) {}

TStoredLogReader::TStoredLogReader(QString path, TOptions options)
    : path_(std::move(path)), options_(std::move(options)) {
  Reset();
}

TStoredLogReader::~TStoredLogReader() = default;

void TStoredLogReader::Reset() {
  log_ = std::make_unique<TStoredLog>();
  offset_ = 0;
  line_number_ = 0;
  pending_cr_ = false;
  last_stamp_.clear();
  last_stamp_time_ = 0;
  for (TPending& p : pending_)
    p = {};
  linked_ = false;
  state_block_ = false;
  down_since_.reset();
}

std::unique_ptr<TStoredLog> TStoredLogReader::TakeLog() {
  std::unique_ptr<TStoredLog> log = std::move(log_);
  Reset();
  return log;
}

TStoredLogReader::TResult TStoredLogReader::Reread(const QLocale& locale,
                                                   const TProgress& progress) {
  options_.Locale = locale;
  format_.reset();
  Reset();
  return Refresh(progress);
}

bool TStoredLogReader::Guess(QFile& file) {
  const QFileInfo info(path_);
  const QDateTime modified = info.lastModified();
  const int reference_year =
      modified.isValid() ? modified.date().year() : QDate::currentDate().year();
  if (options_.Locale) {
    guess_ = {*options_.Locale, true, false, {}};
  } else {
    const std::int64_t size = file.size();
    file.seek(0);
    std::vector<QByteArray> lines = SplitSample(file.read(kSampleBytes), false);
    if (lines.size() > kSampleLines) lines.resize(kSampleLines);
    if (size > kSampleBytes) {
      file.seek(std::max<std::int64_t>(kSampleBytes, size - kSampleBytes));
      std::vector<QByteArray> tail = SplitSample(file.read(kSampleBytes), true);
      if (tail.size() > kSampleLines)
        tail.erase(tail.begin(), tail.end() - static_cast<std::ptrdiff_t>(kSampleLines));
      lines.insert(lines.end(), tail.begin(), tail.end());
    }
    const TDateTime file_time = modified.isValid() ? DateTimeFromQDateTime(modified) : kNoValue;
    guess_ = GuessLocale(lines, reference_year, file_time, CandidateLocales(options_.User));
    if (!guess_.Found) return false;
  }
  format_ = std::make_unique<TTimestampFormat>(LogFormat::ForLocale(guess_.Locale), reference_year);
  return true;
}

TStoredLogReader::TResult TStoredLogReader::Refresh(const TProgress& progress) {
  // Read-only and unlocked: the writer keeps writing while we read.
  QFile file(path_);
  if (!file.open(QIODevice::ReadOnly)) {
    error_ = QStringLiteral("Cannot open ") + path_ + QStringLiteral(": ") + file.errorString();
    return TResult::Unreadable;
  }
  const std::int64_t size = file.size();
  if (size < offset_) Reset();
  if (size == 0) return TResult::Read;
  if (!format_ && !Guess(file)) {
    error_ = path_ + QStringLiteral(": no line reads as a line of a log");
    return TResult::Unreadable;
  }
  error_.clear();
  if (!file.seek(offset_)) {
    error_ = QStringLiteral("Cannot read ") + path_ + QStringLiteral(": ") + file.errorString();
    return TResult::Unreadable;
  }
  const std::int64_t start_offset = offset_;
  QByteArray carry;
  bool nul_in_line = false;
  std::int64_t consumed = offset_;  // file position of carry's first byte
  log_->UnendedLine = 0;
  while (true) {
    QByteArray chunk = file.read(kChunkBytes);
    if (chunk.isEmpty()) break;
    QByteArray data = carry.isEmpty() ? std::move(chunk) : carry + chunk;
    const char* p = data.constData();
    const qsizetype n = data.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
      const char c = p[i];
      if (c == '\r' || c == '\n') {
        if (c == '\n' && pending_cr_ && i == start && !nul_in_line) {
          // The LF of a CRLF.
          pending_cr_ = false;
          start = i + 1;
          continue;
        }
        const std::int64_t number = ++line_number_;
        if (nul_in_line) log_->Unread.Add(number);
        if (i > start) ReadLine(QByteArrayView(p + start, i - start), number);
        nul_in_line = false;
        pending_cr_ = c == '\r';
        start = i + 1;
      } else if (c == '\0') {
        // A power cut leaves the end of a file filled with NULs, and the next link writes
        // after them: the NULs and whatever came before them on that line are lost.
        nul_in_line = true;
        pending_cr_ = false;
        start = i + 1;
      } else {
        pending_cr_ = false;
      }
    }
    consumed += start;
    carry = data.mid(start);
    if (progress && !progress(file.pos() - start_offset, size - start_offset)) {
      offset_ = consumed;
      return TResult::Cancelled;
    }
  }
  // The unfinished end stays for the next Refresh: it may be a line being written.
  offset_ = consumed;
  if (!carry.isEmpty() || nul_in_line) log_->UnendedLine = line_number_ + 1;
  for (int side = 1; side <= 3; ++side)
    FlushPending(static_cast<TTileSide>(side));
  return TResult::Read;
}

void TStoredLogReader::ReadLine(QByteArrayView bytes, std::int64_t number) {
  const QString text = Decode(bytes);
  const QStringView view(text);
  TDateTime t = 0;
  qsizetype used = 0;
  if (!last_stamp_.isEmpty() && view.startsWith(last_stamp_) &&
      view.mid(last_stamp_.size()).startsWith(kSeparator)) {
    t = last_stamp_time_;
    used = last_stamp_.size();
  } else {
    const std::optional<TDateTime> parsed = format_ ? format_->Parse(view, used) : std::nullopt;
    if (!parsed || !view.mid(used).startsWith(kSeparator)) {
      log_->Unread.Add(number);
      return;
    }
    t = *parsed;
    last_stamp_ = text.left(used);
    last_stamp_time_ = t;
  }
  if (!ReadRecord(view.mid(used + kSeparator.size()), t)) {
    log_->Unread.Add(number);
    return;
  }
  ++log_->LinesRead;
  if (std::isnan(log_->FirstTime)) log_->FirstTime = t;
  log_->LastTime = t;
}

bool TStoredLogReader::ReadRecord(QStringView record, TDateTime t) {
  static const QString kConnected = QStringLiteral("Connected");
  static const QString kDisconnected = QStringLiteral("Disconnected");
  static const QString kLost =
      QStringLiteral(" lines were lost while the log could not be written");
  static const QString kTemperature = QStringLiteral("Temperature, ");
  static const QString kFlow = QStringLiteral("Flow, ");
  static const QString kSetPoint = QStringLiteral("Set-Point, ");
  static const QString kAdjusted = QStringLiteral("Set-Point Adjusted, ");

  if (record == kConnected) {
    LinkUp(t);
    return true;
  }
  if (record == kDisconnected) {
    LinkDown(t);
    return true;
  }
  if (record.endsWith(kLost) && ReadNumber(record.left(record.size() - kLost.size()))) {
    ++log_->LostLineNotes;
    return true;
  }
  TTileSide side = TTileSide::None;
  for (const TTileSide s : {TTileSide::Left, TTileSide::Right, TTileSide::Gas}) {
    const QString& name = SideText(s);
    if (record.startsWith(name) && record.size() > name.size() && record[name.size()] == u' ') {
      side = s;
      record = record.mid(name.size() + 1);
      break;
    }
  }
  if (side == TTileSide::None) return false;
  const QString& reading = side == TTileSide::Gas ? kFlow : kTemperature;
  if (record.startsWith(reading)) {
    const std::optional<double> v = ReadNumber(record.mid(reading.size()));
    if (!v) return false;
    Reading(side, false, *v, t);
    return true;
  }
  if (record.startsWith(kSetPoint)) {
    const std::optional<double> v = ReadNumber(record.mid(kSetPoint.size()));
    if (!v) return false;
    Reading(side, true, *v, t);
    return true;
  }
  if (record.startsWith(kAdjusted)) {
    const std::optional<double> v = ReadNumber(record.mid(kAdjusted.size()));
    if (!v) return false;
    FlushPending(side);
    state_block_ = false;
    AddPoint(log_->Chart(side).SetPoints, t, *v);
    log_->Marks.push_back({t, TTileEventKind::SetPointAdjusted, side, false, *v});
    return true;
  }
  static constexpr TTileEventKind kChamber[] = {
      TTileEventKind::ChamberOn, TTileEventKind::ChamberOff, TTileEventKind::LidOpen,
      TTileEventKind::LidClosed, TTileEventKind::TempError};
  static constexpr TTileEventKind kGas[] = {TTileEventKind::GasOn,      TTileEventKind::GasOff,
                                            TTileEventKind::PurgeStart, TTileEventKind::PurgeStop,
                                            TTileEventKind::CO2Error,   TTileEventKind::FlowError};
  auto match = [&](const auto& kinds) {
    for (const TTileEventKind kind : kinds) {
      if (record == StateEventText(kind)) {
        State(side, kind, t);
        return true;
      }
    }
    return false;
  };
  return side == TTileSide::Gas ? match(kGas) : match(kChamber);
}

void TStoredLogReader::Reading(TTileSide side, bool set_point, double value, TDateTime t) {
  state_block_ = false;
  TPending& pending = pending_[static_cast<int>(side)];
  THistoryChart& chart = log_->Chart(side);
  if (!set_point) {
    FlushPending(side);
    pending = {true, t, value};
    return;
  }
  // The live window draws nothing while the set-point is not above zero (the first block of
  // a link, before any reading, holds zeros).
  const bool known = value > 0;
  if (pending.Has) {
    AddPoint(chart.Values, pending.Time, known ? pending.Value : kNoValue);
    pending.Has = false;
  }
  AddPoint(chart.SetPoints, t, known ? value : kNoValue);
}

void TStoredLogReader::FlushPending(TTileSide side) {
  TPending& pending = pending_[static_cast<int>(side)];
  if (!pending.Has) return;
  AddPoint(log_->Chart(side).Values, pending.Time, pending.Value);
  pending.Has = false;
}

void TStoredLogReader::State(TTileSide side, TTileEventKind kind, TDateTime t) {
  const bool initial = state_block_;
  log_->Marks.push_back({t, kind, side, initial, 0});
  // As the live window: a state found at opening is no change, only an error is marked.
  if (initial && !IsErrorEvent(kind)) return;
  THistoryChart& chart = log_->Chart(side);
  const QString& text = StateEventText(kind);
  if (IsErrorEvent(kind)) {
    chart.Errors.Add({t, static_cast<double>(chart.EventRow), text.toUpper()});
  } else {
    chart.Events.Add({t, static_cast<double>(chart.EventRow), text});
  }
  if (++chart.EventRow > TTrendGraph::kLastEventRow) chart.EventRow = 0;
}

void TStoredLogReader::EndValues(TDateTime t) {
  for (const TTileSide side : {TTileSide::Left, TTileSide::Right, TTileSide::Gas}) {
    FlushPending(side);
    THistoryChart& chart = log_->Chart(side);
    if (!chart.Values.Empty()) AddPoint(chart.Values, t, kNoValue);
    if (!chart.SetPoints.Empty()) AddPoint(chart.SetPoints, t, kNoValue);
  }
}

void TStoredLogReader::LinkUp(TDateTime t) {
  if (down_since_) {
    log_->Gaps.push_back({*down_since_, t, true});
  } else if (linked_ && !std::isnan(log_->LastTime)) {
    // The previous link ended without its last line.
    EndValues(log_->LastTime);
    log_->Gaps.push_back({log_->LastTime, t, false});
  }
  down_since_.reset();
  linked_ = true;
  state_block_ = true;
  log_->Marks.push_back({t, TTileEventKind::LinkUp, TTileSide::None, false, 0});
}

void TStoredLogReader::LinkDown(TDateTime t) {
  EndValues(t);
  linked_ = false;
  state_block_ = false;
  down_since_ = t;
  log_->Marks.push_back({t, TTileEventKind::LinkDown, TTileSide::None, false, 0});
}

}  // namespace dova
