#include "metrics/metrics_model.h"

#include <QDateTime>
#include <algorithm>
#include <charconv>
#include <vector>

#include "alarms/alarm_engine.h"
#include "monitor/log_writer.h"
#include "version.h"

namespace dova {

namespace {

// Builds the exposition text. Samples of one metric stay together under its HELP and TYPE.
class TExposition {
 public:
  void Family(const char* name, const char* type, const char* help) {
    name_ = name;
    out_ += "# HELP ";
    out_ += name;
    out_ += ' ';
    out_ += help;  // our own texts: no backslash, no line break
    out_ += "\n# TYPE ";
    out_ += name;
    out_ += ' ';
    out_ += type;
    out_ += '\n';
  }

  // One sample of the current family; labels as name/value pairs (values unescaped).
  void Sample(std::initializer_list<std::pair<const char*, QByteArrayView>> labels, double value) {
    out_ += name_;
    if (labels.size() > 0) {
      out_ += '{';
      bool first = true;
      for (const auto& [label, text] : labels) {
        if (!first) out_ += ',';
        first = false;
        out_ += label;
        out_ += "=\"";
        AppendEscaped(text);
        out_ += '"';
      }
      out_ += '}';
    }
    out_ += ' ';
    AppendNumber(value);
    out_ += '\n';
  }

  QByteArray Take() { return std::move(out_); }

 private:
  // Label values: backslash, double quote and line feed are escaped.
  void AppendEscaped(QByteArrayView text) {
    for (const char c : text) {
      switch (c) {
        case '\\':
          out_ += "\\\\";
          break;
        case '"':
          out_ += "\\\"";
          break;
        case '\n':
          out_ += "\\n";
          break;
        default:
          out_ += c;
      }
    }
  }

  // The shortest text that reads back as the same double, whatever the user's locale.
  void AppendNumber(double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out_.append(buffer, result.ptr - buffer);
  }

