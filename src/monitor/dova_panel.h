#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "graphs/gas_graph.h"
#include "graphs/temp_graph.h"
#include "monitor/log_format.h"
#include "monitor/panel_host.h"
#include "monitor/protocol.h"
#include "platform/datetime.h"
#include "platform/logfile/log_file_stream.h"
#include "platform/timer.h"
#include "usb/usbxpress.h"

namespace dova {

class Scheduler;

// Colours as 0xRRGGBB. Values with the top byte set stand for a colour of the desktop
// theme that the renderer looks up (only the active caption colour is used).
using TColor = std::uint32_t;
constexpr TColor Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return static_cast<TColor>(r) << 16 | static_cast<TColor>(g) << 8 | b;
}
inline constexpr TColor clActiveCaption = 0xFF000002u;
constexpr bool IsSystemColor(TColor c) {
  return (c & 0xFF000000u) != 0;
}
constexpr std::uint8_t RedOf(TColor c) {
  return static_cast<std::uint8_t>(c >> 16);
}
constexpr std::uint8_t GreenOf(TColor c) {
  return static_cast<std::uint8_t>(c >> 8);
}
constexpr std::uint8_t BlueOf(TColor c) {
  return static_cast<std::uint8_t>(c);
}

inline constexpr TColor clTileBlue = Rgb(39, 139, 224);
inline constexpr TColor clWhite = Rgb(255, 255, 255);
inline constexpr TColor clSilver = Rgb(192, 192, 192);
inline constexpr TColor clMaroon = Rgb(128, 0, 0);
inline constexpr TColor clGreen = Rgb(0, 128, 0);
inline constexpr TColor clLime = Rgb(0, 255, 0);
inline constexpr TColor clGray = Rgb(128, 128, 128);
// Lamp fills.
inline constexpr TColor clLampSilver = Rgb(192, 192, 192);
inline constexpr TColor clLampAmber = Rgb(255, 220, 21);
inline constexpr TColor clLampGreen = Rgb(0, 255, 0);
inline constexpr TColor clLampRed = Rgb(255, 0, 0);
// Value label text: bright while selected, dimmer otherwise.
inline constexpr TColor clTempSelected = Rgb(255, 62, 62);
inline constexpr TColor clGasSelected = Rgb(0, 255, 0);
inline constexpr TColor clTempPlain = Rgb(240, 0, 0);
inline constexpr TColor clGasPlain = Rgb(0, 213, 0);

// One control of the tile as the form designer laid it out (pixels).
struct TTileControlLayout {
  const char* Name;
  int Left, Top, Width, Height;
  TColor Background;  // the frame's or label's background; a lamp's fill
  TColor Text;        // label text; a lamp's outline
  const char* FontName;
  int FontPixels;
  bool Bold;
};

inline constexpr int kTileWidth = 192;
inline constexpr int kTileHeight = 74;

// The tile's layout, frame first, in creation order.
inline constexpr std::array<TTileControlLayout, 9> kTileLayout{{
    {"DovaPanel", 0, 0, kTileWidth, kTileHeight, clTileBlue, clWhite, "", 0, false},
    {"Caption", 2, 2, 188, 16, clActiveCaption, clWhite, "Arial", 13, true},
    {"DOVAFrontPanelImage", 0, 20, 192, 54, clTileBlue, clWhite, "", 0, false},
    {"LeftTempDisplay", 13, 27, 41, 20, clMaroon, clTempSelected, "MS Sans Serif", 19, false},
    {"GasFlowDisplay", 76, 27, 41, 20, clGreen, clGasSelected, "MS Sans Serif", 19, false},
    {"RightTempDisplay", 139, 27, 41, 20, clMaroon, clTempSelected, "MS Sans Serif", 19, false},
    {"LeftTLed", 28, 52, 11, 11, clLampSilver, clGray, "", 0, false},
    {"GasLed", 92, 52, 11, 11, clLampSilver, clGray, "", 0, false},
    {"RightTLed", 154, 52, 11, 11, clLampSilver, clGray, "", 0, false},
}};

// A text label as plain state: what it says and its colours.
struct TLabelState {
  QString Text;
  TColor Font = clWhite;
  TColor Background = clTileBlue;
  bool operator==(const TLabelState&) const = default;
};

// The program-wide view range of the trend windows, in minutes; every new tile hands it to
// its windows and SetViewRange changes it.
inline int CurrentGraphWidth = 720;

// What a tile is given besides its main window and port.
struct TPanelContext {
  Scheduler& Sched;
  IMessageBoxes& Boxes;
  const LogFormat& Format;
};

// One connected incubator: the link to it (poll cycle, replies), what its front panel
// shows, its readings, its log file and its three trend windows. Everything runs on the
// user-interface thread. Fields carry the names the rest of the program and the tests use.
// The context's scheduler, message boxes and format must outlive the tile; the port must
// outlive it too unless the tile was disconnected first.
class TDovaPanel {
 public:
  using TViewEvent = std::function<void(TDovaPanel& Sender)>;

  // Log files over this size draw a warning when they are opened.
  static constexpr std::int64_t kLogSizeWarning = 10LL * 1024 * 1024;
  // Marks a raw temperature or filter state that holds nothing yet.
  static constexpr std::int32_t kNoReading = -1000;
  static constexpr std::uint32_t kSerialPollMs = 50;
  static constexpr std::uint32_t kPollMs = 20;
  static constexpr std::uint8_t kLastPollStep = 17;
  static constexpr std::uint8_t kFirstCycleStep = 2;
  // The display must have stood still longer than this before the temperature snaps to it.
  static constexpr std::int64_t kSnapQuietMs = 3000;

