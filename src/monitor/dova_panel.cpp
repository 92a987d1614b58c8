#include "monitor/dova_panel.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "platform/scheduler.h"

namespace dova {

using protocol::TReplyParts;
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

std::int32_t ReadInt(const TReplyParts& parts) {
  const auto v = protocol::ParseValue(parts);
  if (!v) throw MalformedValue{};
  return *v;
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

bool IsIdle(QStringView f) {
  return f == u"    " || f == u"OFF ";
}

FieldClass ChamberClass(QStringView f) {
  if (IsIdle(f)) return kIdle;
  if (f == u"LID ") return kLid;
  if (f == u"Err ") return kError;
  return kOther;
}

FieldClass GasClass(QStringView f) {
  if (IsIdle(f)) return kIdle;
  if (f == u"CO2 ") return kCO2;
  if (f == u"Pur ") return kPurge;
  if (f == u"Err ") return kError;
  return kOther;
}

// The poll table: what each step asks for. Step 16 asks PFLW instead while a purge runs.
struct PollCommands {
  std::array<QByteArray, 18> steps;
  QByteArray purgeFlow;
  PollCommands() {
    const char* table[18][2] = {
        {"G", "SERL"}, {"G", "NICK"}, {"G", "LBSP"}, {"R", "DISP"}, {"G", "RBSP"}, {"R", "DISP"},
        {"G", "GFSP"}, {"R", "DISP"}, {"R", "LBT1"}, {"R", "DISP"}, {"R", "LBT2"}, {"R", "DISP"},
        {"R", "RBT1"}, {"R", "DISP"}, {"R", "RBT2"}, {"R", "DISP"}, {"R", "FLOW"}, {"R", "DISP"}};
    for (std::size_t i = 0; i < steps.size(); ++i) {
      const QString tag = QString::fromLatin1(table[i][1]);
      steps[i] = table[i][0][0] == 'G' ? protocol::BuildGet(tag) : protocol::BuildRead(tag);
    }
    purgeFlow = protocol::BuildRead(u"PFLW");
  }
};

const PollCommands& Commands() {
  static const PollCommands commands;
  return commands;
}

const QString kLeft = QStringLiteral("Left");
const QString kRight = QStringLiteral("Right");
const QString kGas = QStringLiteral("Gas");

}  // namespace

// The fields one chamber's handling works on, so that left and right share one code path.
struct TDovaPanel::Chamber {
  const QString& Side;
  QString& DisplayText;
  TDateTime& DisplayChanged;
  TLabelState& Label;
  bool& LabelFromDevice;
  std::optional<std::int32_t>& DisplayTenths;
  bool& On;
  bool& LidOpen;
  bool& TempError;
  void (TDovaPanel::*Event)(const QString&);
  std::int32_t& LastFirst;
  std::int32_t& Filtered;
  std::int32_t& Temp;
};

TDovaPanel::Chamber TDovaPanel::LeftChamber() {
  return {kLeft,
          LeftDisplayText,
          LeftDisplayChanged,
          LeftTempDisplay,
          left_label_from_device_,
          left_display_tenths_,
          LeftOn,
          LeftLidOpen,
          LeftTempError,
          &TDovaPanel::LeftEvent,
          LastLBT1,
          LeftFiltered,
          LeftTemp};
}

TDovaPanel::Chamber TDovaPanel::RightChamber() {
  return {kRight,
          RightDisplayText,
          RightDisplayChanged,
          RightTempDisplay,
          right_label_from_device_,
          right_display_tenths_,
          RightOn,
          RightLidOpen,
          RightTempError,
          &TDovaPanel::RightEvent,
          LastRBT1,
          RightFiltered,
          RightTemp};
}

TDovaPanel::TDovaPanel(const TPanelContext& context)
    : Timer1(context.Sched, 1000, false),
      Timer2(context.Sched, 1000, false),
      sched_(context.Sched),
      boxes_(context.Boxes),
      format_(context.Format) {
  Timer2.SetOnTimer([this] { Timer2Timer(); });
  // Until the first display reply the labels show their design texts, and the snap reads
  // those like any other.
  left_display_tenths_ = format_.DisplayTenths(LeftTempDisplay.Text);
  right_display_tenths_ = format_.DisplayTenths(RightTempDisplay.Text);
}

TDovaPanel::~TDovaPanel() {
  // A tile freed without Disconnect must not leave its handler with a port that lives on.
  if (Port && !disconnected_) Port->SetOnLine({});
}

// ---------------------------------------------------------------- link and poll cycle

void TDovaPanel::Attach(IPanelHost& host, TUSBXpress& port) {
  host_ = &host;
  SerialKnown = false;
  Port = &port;
  Port->SetOnLine(
      [this](TUSBXpress& sender, const QByteArray& line) { HandleReply(sender, line); });
  Port->SetActive(true);
  PollStep = 0;
  FirstCycle = true;
  LeftOn = true;
  RightOn = true;
  RightFiltered = kNoReading;
  LeftFiltered = kNoReading;
  LastLBT1 = kNoReading;
  LastRBT1 = kNoReading;
  LeftDisplayChanged = sched_.Now();
  RightDisplayChanged = sched_.Now();
  Timer1.SetOnTimer([this] { Timer1Timer(); });
  Timer1.SetInterval(kSerialPollMs);
  Timer1.SetEnabled(true);
  Directory.clear();
  LogInterval = 5;
  FlowAverage = 0.0;
  RightTempGraph = std::make_unique<TTempGraph>(sched_);
  RightTempGraph->setGraphWidth(CurrentGraphWidth);
  GasFlowGraph = std::make_unique<TGasGraph>(sched_);
  GasFlowGraph->setGraphWidth(CurrentGraphWidth);
  LeftTempGraph = std::make_unique<TTempGraph>(sched_);
  LeftTempGraph->setGraphWidth(CurrentGraphWidth);
}

void TDovaPanel::Timer1Timer() {
  const PollCommands& commands = Commands();
  if (PollStep == 16 && Purging) {
    SendCommand(commands.purgeFlow);
  } else if (PollStep <= kLastPollStep) {
    SendCommand(commands.steps[PollStep]);
  }
  if (!SerialKnown) return;  // keep asking SERL every 50 ms
  PollStep = PollStep >= kLastPollStep ? kFirstCycleStep : static_cast<std::uint8_t>(PollStep + 1);
  Timer1.SetInterval(kPollMs);
}

void TDovaPanel::SendGet(QStringView tag) {
  SendCommand(protocol::BuildGet(tag));
}

void TDovaPanel::SendRead(QStringView tag) {
  SendCommand(protocol::BuildRead(tag));
}

void TDovaPanel::SendCommand(const QByteArray& command) {
  if (!Port) return;
  try {
    Port->Write(command);
  } catch (...) {
    LinkFailed();
  }
}

void TDovaPanel::LinkFailed() {
  // The device is gone (or refuses writes): stop reading and let the main window close us.
  Port->SetActive(false);
  if (host_) host_->RemovePanel(*this);
}

void TDovaPanel::HandleReply(TUSBXpress& /*Sender*/, const QByteArray& Line) {
  const TReplyParts parts = protocol::SplitReply(Line);
  if (parts.Tag == TTag::None) return;
  // One guard per reply: whatever fails ends this reply's handling and keeps what was done.
  try {
    Dispatch(parts);
  } catch (...) {
  }
}

void TDovaPanel::Dispatch(const TReplyParts& parts) {
  switch (parts.Tag) {
    case TTag::SERL:
      HandleSerl(parts);
      break;
    case TTag::NICK:
      HandleNick(parts);
      break;
    case TTag::LBSP:
      HandleTempSetPoint(ReadInt(parts), LeftSetPoint, kLeft);
      break;
    case TTag::RBSP:
      HandleTempSetPoint(ReadInt(parts), RightSetPoint, kRight);
      break;
    case TTag::GFSP:
      HandleGasSetPoint(ReadInt(parts));
      break;
    case TTag::LBT1:
      LastLBT1 = ReadInt(parts);
      break;
    case TTag::RBT1:
      LastRBT1 = ReadInt(parts);
      break;
    case TTag::LBT2:
      HandleSecondReading(ReadInt(parts), LeftChamber());
      break;
    case TTag::RBT2:
      HandleSecondReading(ReadInt(parts), RightChamber());
      LeftTempGraph->AddTemps(LeftTemp / 10.0, LeftSetPoint / 10.0);
      RightTempGraph->AddTemps(RightTemp / 10.0, RightSetPoint / 10.0);
      break;
    case TTag::FLOW:
      HandleFlow(parts);
      break;
    case TTag::PFLW:
      HandlePurgeFlow(ReadInt(parts));
      break;
    case TTag::DISP:
      if (parts.Ascii) {
        // Copy into a buffer we keep, so that a steady display costs no allocation.
        const auto& v = parts.AsciiValue;
        disp_buffer_.resize(static_cast<qsizetype>(v.size()));
        QChar* out = disp_buffer_.data();
        for (std::size_t i = 0; i < v.size(); ++i)
          out[i] = QChar(static_cast<char16_t>(v[i]));
        DecodeDisplay(disp_buffer_);
      } else {
        DecodeDisplay(parts.TextValue);
      }
      break;
    case TTag::None:
      break;
  }
}

void TDovaPanel::HandleSerl(const TReplyParts& parts) {
  Serial = parts.Value();
  ReadInt(parts);  // the number itself is not kept, only that it is one
  SerialKnown = true;
}

void TDovaPanel::HandleNick(const TReplyParts& parts) {
  const QString v = parts.Value();
  Caption.Text = v + QStringLiteral(": ") + Serial;
  ViewChanged();
  Nick = v;
  NextRecordTime = sched_.Now() + 2 * kOneSecond;
  Timer2.SetInterval(2000);
  Timer2.SetEnabled(true);
  SetGraphCaptions(Caption.Text + QStringLiteral(" - Left Temperature"),
                   Caption.Text + QStringLiteral(" - Right Temperature"),
                   Caption.Text + QStringLiteral(" - Gas Flow"));
  if (host_) host_->AddPanel(*this);
}

void TDovaPanel::Disconnect() {
  Timer1.SetEnabled(false);
  Timer2.SetEnabled(false);
  SetVisible(false);
  if (Port) {
    Port->Close();
    Port->SetOnLine({});
  }
  disconnected_ = true;
  if (LogFile) {
    // The file is closed even when its last line cannot be written.
    try {
      WriteLog(QStringLiteral("Disconnected"));
    } catch (...) {
      LogFile.reset();
      throw;
    }
    LogFile.reset();
  }
}

// ---------------------------------------------------------------- readings

void TDovaPanel::HandleTempSetPoint(std::int32_t v, std::int32_t& setPoint, const QString& side) {
  const std::int32_t sp = Add(v, 5) / 10;
  if (sp != setPoint) LogSetPointChange(side, 1, sp / 10.0);
  setPoint = sp;
}

void TDovaPanel::HandleGasSetPoint(std::int32_t v) {
  const std::int32_t gsp = Mul(Add(v / 2, 250) / 500, 5);
  if (gsp != GasSetPoint) LogSetPointChange(kGas, 0, gsp);
  GasSetPoint = gsp;
}

void TDovaPanel::HandleSecondReading(std::int32_t v, const Chamber& c) {
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

void TDovaPanel::HandleFlow(const TReplyParts& parts) {
  if (GasOn && !CO2Error && !FlowError) {
    const std::int32_t v = ReadInt(parts);
    FlowAverage = FirstCycle ? v : v / 12.0 + (FlowAverage - FlowAverage / 12.0);
    GasFlow = FlowFromAverage(FlowAverage, 250, 500);
  } else {
    GasFlow = 0;
  }
  if (GasFlow < 12) GasFlow = 0;
  GasFlowGraph->AddFlows(GasFlow, GasSetPoint);
  FirstCycle = false;
}

void TDovaPanel::HandlePurgeFlow(std::int32_t v) {
  // The purge flow comes in 1/20 ml/min and has no floor.
  FlowAverage = FirstCycle ? v : v / 12.0 + (FlowAverage - FlowAverage / 12.0);
  GasFlow = FlowFromAverage(FlowAverage, 25, 50);
  GasFlowGraph->AddFlows(GasFlow, GasSetPoint);
  FirstCycle = false;
}

// ---------------------------------------------------------------- front panel

void TDovaPanel::DecodeDisplay(QStringView value) {
  DecodeChamber(LeftChamber(), value.mid(0, 4));
  DecodeChamber(RightChamber(), value.size() > 4 ? value.mid(4, 4) : QStringView());
  DecodeGas(value.size() > 8 ? value.mid(8, 4) : QStringView());
  // Lamps in order; a value too short for a lamp ends the handling there, so the next
  // display reply writes the state block again.
  static constexpr qsizetype kLampPositions[3] = {13, 14, 15};
  TColor* lamps[3] = {&LeftTLed, &RightTLed, &GasLed};
  for (int i = 0; i < 3; ++i) {
    if (value.size() <= kLampPositions[i]) throw MalformedValue{};
    SetLamp(*lamps[i], value[kLampPositions[i]]);
  }
  LogStatePending = false;
}

void TDovaPanel::SetLabelText(TLabelState& label, QStringView field) {
  const QStringView text = TrimField(field);
  if (label.Text != text) {
    label.Text = text.toString();
    ViewChanged();
  }
}

void TDovaPanel::DecodeChamber(const Chamber& c, QStringView field) {
  const bool changed = field != c.DisplayText;
  if (changed) c.DisplayChanged = sched_.Now();
  if (changed || !c.LabelFromDevice) {
    SetLabelText(c.Label, field);
    c.DisplayTenths = format_.DisplayTenths(c.Label.Text);
    c.LabelFromDevice = true;
  }
  if (changed) c.DisplayText = field.toString();
  const int cls = ChamberClass(field);
  if (LogStatePending) {
    FirstChamberStatus(c, cls);
  } else {
    SteadyChamberStatus(c, cls);
  }
}

void TDovaPanel::FirstChamberStatus(const Chamber& c, int cls) {
  switch (cls) {
    case kIdle:
      c.On = false;
      WriteLog(c.Side + QStringLiteral(" Chamber Off"));
      c.LidOpen = false;
      c.TempError = false;
      break;
    case kLid:
      c.On = true;
      WriteLog(c.Side + QStringLiteral(" Chamber On"));
      c.LidOpen = true;
      WriteLog(c.Side + QStringLiteral(" Lid Open"));
      c.TempError = false;
      break;
    case kError:
      c.On = true;
      WriteLog(c.Side + QStringLiteral(" Chamber On"));
      c.TempError = true;
      (this->*c.Event)(QStringLiteral("Temperature Error"));
      c.LidOpen = false;
      break;
    default:
      c.On = true;
      WriteLog(c.Side + QStringLiteral(" Chamber On"));
      c.TempError = false;
      c.LidOpen = false;
      WriteLog(c.Side + QStringLiteral(" Lid Closed"));
      break;
  }
}

void TDovaPanel::SteadyChamberStatus(const Chamber& c, int cls) {
  switch (cls) {
    case kIdle:
      c.TempError = false;
      if (c.On) {
        c.On = false;
        (this->*c.Event)(QStringLiteral("Chamber Off"));
      }
      break;
    case kLid:
      if (!c.On) {
        c.On = true;
        (this->*c.Event)(QStringLiteral("Chamber On"));
      }
      c.TempError = false;
      if (!c.LidOpen) {
        c.LidOpen = true;
        (this->*c.Event)(QStringLiteral("Lid Open"));
      }
      break;
    case kError:
      if (!c.On) {
        c.On = true;
        (this->*c.Event)(QStringLiteral("Chamber On"));
      }
      if (!c.TempError) {
        c.TempError = true;
        (this->*c.Event)(QStringLiteral("Temperature Error"));
      }
      break;
    default:
      if (!c.On) {
        c.On = true;
        (this->*c.Event)(QStringLiteral("Chamber On"));
      }
      c.TempError = false;
      if (c.LidOpen) {
        c.LidOpen = false;
        (this->*c.Event)(QStringLiteral("Lid Closed"));
      }
      break;
  }
}

void TDovaPanel::DecodeGas(QStringView field) {
  if (field != gas_display_text_ || !gas_label_from_device_) {
    SetLabelText(GasFlowDisplay, field);
    gas_display_text_ = field.toString();
    gas_label_from_device_ = true;
  }
  const int cls = GasClass(field);
  if (LogStatePending) {
    FirstGasStatus(cls);
  } else {
    SteadyGasStatus(cls);
  }
}

void TDovaPanel::FirstGasStatus(int cls) {
  if (cls == kIdle) {
    GasOn = false;
    Purging = false;
    CO2Error = false;
    FlowError = false;
    WriteLog(QStringLiteral("Gas Flow Off"));
    return;
  }
  GasOn = true;
  WriteLog(QStringLiteral("Gas Flow On"));
  switch (cls) {
    case kCO2:
      FlowError = false;
      Purging = false;
      CO2Error = true;
      GasEvent(QStringLiteral("CO2 Error"));
      break;
    case kPurge:
      FlowError = false;
      Purging = true;
      CO2Error = false;
      WriteLog(QStringLiteral("Gas Purge Start"));
      break;
    case kError:
      FlowError = true;
      Purging = false;
      CO2Error = false;
      GasEvent(QStringLiteral("Flow Error"));
      break;
    default:
      FlowError = false;
      Purging = false;
      CO2Error = false;
      break;
  }
}

void TDovaPanel::SteadyGasStatus(int cls) {
  switch (cls) {
    case kIdle:
      if (Purging) GasEvent(QStringLiteral("Purge Stop"));
      Purging = false;
      CO2Error = false;
      FlowError = false;
      if (GasOn) {
        GasOn = false;
        GasEvent(QStringLiteral("Flow Off"));
      }
      break;
    case kCO2:
      FlowError = false;
      Purging = false;
      if (!CO2Error) {
        CO2Error = true;
        GasEvent(QStringLiteral("CO2 Error"));
      }
      break;
    case kPurge:
      CO2Error = false;
      if (!GasOn) {
        GasOn = true;
        GasEvent(QStringLiteral("Flow On"));
      }
      if (!Purging) {
        Purging = true;
        GasEvent(QStringLiteral("Purge Start"));
      }
      break;
    case kError:
      CO2Error = false;
      if (!FlowError) GasEvent(QStringLiteral("Flow Error"));
      FlowError = true;
      Purging = false;
      break;
    default:
      CO2Error = false;
      FlowError = false;
      if (Purging) GasEvent(QStringLiteral("Purge Stop"));
      Purging = false;
      break;
  }
}

void TDovaPanel::SetLamp(TColor& lamp, QChar code) {
  TColor fill;
  switch (code.unicode()) {
    case u' ':
      fill = clLampSilver;
      break;
    case u'A':
      fill = clLampAmber;
      break;
    case u'G':
      fill = clLampGreen;
      break;
    case u'R':
      fill = clLampRed;
      break;
    default:
      return;  // an unknown code leaves the lamp as it is
  }
  if (lamp != fill) {
    lamp = fill;
    ViewChanged();
  }
}

// ---------------------------------------------------------------- log file

QString TDovaPanel::SafeFileNamePart(const QString& text) {
  // The characters the name dialog refuses go everywhere, so that a device's name gives the
  // same file name on every platform; a user cannot type them, so typed names keep theirs.
  static constexpr std::u16string_view kDialogRefuses = u"\\/:*?<>|";
  QString out = text;
  for (QChar& c : out) {
    const char16_t u = c.unicode();
    if (u < 0x20 || u == 0x7F || kDialogRefuses.find(u) != std::u16string_view::npos ||
        kRefusedFileNameChars.find(u) != std::u16string_view::npos) {
      c = u'_';
    }
  }
  return out;
}

QString TDovaPanel::LogFileName() const {
  return SafeFileNamePart(Nick) + u' ' + SafeFileNamePart(Serial) + QStringLiteral(".csv");
}

QString TDovaPanel::LogFilePath() const {
  if (Directory.isEmpty()) return LogFileName();
  return Directory + QChar(kPathDelimiter) + LogFileName();
}

void TDovaPanel::OpenLog() {
  if (Nick.isEmpty() && Serial.isEmpty()) return;
  const QString path = LogFilePath();
  LogFile = LogFileStream::OpenExisting(path);
  if (LogFile) {
    if (LogFile->Position() > kLogSizeWarning) {
      boxes_.ShowWarning(QStringLiteral("File: ") + path +
                         QStringLiteral(" exceeds 10MB. Consider archiving and deleting"));
    }
  } else {
    if (LogFileStream::CreateIfMissing(path)) LogFile = LogFileStream::OpenExisting(path);
    if (!LogFile) {
      boxes_.DisplayMessage(QStringLiteral("File Open Error! Cannot Open: ") + path,
                            QStringLiteral("Error"));
    }
  }
  WriteLog(QStringLiteral("Connected"));
  LogStatePending = true;
}

void TDovaPanel::WriteLog(const QString& text) {
  if (!LogFile) return;
  const QString line = format_.Timestamp(sched_.Now()) + QStringLiteral(", ") + text + QChar(u'\r');
  LogFile->Write(protocol::ToDevice(line));
}

void TDovaPanel::LeftEvent(const QString& text) {
  if (LeftTempGraph) LeftTempGraph->AddEvent(text);
  WriteLog(QStringLiteral("Left ") + text);
}

void TDovaPanel::RightEvent(const QString& text) {
  if (RightTempGraph) RightTempGraph->AddEvent(text);
  WriteLog(QStringLiteral("Right ") + text);
}

void TDovaPanel::GasEvent(const QString& text) {
  if (GasFlowGraph) GasFlowGraph->AddEvent(text);
  WriteLog(QStringLiteral("Gas ") + text);
}

void TDovaPanel::LogSetPointChange(const QString& name, int decimals, double value) {
  if (FirstCycle) return;
  WriteLog(name + QStringLiteral(" Set-Point Adjusted, ") + format_.Number(value, decimals));
}

void TDovaPanel::Timer2Timer() {
  const TDateTime interval = LogInterval * kOneMinute;
  NextRecordTime += interval;
  const TDateTime now = sched_.Now();
  std::int64_t ms = MillisecondsBetween(now, NextRecordTime);
  // A due time already behind us (the thread was held up, the clock moved forward): skip
  // whole intervals so the grid stays put and the next block comes when it is due.
  if (LogInterval > 0) {
    while (ms < 1) {
      NextRecordTime += interval;
      ms = MillisecondsBetween(now, NextRecordTime);
    }
    // A due time more than one interval ahead means the clock was set back (the end of
    // daylight saving time): start the grid again from now rather than pausing the
    // records until the clock has caught up. (A tick on time lands within a millisecond
    // of the grid; the second of slack keeps rounding from moving it.)
    const std::int64_t interval_ms = std::int64_t{LogInterval} * 60000;
    if (ms > interval_ms + 1000) {
      NextRecordTime = now + interval;
      ms = interval_ms;
    }
  }
  Timer2.SetInterval(ms > 0 ? static_cast<std::uint32_t>(ms) : 0u);
  WriteLog(QStringLiteral("Left Temperature, ") + format_.Number(LeftTemp / 10.0, 1));
  WriteLog(QStringLiteral("Left Set-Point, ") + format_.Number(LeftSetPoint / 10.0, 1));
  WriteLog(QStringLiteral("Right Temperature, ") + format_.Number(RightTemp / 10.0, 1));
  WriteLog(QStringLiteral("Right Set-Point, ") + format_.Number(RightSetPoint / 10.0, 1));
  WriteLog(QStringLiteral("Gas Flow, ") + format_.Number(GasFlow, 0));
  WriteLog(QStringLiteral("Gas Set-Point, ") + format_.Number(GasSetPoint, 0));
}

void TDovaPanel::ClearLog() {
  if (LogFile) LogFile->Clear();
}

void TDovaPanel::SetDirectory(const QString& folder) {
  Directory = folder;
  LogFile.reset();
  OpenLog();
}

void TDovaPanel::SetLogInterval(std::uint8_t minutes) {
  LogInterval = minutes;
  NextRecordTime = sched_.Now() + kOneSecond;
  Timer2.SetInterval(1000);
}

// ---------------------------------------------------------------- selection and naming

void TDovaPanel::SetVisible(bool visible) {
  if (Visible == visible) return;
  Visible = visible;
  ViewChanged();
}

void TDovaPanel::SetLabelColors(TColor temp, TColor gas) {
  LeftTempDisplay.Font = temp;
  RightTempDisplay.Font = temp;
  GasFlowDisplay.Font = gas;
}

void TDovaPanel::Select() {
  SetVisible(true);
  Caption.Background = clActiveCaption;
  Caption.Font = clWhite;
  SetLabelColors(clTempSelected, clGasSelected);
  ViewChanged();
  for (TGraphWindow* w : {static_cast<TGraphWindow*>(RightTempGraph.get()),
                          static_cast<TGraphWindow*>(GasFlowGraph.get()),
                          static_cast<TGraphWindow*>(LeftTempGraph.get())}) {
    if (w) w->SetMdiChild(true);
  }
  if (host_) host_->TileGraphWindows();
}

void TDovaPanel::Deselect() {
  Caption.Background = clTileBlue;
  Caption.Font = clSilver;
  SetLabelColors(clTempPlain, clGasPlain);
  ViewChanged();
  for (TGraphWindow* w : {static_cast<TGraphWindow*>(LeftTempGraph.get()),
                          static_cast<TGraphWindow*>(GasFlowGraph.get()),
                          static_cast<TGraphWindow*>(RightTempGraph.get())}) {
    if (w) {
      w->SetMdiChild(false);
      w->SetVisible(false);
    }
  }
}

void TDovaPanel::CaptionClick() {
  if (host_) host_->SelectPanel(*this);
}

void TDovaPanel::SetGraphCaptions(const QString& left, const QString& right, const QString& gas) {
  if (LeftTempGraph) LeftTempGraph->SetCaption(left);
  if (RightTempGraph) RightTempGraph->SetCaption(right);
  if (GasFlowGraph) GasFlowGraph->SetCaption(gas);
}

void TDovaPanel::Rename(const QString& name) {
  Nick = name;
  Caption.Text = Nick + QStringLiteral(": ") + Serial;
  ViewChanged();
  SetGraphCaptions(Caption.Text + QStringLiteral(" - Left Temperatures"),
                   Caption.Text + QStringLiteral(" - Right Temperatures"),
                   Caption.Text + QStringLiteral(" - Gas Flow"));
  SendCommand(protocol::BuildSetNick(Nick));
}

void TDovaPanel::SetViewRange(int minutes) {
  CurrentGraphWidth = minutes;
  for (TTrendGraph* g : {static_cast<TTrendGraph*>(LeftTempGraph.get()),
                         static_cast<TTrendGraph*>(RightTempGraph.get()),
                         static_cast<TTrendGraph*>(GasFlowGraph.get())}) {
    if (g) {
      g->setGraphWidth(minutes);
      g->ResetTimeWindow();
    }
  }
}

void TDovaPanel::ViewChanged() {
  if (on_view_change_) on_view_change_(*this);
}

}  // namespace dova
