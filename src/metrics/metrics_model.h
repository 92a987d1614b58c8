#pragma once

#include <QByteArray>
#include <QString>
#include <map>
#include <memory>
#include <optional>

#include "app/main_form.h"
#include "monitor/tile_events.h"

namespace dova {

class TAlarmEngine;

// What the logger serves to Prometheus: the main window's tiles as metrics, rendered in the
// text exposition format (version 0.0.4). It reads the tiles' state as they show and log it
// and listens to their events for the one thing a tile does not keep, the time of the last
// valid reply. It changes nothing of the main window or its tiles.
//
// Series are keyed by the incubator's serial number; its name is only in the info metric,
// so renaming an incubator does not start new series. A tile is served once its serial is
// known. Its readings are served only while it is up (listed: linked and named) and has
// been read since; a tile whose link ended shows up 0 until the main window frees it, then
// all its series go.
//
// The model hooks into the main window's OnPanelChange (calling whatever handler was there
// before) and must not outlive the main window. Everything runs on the user-interface thread.
class TMetricsModel {
 public:
  static constexpr const char* kContentType = "text/plain; version=0.0.4; charset=utf-8";

  // `version` is the build's version for the build info metric.
  TMetricsModel(TMainForm& form, QString version);
  ~TMetricsModel();
  TMetricsModel(const TMetricsModel&) = delete;
  TMetricsModel& operator=(const TMetricsModel&) = delete;

  // The exposition as it stands now: UTF-8, one sample a line, "\n" line ends.
  QByteArray Render() const;
  // Serves the alarms of this engine too (it must outlive the model); without one the alarm
  // families are there, empty.
  void ServeAlarms(const TAlarmEngine* engine) { alarms_ = engine; }

 private:
  struct TTrack {
    TTileEventStream::TSubscription Subscription = 0;
    // Seconds since the epoch of the last valid reading (temperatures or flow).
    std::optional<double> LastReply;
    bool TempsSeen = false;
    bool FlowSeen = false;
  };

  void Track(const TDovaPanel& panel);
  void Forget(const TDovaPanel& panel);
  void OnChange(const TDovaPanel& panel, TMainForm::TPanelChange change);
  void OnEvent(const TDovaPanel& panel, const TTileEvent& e);

  TMainForm& form_;
  QString version_;
  const TAlarmEngine* alarms_ = nullptr;
  std::map<const TDovaPanel*, TTrack> tracks_;
  // Shared with the handler installed in the main window: cleared when the model goes, so a
  // handler chained after ours still works.
  std::shared_ptr<TMetricsModel*> self_;
};

// The version this program was built as ("1.22").
QString BuildVersion();

}  // namespace dova
