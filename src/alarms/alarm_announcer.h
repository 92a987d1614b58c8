#pragma once

#include <cstdint>
#include <optional>

#include "alarms/alarm_engine.h"
#include "platform/datetime.h"
#include "platform/notify/desktop_notifier.h"
#include "platform/observer.h"
#include "platform/sound/alarm_sound.h"
#include "platform/timer.h"

namespace dova {

// What the windowed program makes heard and seen outside its window: while any announced
// alarm waits for acknowledgement and the sound is not muted, the alarm tone at once and
// then every five seconds; a desktop notice for every raise. Muting lasts fifteen minutes
// and a new alarm ends it. Alarms of a shelved incubator are not announced.
class TAlarmAnnouncer {
 public:
  static constexpr std::uint32_t kRepeatMs = 5000;
  static constexpr std::uint32_t kMuteMs = 15 * 60 * 1000;

  TAlarmAnnouncer(Scheduler& sched, TAlarmEngine& engine, AlarmSound& sound,
                  DesktopNotifier& notifier);
  ~TAlarmAnnouncer();
  TAlarmAnnouncer(const TAlarmAnnouncer&) = delete;
  TAlarmAnnouncer& operator=(const TAlarmAnnouncer&) = delete;

  void Mute();
  void Unmute();
  bool Muted() const { return mute_timer_.Enabled(); }
  // Whether the tone repeats now.
  bool Sounding() const { return repeat_timer_.Enabled(); }
  // Told when muting starts or ends.
  TObservers<>& MuteChanged() { return mute_changed_; }

 private:
  void OnTransition(const TAlarmTransition& t);
  void Update();
  bool AnyAnnouncedUnacknowledged() const;

  TAlarmEngine& engine_;
  AlarmSound& sound_;
  DesktopNotifier& notifier_;
  Timer repeat_timer_;
  Timer mute_timer_;
  TObservers<> mute_changed_;
  TAlarmStream::TSubscription subscription_ = 0;
};

// The desktop notice of a raise: "IVF 3 (1234567): Left temperature high", "38.2, limit 37.5".
TDesktopNotice NoticeOf(const TAlarmTransition& raised);

}  // namespace dova
