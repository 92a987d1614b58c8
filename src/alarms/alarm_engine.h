#pragma once

#include <QString>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <queue>
#include <vector>

#include "alarms/alarm_settings.h"
#include "alarms/alarm_types.h"
#include "monitor/tile_events.h"
#include "platform/timer.h"

namespace dova {

class Scheduler;

// What a tile's parts hold besides its events, read once per poll cycle: the error states
// (their end is not an event of its own) and how its log is doing.
struct TIncubatorHealth {
  bool LeftTempError = false;
  bool RightTempError = false;
  bool CO2Error = false;
  bool FlowError = false;
  std::size_t LogPendingLines = 0;
  std::uint64_t LogDroppedLines = 0;
};

// The alarm engine: it follows every incubator's events (by serial, so an alarm outlives its
// tile and the tile's next link), decides when an alarm is raised, cleared, acknowledged,
// shelved and announced again, and tells each of those on one stream. It writes no file and
// shows nothing: the journal, the console, metrics and the command listen to the stream.
//
// Time-driven decisions (on-delays, no data, log lines waiting, re-announcement, shelf end)
// sit in one due-time queue behind one timer; a queued entry that no longer applies is
// dropped when it falls due. Everything runs on the scheduler's thread.
class TAlarmEngine {
 public:
  // A temperature or flow alarm is armed at the latest this long after the chamber came
  // on, the link came up or the set-point changed.
  static constexpr std::int64_t kArmingMs = 60LL * 60 * 1000;
  // Flow alarms rest while a purge runs and this long after it.
  static constexpr std::int64_t kPurgeQuietMs = 5LL * 60 * 1000;
  // Log lines waiting longer than this are log trouble.
  static constexpr std::int64_t kLogWaitMs = 60LL * 1000;
  static constexpr std::int64_t kMaxShelfMs = 8LL * 60 * 60 * 1000;
  // The name under which the program's own troubles (its journal) are told.
  static inline const QString kProgramName = QStringLiteral("Alarm Journal");

  struct TIncubator;

  TAlarmEngine(Scheduler& sched, TAlarmSettings& settings);
  ~TAlarmEngine();
  TAlarmEngine(const TAlarmEngine&) = delete;
  TAlarmEngine& operator=(const TAlarmEngine&) = delete;

  TAlarmStream& Stream() { return stream_; }

  // --- input
  // The incubator with this serial (made on first use; never freed while the engine lives).
  TIncubator& Track(const QString& serial, const QString& name = QString());
  void OnEvent(TIncubator& incubator, const TTileEvent& e);
  void OnHealth(TIncubator& incubator, const TIncubatorHealth& health);
  // The alarm journal cannot be written (what says why), or writes again.
  void SetJournalTrouble(bool trouble, const QString& what = QString());
  // A command run for a transition failed (journaled, not announced).
  void CommandFailed(const TAlarmTransition& about, const QString& why);

  // --- a person's answers
  // False when there is no unacknowledged alarm of that key.
  bool Acknowledge(const QString& serial, TAlarmKey key, const QString& user,
                   const QString& comment = QString());
  // Acknowledges every unacknowledged alarm; returns how many.
  int AcknowledgeAll(const QString& user, const QString& comment = QString());
  // Shelves an incubator for maintenance: at most kMaxShelfMs and a reason are required.
  // On refusal returns false and says why in `error`.
  bool Shelve(const QString& serial, std::int64_t duration_ms, const QString& reason,
              const QString& user, QString* error = nullptr);
  bool Unshelve(const QString& serial, const QString& user);

  // --- restart: what the journal held that is not settled yet
  void Restore(const std::vector<TAlarmInfo>& alarms);
  void RestoreShelf(const QString& serial, const QString& name, TDateTime until,
                    const QString& reason);

  // Reads the limits of every incubator again (after the settings changed).
  void ReloadSettings();

  // --- read-only state for the front ends
  // Every alarm that is not normal, in serial and slot order.
  std::vector<TAlarmInfo> Alarms() const;
  std::optional<TAlarmInfo> Find(const QString& serial, TAlarmKey key) const;
  int UnacknowledgedCount() const;
  int ActiveCount() const;
  bool IsShelved(const QString& serial) const;
  // When the shelf of an incubator ends; nothing when it is not shelved.
  std::optional<TDateTime> ShelvedUntil(const QString& serial) const;
  std::vector<QString> Serials() const;
  // Grows with every transition, so a view can tell whether it is up to date.
  std::uint64_t Revision() const { return revision_; }
  // Entries in the due-time queue (for tests of bookkeeping).
  std::size_t QueuedCount() const { return queue_.size(); }

 private:
  enum class TDue : std::uint8_t { Raise, NoData, LogWait, Reannounce, ShelfEnd };
  struct TEntry {
    std::int64_t Due;
    std::uint64_t Seq;
    TIncubator* Incubator;
    TDue What;
    std::int8_t Slot;
    std::uint32_t Generation;
    bool operator>(const TEntry& o) const { return Due != o.Due ? Due > o.Due : Seq > o.Seq; }
  };
  struct TSide;

  std::int64_t NowMs() const;
  void Push(TIncubator& inc, TDue what, int slot, std::uint32_t generation, std::int64_t due);
  void Rearm();
  void OnTimer();
  void Fire(const TEntry& entry, std::int64_t now);

  // An alarm's condition as seen now: raises after the delay (pending meanwhile).
  void Expect(TIncubator& inc, int slot, bool condition, std::int64_t delay_ms,
              const QString& value, const QString& limit);
  void Cancel(TIncubator& inc, int slot);
  void Raise(TIncubator& inc, int slot);
  void Clear(TIncubator& inc, int slot, const QString& value = QString());
  void Publish(TIncubator& inc, std::optional<int> slot, TAlarmTransitionKind what,
               const QString& user = QString(), const QString& comment = QString(),
               bool announce = true, const QString& value = QString());
  void QueueReannounce(TIncubator& inc, int slot);
  void EndShelf(TIncubator& inc, const QString& user);

  void Disarm(TIncubator& inc, TSide& side);
  void ChamberState(TIncubator& inc, int side, bool on);
  void GasState(TIncubator& inc, bool on);
  void Temperature(TIncubator& inc, int side, double value, double set_point);
  void Flow(TIncubator& inc, double value, double set_point);
  void Band(TIncubator& inc, TSide& side, int high, int low, double value, double set_point,
            double limit, double off_margin, std::int64_t delay_ms, int decimals);
  void Replied(TIncubator& inc);
  void QueueNoData(TIncubator& inc);
  void EvaluateLog(TIncubator& inc, const QString& why = QString());

  Scheduler& sched_;
  TAlarmSettings& settings_;
  TAlarmStream stream_;
  std::map<QString, std::unique_ptr<TIncubator>> incubators_;
  std::priority_queue<TEntry, std::vector<TEntry>, std::greater<TEntry>> queue_;
  std::uint64_t next_seq_ = 1;
  Timer timer_;
  std::int64_t armed_due_ = 0;
  bool timer_armed_ = false;
  bool firing_ = false;
  std::uint64_t revision_ = 0;
};

}  // namespace dova
