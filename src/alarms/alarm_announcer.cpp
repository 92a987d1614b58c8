#include "alarms/alarm_announcer.h"

#include "alarms/alarm_board.h"

namespace dova {

TDesktopNotice NoticeOf(const TAlarmTransition& raised) {
  TDesktopNotice notice;
  const QString who = raised.Name.isEmpty()
                          ? raised.Serial
                          : raised.Name + QStringLiteral(" (") + raised.Serial + u')';
  notice.Summary =
      who + QStringLiteral(": ") + (raised.Key ? AlarmTitle(*raised.Key) : QStringLiteral("alarm"));
  if (!raised.Value.isEmpty()) {
    notice.Body = raised.Value;
    if (!raised.Limit.isEmpty()) notice.Body += QStringLiteral(", limit ") + raised.Limit;
  }
  notice.Urgent = raised.Priority == TAlarmPriority::High;
  return notice;
}

TAlarmAnnouncer::TAlarmAnnouncer(Scheduler& sched, TAlarmEngine& engine, AlarmSound& sound,
                                 DesktopNotifier& notifier)
    : engine_(engine),
      sound_(sound),
      notifier_(notifier),
      repeat_timer_(sched, kRepeatMs, false),
      mute_timer_(sched, kMuteMs, false) {
  repeat_timer_.SetOnTimer([this] { sound_.Play(); });
  mute_timer_.SetOnTimer([this] { Unmute(); });
  subscription_ =
      engine_.Stream().Subscribe([this](const TAlarmTransition& t) { OnTransition(t); });
  Update();
}

TAlarmAnnouncer::~TAlarmAnnouncer() {
  engine_.Stream().Unsubscribe(subscription_);
}

void TAlarmAnnouncer::Mute() {
  // Restarting the countdown: fifteen minutes from the last time the user muted.
  mute_timer_.SetEnabled(false);
  mute_timer_.SetEnabled(true);
  Update();
  mute_changed_.Notify();
}

void TAlarmAnnouncer::Unmute() {
  if (!mute_timer_.Enabled()) return;
  mute_timer_.SetEnabled(false);
  Update();
  mute_changed_.Notify();
}

void TAlarmAnnouncer::OnTransition(const TAlarmTransition& t) {
  if (t.Transition == TAlarmTransitionKind::Raised && t.Announce) {
    notifier_.Notify(NoticeOf(t));
    // A new alarm must be heard, muted or not.
    Unmute();
  }
  Update();
}

bool TAlarmAnnouncer::AnyAnnouncedUnacknowledged() const {
  for (const TAlarmInfo& a : engine_.Alarms()) {
    if (a.Shelved || engine_.IsShelved(a.Serial)) continue;
    if (a.State == TAlarmState::ActiveUnacknowledged ||
        a.State == TAlarmState::ClearedUnacknowledged) {
      return true;
    }
  }
  return false;
}

void TAlarmAnnouncer::Update() {
  const bool sound = AnyAnnouncedUnacknowledged() && !Muted();
  if (sound && !repeat_timer_.Enabled()) {
    sound_.Play();
    repeat_timer_.SetEnabled(true);
  } else if (!sound) {
    repeat_timer_.SetEnabled(false);
  }
}

}  // namespace dova