  explicit TDovaPanel(const TPanelContext& context);
  ~TDovaPanel();
  TDovaPanel(const TDovaPanel&) = delete;
  TDovaPanel& operator=(const TDovaPanel&) = delete;

  // --- link and poll cycle
  void Attach(IPanelHost& host, TUSBXpress& port);
  void Timer1Timer();
  void HandleReply(TUSBXpress& Sender, const QByteArray& Line);
  void SendGet(QStringView tag);
  void SendRead(QStringView tag);
  void Disconnect();

  // --- front panel
  void DecodeDisplay(QStringView value);

  // --- log file
  void OpenLog();
  void WriteLog(const QString& text);
  void LeftEvent(const QString& text);
  void RightEvent(const QString& text);
  void GasEvent(const QString& text);
  void LogSetPointChange(const QString& name, int decimals, double value);
  void Timer2Timer();
  // The file name the log would be opened under now, and its full path.
  QString LogFileName() const;
  QString LogFilePath() const;
  // A name or serial from the device made harmless as part of a file name: path
  // separators, the characters the name dialog refuses (\ / : * ? < > |), any other
  // character this platform's file systems refuse and control characters become "_".
  // Whatever a user can type into the name dialog stays. The caption keeps the text as
  // received.
  static QString SafeFileNamePart(const QString& text);

  // --- the tile as a visible, selectable, nameable object
  void Select();
  void Deselect();
  void CaptionClick();
  QString GetNick() const { return Nick; }
  void Rename(const QString& name);
  void SetDirectory(const QString& folder);
  void SetLogInterval(std::uint8_t minutes);
  void SetViewRange(int minutes);
  void ClearLog();
  // Shows or hides the tile (the main window hides it when its link ends).
  void SetVisible(bool visible);

  // The renderer's hook: called after the visible state (Visible, labels, lamps) changed.
  void SetOnViewChange(TViewEvent handler) { on_view_change_ = std::move(handler); }

  // ---- fields, in their documented order
  std::unique_ptr<TTempGraph> LeftTempGraph;
  std::unique_ptr<TTempGraph> RightTempGraph;
  std::unique_ptr<TGasGraph> GasFlowGraph;
  std::uint8_t PollStep = 0;
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
  TDateTime NextRecordTime = 0;
  std::uint8_t LogInterval = 0;
  QString Nick;
  QString Serial;
  QString Directory;
  std::unique_ptr<LogFileStream> LogFile;
  TUSBXpress* Port = nullptr;
  bool SerialKnown = false;

  // ---- components and what the tile shows
  Timer Timer1;
  Timer Timer2;
  QString Name;  // the component name the main window gives the tile
  QString Hint = QStringLiteral("Click to select DOVA");
  bool Visible = false;
  TColor Color = clTileBlue;
  TLabelState Caption{QStringLiteral("DOVA"), clWhite, clActiveCaption};
  TLabelState LeftTempDisplay{QStringLiteral("37.0"), clTempSelected, clMaroon};
  TLabelState GasFlowDisplay{QStringLiteral("OFF"), clGasSelected, clGreen};
  TLabelState RightTempDisplay{QStringLiteral("37.0"), clTempSelected, clMaroon};
  TColor LeftTLed = clLampSilver;
  TColor GasLed = clLampSilver;
  TColor RightTLed = clLampSilver;

 private:
  struct Chamber;
  Chamber LeftChamber();
  Chamber RightChamber();

  void SendCommand(const QByteArray& command);
  void LinkFailed();
  void Dispatch(const protocol::TReplyParts& parts);
  void HandleSerl(const protocol::TReplyParts& parts);
  void HandleNick(const protocol::TReplyParts& parts);
  void HandleTempSetPoint(std::int32_t v, std::int32_t& setPoint, const QString& side);
  void HandleGasSetPoint(std::int32_t v);
  void HandleSecondReading(std::int32_t v, const Chamber& chamber);
  void HandleFlow(const protocol::TReplyParts& parts);
  void HandlePurgeFlow(std::int32_t v);
  void DecodeChamber(const Chamber& chamber, QStringView field);
  void DecodeGas(QStringView field);
  void FirstChamberStatus(const Chamber& chamber, int cls);
  void SteadyChamberStatus(const Chamber& chamber, int cls);
  void FirstGasStatus(int cls);
  void SteadyGasStatus(int cls);
  void SetLamp(TColor& lamp, QChar code);
  void SetLabelText(TLabelState& label, QStringView field);
  void SetLabelColors(TColor temp, TColor gas);
  void SetGraphCaptions(const QString& left, const QString& right, const QString& gas);
  void ViewChanged();

  Scheduler& sched_;
  IMessageBoxes& boxes_;
  const LogFormat& format_;
  IPanelHost* host_ = nullptr;
  // After Disconnect the port may be freed by its owner before the tile.
  bool disconnected_ = false;
  TViewEvent on_view_change_;

  // The displays' last reading in tenths, kept with the label texts (none: not a number).
  std::optional<std::int32_t> left_display_tenths_;
  std::optional<std::int32_t> right_display_tenths_;
  // The gas field last shown; the labels follow a field only when it changes.
  QString gas_display_text_;
  bool left_label_from_device_ = false;
  bool right_label_from_device_ = false;
  bool gas_label_from_device_ = false;
  // Reused for the display value of ASCII replies, so the steady poll does not allocate.
  QString disp_buffer_;
};

}  // namespace dova
