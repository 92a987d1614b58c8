#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "alarms/alarm_engine.h"
#include "platform/observer.h"
#include "platform/timer.h"

namespace dova {

// The frame a tile shows for its incubator's alarms.
enum class TAlarmFrame : std::uint8_t {
  None,
  // An alarm waits for acknowledgement: a red frame, on and off once a second.
  Flashing,
  // Every alarm is acknowledged and one is still active: a steady red frame.
  Steady,
  // Shelved for maintenance: a grey hatched frame (its alarms are not announced).
  Shelved,
};

// What the screens show of the alarms, read from the engine: the frame of each tile, the
// text of its hint, the rows of the alarm list and the status bar's summary. It follows the
// alarm stream and drives the flashing: one timer, running only while a frame flashes, that
// turns the flash phase once a second. Views subscribe to Changed and read the state again.
class TAlarmBoard {
 public:
  static constexpr std::int64_t kFlashIntervalMs = 500;  // on for half a second, off for half

  TAlarmBoard(Scheduler& sched, TAlarmEngine& engine);
  ~TAlarmBoard();
  TAlarmBoard(const TAlarmBoard&) = delete;
  TAlarmBoard& operator=(const TAlarmBoard&) = delete;

  TAlarmFrame Frame(const QString& serial) const;
  // Whether a flashing frame is drawn right now.
  bool FlashOn() const { return flash_on_; }
  // The alarms of one incubator for its hint, e.g. "Alarms: Left temperature high
  // (unacknowledged); lid open too long, Right (acknowledged)"; empty without alarms.
  QString HintText(const QString& serial) const;
  // "2 alarms, 1 unacknowledged", "1 alarm", or "No alarms".
  QString Summary() const;
  // Every alarm that is not normal, unacknowledged ones first, then the newest first.
  std::vector<TAlarmInfo> Rows() const;

  // Told after every change of the state above, the flash phase included.
  TObservers<>& Changed() { return changed_; }

 private:
  void Refresh();
  void OnFlash();

  TAlarmEngine& engine_;
  Timer flash_timer_;
  bool flash_on_ = true;
  TObservers<> changed_;
  TAlarmStream::TSubscription subscription_ = 0;
};

// The alarm's short description in a hint or notice: "Left temperature high", "no data".
QString AlarmTitle(const TAlarmKey& key);

}  // namespace dova
