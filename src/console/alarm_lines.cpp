#include "console/alarm_lines.h"

#include <QDateTime>

#include "alarms/alarm_engine.h"
#include "console/headless_logger.h"

namespace dova {

QString AlarmLine(const TAlarmTransition& t) {
  QString line = QDateTimeFromDateTime(t.Time).toString(QStringLiteral("HH:mm:ss")) +
                 QStringLiteral(" ALARM ") + TransitionText(t.Transition) + QStringLiteral(": ");
  if (t.Key) {
    line += KindText(t.Key->Kind);
    if (t.Key->Side != TAlarmSide::None) line += QStringLiteral(", ") + SideText(t.Key->Side);
    line += QStringLiteral(", ");
  }
  const QString who = t.Name.isEmpty() ? Printable(t.Serial)
                                       : Printable(t.Name) + QStringLiteral(" (") +
                                             Printable(t.Serial) + QLatin1Char(')');
  line += who;
  if (!t.Value.isEmpty()) line += QStringLiteral(": ") + Printable(t.Value);
  if (!t.Limit.isEmpty()) line += QStringLiteral(", limit ") + Printable(t.Limit);
  if (!t.User.isEmpty()) line += QStringLiteral(", by ") + Printable(t.User);
  if (!t.Comment.isEmpty()) line += QStringLiteral(" \"") + Printable(t.Comment) + QLatin1Char('"');
  return line;
}

QString AlarmColumn(const TAlarmEngine& engine, const QString& serial) {
  if (engine.IsShelved(serial)) return QStringLiteral("shelved");
  int unacknowledged = 0;
  int active = 0;
  for (const TAlarmInfo& a : engine.Alarms()) {
    if (a.Serial != serial) continue;
    if (a.State == TAlarmState::ActiveUnacknowledged ||
        a.State == TAlarmState::ClearedUnacknowledged) {
      ++unacknowledged;
    } else if (a.State == TAlarmState::ActiveAcknowledged) {
      ++active;
    }
  }
  if (unacknowledged > 0) return QStringLiteral("%1 unack").arg(unacknowledged);
  if (active > 0) return QStringLiteral("%1 active").arg(active);
  return QString();
}

TAlarmConsole::TAlarmConsole(TAlarmEngine& engine, std::function<void(const QString&)> print)
    : engine_(engine), print_(std::move(print)) {
  subscription_ = TScopedSubscription(engine.Stream(), [this](const TAlarmTransition& t) {
    if (t.Announce) print_(AlarmLine(t));
  });
  // What the journal held from before: listed again until someone acknowledges it.
  for (const TAlarmInfo& a : engine.Alarms()) {
    if (!a.BeforeRestart || a.Shelved) continue;
    TAlarmTransition t;
    t.Transition = TAlarmTransitionKind::Restored;
    t.Time = a.Since;
    t.Serial = a.Serial;
    t.Name = a.Name;
    t.Key = a.Key;
    t.Value = a.Value;
    t.Limit = a.Limit;
    print_(AlarmLine(t));
  }
}

void TAlarmConsole::Key(char key, const QString& user) {
  if (key != 'a' && key != 'A') return;
  if (engine_.AcknowledgeAll(user) == 0) print_(QStringLiteral("No alarm to acknowledge."));
}

}  // namespace dova
