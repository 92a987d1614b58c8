#include "alarms/alarm_engine.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "platform/scheduler.h"

namespace dova {

namespace {

// Slots of kAlarmSlots by name.
constexpr int kTempHigh[2] = {0, 1};
constexpr int kTempLow[2] = {2, 3};
constexpr int kLid[2] = {4, 5};
constexpr int kFlowHigh = 6;
constexpr int kFlowLow = 7;
constexpr int kDeviceError[3] = {8, 9, 10};  // left, right, gas
constexpr int kNoData = 11;
constexpr int kLogTrouble = 12;
constexpr int kSlotCount = static_cast<int>(kAlarmSlots.size());

// Readings are in tenths (°C) or whole ml/min: a hair of tolerance keeps 37.5 - 37.0 from
// counting as more than 0.5.
constexpr double kEpsilon = 1e-6;
constexpr std::int64_t kLongAgo = std::numeric_limits<std::int64_t>::min() / 4;

QString Number(double value, int decimals) {
  return QString::number(value, 'f', decimals);
}
QString Seconds(std::int64_t s) {
  return QString::number(s) + QStringLiteral(" s");
}

bool IsUnacknowledged(TAlarmState s) {
  return s == TAlarmState::ActiveUnacknowledged || s == TAlarmState::ClearedUnacknowledged;
}
bool IsActive(TAlarmState s) {
  return s == TAlarmState::ActiveUnacknowledged || s == TAlarmState::ActiveAcknowledged;
}

}  // namespace

struct TAlarmEngine::TSide {
  bool On = false;
  bool Armed = false;
  std::int64_t ArmStart = 0;
  bool HaveSetPoint = false;
  double SetPoint = 0;
};

struct TAlarmEngine::TIncubator {
  struct TSlot {
    TAlarmState State = TAlarmState::Normal;
    bool Pending = false;
    std::uint32_t RaiseGeneration = 0;
    std::uint32_t AnnounceGeneration = 0;
    TDateTime RaisedAt = 0;  // wall clock, as told
    QString Value;
    QString Limit;
    QString AcknowledgedBy;
    TDateTime AcknowledgedAt = 0;
    QString Comment;
    bool BeforeRestart = false;
  };

  QString Serial;
  QString Name;
  TAlarmLimits Limits;
  std::array<TSlot, kAlarmSlots.size()> Slots;

  bool Linked = false;
  std::int64_t LastReply = 0;
  std::int64_t DownSince = 0;
  bool NoDataQueued = false;
  bool EverLinked = false;

  TSide Chambers[2];
  TSide Gas;
  bool Purging = false;
  std::int64_t PurgeEnd = kLongAgo;

  bool LogProblem = false;
  QString LogProblemText;
  bool LogLost = false;
  std::uint64_t DroppedSeen = 0;
  std::int64_t LogPendingSince = -1;

  std::int64_t ShelfEnd = 0;  // engine time; 0: not shelved
  TDateTime ShelfEndWall = 0;
  std::uint32_t ShelfGeneration = 0;
  QString ShelfReason;

