#pragma once

#include <QString>
#include <functional>

#include "alarms/alarm_types.h"
#include "platform/observer.h"

namespace dova {

class TAlarmEngine;

// One console line for an alarm transition, device text made printable:
// "14:05:09 ALARM raised: lid open too long, Left, Bench (a1b2c3): open, limit 180 s".
QString AlarmLine(const TAlarmTransition& t);

// The live table's alarm column for one incubator: "2 unack", "1 active", "shelved" or
// empty when all is quiet.
QString AlarmColumn(const TAlarmEngine& engine, const QString& serial);

// The console's part of the alarms: a line for every transition that is announced (shelved
// incubators stay quiet until their shelf ends), and the key that acknowledges them all.
class TAlarmConsole {
 public:
  TAlarmConsole(TAlarmEngine& engine, std::function<void(const QString&)> print);
  // A key pressed on the terminal: 'a' acknowledges every alarm under `user`.
  void Key(char key, const QString& user);

 private:
  TAlarmEngine& engine_;
  std::function<void(const QString&)> print_;
  TScopedSubscription subscription_;
};

}  // namespace dova
