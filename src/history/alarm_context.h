#pragma once

// What the alarm side knows about a stored log: the alarm band of its incubator (from the
// alarm settings) and the alarm journal's entries for it when a journal lies beside the file.

#include <QString>
#include <QStringList>
#include <vector>

#include "alarms/alarm_types.h"
#include "history/period_stats.h"

namespace dova {

class TAlarmSettings;

// The band of one incubator: its own temperature and flow limits when it has any, the
// group's defaults otherwise, the built-in ones when neither is set.
TAlarmBand AlarmBandOf(TAlarmSettings& settings, const QString& serial);

// The journal entries of one incubator in a period, read from the journals in the log's
// folder ("Alarm Journal.csv", "Alarm Journal (2).csv", … as the logger starts them), oldest
// first. A journal that breaks its chain gives its entries up to the break, and says so.
struct TJournalExtract {
  // The journal files found beside the log, in order; none when there is no journal.
  QStringList Files;
  std::vector<TAlarmTransition> Entries;
  // One text per journal that is damaged or cannot be read.
  QStringList Problems;
};
TJournalExtract JournalEntriesBeside(const QString& log_path, const QString& serial, TDateTime from,
                                     TDateTime to);

}  // namespace dova
