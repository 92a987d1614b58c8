#include "alarms/alarm_limits_edit.h"

#include <QVariant>

#include "platform/settings/settings_store.h"

namespace dova {

namespace {
constexpr double kDay = 24 * 3600;

QString Number(double v) {
  return QString::number(v, 'g', 10);
}
}  // namespace

TAlarmLimitsEdit::TAlarmLimitsEdit(SettingsStore& store, TAlarmSettings& settings, QString serial)
    : store_(store), settings_(settings), serial_(std::move(serial)) {
  const TAlarmLimits& d = settings_.Defaults();
  const TAlarmLimits& own = settings_.Limits(serial_);
  const QString group = TAlarmSettings::SerialGroup(serial_);
  auto add = [&](const char* key, const char* label, const char* unit, double def, double mine,
                 double minimum, double maximum, bool whole, bool positive) {
    TValue v;
    v.Key = QString::fromLatin1(key);
    v.Label = QString::fromUtf8(label);
    v.Unit = QString::fromUtf8(unit);
    v.Default = def;
    if (store_.Value(group + u'/' + v.Key).isValid()) v.Own = mine;
    v.Minimum = minimum;
    v.Maximum = maximum;
    v.Whole = whole;
    v.MustBePositive = positive;
    values_.push_back(v);
  };
  add("TemperatureLimit", "Temperature limit", "°C", d.TemperatureLimit, own.TemperatureLimit, 0,
      100, false, true);
  add("TemperatureOffMargin", "Temperature off-margin", "°C", d.TemperatureOffMargin,
      own.TemperatureOffMargin, 0, 100, false, false);
  add("TemperatureDelay", "Temperature delay", "s", static_cast<double>(d.TemperatureDelay),
      static_cast<double>(own.TemperatureDelay), 0, kDay, true, false);
  add("LidOpenDelay", "Lid open delay", "s", static_cast<double>(d.LidOpenDelay),
      static_cast<double>(own.LidOpenDelay), 0, kDay, true, false);
  add("FlowLimit", "Gas flow limit", "ml/min", d.FlowLimit, own.FlowLimit, 0, 10000, false, true);
  add("FlowDelay", "Gas flow delay", "s", static_cast<double>(d.FlowDelay),
      static_cast<double>(own.FlowDelay), 0, kDay, true, false);
  add("NoDataDelay", "No data delay", "s", static_cast<double>(d.NoDataDelay),
      static_cast<double>(own.NoDataDelay), 1, kDay, true, false);
  add("ReannounceInterval", "Announce again every", "s", static_cast<double>(d.ReannounceInterval),
      static_cast<double>(own.ReannounceInterval), 0, kDay, true, false);
  for (int k = 0; k < kAlarmKindCount; ++k) {
    const auto kind = static_cast<TAlarmKind>(k);
    TSwitch s{kind, KindText(kind), d.IsEnabled(kind), std::nullopt};
    if (!s.Label.isEmpty()) s.Label[0] = s.Label[0].toUpper();
    if (store_.Value(group + u'/' + KindKey(kind) + QStringLiteral("Enabled")).isValid()) {
      s.Own = own.IsEnabled(kind);
    }
    switches_.push_back(s);
  }
}

TAlarmLimitsEdit::TValue* TAlarmLimitsEdit::Find(const QString& key) {
  for (TValue& v : values_)
    if (v.Key == key) return &v;
  return nullptr;
}

QStringList TAlarmLimitsEdit::Problems() const {
  QStringList problems;
  for (const TValue& v : values_) {
    const double x = v.Effective();
    if (v.MustBePositive && x <= 0) {
      problems << QStringLiteral("%1 must be more than 0 %2.").arg(v.Label, v.Unit);
    } else if (x < v.Minimum || x > v.Maximum) {
      QString range = QStringLiteral("%1 must be from %2 to %3 %4")
                          .arg(v.Label, Number(v.Minimum), Number(v.Maximum), v.Unit);
      if (v.Whole && v.Maximum == kDay) range += QStringLiteral(" (24 hours)");
      problems << range + u'.';
    } else if (v.Whole && x != static_cast<double>(static_cast<long long>(x))) {
      problems << QStringLiteral("%1 must be whole seconds.").arg(v.Label);
    }
  }
  const auto limit = std::find_if(values_.begin(), values_.end(),
                                  [](const TValue& v) { return v.Key == "TemperatureLimit"; });
  const auto margin = std::find_if(values_.begin(), values_.end(),
                                   [](const TValue& v) { return v.Key == "TemperatureOffMargin"; });
  if (limit != values_.end() && margin != values_.end() &&
      margin->Effective() >= limit->Effective()) {
    problems << QStringLiteral(
                    "The temperature off-margin (%1 °C) must be smaller than the temperature "
                    "limit (%2 °C).")
                    .arg(Number(margin->Effective()), Number(limit->Effective()));
  }
  return problems;
}

bool TAlarmLimitsEdit::Store(QString* error) {
  const QString group = TAlarmSettings::SerialGroup(serial_);
  auto put = [&](const QString& key, const QVariant& value) {
    if (store_.SetValue(group + u'/' + key, value, true)) return true;
    if (error) *error = QStringLiteral("The alarm limits cannot be stored.");
    return false;
  };
  for (const TValue& v : values_) {
    // A value that follows the default is taken out, so a later change of the default
    // reaches this incubator too.
    if (!put(v.Key,
             v.Own ? QVariant(v.Whole ? QVariant(static_cast<qlonglong>(*v.Own)) : QVariant(*v.Own))
                   : QVariant())) {
      return false;
    }
  }
  for (const TSwitch& s : switches_) {
    if (!put(KindKey(s.Kind) + QStringLiteral("Enabled"), s.Own ? QVariant(*s.Own) : QVariant()))
      return false;
  }
  settings_.Reload();
  return true;
}

}  // namespace dova
