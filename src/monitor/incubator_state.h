#pragma once

#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <optional>

#include "monitor/log_format.h"
#include "monitor/tile_events.h"
#include "monitor/tile_view.h"
#include "platform/datetime.h"
#include "protocol/protocol.h"

namespace dova {

class Scheduler;

// One reply as the link hands it on: the tag and, for the numeric tags, the value read
// once. Text replies (SERL, NICK, DISP) carry their value as text.
struct TReply {
  protocol::TTag Tag = protocol::TTag::None;
  // Set for numeric tags whose value is a valid integer.
  std::optional<std::int32_t> Number;
  // For DISP: the value; for SERL and NICK the link keeps the text itself.
  QStringView Text;
};

// What the incubator is doing, as its replies tell it: readings and set-points, the front
// panel's displays and the four status machines (left chamber, right chamber, gas, and the
// state block after a log is opened). It touches no file, chart, widget or view state: it
// tells what changed on its event stream, the front panel's texts and lamps among it.
class TIncubatorState {
 public:
  // Marks a raw temperature or filter state that holds nothing yet.
  static constexpr std::int32_t kNoReading = -1000;
  // The display must have stood still longer than this before the temperature snaps to it.
  static constexpr std::int64_t kSnapQuietMs = 3000;

  TIncubatorState(Scheduler& sched, const LogFormat& format, TTileEventStream& events);

  // A new link: the poll starts over.
  void Start();
  // One numeric or display reply. Throws when the value is unusable; the caller's guard ends
  // the reply's handling there and keeps what was done.
  void Handle(const TReply& reply);
  // The front panel's display field: both chambers, the gas and the lamps.
  void DecodeDisplay(QStringView value);
  // The next display reply writes the states as found (after a log was opened).
  void RequestStateBlock() { LogStatePending = true; }

  // ---- readings, set-points and states, as the rest of the program reads them
  std::int32_t LeftTemp = 0;
  std::int32_t LastLBT1 = 0;
  std::int32_t RightTemp = 0;
  std::int32_t LastRBT1 = 0;
  std::int32_t LeftFiltered = 0;
  std::int32_t RightFiltered = 0;
  QString LeftDisplayText;
  QString RightDisplayText;
  TDateTime LeftDisplayChanged = 0;
  TDateTime RightDisplayChanged = 0;
  std::int32_t LeftSetPoint = 0;
  std::int32_t RightSetPoint = 0;
  std::int32_t GasFlow = 0;
  std::int32_t GasSetPoint = 0;
  double FlowAverage = 0.0;
  bool FirstCycle = false;
  bool LeftOn = false;
  bool RightOn = false;
  bool GasOn = false;
  bool LeftTempError = false;
  bool RightTempError = false;
  bool FlowError = false;
  bool CO2Error = false;
  bool Purging = false;
  bool LeftLidOpen = false;
  bool RightLidOpen = false;
  bool LogStatePending = false;

 private:
  struct Chamber;
  Chamber LeftChamber();
  Chamber RightChamber();

  void HandleTempSetPoint(std::int32_t v, std::int32_t& setPoint, TTileSide side);
  void HandleGasSetPoint(std::int32_t v);
  void HandleSecondReading(std::int32_t v, const Chamber& chamber);
  void HandleFlow(const TReply& reply);
  void HandlePurgeFlow(std::int32_t v);
  void DecodeChamber(const Chamber& chamber, QStringView field);
  void DecodeGas(QStringView field);
  void ChamberStatus(const Chamber& chamber, int cls, bool first);
  void GasStatus(int cls, bool first);
  void Emit(TTileEventKind kind, TTileSide side, bool initial = false);
  void EmitShown(TTileEventKind kind, TTileSide side, QString text);
  void EmitSetPoint(TTileSide side, int decimals, double value);
  // A state that changes tells of it; one that stays as it is says nothing.
  void Change(bool& state, bool value, TTileEventKind kind, TTileSide side);

  Scheduler& sched_;
  const LogFormat& format_;
  TTileEventStream& events_;

  // The displays' last reading in tenths, kept with the label texts (none: not a number).
  std::optional<std::int32_t> left_display_tenths_;
  std::optional<std::int32_t> right_display_tenths_;
  // The gas field last shown; the labels follow a field only when it changes.
  QString gas_display_text_;
  // The lamp codes last told (left, right, gas), kNoLampTold before the first.
  static constexpr char16_t kNoLampTold = 0xFFFF;
  std::array<char16_t, 3> lamps_told_{kNoLampTold, kNoLampTold, kNoLampTold};
  // The last display value decoded whole (display_decoded_), to pass over the same again.
  QString last_display_;
  bool display_decoded_ = false;
  bool left_label_from_device_ = false;
  bool right_label_from_device_ = false;
  bool gas_label_from_device_ = false;
};

}  // namespace dova