  bool Shelved() const { return ShelfEnd != 0; }
};

TAlarmEngine::TAlarmEngine(Scheduler& sched, TAlarmSettings& settings)
    : sched_(sched), settings_(settings), timer_(sched, 1000, false) {
  timer_.SetOnTimer([this] { OnTimer(); });
}

TAlarmEngine::~TAlarmEngine() = default;

std::int64_t TAlarmEngine::NowMs() const {
  // Delays run on the engine's own time: the wall clock's steps forward count, its steps
  // back (a daylight-saving change, a clock set right) do not, so an on-delay never waits an
  // extra hour.
  const std::int64_t wall = std::llround(sched_.Now() * kMsPerDay);
  if (!clock_started_) {
    clock_started_ = true;
    engine_ms_ = wall;
  } else if (wall > last_wall_ms_) {
    engine_ms_ += wall - last_wall_ms_;
  }
  last_wall_ms_ = wall;
  return engine_ms_;
}

TAlarmEngine::TIncubator& TAlarmEngine::Track(const QString& serial, const QString& name) {
  auto it = incubators_.find(serial);
  if (it == incubators_.end()) {
    auto inc = std::make_unique<TIncubator>();
    inc->Serial = serial;
    inc->Limits = settings_.Limits(serial);
    it = incubators_.emplace(serial, std::move(inc)).first;
  }
  if (!name.isEmpty()) it->second->Name = name;
  return *it->second;
}

void TAlarmEngine::ReloadSettings() {
  settings_.Reload();
  for (auto& [serial, inc] : incubators_)
    inc->Limits = settings_.Limits(serial);
}

// ---------------------------------------------------------------- the due-time queue

void TAlarmEngine::Push(TIncubator& inc, TDue what, int slot, std::uint32_t generation,
                        std::int64_t due) {
  queue_.push(TEntry{due, next_seq_++, &inc, what, static_cast<std::int8_t>(slot), generation});
  if (!firing_ && (!timer_armed_ || due < armed_due_)) Rearm();
}

void TAlarmEngine::Rearm() {
  timer_.SetEnabled(false);
  timer_armed_ = false;
  if (queue_.empty()) return;
  const std::int64_t due = queue_.top().Due;
  const std::int64_t wait = std::clamp<std::int64_t>(due - NowMs(), 1, 24LL * 3600 * 1000);
  timer_.SetInterval(static_cast<std::uint32_t>(wait));
  timer_.SetEnabled(true);
  armed_due_ = due;
  timer_armed_ = true;
}

void TAlarmEngine::OnTimer() {
  firing_ = true;
  const std::int64_t now = NowMs();
  while (!queue_.empty() && queue_.top().Due <= now) {
    const TEntry entry = queue_.top();
    queue_.pop();
    Fire(entry, now);
  }
  firing_ = false;
  Rearm();
}

void TAlarmEngine::Fire(const TEntry& entry, std::int64_t now) {
  TIncubator& inc = *entry.Incubator;
  switch (entry.What) {
    case TDue::Raise: {
      TIncubator::TSlot& s = inc.Slots[entry.Slot];
      if (s.Pending && s.RaiseGeneration == entry.Generation) Raise(inc, entry.Slot);
      break;
    }
    case TDue::NoData: {
      inc.NoDataQueued = false;
      const std::int64_t delay = inc.Limits.NoDataDelay * 1000;
      const std::int64_t deadline = (inc.Linked ? inc.LastReply : inc.DownSince) + delay;
      if (now < deadline) {
        QueueNoData(inc);
      } else if (!IsActive(inc.Slots[kNoData].State)) {
        Expect(inc, kNoData, true, 0,
               inc.Linked ? QStringLiteral("no reply") : QStringLiteral("not linked"),
               Seconds(inc.Limits.NoDataDelay));
      }
      break;
    }
    case TDue::LogWait:
      EvaluateLog(inc);
      break;
    case TDue::Reannounce: {
      TIncubator::TSlot& s = inc.Slots[entry.Slot];
      if (s.AnnounceGeneration != entry.Generation || !IsUnacknowledged(s.State)) break;
      if (!inc.Shelved()) Publish(inc, entry.Slot, TAlarmTransitionKind::Reannounced);
      QueueReannounce(inc, entry.Slot);
      break;
    }
    case TDue::ShelfEnd:
      if (inc.Shelved() && inc.ShelfGeneration == entry.Generation) EndShelf(inc, QString());
      break;
  }
}

// ---------------------------------------------------------------- raising and clearing

void TAlarmEngine::Expect(TIncubator& inc, int slot, bool condition, std::int64_t delay_ms,
                          const QString& value, const QString& limit) {
  TIncubator::TSlot& s = inc.Slots[slot];
  if (!condition) {
    s.Pending = false;
    return;
  }
  if (!inc.Limits.IsEnabled(kAlarmSlots[slot].Kind)) return;
  s.Value = value;
  s.Limit = limit;
  if (IsActive(s.State) || s.Pending) return;
  s.Pending = true;
  ++s.RaiseGeneration;
  if (delay_ms <= 0) {
    Raise(inc, slot);
  } else {
    Push(inc, TDue::Raise, slot, s.RaiseGeneration, NowMs() + delay_ms);
  }
}

void TAlarmEngine::Cancel(TIncubator& inc, int slot) {
  inc.Slots[slot].Pending = false;
}

void TAlarmEngine::Raise(TIncubator& inc, int slot) {
  TIncubator::TSlot& s = inc.Slots[slot];
  s.Pending = false;
  if (IsActive(s.State)) return;
  s.State = TAlarmState::ActiveUnacknowledged;
  s.RaisedAt = sched_.Now();
  s.AcknowledgedBy.clear();
  s.AcknowledgedAt = 0;
  s.Comment.clear();
  s.BeforeRestart = false;
  Publish(inc, slot, TAlarmTransitionKind::Raised, QString(), QString(), !inc.Shelved());
  QueueReannounce(inc, slot);
}

void TAlarmEngine::Clear(TIncubator& inc, int slot, const QString& value) {
  TIncubator::TSlot& s = inc.Slots[slot];
  s.Pending = false;
  if (!IsActive(s.State)) return;
  s.State = s.State == TAlarmState::ActiveAcknowledged ? TAlarmState::Normal
                                                       : TAlarmState::ClearedUnacknowledged;
  if (!value.isEmpty()) s.Value = value;
  Publish(inc, slot, TAlarmTransitionKind::Cleared, QString(), QString(), !inc.Shelved());
}

void TAlarmEngine::QueueReannounce(TIncubator& inc, int slot) {
  TIncubator::TSlot& s = inc.Slots[slot];
  ++s.AnnounceGeneration;
  const std::int64_t interval = inc.Limits.ReannounceInterval * 1000;
  if (interval <= 0 || !IsUnacknowledged(s.State)) return;
  Push(inc, TDue::Reannounce, slot, s.AnnounceGeneration, NowMs() + interval);
}

void TAlarmEngine::Publish(TIncubator& inc, std::optional<int> slot, TAlarmTransitionKind what,
                           const QString& user, const QString& comment, bool announce,
                           const QString& value) {
  TAlarmTransition t;
  t.Transition = what;
  t.Time = sched_.Now();
  t.Serial = inc.Serial;
  t.Name = inc.Name;
  t.User = user;
  t.Comment = comment;
  t.Announce = announce;
  t.Value = value;
  if (slot) {
    const TIncubator::TSlot& s = inc.Slots[*slot];
    t.Key = kAlarmSlots[*slot];
    t.Priority = PriorityOf(t.Key->Kind);
    t.State = s.State;
    t.Value = s.Value;
    t.Limit = s.Limit;
  }
  ++revision_;
  stream_.Notify(t);
}

// ---------------------------------------------------------------- the tile's events

void TAlarmEngine::Disarm(TIncubator& inc, TSide& side) {
  side.Armed = false;
  side.ArmStart = NowMs();
  if (&side == &inc.Gas) {
    Cancel(inc, kFlowHigh);
    Cancel(inc, kFlowLow);
  } else {
    const int i = &side == &inc.Chambers[0] ? 0 : 1;
    Cancel(inc, kTempHigh[i]);
    Cancel(inc, kTempLow[i]);
  }
}

void TAlarmEngine::ChamberState(TIncubator& inc, int i, bool on) {
  TSide& c = inc.Chambers[i];
  if (on) {
    if (!c.On) Disarm(inc, c);
    c.On = true;
    return;
  }
  c.On = false;
  Disarm(inc, c);
  // A chamber that is off has no temperature to keep, no lid to watch and no error.
  Clear(inc, kTempHigh[i]);
  Clear(inc, kTempLow[i]);
  Clear(inc, kLid[i]);
  Clear(inc, kDeviceError[i]);
}

void TAlarmEngine::GasState(TIncubator& inc, bool on) {
  if (on) {
    if (!inc.Gas.On) Disarm(inc, inc.Gas);
    inc.Gas.On = true;
    return;
  }
  inc.Gas.On = false;
  Disarm(inc, inc.Gas);
  Clear(inc, kFlowHigh);
  Clear(inc, kFlowLow);
  Clear(inc, kDeviceError[2]);
}

void TAlarmEngine::Band(TIncubator& inc, TSide& side, int high, int low, double value,
                        double set_point, double limit, double off_margin, std::int64_t delay_ms,
                        int decimals) {
  if (!side.HaveSetPoint || side.SetPoint != set_point) {
    // A new set-point: the reading has to get there first.
    if (side.HaveSetPoint) Disarm(inc, side);
    side.HaveSetPoint = true;
    side.SetPoint = set_point;
  }
  const double deviation = value - set_point;
  // The clock is read only while arming: once armed, a reading needs no time.
  if (!side.Armed &&
      (std::fabs(deviation) <= limit + kEpsilon || NowMs() - side.ArmStart >= kArmingMs)) {
    side.Armed = true;
  }
  if (!side.Armed) return;
  const bool above = deviation > limit + kEpsilon;
  const bool below = -deviation > limit + kEpsilon;
  const double back = limit - off_margin + kEpsilon;
  const bool clear_high = deviation <= back && IsActive(inc.Slots[high].State);
  const bool clear_low = -deviation <= back && IsActive(inc.Slots[low].State);
  if (!above && !below && !clear_high && !clear_low) {
    // The usual case, once per poll: in band, nothing to tell, no text to make.
    inc.Slots[high].Pending = false;
    inc.Slots[low].Pending = false;
    return;
  }
  const QString text = Number(value, decimals);
  Expect(inc, high, above, delay_ms, text, above ? Number(set_point + limit, decimals) : QString());
  Expect(inc, low, below, delay_ms, text, below ? Number(set_point - limit, decimals) : QString());
  if (clear_high) Clear(inc, high, text);
  if (clear_low) Clear(inc, low, text);
}

void TAlarmEngine::Temperature(TIncubator& inc, int i, double value, double set_point) {
  TSide& c = inc.Chambers[i];
  if (!c.On || value <= -99) return;
  const TAlarmLimits& l = inc.Limits;
  Band(inc, c, kTempHigh[i], kTempLow[i], value, set_point, l.TemperatureLimit,
       l.TemperatureOffMargin, l.TemperatureDelay * 1000, 1);
}

void TAlarmEngine::Flow(TIncubator& inc, double value, double set_point) {
  if (!inc.Gas.On) return;
  if (inc.Purging || NowMs() - inc.PurgeEnd < kPurgeQuietMs) {
    // The purge flow is not the flow the set-point asks for.
    Cancel(inc, kFlowHigh);
    Cancel(inc, kFlowLow);
    return;
  }
  const TAlarmLimits& l = inc.Limits;
  Band(inc, inc.Gas, kFlowHigh, kFlowLow, value, set_point, l.FlowLimit, 0, l.FlowDelay * 1000, 0);
}

void TAlarmEngine::QueueNoData(TIncubator& inc) {
  if (inc.NoDataQueued) return;
  inc.NoDataQueued = true;
  const std::int64_t from = inc.Linked ? inc.LastReply : inc.DownSince;
  Push(inc, TDue::NoData, kNoData, 0, from + inc.Limits.NoDataDelay * 1000);
}

void TAlarmEngine::Replied(TIncubator& inc) {
  inc.LastReply = NowMs();
  if (IsActive(inc.Slots[kNoData].State)) Clear(inc, kNoData, QStringLiteral("replying"));
  QueueNoData(inc);
}

void TAlarmEngine::OnEvent(TIncubator& inc, const TTileEvent& e) {
  const int side = e.Side == TTileSide::Right ? 1 : 0;
  switch (e.Kind) {
    case TTileEventKind::LinkUp:
      inc.Linked = true;
      inc.EverLinked = true;
      inc.LastReply = NowMs();
      for (TSide& c : inc.Chambers)
        Disarm(inc, c);
      Disarm(inc, inc.Gas);
      QueueNoData(inc);
      break;
    case TTileEventKind::LinkDown:
      inc.Linked = false;
      inc.DownSince = NowMs();
      // Nothing is known until the next link: what was pending waits for new readings.
      for (int s = 0; s < kSlotCount; ++s) {
        if (s != kNoData && s != kLogTrouble) Cancel(inc, s);
      }
      for (TSide& c : inc.Chambers)
        c = TSide{};
      inc.Gas = TSide{};
      inc.LogPendingSince = -1;
      QueueNoData(inc);
      break;
    case TTileEventKind::ChamberOn:
      ChamberState(inc, side, true);
      break;
    case TTileEventKind::ChamberOff:
      ChamberState(inc, side, false);
      break;
    case TTileEventKind::LidOpen:
      Expect(inc, kLid[side], true, inc.Limits.LidOpenDelay * 1000, QStringLiteral("open"),
             Seconds(inc.Limits.LidOpenDelay));
      break;
    case TTileEventKind::LidClosed:
      Cancel(inc, kLid[side]);
      Clear(inc, kLid[side], QStringLiteral("closed"));
      break;
    case TTileEventKind::TempError:
      Expect(inc, kDeviceError[side], true, 0, StateEventText(e.Kind), QString());
      break;
    case TTileEventKind::CO2Error:
    case TTileEventKind::FlowError:
      Expect(inc, kDeviceError[2], true, 0, StateEventText(e.Kind), QString());
      break;
    case TTileEventKind::GasOn:
      GasState(inc, true);
      break;
    case TTileEventKind::GasOff:
      GasState(inc, false);
      break;
    case TTileEventKind::PurgeStart:
      inc.Purging = true;
      Cancel(inc, kFlowHigh);
      Cancel(inc, kFlowLow);
      break;
    case TTileEventKind::PurgeStop:
      inc.Purging = false;
      inc.PurgeEnd = NowMs();
      break;
    case TTileEventKind::SetPointAdjusted:
      if (e.Side == TTileSide::Gas) {
        Disarm(inc, inc.Gas);
      } else {
        Disarm(inc, inc.Chambers[side]);
      }
      break;
    case TTileEventKind::TempsRead:
      Replied(inc);
      Temperature(inc, 0, e.Value, e.SetPoint);
      Temperature(inc, 1, e.Value2, e.SetPoint2);
      break;
    case TTileEventKind::FlowRead:
      Replied(inc);
      Flow(inc, e.Value, e.SetPoint);
      break;
    case TTileEventKind::LogProblem:
      inc.LogProblem = true;
      inc.LogProblemText = e.Text;
      EvaluateLog(inc, e.Text);
      break;
    case TTileEventKind::RecordDue:
    case TTileEventKind::DisplayShown:
    case TTileEventKind::LampShown:
      break;
  }
}

void TAlarmEngine::OnHealth(TIncubator& inc, const TIncubatorHealth& h) {
  const bool errors[3] = {h.LeftTempError, h.RightTempError, h.CO2Error || h.FlowError};
  for (int i = 0; i < 3; ++i) {
    if (!errors[i]) Clear(inc, kDeviceError[i], QStringLiteral("ended"));
  }
  const std::int64_t now = NowMs();
  if (h.LogPendingLines == 0) {
    inc.LogPendingSince = -1;
    inc.LogProblem = false;
  } else if (inc.LogPendingSince < 0) {
    inc.LogPendingSince = now;
    Push(inc, TDue::LogWait, kLogTrouble, 0, now + kLogWaitMs);
  }
  if (h.LogDroppedLines > inc.DroppedSeen) inc.LogLost = true;
  inc.DroppedSeen = h.LogDroppedLines;
  if (inc.LogProblem || inc.LogLost || inc.LogPendingSince >= 0 ||
      IsActive(inc.Slots[kLogTrouble].State)) {
    EvaluateLog(inc);
  }
}

void TAlarmEngine::EvaluateLog(TIncubator& inc, const QString& why) {
  const std::int64_t now = NowMs();
  const bool waiting = inc.LogPendingSince >= 0 && now - inc.LogPendingSince >= kLogWaitMs;
  QString value = why;
  if (value.isEmpty()) {
    if (inc.LogLost) {
      value = QStringLiteral("log lines were lost");
    } else if (inc.LogProblem) {
      value = inc.LogProblemText;
    } else if (waiting) {
      value = QStringLiteral("log lines waiting");
    }
  }
  const bool trouble = inc.LogProblem || inc.LogLost || waiting;
  if (trouble) {
    Expect(inc, kLogTrouble, true, 0, value, QString());
  } else {
    Clear(inc, kLogTrouble, QStringLiteral("writing again"));
  }
}

void TAlarmEngine::SetJournalTrouble(bool trouble, const QString& what) {
  TIncubator& inc = Track(QString(), kProgramName);
  inc.LogProblem = trouble;
  inc.LogProblemText = what;
  EvaluateLog(inc, what);
}

void TAlarmEngine::CommandFailed(const TAlarmTransition& about, const QString& why) {
  TIncubator& inc = Track(about.Serial, about.Name);
  TAlarmTransition t = about;
  t.Transition = TAlarmTransitionKind::CommandFailed;
  t.Time = sched_.Now();
  t.Comment = why;
  t.User.clear();
  t.Announce = false;
  (void)inc;
  ++revision_;
  stream_.Notify(t);
}

void TAlarmEngine::SoundMuted(const QString& user, int minutes) {
  TAlarmTransition t;
  t.Transition = TAlarmTransitionKind::SoundMuted;
  t.Time = sched_.Now();
  t.Value = QStringLiteral("%1 min").arg(minutes);
  t.User = user;
  t.Announce = false;
  ++revision_;
  stream_.Notify(t);
}

// ---------------------------------------------------------------- a person's answers

bool TAlarmEngine::Acknowledge(const QString& serial, TAlarmKey key, const QString& user,
                               const QString& comment) {
  const auto it = incubators_.find(serial);
  const std::optional<int> slot = SlotOf(key);
  if (it == incubators_.end() || !slot) return false;
  TIncubator& inc = *it->second;
  TIncubator::TSlot& s = inc.Slots[*slot];
  if (!IsUnacknowledged(s.State)) return false;
  s.State = s.State == TAlarmState::ActiveUnacknowledged ? TAlarmState::ActiveAcknowledged
                                                         : TAlarmState::Normal;
  s.AcknowledgedBy = user;
  s.AcknowledgedAt = sched_.Now();
  s.Comment = comment;
  ++s.AnnounceGeneration;
  Publish(inc, *slot, TAlarmTransitionKind::Acknowledged, user, comment, !inc.Shelved());
  if (*slot == kLogTrouble && inc.LogLost) {
    // Lost lines stay lost: the alarm ends once someone has taken note of them.
    inc.LogLost = false;
    EvaluateLog(inc);
  }
  return true;
}

int TAlarmEngine::AcknowledgeAll(const QString& user, const QString& comment) {
  std::vector<std::pair<QString, TAlarmKey>> todo;
  for (const auto& [serial, inc] : incubators_) {
    for (int s = 0; s < kSlotCount; ++s) {
      if (IsUnacknowledged(inc->Slots[s].State)) todo.emplace_back(serial, kAlarmSlots[s]);
    }
  }
  int n = 0;
  for (const auto& [serial, key] : todo)
    n += Acknowledge(serial, key, user, comment) ? 1 : 0;
  return n;
}

bool TAlarmEngine::Shelve(const QString& serial, std::int64_t duration_ms, const QString& reason,
                          const QString& user, QString* error) {
  const auto refuse = [&](const QString& why) {
    if (error != nullptr) *error = why;
    return false;
  };
  if (duration_ms <= 0 || duration_ms > kMaxShelfMs) {
    return refuse(QStringLiteral("A shelf lasts more than 0 and at most 8 hours."));
  }
  if (reason.trimmed().isEmpty()) return refuse(QStringLiteral("A reason is required."));
  TIncubator& inc = Track(serial);
  inc.ShelfEnd = NowMs() + duration_ms;
  inc.ShelfEndWall = sched_.Now() + duration_ms / kMsPerDay;
  inc.ShelfReason = reason;
  ++inc.ShelfGeneration;
  Push(inc, TDue::ShelfEnd, -1, inc.ShelfGeneration, inc.ShelfEnd);
  Publish(inc, std::nullopt, TAlarmTransitionKind::Shelved, user, reason, true,
          QString::number((duration_ms + 59999) / 60000) + QStringLiteral(" min"));
  return true;
}

bool TAlarmEngine::Unshelve(const QString& serial, const QString& user) {
  const auto it = incubators_.find(serial);
  if (it == incubators_.end() || !it->second->Shelved()) return false;
  EndShelf(*it->second, user);
  return true;
}

void TAlarmEngine::EndShelf(TIncubator& inc, const QString& user) {
  inc.ShelfEnd = 0;
  ++inc.ShelfGeneration;
  Publish(inc, std::nullopt, TAlarmTransitionKind::Unshelved, user, inc.ShelfReason);
  // What is still active was not heard while the shelf lasted: tell it now.
  for (int s = 0; s < kSlotCount; ++s) {
    if (!IsActive(inc.Slots[s].State)) continue;
    Publish(inc, s, TAlarmTransitionKind::Reannounced);
    QueueReannounce(inc, s);
  }
}

// ---------------------------------------------------------------- restart

void TAlarmEngine::Restore(const std::vector<TAlarmInfo>& alarms) {
  for (const TAlarmInfo& a : alarms) {
    const std::optional<int> slot = SlotOf(a.Key);
    if (!slot || a.State == TAlarmState::Normal) continue;
    TIncubator& inc = Track(a.Serial, a.Name);
    TIncubator::TSlot& s = inc.Slots[*slot];
    s.State = a.State;
    s.RaisedAt = a.Since;
    s.Value = a.Value;
    s.Limit = a.Limit;
    s.AcknowledgedBy = a.AcknowledgedBy;
    s.AcknowledgedAt = a.AcknowledgedAt;
    s.Comment = a.Comment;
    s.BeforeRestart = true;
    Publish(inc, *slot, TAlarmTransitionKind::Restored, QString(), QString(), !inc.Shelved());
    QueueReannounce(inc, *slot);
    // An incubator that does not come back is an alarm of its own.
    if (!inc.EverLinked && !inc.NoDataQueued) {
      inc.DownSince = NowMs();
      QueueNoData(inc);
    }
  }
}

void TAlarmEngine::RestoreShelf(const QString& serial, const QString& name, TDateTime until,
                                const QString& reason) {
  const std::int64_t left = std::min(MillisecondsBetween(sched_.Now(), until), kMaxShelfMs);
  if (left <= 0) return;
  TIncubator& inc = Track(serial, name);
  inc.ShelfEnd = NowMs() + left;
  inc.ShelfEndWall = until;
  inc.ShelfReason = reason;
  ++inc.ShelfGeneration;
  Push(inc, TDue::ShelfEnd, -1, inc.ShelfGeneration, inc.ShelfEnd);
}

// ---------------------------------------------------------------- read-only state

std::vector<TAlarmInfo> TAlarmEngine::Alarms() const {
  std::vector<TAlarmInfo> out;
  for (const auto& [serial, inc] : incubators_) {
    for (int s = 0; s < kSlotCount; ++s) {
      if (inc->Slots[s].State == TAlarmState::Normal) continue;
      if (auto info = Find(serial, kAlarmSlots[s])) out.push_back(std::move(*info));
    }
  }
  return out;
}

std::optional<TAlarmInfo> TAlarmEngine::Find(const QString& serial, TAlarmKey key) const {
  const auto it = incubators_.find(serial);
  const std::optional<int> slot = SlotOf(key);
  if (it == incubators_.end() || !slot) return std::nullopt;
  const TIncubator& inc = *it->second;
  const TIncubator::TSlot& s = inc.Slots[*slot];
  TAlarmInfo a;
  a.Serial = serial;
  a.Name = inc.Name;
  a.Key = key;
  a.Priority = PriorityOf(key.Kind);
  a.State = s.State;
  a.Since = s.RaisedAt;
  a.Value = s.Value;
  a.Limit = s.Limit;
  a.AcknowledgedBy = s.AcknowledgedBy;
  a.AcknowledgedAt = s.AcknowledgedAt;
  a.Comment = s.Comment;
  a.BeforeRestart = s.BeforeRestart;
  a.Shelved = inc.Shelved();
  return a;
}

TAlarmEngine::TSummary TAlarmEngine::Summary(const QString& serial) const {
  TSummary summary;
  const auto it = incubators_.find(serial);
  if (it == incubators_.end()) return summary;
  for (const auto& s : it->second->Slots) {
    summary.Unacknowledged += IsUnacknowledged(s.State) ? 1 : 0;
    summary.Active += IsActive(s.State) ? 1 : 0;
  }
  summary.Shelved = it->second->Shelved();
  return summary;
}

int TAlarmEngine::UnacknowledgedCount() const {
  int n = 0;
  for (const auto& [serial, inc] : incubators_) {
    for (const auto& s : inc->Slots)
      n += IsUnacknowledged(s.State) ? 1 : 0;
  }
  return n;
}

int TAlarmEngine::ActiveCount() const {
  int n = 0;
  for (const auto& [serial, inc] : incubators_) {
    for (const auto& s : inc->Slots)
      n += IsActive(s.State) ? 1 : 0;
  }
  return n;
}

bool TAlarmEngine::IsShelved(const QString& serial) const {
  const auto it = incubators_.find(serial);
  return it != incubators_.end() && it->second->Shelved();
}

std::optional<TDateTime> TAlarmEngine::ShelvedUntil(const QString& serial) const {
  const auto it = incubators_.find(serial);
  if (it == incubators_.end() || !it->second->Shelved()) return std::nullopt;
  return it->second->ShelfEndWall;
}

std::vector<QString> TAlarmEngine::Serials() const {
  std::vector<QString> out;
  for (const auto& [serial, inc] : incubators_)
    out.push_back(serial);
  return out;
}

}  // namespace dova
