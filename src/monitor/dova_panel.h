#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <functional>
#include <memory>

#include "graphs/gas_graph.h"
#include "graphs/temp_graph.h"
#include "monitor/dova_link.h"
#include "monitor/incubator_state.h"
#include "monitor/log_format.h"
#include "monitor/log_writer.h"
#include "monitor/panel_host.h"
#include "monitor/tile_events.h"
#include "monitor/tile_view.h"
#include "platform/datetime.h"
#include "platform/timer.h"
#include "usb/usbxpress.h"

namespace dova {

class Scheduler;

inline constexpr int kTileWidth = 192;
inline constexpr int kTileHeight = 74;

// What a tile is given besides its main window and port.
struct TPanelContext {
  Scheduler& Sched;
  IMessageBoxes& Boxes;
  const LogFormat& Format;
  // Where log files are opened; the real file system when not given.
  LogFiles* Files = nullptr;
  // Where their syncs run; the program's sync thread when not given.
  SyncQueue* Sync = nullptr;
};

// One connected incubator, the tile the rest of the program names: the link to it (poll
// cycle, replies), what it is doing (readings, displays, states), its log file, what its
// tile shows and its three trend windows. Each of those is a part that does one job; this
// class ties them together in the order the incubator's replies take:
//
//   port → link (typed reply) → incubator state → events ─┬→ trend models
//                                                         ├→ log writer
//                                                         └→ anyone who subscribes
//
// The parts' state is readable through the references below, under the names the rest of
// the program and the tests use. Everything runs on the user-interface thread. The
// context's scheduler, message boxes and format must outlive the tile; the port must outlive
// it too unless the tile was disconnected first.
class TDovaPanel {
  // The parts come first: the references below point into them. Listening changes nothing
  // of the tile, so a read-only tile can be listened to.
  mutable TTileEventStream events_;
  TTileView view_;
  TIncubatorState state_;
  TDovaLink link_;
  TLogWriter log_;

 public:
  using TViewEvent = std::function<void(TDovaPanel& Sender)>;

  static constexpr std::int64_t kLogSizeWarning = TLogWriter::kLogSizeWarning;
  static constexpr std::int32_t kNoReading = TIncubatorState::kNoReading;
  static constexpr std::uint32_t kSerialPollMs = TDovaLink::kSerialPollMs;
  static constexpr std::uint32_t kPollMs = TDovaLink::kPollMs;
  static constexpr std::uint8_t kLastPollStep = TDovaLink::kLastPollStep;
  static constexpr std::uint8_t kFirstCycleStep = TDovaLink::kFirstCycleStep;
  static constexpr std::int64_t kSnapQuietMs = TIncubatorState::kSnapQuietMs;
  // The view range of the trend windows until the main window hands the tile its own.
  static constexpr int kDefaultViewRange = 720;

  explicit TDovaPanel(const TPanelContext& context);
  ~TDovaPanel();
  TDovaPanel(const TDovaPanel&) = delete;
  TDovaPanel& operator=(const TDovaPanel&) = delete;

  // --- link and poll cycle
  void Attach(IPanelHost& host, TUSBXpress& port);
  void Timer1Timer() { link_.Timer1Timer(); }
  void HandleReply(TUSBXpress& Sender, const QByteArray& Line);
  void Disconnect();

  // --- front panel
  void DecodeDisplay(QStringView value) { state_.DecodeDisplay(value); }

  // --- log file
  void OpenLog();
  void WriteLog(const QString& text) { log_.WriteLog(text); }
  void Timer2Timer() { log_.Timer2Timer(); }
  // The file name the log would be opened under now, and its full path.
  QString LogFileName() const;
  QString LogFilePath() const;

  // --- the tile as a visible, selectable, nameable object
  void Select();
  void Deselect();
  void CaptionClick();
  QString GetNick() const { return link_.Nick; }
  void Rename(const QString& name);
  void SetDirectory(const QString& folder);
  void SetLogInterval(std::uint8_t minutes);
  // The span the trend windows show, in minutes; the main window hands every tile its range.
  void SetViewRange(int minutes);
  int ViewRange() const { return view_range_; }
  void ClearLog() { log_.Clear(); }
  // Shows or hides the tile (the main window hides it when its link ends).
  void SetVisible(bool visible) { view_.SetVisible(visible); }

  // The renderer's hook: called after the visible state (Visible, labels, lamps) changed.
  void SetOnViewChange(TViewEvent handler);

