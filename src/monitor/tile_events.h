#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/datetime.h"
#include "platform/observer.h"

namespace dova {

// What happened at an incubator, as the tile tells it to whoever listens: the log writer,
// the trend windows, the tile's view, the console front end, and later alarms and metrics.
enum class TTileEventKind : std::uint8_t {
  // The link: the incubator told its name (the tile is listed), or the link ended.
  LinkUp,
  LinkDown,
  // Chamber states, each with its side (Left or Right).
  ChamberOn,
  ChamberOff,
  LidOpen,
  LidClosed,
  TempError,
  // Gas states.
  GasOn,
  GasOff,
  PurgeStart,
  PurgeStop,
  CO2Error,
  FlowError,
  // A set-point the incubator reports changed after the first poll cycle (Value, Decimals).
  SetPointAdjusted,
  // Both chamber temperatures were read (Value/SetPoint: left, Value2/SetPoint2: right, °C).
  TempsRead,
  // The gas flow was read (Value/SetPoint, ml/min).
  FlowRead,
  // A block of periodic records is due now.
  RecordDue,
  // The log file could not be opened or written (Text says what).
  LogProblem,
  // The front panel shows a display field (Side; Text: as the label shows it) or a lamp
  // (Side; Text: the lamp's code, ' ' off, 'A' amber, 'G' green, 'R' red).
  DisplayShown,
  LampShown,
};

enum class TTileSide : std::uint8_t { None, Left, Right, Gas };

struct TTileEvent {
  TTileEventKind Kind = TTileEventKind::LinkUp;
  TTileSide Side = TTileSide::None;
  // True for the state block written when a log is opened: the states as found, not
  // changes seen happening.
  bool Initial = false;
  TDateTime Time = 0;
  double Value = 0;
  double SetPoint = 0;
  double Value2 = 0;
  double SetPoint2 = 0;
  int Decimals = 0;
  QString Text;
};

// "Left", "Right", "Gas" (empty for None).
const QString& SideText(TTileSide side);
// What a chamber or gas event is called on its own ("Lid Open", "Purge Start", "CO2 Error"),
// as the trend windows' marks show it; empty for the other kinds.
const QString& StateEventText(TTileEventKind kind);
// Whether the event is one of the error states.
constexpr bool IsErrorEvent(TTileEventKind kind) {
  return kind == TTileEventKind::TempError || kind == TTileEventKind::CO2Error ||
         kind == TTileEventKind::FlowError;
}

// One tile's event stream (see TObservers for what listeners may do during a delivery).
class TTileEventStream : public TObservers<const TTileEvent&> {
 public:
  void Emit(const TTileEvent& event) { Notify(event); }
  std::size_t ListenerCount() const { return Count(); }
};

}  // namespace dova
