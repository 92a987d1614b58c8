#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <map>

#include "alarms/alarm_types.h"

namespace dova {

class SettingsStore;

// The limits and delays of one incubator's alarms. Delays and intervals in seconds.
struct TAlarmLimits {
  double TemperatureLimit = 0.5;      // °C from the set-point
  double TemperatureOffMargin = 0.1;  // back within limit - margin to clear
  std::int64_t TemperatureDelay = 600;
  std::int64_t LidOpenDelay = 180;
  double FlowLimit = 5;  // ml/min from the gas set-point
  std::int64_t FlowDelay = 600;
  std::int64_t NoDataDelay = 60;
  std::int64_t ReannounceInterval = 900;
  std::array<bool, kAlarmKindCount> Enabled = {true, true, true, true, true, true, true, true};

  bool IsEnabled(TAlarmKind kind) const { return Enabled[static_cast<int>(kind)]; }
  bool operator==(const TAlarmLimits&) const = default;
};

// The alarm settings of the program's settings key: the group "Alarms" holds the defaults
// ("TemperatureLimit", "TemperatureOffMargin", "TemperatureDelay", "LidOpenDelay",
// "FlowLimit", "FlowDelay", "NoDataDelay", "ReannounceInterval", "<Kind>Enabled", "Command")
// and "Alarms/<serial>/…" the same names for one incubator. A value that cannot be read (not
// a number, out of range, an off-margin not below its limit) falls back to the next level
// (the group's value, then the built-in default) and is told once in `Problems`.
class TAlarmSettings {
 public:
  TAlarmSettings() = default;
  explicit TAlarmSettings(const SettingsStore* store);

  // The limits of one incubator (read once per serial, then kept until Reload).
  const TAlarmLimits& Limits(const QString& serial);
  // The program to run on every announced transition; empty for none.
  const QString& Command() const { return command_; }
  void SetCommand(const QString& program) { command_ = program; }
  // Forget what was read, so the next Limits reads the store again (after a change).
  void Reload();

  // Every value that could not be read, each told once; Take hands over the new ones.
  QStringList TakeProblems();

  // The settings name under which an incubator's values are kept ("Alarms/<serial>").
  static QString SerialGroup(const QString& serial);

 private:
  TAlarmLimits Read(const QString& group, const TAlarmLimits& fallback);
  void Problem(const QString& text);

  const SettingsStore* store_ = nullptr;
  TAlarmLimits defaults_;
  bool defaults_read_ = false;
  QString command_;
  std::map<QString, TAlarmLimits> per_serial_;
  QStringList told_;
  QStringList new_problems_;
};

}  // namespace dova
