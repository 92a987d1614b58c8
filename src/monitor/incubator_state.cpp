#include "monitor/incubator_state.h"

#include <cmath>
#include <cstdlib>

#include "platform/scheduler.h"

namespace dova {

using protocol::TTag;

namespace {

// Ends the handling of one reply; HandleReply's guard swallows it.
struct MalformedValue {};
struct ArithmeticOverflow {};

std::int32_t Add(std::int32_t a, std::int32_t b) {
  std::int32_t r;
  if (__builtin_add_overflow(a, b, &r)) throw ArithmeticOverflow{};
  return r;
}
std::int32_t Sub(std::int32_t a, std::int32_t b) {
  std::int32_t r;
  if (__builtin_sub_overflow(a, b, &r)) throw ArithmeticOverflow{};
  return r;
}
std::int32_t Mul(std::int32_t a, std::int32_t b) {
  std::int32_t r;
  if (__builtin_mul_overflow(a, b, &r)) throw ArithmeticOverflow{};
  return r;
}

std::int32_t ReadInt(const TReply& reply) {
  if (!reply.Number) throw MalformedValue{};
  return *reply.Number;
}

// Rounds a raw flow average to ml/min in steps of 5, in 64 bits; the result must fit 32.
std::int32_t FlowFromAverage(double average, std::int64_t half, std::int64_t step) {
  if (!(std::fabs(average) < 9.0e18)) throw ArithmeticOverflow{};
  const auto raw = static_cast<std::int64_t>(std::trunc(average));
  const std::int64_t flow = ((raw / 2) + half) / step * 5;
  if (flow < INT32_MIN || flow > INT32_MAX) throw ArithmeticOverflow{};
  return static_cast<std::int32_t>(flow);
}

// Blanks and control characters off both ends, as the labels show a field.
QStringView TrimField(QStringView field) {
  qsizetype b = 0;
  qsizetype e = field.size();
  while (b < e && field[b].unicode() <= 0x20)
    ++b;
  while (e > b && field[e - 1].unicode() <= 0x20)
    --e;
  return field.mid(b, e - b);
}

enum FieldClass { kIdle, kLid, kError, kCO2, kPurge, kOther };

// The fields are a few characters and every display reply compares each several times:
// compared here in line, which costs less than a call into the string library each time
// (and, for a literal, than finding its length first).
bool Same(QStringView a, QStringView b) {
  if (a.size() != b.size()) return false;
  for (qsizetype i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

template <std::size_t N>
bool Same(QStringView a, const char16_t (&b)[N]) {
  return Same(a, QStringView(b, static_cast<qsizetype>(N - 1)));
}

bool IsIdle(QStringView f) {
  return Same(f, u"    ") || Same(f, u"OFF ");
}

FieldClass ChamberClass(QStringView f) {
  if (IsIdle(f)) return kIdle;
  if (Same(f, u"LID ")) return kLid;
  if (Same(f, u"Err ")) return kError;
  return kOther;
}

FieldClass GasClass(QStringView f) {
  if (IsIdle(f)) return kIdle;
  if (Same(f, u"CO2 ")) return kCO2;
  if (Same(f, u"Pur ")) return kPurge;
  if (Same(f, u"Err ")) return kError;
  return kOther;
}

}  // namespace

// The fields one chamber's handling works on, so that left and right share one code path.
struct TIncubatorState::Chamber {
  TTileSide Side;
  QString& DisplayText;
  TDateTime& DisplayChanged;
  bool& LabelFromDevice;
  std::optional<std::int32_t>& DisplayTenths;
  bool& On;
  bool& LidOpen;
  bool& TempError;
  std::int32_t& LastFirst;
  std::int32_t& Filtered;
  std::int32_t& Temp;
};

TIncubatorState::Chamber TIncubatorState::LeftChamber() {
  return {TTileSide::Left,
          LeftDisplayText,
          LeftDisplayChanged,
          left_label_from_device_,
          left_display_tenths_,
          LeftOn,
          LeftLidOpen,
          LeftTempError,
          LastLBT1,
          LeftFiltered,
          LeftTemp};
}

TIncubatorState::Chamber TIncubatorState::RightChamber() {
  return {TTileSide::Right,
          RightDisplayText,
          RightDisplayChanged,
          right_label_from_device_,
          right_display_tenths_,
          RightOn,
          RightLidOpen,
          RightTempError,
          LastRBT1,
          RightFiltered,
          RightTemp};
}

TIncubatorState::TIncubatorState(Scheduler& sched, const LogFormat& format,
                                 TTileEventStream& events)
    : sched_(sched), format_(format), events_(events) {
  // Until the first display reply the labels show their design texts, and the snap reads
  // those like any other.
  left_display_tenths_ = format_.DisplayTenths(TTileView::kTempDesignText);
  right_display_tenths_ = format_.DisplayTenths(TTileView::kTempDesignText);
}

void TIncubatorState::Start() {
  FirstCycle = true;
  LeftOn = true;
  RightOn = true;
  RightFiltered = kNoReading;
  LeftFiltered = kNoReading;
  LastLBT1 = kNoReading;
  LastRBT1 = kNoReading;
  LeftDisplayChanged = sched_.Now();
  RightDisplayChanged = sched_.Now();
  FlowAverage = 0.0;
  lamps_told_.fill(kNoLampTold);
  display_decoded_ = false;
}

void TIncubatorState::Emit(TTileEventKind kind, TTileSide side, bool initial) {
  TTileEvent e;
  e.Kind = kind;
  e.Side = side;
  e.Initial = initial;
  e.Time = sched_.Now();
  events_.Emit(e);
}

void TIncubatorState::Change(bool& state, bool value, TTileEventKind kind, TTileSide side) {
  if (state == value) return;
  state = value;
  Emit(kind, side);
}

void TIncubatorState::EmitShown(TTileEventKind kind, TTileSide side, QString text) {
  TTileEvent e;
  e.Kind = kind;
  e.Side = side;
  e.Time = sched_.Now();
  e.Text = std::move(text);
  events_.Emit(e);
}

void TIncubatorState::EmitSetPoint(TTileSide side, int decimals, double value) {
  if (FirstCycle) return;
  TTileEvent e;
  e.Kind = TTileEventKind::SetPointAdjusted;
  e.Side = side;
  e.Time = sched_.Now();
  e.Value = value;
  e.Decimals = decimals;
  events_.Emit(e);
}

void TIncubatorState::Handle(const TReply& reply) {
  switch (reply.Tag) {
    case TTag::LBSP:
      HandleTempSetPoint(ReadInt(reply), LeftSetPoint, TTileSide::Left);
      break;
    case TTag::RBSP:
      HandleTempSetPoint(ReadInt(reply), RightSetPoint, TTileSide::Right);
      break;
    case TTag::GFSP:
      HandleGasSetPoint(ReadInt(reply));
      break;
    case TTag::LBT1:
      LastLBT1 = ReadInt(reply);
      break;
    case TTag::RBT1:
      LastRBT1 = ReadInt(reply);
      break;
    case TTag::LBT2:
      HandleSecondReading(ReadInt(reply), LeftChamber());
      break;
    case TTag::RBT2: {
      HandleSecondReading(ReadInt(reply), RightChamber());
      TTileEvent e;
      e.Kind = TTileEventKind::TempsRead;
      e.Time = sched_.Now();
      e.Value = LeftTemp / 10.0;
      e.SetPoint = LeftSetPoint / 10.0;
      e.Value2 = RightTemp / 10.0;
      e.SetPoint2 = RightSetPoint / 10.0;
      events_.Emit(e);
      break;
    }
    case TTag::FLOW:
      HandleFlow(reply);
      break;
    case TTag::PFLW:
      HandlePurgeFlow(ReadInt(reply));
      break;
    case TTag::DISP:
      DecodeDisplay(reply.Text);
      break;
    default:
      break;
  }
}

void TIncubatorState::HandleTempSetPoint(std::int32_t v, std::int32_t& setPoint, TTileSide side) {
  const std::int32_t sp = Add(v, 5) / 10;
  if (sp != setPoint) EmitSetPoint(side, 1, sp / 10.0);
  setPoint = sp;
}

void TIncubatorState::HandleGasSetPoint(std::int32_t v) {
  const std::int32_t gsp = Mul(Add(v / 2, 250) / 500, 5);
  if (gsp != GasSetPoint) EmitSetPoint(TTileSide::Gas, 0, gsp);
  GasSetPoint = gsp;
}

void TIncubatorState::HandleSecondReading(std::int32_t v, const Chamber& c) {
  const std::int32_t t = c.LastFirst == kNoReading ? v : Add(v, c.LastFirst) / 2;
  if (c.Filtered == kNoReading) c.Filtered = t;
  c.Filtered = Add(c.Filtered, Sub(t, c.Filtered) / 4);
  c.Temp = Add(c.Filtered, 5) / 10;
  // Snap to the incubator's own display when it has stood still and is a tenth away.
  const std::optional<std::int32_t>& d = c.DisplayTenths;
  if (d && *d > kNoReading && MillisecondsBetween(c.DisplayChanged, sched_.Now()) > kSnapQuietMs &&
      std::llabs(static_cast<std::int64_t>(*d) - c.Temp) == 1) {
    c.Filtered = Mul(*d, 10);
    c.Temp = *d;
  }
}

void TIncubatorState::HandleFlow(const TReply& reply) {
  if (GasOn && !CO2Error && !FlowError) {
    const std::int32_t v = ReadInt(reply);
    FlowAverage = FirstCycle ? v : v / 12.0 + (FlowAverage - FlowAverage / 12.0);
    GasFlow = FlowFromAverage(FlowAverage, 250, 500);
  } else {
    GasFlow = 0;
  }
  if (GasFlow < 12) GasFlow = 0;
  TTileEvent e;
  e.Kind = TTileEventKind::FlowRead;
  e.Time = sched_.Now();
  e.Value = GasFlow;
  e.SetPoint = GasSetPoint;
  events_.Emit(e);
  FirstCycle = false;
}

void TIncubatorState::HandlePurgeFlow(std::int32_t v) {
  // The purge flow comes in 1/20 ml/min and has no floor.
  FlowAverage = FirstCycle ? v : v / 12.0 + (FlowAverage - FlowAverage / 12.0);
  GasFlow = FlowFromAverage(FlowAverage, 25, 50);
  TTileEvent e;
  e.Kind = TTileEventKind::FlowRead;
  e.Time = sched_.Now();
  e.Value = GasFlow;
  e.SetPoint = GasSetPoint;
  events_.Emit(e);
  FirstCycle = false;
}

// ---------------------------------------------------------------- front panel

void TIncubatorState::DecodeDisplay(QStringView value) {
  // Every second reply is the display, and it mostly says what it said last time. Decoding
  // the same value again, once it was decoded whole, changes nothing and tells nothing: each
  // field equals the one kept, every state already is what its class sets, and the lamps
  // are the ones told. Only the state block (pending) needs the states written again.
  if (display_decoded_ && !LogStatePending && Same(value, last_display_)) return;
  display_decoded_ = false;
  DecodeChamber(LeftChamber(), value.mid(0, 4));
  DecodeChamber(RightChamber(), value.size() > 4 ? value.mid(4, 4) : QStringView());
  DecodeGas(value.size() > 8 ? value.mid(8, 4) : QStringView());
  // Lamps in order; a value too short for a lamp ends the handling there, so the next
  // display reply writes the state block again.
  static constexpr qsizetype kLampPositions[3] = {13, 14, 15};
  static constexpr TTileSide kLamps[3] = {TTileSide::Left, TTileSide::Right, TTileSide::Gas};
  for (int i = 0; i < 3; ++i) {
    if (value.size() <= kLampPositions[i]) throw MalformedValue{};
    // Every display reply carries the lamps, and they seldom change: a lamp is told when
    // its code differs from the one told last, as the fields are.
    const char16_t code = value[kLampPositions[i]].unicode();
    if (lamps_told_[i] == code) continue;
    lamps_told_[i] = code;
    EmitShown(TTileEventKind::LampShown, kLamps[i], QString(QChar(code)));
  }
  LogStatePending = false;
  if (!Same(value, last_display_)) last_display_ = value.toString();
  display_decoded_ = true;
}

void TIncubatorState::DecodeChamber(const Chamber& c, QStringView field) {
  const bool changed = !Same(field, c.DisplayText);
  if (changed) c.DisplayChanged = sched_.Now();
  if (changed || !c.LabelFromDevice) {
    const QStringView text = TrimField(field);
    EmitShown(TTileEventKind::DisplayShown, c.Side, text.toString());
    c.DisplayTenths = format_.DisplayTenths(text.toString());
    c.LabelFromDevice = true;
  }
  if (changed) c.DisplayText = field.toString();
  ChamberStatus(c, ChamberClass(field), LogStatePending);
}

void TIncubatorState::ChamberStatus(const Chamber& c, int cls, bool first) {
  const TTileSide s = c.Side;
  if (first) {
    // The state block: the chamber as found, every state written once.
    switch (cls) {
      case kIdle:
        c.On = false;
        Emit(TTileEventKind::ChamberOff, s, true);
        c.LidOpen = false;
        c.TempError = false;
        break;
      case kLid:
        c.On = true;
        Emit(TTileEventKind::ChamberOn, s, true);
        c.LidOpen = true;
        Emit(TTileEventKind::LidOpen, s, true);
        c.TempError = false;
        break;
      case kError:
        c.On = true;
        Emit(TTileEventKind::ChamberOn, s, true);
        c.TempError = true;
        Emit(TTileEventKind::TempError, s, true);
        c.LidOpen = false;
        break;
      default:
        c.On = true;
        Emit(TTileEventKind::ChamberOn, s, true);
        c.TempError = false;
        c.LidOpen = false;
        Emit(TTileEventKind::LidClosed, s, true);
        break;
    }
    return;
  }
  // Steady: only what changed.
  switch (cls) {
    case kIdle:
      c.TempError = false;
      Change(c.On, false, TTileEventKind::ChamberOff, s);
      break;
    case kLid:
      Change(c.On, true, TTileEventKind::ChamberOn, s);
      c.TempError = false;
      Change(c.LidOpen, true, TTileEventKind::LidOpen, s);
      break;
    case kError:
      Change(c.On, true, TTileEventKind::ChamberOn, s);
      Change(c.TempError, true, TTileEventKind::TempError, s);
      break;
    default:
      Change(c.On, true, TTileEventKind::ChamberOn, s);
      c.TempError = false;
      Change(c.LidOpen, false, TTileEventKind::LidClosed, s);
      break;
  }
}

void TIncubatorState::DecodeGas(QStringView field) {
  if (!Same(field, gas_display_text_) || !gas_label_from_device_) {
    EmitShown(TTileEventKind::DisplayShown, TTileSide::Gas, TrimField(field).toString());
    gas_display_text_ = field.toString();
    gas_label_from_device_ = true;
  }
  GasStatus(GasClass(field), LogStatePending);
}

void TIncubatorState::GasStatus(int cls, bool first) {
  constexpr TTileSide g = TTileSide::Gas;
  if (first) {
    if (cls == kIdle) {
      GasOn = false;
      Purging = false;
      CO2Error = false;
      FlowError = false;
      Emit(TTileEventKind::GasOff, g, true);
      return;
    }
    GasOn = true;
    Emit(TTileEventKind::GasOn, g, true);
    FlowError = cls == kError;
    Purging = cls == kPurge;
    CO2Error = cls == kCO2;
    if (cls == kCO2) Emit(TTileEventKind::CO2Error, g, true);
    if (cls == kPurge) Emit(TTileEventKind::PurgeStart, g, true);
    if (cls == kError) Emit(TTileEventKind::FlowError, g, true);
    return;
  }
  switch (cls) {
    case kIdle:
      if (Purging) Emit(TTileEventKind::PurgeStop, g);
      Purging = false;
      CO2Error = false;
      FlowError = false;
      Change(GasOn, false, TTileEventKind::GasOff, g);
      break;
    case kCO2:
      FlowError = false;
      Purging = false;
      Change(CO2Error, true, TTileEventKind::CO2Error, g);
      break;
    case kPurge:
      CO2Error = false;
      Change(GasOn, true, TTileEventKind::GasOn, g);
      Change(Purging, true, TTileEventKind::PurgeStart, g);
      break;
    case kError:
      CO2Error = false;
      if (!FlowError) Emit(TTileEventKind::FlowError, g);
      FlowError = true;
      Purging = false;
      break;
    default:
      CO2Error = false;
      FlowError = false;
      if (Purging) Emit(TTileEventKind::PurgeStop, g);
      Purging = false;
      break;
  }
}

}  // namespace dova
