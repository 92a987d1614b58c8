#pragma once

#include <QString>
#include <optional>
#include <vector>

#include "alarms/alarm_settings.h"

namespace dova {

class SettingsStore;

// The alarm limits of one incubator as a person edits them: every value with the default it
// has otherwise, and whether this incubator has its own. Checked before it is stored; stored
// under "Alarms/<serial>/…", where a value that follows the default is removed.
class TAlarmLimitsEdit {
 public:
  struct TValue {
    QString Key;    // the setting's name ("TemperatureLimit")
    QString Label;  // "Temperature limit"
    QString Unit;   // "°C", "ml/min", "s"
    double Default = 0;
    std::optional<double> Own;  // nothing: the default applies
    double Minimum = 0;
    double Maximum = 0;
    bool Whole = false;  // seconds
    bool MustBePositive = false;
    double Effective() const { return Own.value_or(Default); }
  };
  struct TSwitch {
    TAlarmKind Kind;
    QString Label;  // "Temperature high"
    bool Default = true;
    std::optional<bool> Own;
    bool Effective() const { return Own.value_or(Default); }
  };

  TAlarmLimitsEdit(SettingsStore& store, TAlarmSettings& settings, QString serial);

  const QString& Serial() const { return serial_; }
  std::vector<TValue>& Values() { return values_; }
  std::vector<TSwitch>& Switches() { return switches_; }
  TValue* Find(const QString& key);

  // What is wrong, one sentence per problem; empty when the values can be stored.
  QStringList Problems() const;
  // Stores the values (after Problems came back empty) and makes the settings read them
  // again. False, with `error` set, when the store refuses.
  bool Store(QString* error);

 private:
  SettingsStore& store_;
  TAlarmSettings& settings_;
  QString serial_;
  std::vector<TValue> values_;
  std::vector<TSwitch> switches_;
};

}  // namespace dova
