#include "history/alarm_context.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "alarms/alarm_journal.h"
#include "alarms/alarm_settings.h"

namespace dova {

TAlarmBand AlarmBandOf(TAlarmSettings& settings, const QString& serial) {
  const TAlarmLimits& limits = serial.isEmpty() ? settings.Defaults() : settings.Limits(serial);
  TAlarmBand band;
  band.Temperature = limits.TemperatureLimit;
  band.Flow = limits.FlowLimit;
  return band;
}

TJournalExtract JournalEntriesBeside(const QString& log_path, const QString& serial, TDateTime from,
                                     TDateTime to) {
  TJournalExtract extract;
  const QDir folder = QFileInfo(log_path).absoluteDir();
  for (int n = 1;; ++n) {
    const QString name = n == 1 ? QString::fromLatin1(kJournalFileName)
                                : QStringLiteral("Alarm Journal (%1).csv").arg(n);
    const QString path = folder.filePath(name);
    QFile file(path);
    if (!file.exists()) break;
    extract.Files << path;
    if (!file.open(QIODevice::ReadOnly)) {
      extract.Problems << name + QStringLiteral(" cannot be read (") + file.errorString() +
                              QStringLiteral(")");
      continue;
    }
    const TJournalCheck check = CheckJournal(file.readAll());
    if (!check.Intact) {
      extract.Problems << QStringLiteral(
                              "%1 is damaged at line %2 (%3); its entries up to there "
                              "are listed")
                              .arg(name)
                              .arg(check.BrokenLine)
                              .arg(check.Problem);
    }
    for (const TJournalEntry& entry : check.Read) {
      const TAlarmTransition& t = entry.Transition;
      if (t.Serial != serial || t.Time < from || t.Time > to) continue;
      extract.Entries.push_back(t);
    }
  }
  std::stable_sort(
      extract.Entries.begin(), extract.Entries.end(),
      [](const TAlarmTransition& a, const TAlarmTransition& b) { return a.Time < b.Time; });
  return extract;
}

}  // namespace dova
