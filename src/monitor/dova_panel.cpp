#include "monitor/dova_panel.h"

#include "platform/logfile/file_names.h"
#include "platform/logfile/log_files.h"
#include "platform/scheduler.h"
#include "protocol/names.h"

namespace dova {

TDovaPanel::TDovaPanel(const TPanelContext& context)
    : state_(context.Sched, context.Format, events_),
      link_(context.Sched, state_),
      log_(context.Sched, context.Boxes, context.Format, state_, events_,
           context.Files ? *context.Files : SystemLogFiles(),
           context.Sync ? *context.Sync : SystemSyncQueue()),
      sched_(context.Sched) {
  link_.OnNamed = [this](const QString& nick) { Named(nick); };
  link_.OnFailed = [this] { LinkFailed(); };
  // A new file after the old one vanished starts like any other: with the states as found.
  log_.OnReopened = [this] { state_.RequestStateBlock(); };
  view_.SetOnViewChange([this] {
    if (on_view_change_) on_view_change_(*this);
  });
  // The tile's view follows the front panel; the trend windows hear of an event before the
  // log file: a line that cannot be written must not cost the chart its mark.
  events_.Subscribe([this](const TTileEvent& e) { view_.OnEvent(e); });
  events_.Subscribe([this](const TTileEvent& e) { OnEvent(e); });
  log_.Listen();
}

TDovaPanel::~TDovaPanel() = default;

void TDovaPanel::SetOnViewChange(TViewEvent handler) {
  on_view_change_ = std::move(handler);
}

// ---------------------------------------------------------------- link and poll cycle

void TDovaPanel::Attach(IPanelHost& host, TUSBXpress& port) {
  host_ = &host;
  link_.Attach(port);
  state_.Start();
  log_.Directory.clear();
  log_.LogInterval = 5;
  RightTempGraph = std::make_unique<TTempGraph>(sched_);
  RightTempGraph->setGraphWidth(view_range_);
  GasFlowGraph = std::make_unique<TGasGraph>(sched_);
  GasFlowGraph->setGraphWidth(view_range_);
  LeftTempGraph = std::make_unique<TTempGraph>(sched_);
  LeftTempGraph->setGraphWidth(view_range_);
}

void TDovaPanel::HandleReply(TUSBXpress& /*Sender*/, const QByteArray& Line) {
  link_.HandleReply(Line);
}

void TDovaPanel::LinkFailed() {
  // The log ends now, not when the main window frees the tile: the incubator may be
  // plugged in again at once, and its next link must find the file free.
  log_.Close();
  LinkDown();
  if (host_) host_->RemovePanel(*this);
}

void TDovaPanel::EmitLink(TTileEventKind kind) {
  TTileEvent e;
  e.Kind = kind;
  e.Time = sched_.Now();
  events_.Emit(e);
}

void TDovaPanel::LinkDown() {
  if (!linked_) return;
  linked_ = false;
  EmitLink(TTileEventKind::LinkDown);
}

void TDovaPanel::Named(const QString& nick) {
  if (linked_) {
    // A name reply nobody asked for (the incubator was renamed at its keys): the name and
    // captions follow, the record grid stays where it is.
    link_.Nick = nick;
    view_.SetCaptionText(nick + QStringLiteral(": ") + link_.Serial);
    SetGraphCaptions(Caption.Text + QStringLiteral(" - Left Temperature"),
                     Caption.Text + QStringLiteral(" - Right Temperature"),
                     Caption.Text + QStringLiteral(" - Gas Flow"));
    AskToBeAdded();
    return;
  }
  view_.SetCaptionText(nick + QStringLiteral(": ") + link_.Serial);
  link_.Nick = nick;
  log_.StartRecords();
  SetGraphCaptions(Caption.Text + QStringLiteral(" - Left Temperature"),
                   Caption.Text + QStringLiteral(" - Right Temperature"),
                   Caption.Text + QStringLiteral(" - Gas Flow"));
  linked_ = true;
  EmitLink(TTileEventKind::LinkUp);
  AskToBeAdded();
}

void TDovaPanel::AskToBeAdded() {
  if (!host_) return;
  // Not from inside the port's line handler: the main window opens the log file and may
  // show a modal box meanwhile. The call runs once this reply's handling is over, at the
  // same moment; by then the tile may have been freed, or its link may have ended.
  sched_.Post([this, alive = std::weak_ptr<const bool>(alive_)] {
    if (alive.expired() || !linked_) return;
    host_->AddPanel(*this);
  });
}

void TDovaPanel::Disconnect() {
  link_.Timer1.SetEnabled(false);
  log_.StopRecords();
  view_.SetVisible(false);
  link_.Close();
  LinkDown();
  log_.Close();
}

// ---------------------------------------------------------------- events

void TDovaPanel::OnEvent(const TTileEvent& e) {
  switch (e.Kind) {
    case TTileEventKind::TempsRead:
      LeftTempGraph->AddTemps(e.Value, e.SetPoint);
      RightTempGraph->AddTemps(e.Value2, e.SetPoint2);
      return;
    case TTileEventKind::FlowRead:
      GasFlowGraph->AddFlows(e.Value, e.SetPoint);
      return;
    default:
      break;
  }
  // A state found when the log was opened is no change: the chart marks only errors then.
  if (e.Initial && !IsErrorEvent(e.Kind)) return;
  const QString& text = StateEventText(e.Kind);
  if (text.isEmpty()) return;
  TTrendGraph* graph = e.Side == TTileSide::Left    ? LeftTempGraph.get()
                       : e.Side == TTileSide::Right ? RightTempGraph.get()
                                                    : static_cast<TTrendGraph*>(GasFlowGraph.get());
  if (graph) graph->AddEvent(text);
}

// ---------------------------------------------------------------- log file

QString TDovaPanel::LogFileName() const {
  return LogFileNameFor(link_.Nick, link_.Serial);
}

QString TDovaPanel::LogFilePath() const {
  if (log_.Directory.isEmpty()) return LogFileName();
  return log_.Directory + QChar(kPathDelimiter) + LogFileName();
}

void TDovaPanel::OpenLog() {
  if (link_.Nick.isEmpty() && link_.Serial.isEmpty()) return;
  log_.Open(LogFilePath());
  state_.RequestStateBlock();
}

void TDovaPanel::SetDirectory(const QString& folder) {
  log_.Directory = folder;
  log_.Forget();
  OpenLog();
}

void TDovaPanel::SetLogInterval(std::uint8_t minutes) {
  log_.SetLogInterval(minutes);
}

// ---------------------------------------------------------------- selection and naming

void TDovaPanel::Select() {
  view_.SetVisible(true);
  view_.ShowSelected();
  for (TGraphWindow* w : {static_cast<TGraphWindow*>(RightTempGraph.get()),
                          static_cast<TGraphWindow*>(GasFlowGraph.get()),
                          static_cast<TGraphWindow*>(LeftTempGraph.get())}) {
    if (w) w->SetMdiChild(true);
  }
  if (host_) host_->TileGraphWindows();
}

void TDovaPanel::Deselect() {
  view_.ShowPlain();
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
  link_.Nick = name;
  view_.SetCaptionText(link_.Nick + QStringLiteral(": ") + link_.Serial);
  SetGraphCaptions(Caption.Text + QStringLiteral(" - Left Temperatures"),
                   Caption.Text + QStringLiteral(" - Right Temperatures"),
                   Caption.Text + QStringLiteral(" - Gas Flow"));
  link_.SendCommand(protocol::BuildSetNick(link_.Nick));
}

void TDovaPanel::SetViewRange(int minutes) {
  view_range_ = minutes;
  for (TTrendGraph* g : {static_cast<TTrendGraph*>(LeftTempGraph.get()),
                         static_cast<TTrendGraph*>(RightTempGraph.get()),
                         static_cast<TTrendGraph*>(GasFlowGraph.get())}) {
    if (g) {
      g->setGraphWidth(minutes);
      g->ResetTimeWindow();
    }
  }
}

}  // namespace dova
