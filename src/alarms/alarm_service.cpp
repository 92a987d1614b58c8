#include "alarms/alarm_service.h"

#include "app/main_form.h"
#include "monitor/dova_panel.h"
#include "platform/scheduler.h"

namespace dova {

// ---------------------------------------------------------------- one tile

TPanelAlarmFeed::TPanelAlarmFeed(TAlarmEngine& engine, const TDovaPanel& panel,
                                 std::function<void()> tracked)
    : engine_(engine), panel_(panel), tracked_(std::move(tracked)) {
  subscription_ = TScopedSubscription(panel.Events(), [this](const TTileEvent& e) { OnEvent(e); });
}

TPanelAlarmFeed::~TPanelAlarmFeed() = default;

void TPanelAlarmFeed::OnEvent(const TTileEvent& e) {
  if (e.Kind == TTileEventKind::LinkUp) {
    incubator_ = &engine_.Track(panel_.Serial, panel_.Nick);
    if (tracked_) tracked_();
  }
  if (incubator_ == nullptr) return;
  engine_.OnEvent(*incubator_, e);
  if (e.Kind == TTileEventKind::TempsRead) {
    TIncubatorHealth h;
    h.LeftTempError = panel_.LeftTempError;
    h.RightTempError = panel_.RightTempError;
    h.CO2Error = panel_.CO2Error;
    h.FlowError = panel_.FlowError;
    h.LogPendingLines = panel_.Log().PendingLines();
    h.LogDroppedLines = panel_.Log().DroppedLines();
    engine_.OnHealth(*incubator_, h);
  }
}

// ---------------------------------------------------------------- the run's alarms

TAlarmService::TAlarmService(Scheduler& sched, const SettingsStore* store, TOptions options,
                             std::function<void(const QString&)> note)
    : settings_(store),
      engine_(sched, settings_),
      journal_(sched, options.Files != nullptr ? *options.Files : SystemLogFiles(), options.Folder,
               std::move(options.Reader)),
      note_(std::move(note)),
      self_(std::make_shared<TAlarmService*>(this)) {
  if (!options.Command.isEmpty()) settings_.SetCommand(options.Command);
  const TJournalState state = journal_.Open(sched.Now());
  journal_.Attach(engine_);
  if (!settings_.Command().isEmpty()) {
    command_ = std::make_unique<TAlarmCommand>(sched, settings_.Command());
    command_->Attach(engine_);
    told_ = TScopedSubscription(command_->Told, [this](const QString& text) {
      if (note_) note_(text);
    });
  }
  for (const auto& shelf : state.Shelves) {
    engine_.RestoreShelf(shelf.Serial, shelf.Name, shelf.Until, shelf.Reason);
  }
  engine_.Restore(state.Alarms);
  TellProblems();
}

TAlarmService::~TAlarmService() {
  *self_ = nullptr;
  feeds_.clear();
}

void TAlarmService::TellProblems() {
  if (!note_) return;
  for (const QString& p : journal_.TakeProblems())
    note_(p);
  for (const QString& p : settings_.TakeProblems())
    note_(p);
}

void TAlarmService::FollowPanels(TMainForm& form) {
  for (const TDovaPanel* panel : form.Panels())
    Follow(*panel);
  form.OnPanelChange = [previous = std::move(form.OnPanelChange), self = self_](
                           const TDovaPanel& panel, TMainForm::TPanelChange change) {
    if (previous) previous(panel, change);
    if (*self == nullptr) return;
    if (change == TMainForm::TPanelChange::Created) (*self)->Follow(panel);
    if (change == TMainForm::TPanelChange::Freed) (*self)->Forget(panel);
  };
}

void TAlarmService::Follow(const TDovaPanel& panel) {
  auto& feed = feeds_[&panel];
  // Settings read for a new incubator may have something to say.
  if (!feed) feed = std::make_unique<TPanelAlarmFeed>(engine_, panel, [this] { TellProblems(); });
}

void TAlarmService::Forget(const TDovaPanel& panel) {
  feeds_.erase(&panel);
}

std::unique_ptr<TAlarmService> StartAlarmService(Scheduler& sched, TMainForm& form,
                                                 const SettingsStore& settings,
                                                 const QString& folder, const QString& command,
                                                 std::function<void(const QString&)> note) {
  TAlarmService::TOptions options;
  options.Folder = folder;
  options.Command = command;
  auto service =
      std::make_unique<TAlarmService>(sched, &settings, std::move(options), std::move(note));
  service->FollowPanels(form);
  return service;
}

}  // namespace dova
