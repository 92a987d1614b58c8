#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

#include "platform/datetime.h"
#include "platform/observer.h"

namespace dova {

// What an alarm is about. One alarm exists per incubator (by serial) for each kind and side.
enum class TAlarmKind : std::uint8_t {
  TemperatureHigh,
  TemperatureLow,
  LidOpen,
  FlowHigh,
  FlowLow,
  DeviceError,
  NoData,
  LogTrouble,
};
inline constexpr int kAlarmKindCount = 8;

enum class TAlarmSide : std::uint8_t { None, Left, Right, Gas };

enum class TAlarmPriority : std::uint8_t { Medium, High };

// The states as the lab standards name them.
enum class TAlarmState : std::uint8_t {
  Normal,
  ActiveUnacknowledged,
  ActiveAcknowledged,
  // The condition went away before anyone acknowledged it ("returned").
  ClearedUnacknowledged,
};

// What happened to an alarm (or, for shelving, to an incubator).
enum class TAlarmTransitionKind : std::uint8_t {
  Raised,
  Cleared,
  Acknowledged,
  Shelved,
  Unshelved,
  Reannounced,
  CommandFailed,
  // Listed again at start from the journal: raised before the restart and not yet settled.
  // Not a journal line of its own (the journal already holds the raise).
  Restored,
};

// The alarms each incubator has: a kind with its side.
struct TAlarmKey {
  TAlarmKind Kind = TAlarmKind::NoData;
  TAlarmSide Side = TAlarmSide::None;
  bool operator==(const TAlarmKey&) const = default;
};

// Every alarm slot of one incubator, in a fixed order.
inline constexpr std::array<TAlarmKey, 13> kAlarmSlots = {{
    {TAlarmKind::TemperatureHigh, TAlarmSide::Left},
    {TAlarmKind::TemperatureHigh, TAlarmSide::Right},
    {TAlarmKind::TemperatureLow, TAlarmSide::Left},
    {TAlarmKind::TemperatureLow, TAlarmSide::Right},
    {TAlarmKind::LidOpen, TAlarmSide::Left},
    {TAlarmKind::LidOpen, TAlarmSide::Right},
    {TAlarmKind::FlowHigh, TAlarmSide::Gas},
    {TAlarmKind::FlowLow, TAlarmSide::Gas},
    {TAlarmKind::DeviceError, TAlarmSide::Left},
    {TAlarmKind::DeviceError, TAlarmSide::Right},
    {TAlarmKind::DeviceError, TAlarmSide::Gas},
    {TAlarmKind::NoData, TAlarmSide::None},
    {TAlarmKind::LogTrouble, TAlarmSide::None},
}};
// The slot of a key; nothing for a combination no incubator has.
std::optional<int> SlotOf(TAlarmKey key);

TAlarmPriority PriorityOf(TAlarmKind kind);

// The texts of the journal, the console and the command's environment.
const QString& KindText(TAlarmKind kind);       // "temperature high", "lid open too long", …
const QString& SideText(TAlarmSide side);       // "Left", "Right", "Gas" or empty
const QString& PriorityText(TAlarmPriority p);  // "high", "medium"
const QString& TransitionText(TAlarmTransitionKind t);  // "raised", "re-announced", …
const QString& StateText(TAlarmState s);                // "normal", "active, unacknowledged", …
// The settings name of a kind ("TemperatureHigh", "LidOpen", …).
const QString& KindKey(TAlarmKind kind);
std::optional<TAlarmKind> KindFromText(const QString& text);
std::optional<TAlarmSide> SideFromText(const QString& text);
std::optional<TAlarmTransitionKind> TransitionFromText(const QString& text);

// One transition as the alarm stream tells it.
struct TAlarmTransition {
  TAlarmTransitionKind Transition = TAlarmTransitionKind::Raised;
  TDateTime Time = 0;
  QString Serial;
  QString Name;
  // Absent for shelving, which is about the whole incubator.
  std::optional<TAlarmKey> Key;
  TAlarmPriority Priority = TAlarmPriority::High;
  // The state the alarm is in after the transition.
  TAlarmState State = TAlarmState::Normal;
  QString Value;
  QString Limit;
  QString User;
  QString Comment;
  // False while the incubator is shelved: journaled, not announced (no line, no command).
  bool Announce = true;
};

// The one alarm stream: the journal, the console, metrics, the command and the windows
// subscribe to it.
using TAlarmStream = TObservers<const TAlarmTransition&>;

// One alarm as the front ends read it.
struct TAlarmInfo {
  QString Serial;
  QString Name;
  TAlarmKey Key;
  TAlarmPriority Priority = TAlarmPriority::High;
  TAlarmState State = TAlarmState::Normal;
  TDateTime Since = 0;  // when it was raised
  QString Value;
  QString Limit;
  QString AcknowledgedBy;
  TDateTime AcknowledgedAt = 0;
  QString Comment;
  bool BeforeRestart = false;
  bool Shelved = false;
};

}  // namespace dova
