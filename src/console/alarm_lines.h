#pragma once

#include <QString>

#include "alarms/alarm_types.h"

namespace dova {

class TAlarmEngine;

// One console line for an alarm transition, device text made printable:
// "14:05:09 ALARM raised: lid open too long, Left, Bench (a1b2c3): open, limit 180 s".
QString AlarmLine(const TAlarmTransition& t);

// The live table's alarm column for one incubator: "2 unack", "1 active", "shelved" or
// empty when all is quiet.
QString AlarmColumn(const TAlarmEngine& engine, const QString& serial);

}  // namespace dova
