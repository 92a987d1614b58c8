#include "alarms/alarm_board.h"

#include <algorithm>

namespace dova {

namespace {

bool Unacknowledged(TAlarmState state) {
  return state == TAlarmState::ActiveUnacknowledged || state == TAlarmState::ClearedUnacknowledged;
}

QString Capitalised(QString text) {
  if (!text.isEmpty()) text[0] = text[0].toUpper();
  return text;
}

}  // namespace

QString AlarmTitle(const TAlarmKey& key) {
  const QString& side = SideText(key.Side);
  if (side.isEmpty()) return Capitalised(KindText(key.Kind));
  return side + u' ' + KindText(key.Kind);
}

TAlarmBoard::TAlarmBoard(Scheduler& sched, TAlarmEngine& engine)
    : engine_(engine), flash_timer_(sched, kFlashIntervalMs, false) {
  flash_timer_.SetOnTimer([this] { OnFlash(); });
  subscription_ = engine_.Stream().Subscribe([this](const TAlarmTransition&) { Refresh(); });
  Refresh();
}

TAlarmBoard::~TAlarmBoard() {
  engine_.Stream().Unsubscribe(subscription_);
}

TAlarmFrame TAlarmBoard::Frame(const QString& serial) const {
  if (engine_.IsShelved(serial)) return TAlarmFrame::Shelved;
  TAlarmFrame frame = TAlarmFrame::None;
  for (const TAlarmInfo& a : engine_.Alarms()) {
    if (a.Serial != serial) continue;
    if (Unacknowledged(a.State)) return TAlarmFrame::Flashing;
    if (a.State == TAlarmState::ActiveAcknowledged) frame = TAlarmFrame::Steady;
  }
  return frame;
}

QString TAlarmBoard::HintText(const QString& serial) const {
  QStringList parts;
  for (const TAlarmInfo& a : Rows()) {
    if (a.Serial != serial) continue;
    parts << AlarmTitle(a.Key) + QStringLiteral(" (") + StateText(a.State) + u')';
  }
  if (engine_.IsShelved(serial)) parts.prepend(QStringLiteral("shelved"));
  if (parts.isEmpty()) return {};
  return QStringLiteral("Alarms: ") + parts.join(QStringLiteral("; "));
}

QString TAlarmBoard::Summary() const {
  const std::vector<TAlarmInfo> alarms = engine_.Alarms();
  if (alarms.empty()) return QStringLiteral("No alarms");
  const auto unacknowledged = std::count_if(
      alarms.begin(), alarms.end(), [](const TAlarmInfo& a) { return Unacknowledged(a.State); });
  QString text = alarms.size() == 1 ? QStringLiteral("1 alarm")
                                    : QStringLiteral("%1 alarms").arg(alarms.size());
  if (unacknowledged > 0) text += QStringLiteral(", %1 unacknowledged").arg(unacknowledged);
  return text;
}

std::vector<TAlarmInfo> TAlarmBoard::Rows() const {
  std::vector<TAlarmInfo> rows = engine_.Alarms();
  std::stable_sort(rows.begin(), rows.end(), [](const TAlarmInfo& a, const TAlarmInfo& b) {
    const bool ua = Unacknowledged(a.State), ub = Unacknowledged(b.State);
    if (ua != ub) return ua;
    return a.Since > b.Since;
  });
  return rows;
}

void TAlarmBoard::Refresh() {
  bool flashing = false;
  for (const QString& serial : engine_.Serials())
    flashing = flashing || Frame(serial) == TAlarmFrame::Flashing;
  if (flashing && !flash_timer_.Enabled()) {
    flash_on_ = true;
    flash_timer_.SetEnabled(true);
  } else if (!flashing) {
    flash_timer_.SetEnabled(false);
    flash_on_ = true;
  }
  changed_.Notify();
}

void TAlarmBoard::OnFlash() {
  flash_on_ = !flash_on_;
  changed_.Notify();
}

}  // namespace dova
