#include "alarms/alarm_settings.h"

#include <QVariant>
#include <cmath>

#include "platform/settings/settings_store.h"

namespace dova {

namespace {

constexpr std::int64_t kMaxDelaySeconds = 24 * 3600;

// A number from a settings value: a number type, or a text that reads as one.
std::optional<double> Number(const QVariant& v) {
  bool ok = false;
  const double d = v.toString().trimmed().toDouble(&ok);
  if (!ok || !std::isfinite(d)) return std::nullopt;
  return d;
}

std::optional<bool> Flag(const QVariant& v) {
  const QString text = v.toString().trimmed().toLower();
  if (text == QLatin1String("true") || text == QLatin1String("1")) return true;
  if (text == QLatin1String("false") || text == QLatin1String("0")) return false;
  return std::nullopt;
}

}  // namespace

TAlarmSettings::TAlarmSettings(const SettingsStore* store) : store_(store) {
  if (store_ == nullptr) return;
  const QVariant command = store_->Value(QStringLiteral("Alarms/Command"));
  if (command.isValid()) command_ = command.toString();
}

QString TAlarmSettings::SerialGroup(const QString& serial) {
  // A serial is device text: keep it from making sub-groups of its own.
  QString key = serial;
  key.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
  return QStringLiteral("Alarms/") + key;
}

void TAlarmSettings::Problem(const QString& text) {
  if (told_.contains(text)) return;
  told_.append(text);
  new_problems_.append(text);
}

QStringList TAlarmSettings::TakeProblems() {
  return std::exchange(new_problems_, {});
}

void TAlarmSettings::Reload() {
  defaults_read_ = false;
  per_serial_.clear();
  told_.clear();
}

TAlarmLimits TAlarmSettings::Read(const QString& group, const TAlarmLimits& fallback) {
  TAlarmLimits limits = fallback;
  if (store_ == nullptr) return limits;
  // A number setting: its name, its range, and the field it sets (a real or a whole number).
  struct NumberSetting {
    const char* name;
    double minimum;
    double maximum;
    double* real;
    std::int64_t* whole;
  };
  const NumberSetting numbers[] = {
      {"TemperatureLimit", 0.0001, 100, &limits.TemperatureLimit, nullptr},
      {"TemperatureOffMargin", 0, 100, &limits.TemperatureOffMargin, nullptr},
      {"TemperatureDelay", 0, kMaxDelaySeconds, nullptr, &limits.TemperatureDelay},
      {"LidOpenDelay", 0, kMaxDelaySeconds, nullptr, &limits.LidOpenDelay},
      {"FlowLimit", 0.0001, 10000, &limits.FlowLimit, nullptr},
      {"FlowDelay", 0, kMaxDelaySeconds, nullptr, &limits.FlowDelay},
      {"NoDataDelay", 1, kMaxDelaySeconds, nullptr, &limits.NoDataDelay},
      {"ReannounceInterval", 0, kMaxDelaySeconds, nullptr, &limits.ReannounceInterval},
  };
  // A tile's limits are read when it connects: the whole group at one look at the store,
  // the numbers first, then a switch per kind of alarm.
  const QString prefix = group + QLatin1Char('/');
  QStringList keys;
  for (const NumberSetting& n : numbers)
    keys.append(prefix + QLatin1String(n.name));
  for (int k = 0; k < kAlarmKindCount; ++k)
    keys.append(prefix + KindKey(static_cast<TAlarmKind>(k)) + QStringLiteral("Enabled"));
  const QVariantList values = store_->Values(keys);
  qsizetype at = 0;
  for (const NumberSetting& n : numbers) {
    const QString& key = keys.at(at);
    const QVariant& v = values.at(at++);
    if (!v.isValid()) continue;
    const std::optional<double> d = Number(v);
    if (!d || *d < n.minimum || *d > n.maximum) {
      const double kept = n.real ? *n.real : static_cast<double>(*n.whole);
      Problem(QStringLiteral("The alarm setting %1 cannot be used (\"%2\"); using %3.")
                  .arg(key, v.toString(), QString::number(kept)));
      continue;
    }
    if (n.real) {
      *n.real = *d;
    } else {
      *n.whole = std::llround(*d);
    }
  }
  if (limits.TemperatureOffMargin >= limits.TemperatureLimit) {
    Problem(QStringLiteral("The alarm setting %1/TemperatureOffMargin must be smaller than the "
                           "temperature limit; using %2.")
                .arg(group)
                .arg(fallback.TemperatureOffMargin < limits.TemperatureLimit
                         ? fallback.TemperatureOffMargin
                         : 0.0));
    limits.TemperatureOffMargin =
        fallback.TemperatureOffMargin < limits.TemperatureLimit ? fallback.TemperatureOffMargin : 0;
  }
  for (int k = 0; k < kAlarmKindCount; ++k) {
    const QString& key = keys.at(at);
    const QVariant& v = values.at(at++);
    if (!v.isValid()) continue;
    const std::optional<bool> on = Flag(v);
    if (!on) {
      Problem(QStringLiteral("The alarm setting %1 cannot be used (\"%2\"); using %3.")
                  .arg(key, v.toString(),
                       limits.Enabled[k] ? QStringLiteral("true") : QStringLiteral("false")));
      continue;
    }
    limits.Enabled[k] = *on;
  }
  return limits;
}

const TAlarmLimits& TAlarmSettings::Defaults() {
  if (!defaults_read_) {
    defaults_ = Read(QStringLiteral("Alarms"), TAlarmLimits{});
    defaults_read_ = true;
  }
  return defaults_;
}

const TAlarmLimits& TAlarmSettings::Limits(const QString& serial) {
  Defaults();
  auto it = per_serial_.find(serial);
  if (it == per_serial_.end()) {
    it = per_serial_.emplace(serial, Read(SerialGroup(serial), defaults_)).first;
  }
  return it->second;
}

}  // namespace dova