  QByteArray out_;
  const char* name_ = "";
};

double Flag(bool on) {
  return on ? 1 : 0;
}

// The alarms of the engine, every alarm of every incubator it knows, 0 or 1.
void AlarmFamilies(TExposition& x, const TAlarmEngine* alarms) {
  const std::vector<QString> serials = alarms ? alarms->Serials() : std::vector<QString>();
  // Label values as a query would write them: "lid_open_too_long", "left".
  const auto label = [](const QString& text) {
    return text.toLower().replace(QLatin1Char(' '), QLatin1Char('_')).toUtf8();
  };
  for (const bool active : {true, false}) {
    if (active) {
      x.Family("dova300_alarm_active", "gauge",
               "Whether an alarm of the logger is active (1) or not (0).");
    } else {
      x.Family("dova300_alarm_unacknowledged", "gauge",
               "Whether an alarm of the logger waits to be acknowledged (1) or not (0).");
    }
    for (const QString& serial : serials) {
      const QByteArray s = serial.toUtf8();
      for (const TAlarmKey& key : kAlarmSlots) {
        const std::optional<TAlarmInfo> a = alarms->Find(serial, key);
        if (!a) continue;
        const bool on = active ? a->State == TAlarmState::ActiveUnacknowledged ||
                                     a->State == TAlarmState::ActiveAcknowledged
                               : a->State == TAlarmState::ActiveUnacknowledged ||
                                     a->State == TAlarmState::ClearedUnacknowledged;
        x.Sample({{"serial", s},
                  {"kind", label(KindText(key.Kind))},
                  {"side", label(SideText(key.Side))},
                  {"priority", label(PriorityText(a->Priority))}},
                 Flag(on));
      }
    }
  }
  x.Family("dova300_alarm_shelved", "gauge",
           "Whether the alarms of an incubator are shelved for maintenance (1) or not (0).");
  for (const QString& serial : serials) {
    x.Sample({{"serial", serial.toUtf8()}}, Flag(alarms->IsShelved(serial)));
  }
}

}  // namespace

QString BuildVersion() {
  return QStringLiteral(DOVA_VERSION);
}

TMetricsModel::TMetricsModel(TMainForm& form, QString version)
    : form_(form), version_(std::move(version)), self_(std::make_shared<TMetricsModel*>(this)) {
  for (const TDovaPanel* panel : form_.Panels())
    Track(*panel);
  form_.OnPanelChange = [previous = std::move(form_.OnPanelChange), self = self_](
                            const TDovaPanel& panel, TMainForm::TPanelChange change) {
    if (previous) previous(panel, change);
    if (*self) (*self)->OnChange(panel, change);
  };
}

TMetricsModel::~TMetricsModel() {
  *self_ = nullptr;
  for (auto& [panel, track] : tracks_)
    panel->Events().Unsubscribe(track.Subscription);
}

void TMetricsModel::Track(const TDovaPanel& panel) {
  if (tracks_.contains(&panel)) return;
  TTrack& track = tracks_[&panel];
  track.Subscription =
      panel.Events().Subscribe([this, &panel](const TTileEvent& e) { OnEvent(panel, e); });
}

void TMetricsModel::Forget(const TDovaPanel& panel) {
  const auto it = tracks_.find(&panel);
  if (it == tracks_.end()) return;
  panel.Events().Unsubscribe(it->second.Subscription);
  tracks_.erase(it);
}

void TMetricsModel::OnChange(const TDovaPanel& panel, TMainForm::TPanelChange change) {
  switch (change) {
    case TMainForm::TPanelChange::Created:
    case TMainForm::TPanelChange::Listed:
      Track(panel);
      break;
    case TMainForm::TPanelChange::Freed:
      Forget(panel);
      break;
    case TMainForm::TPanelChange::Closing:
      break;
  }
}

void TMetricsModel::OnEvent(const TDovaPanel& panel, const TTileEvent& e) {
  const bool temps = e.Kind == TTileEventKind::TempsRead;
  if (!temps && e.Kind != TTileEventKind::FlowRead) return;
  TTrack& track = tracks_[&panel];
  (temps ? track.TempsSeen : track.FlowSeen) = true;
  // These two events come only from valid replies.
  track.LastReply = static_cast<double>(QDateTimeFromDateTime(e.Time).toMSecsSinceEpoch()) / 1000.0;
}

QByteArray TMetricsModel::Render() const {
  // One tile per serial number. A re-plugged incubator may briefly have two (the old one
  // closing, the new one not yet named): the one that is up wins, else the newer one.
  struct TRow {
    const TDovaPanel* Panel;
    const TTrack* Track;
    bool Up;
    QByteArray Serial;
    QByteArray Name;
  };
  static const TTrack kUntracked;
  std::vector<TRow> rows;
  for (const TDovaPanel* panel : form_.Panels()) {
    if (!panel->SerialKnown || panel->Serial.isEmpty()) continue;
    const auto track = tracks_.find(panel);
    TRow row{panel, track == tracks_.end() ? &kUntracked : &track->second,
             std::find(form_.ActivePanels.begin(), form_.ActivePanels.end(), panel) !=
                 form_.ActivePanels.end(),
             panel->Serial.toUtf8(), panel->Nick.toUtf8()};
    const auto same = std::find_if(rows.begin(), rows.end(),
                                   [&](const TRow& r) { return r.Serial == row.Serial; });
    if (same == rows.end())
      rows.push_back(std::move(row));
    else if (row.Up || !same->Up)
      *same = std::move(row);
  }
  std::sort(rows.begin(), rows.end(),
            [](const TRow& a, const TRow& b) { return a.Serial < b.Serial; });

  TExposition x;
  x.Family("dova300_build_info", "gauge", "The logger's version (always 1).");
  x.Sample({{"version", version_.toUtf8()}}, 1);
  x.Family("dova300_incubators_connected", "gauge", "Incubators linked and named now.");
  x.Sample({}, static_cast<double>(form_.ActivePanels.size()));

  x.Family("dova300_incubator_info", "gauge", "The incubator's name (always 1).");
  for (const TRow& r : rows)
    if (!r.Name.isEmpty()) x.Sample({{"serial", r.Serial}, {"name", r.Name}}, 1);
  x.Family("dova300_incubator_up", "gauge",
           "1 while the incubator is linked and named, 0 once its link ended.");
  for (const TRow& r : rows)
    x.Sample({{"serial", r.Serial}}, Flag(r.Up));
  x.Family("dova300_incubator_last_reply_timestamp_seconds", "gauge",
           "When the last valid reading came, in seconds since the epoch.");
  for (const TRow& r : rows)
    if (r.Track->LastReply) x.Sample({{"serial", r.Serial}}, *r.Track->LastReply);

  // Readings and states only while the incubator is up: no stale value is served as current.
  const auto chambers = [&](const char* name, const char* help, bool needs_temps, auto&& left,
                            auto&& right) {
    x.Family(name, "gauge", help);
    for (const TRow& r : rows) {
      if (!r.Up || (needs_temps && !r.Track->TempsSeen)) continue;
      x.Sample({{"serial", r.Serial}, {"chamber", "left"}}, left(*r.Panel));
      x.Sample({{"serial", r.Serial}, {"chamber", "right"}}, right(*r.Panel));
    }
  };
  chambers(
      "dova300_chamber_temperature_celsius", "Chamber temperature as the tile shows it.", true,
      [](const TDovaPanel& p) { return p.LeftTemp / 10.0; },
      [](const TDovaPanel& p) { return p.RightTemp / 10.0; });
  chambers(
      "dova300_chamber_setpoint_celsius", "Chamber temperature set-point.", true,
      [](const TDovaPanel& p) { return p.LeftSetPoint / 10.0; },
      [](const TDovaPanel& p) { return p.RightSetPoint / 10.0; });
  chambers(
      "dova300_chamber_on", "1 while the chamber is switched on.", false,
      [](const TDovaPanel& p) { return Flag(p.LeftOn); },
      [](const TDovaPanel& p) { return Flag(p.RightOn); });
  chambers(
      "dova300_chamber_lid_open", "1 while the chamber's lid is open.", false,
      [](const TDovaPanel& p) { return Flag(p.LeftLidOpen); },
      [](const TDovaPanel& p) { return Flag(p.RightLidOpen); });
  chambers(
      "dova300_chamber_temperature_error", "1 while the chamber reports a temperature error.",
      false, [](const TDovaPanel& p) { return Flag(p.LeftTempError); },
      [](const TDovaPanel& p) { return Flag(p.RightTempError); });

  const auto gas = [&](const char* name, const char* help, bool needs_flow, auto&& value) {
    x.Family(name, "gauge", help);
    for (const TRow& r : rows) {
      if (!r.Up || (needs_flow && !r.Track->FlowSeen)) continue;
      x.Sample({{"serial", r.Serial}}, value(*r.Panel));
    }
  };
  gas("dova300_gas_flow_milliliters_per_minute", "Gas flow in ml/min as the tile shows it.", true,
      [](const TDovaPanel& p) { return double(p.GasFlow); });
  gas("dova300_gas_setpoint_milliliters_per_minute", "Gas flow set-point in ml/min.", true,
      [](const TDovaPanel& p) { return double(p.GasSetPoint); });
  gas("dova300_gas_purge_active", "1 while a purge runs.", false,
      [](const TDovaPanel& p) { return Flag(p.Purging); });
  gas("dova300_gas_co2_error", "1 while the incubator reports a CO2 error.", false,
      [](const TDovaPanel& p) { return Flag(p.CO2Error); });
  gas("dova300_gas_flow_error", "1 while the incubator reports a flow error.", false,
      [](const TDovaPanel& p) { return Flag(p.FlowError); });

  // The log file's health, for every tile with a serial, up or not.
  x.Family("dova300_log_lines_written_total", "counter", "Lines written to the log file.");
  for (const TRow& r : rows)
    x.Sample({{"serial", r.Serial}}, static_cast<double>(r.Panel->Log().LinesWritten()));
  x.Family("dova300_log_write_failures_total", "counter",
           "Log lines that could not be written (write failed or file not open).");
  for (const TRow& r : rows)
    x.Sample({{"serial", r.Serial}}, static_cast<double>(r.Panel->Log().WriteFailures()));
  x.Family("dova300_log_lines_pending", "gauge", "Log lines waiting to be written.");
  for (const TRow& r : rows)
    x.Sample({{"serial", r.Serial}}, static_cast<double>(r.Panel->Log().PendingLines()));
  x.Family("dova300_log_lines_dropped_total", "counter",
           "Log lines given up because too many waited to be written.");
  for (const TRow& r : rows)
    x.Sample({{"serial", r.Serial}}, static_cast<double>(r.Panel->Log().DroppedLines()));
  AlarmFamilies(x, alarms_);
  return x.Take();
}

}  // namespace dova