  // What happens at the incubator, for anyone who listens (see TTileEventStream).
  TTileEventStream& Events() const { return events_; }
  // The parts, read-only, for front ends; the mutable ones for the tests of one part.
  const TIncubatorState& State() const { return state_; }
  TIncubatorState& State() { return state_; }
  const TDovaLink& Link() const { return link_; }
  TDovaLink& Link() { return link_; }
  const TLogWriter& Log() const { return log_; }
  const TTileView& View() const { return view_; }

  // ---- the trend windows
  std::unique_ptr<TTempGraph> LeftTempGraph;
  std::unique_ptr<TTempGraph> RightTempGraph;
  std::unique_ptr<TGasGraph> GasFlowGraph;

  // ---- the parts' state under its documented names, read-only
  const std::uint8_t& PollStep = link_.PollStep;
  const std::int32_t& LeftTemp = state_.LeftTemp;
  const std::int32_t& LastLBT1 = state_.LastLBT1;
  const std::int32_t& RightTemp = state_.RightTemp;
  const std::int32_t& LastRBT1 = state_.LastRBT1;
  const std::int32_t& LeftFiltered = state_.LeftFiltered;
  const std::int32_t& RightFiltered = state_.RightFiltered;
  const QString& LeftDisplayText = state_.LeftDisplayText;
  const QString& RightDisplayText = state_.RightDisplayText;
  const TDateTime& LeftDisplayChanged = state_.LeftDisplayChanged;
  const TDateTime& RightDisplayChanged = state_.RightDisplayChanged;
  const std::int32_t& LeftSetPoint = state_.LeftSetPoint;
  const std::int32_t& RightSetPoint = state_.RightSetPoint;
  const std::int32_t& GasFlow = state_.GasFlow;
  const std::int32_t& GasSetPoint = state_.GasSetPoint;
  const double& FlowAverage = state_.FlowAverage;
  const bool& FirstCycle = state_.FirstCycle;
  const bool& LeftOn = state_.LeftOn;
  const bool& RightOn = state_.RightOn;
  const bool& GasOn = state_.GasOn;
  const bool& LeftTempError = state_.LeftTempError;
  const bool& RightTempError = state_.RightTempError;
  const bool& FlowError = state_.FlowError;
  const bool& CO2Error = state_.CO2Error;
  const bool& Purging = state_.Purging;
  const bool& LeftLidOpen = state_.LeftLidOpen;
  const bool& RightLidOpen = state_.RightLidOpen;
  const bool& LogStatePending = state_.LogStatePending;
  const TDateTime& NextRecordTime = log_.NextRecordTime;
  const std::uint8_t& LogInterval = log_.LogInterval;
  const QString& Nick = link_.Nick;
  const QString& Serial = link_.Serial;
  const QString& Directory = log_.Directory;
  const std::unique_ptr<DurableLog>& LogFile = log_.File;
  TUSBXpress* const& Port = link_.Port;
  const bool& SerialKnown = link_.SerialKnown;

  // ---- components and what the tile shows
  const Timer& Timer1 = link_.Timer1;
  const Timer& Timer2 = log_.Timer2;
  QString Name;  // the component name the main window gives the tile
  const QString& Hint = view_.Hint;
  const bool& Visible = view_.Visible;
  const TColor& Color = view_.Color;
  const TLabelState& Caption = view_.Caption;
  const TLabelState& LeftTempDisplay = view_.LeftTempDisplay;
  const TLabelState& GasFlowDisplay = view_.GasFlowDisplay;
  const TLabelState& RightTempDisplay = view_.RightTempDisplay;
  const TColor& LeftTLed = view_.LeftTLed;
  const TColor& GasLed = view_.GasLed;
  const TColor& RightTLed = view_.RightTLed;

 private:
  void Named(const QString& nick);
  // Has the main window add the tile (list it, open its log) after the reply's handling.
  void AskToBeAdded();
  void LinkFailed();
  void OnEvent(const TTileEvent& e);
  void SetGraphCaptions(const QString& left, const QString& right, const QString& gas);
  void EmitLink(TTileEventKind kind);
  // Tells of the link's end once, and only for a link that was up (named).
  void LinkDown();

  Scheduler& sched_;
  IPanelHost* host_ = nullptr;
  int view_range_ = kDefaultViewRange;
  bool linked_ = false;
  TViewEvent on_view_change_;
  // Expires with the tile: a call it posted finds out whether the tile is still there.
  std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
};

}  // namespace dova
