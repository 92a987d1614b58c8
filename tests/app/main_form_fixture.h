#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "app/dialogs.h"
#include "app/main_form.h"
#include "monitor/log_format.h"
#include "platform/error_reporter.h"
#include "platform/keepawake/keep_awake.h"
#include "platform/settings/settings_store.h"
#include "platform/virtual_scheduler.h"
#include "sim/simulated_incubators.h"

namespace dova::testing {

// Dialog answers scripted by the test. While a dialog is "open", WhileOpen runs (to let
// virtual time pass or pull a cable).
struct ScriptedDialogs : ILogIntervalDlg, IFoldersDlg, IEditNameDlg, IAboutBox, IConfirmBoxes {
  std::deque<QString> Answers;  // interval, folder and name dialogs; a null text is Cancel
  std::deque<bool> Confirms;
  std::function<void()> WhileOpen;
  QStringList Shown;  // what each dialog showed, in order
  QStringList Errors;
  int AboutShown = 0;

  std::optional<QString> Next(const QString& shown) {
    Shown << shown;
    if (WhileOpen) WhileOpen();
    if (Answers.empty()) return std::nullopt;
    const QString a = Answers.front();
    Answers.pop_front();
    if (a.isNull()) return std::nullopt;
    return a;
  }
  std::optional<QString> Execute(std::uint8_t interval) override {
    return Next(QString::number(interval));
  }
  std::optional<QString> Execute(const QString& text) override { return Next(text); }
  void ShowModal() override { ++AboutShown; }
  bool Confirm(const QString& text) override {
    Shown << text;
    if (WhileOpen) WhileOpen();
    if (Confirms.empty()) return false;
    const bool yes = Confirms.front();
    Confirms.pop_front();
    return yes;
  }
  void ShowError(const QString& text) override { Errors << text; }
};

// The folder dialog and the name dialog share Execute(const QString&); the test tells
// them apart by the order of its answers.

struct RecordingMessageBoxes : IMessageBoxes {
  QStringList Warnings, Messages;
  std::function<void()> WhileWarningOpen;
  void ShowWarning(const QString& text) override {
    Warnings << text;
    if (WhileWarningOpen) WhileWarningOpen();
  }
  void DisplayMessage(const QString& message, const QString&) override { Messages << message; }
};

// A main window over simulated incubators, on virtual time, with a data folder of its own.
// The bench is quiet unless a test asks for another: incubators that a test plugs in do
// nothing by themselves.
struct MainFormFixture {
  VirtualScheduler sched;
  RecordingErrorReporter errors;
  sim::SimulatedIncubators fleet;
  MemorySettingsStore store;
  RecordingKeepAwake awake;
  RecordingMessageBoxes boxes;
  ScriptedDialogs dialogs;
  LogFormat format = LogFormat::Pinned();
  QTemporaryDir dir;
  // Where the tiles open their log files; the real file system when null.
  LogFiles* files = nullptr;
  std::unique_ptr<TMainForm> form;

  MainFormFixture(const sim::TBenchOptions& bench = {.Quiet = true}) : fleet(sched, bench) {
    sched.SetErrorReporter(&errors);
    store.key_exists = true;
    store.values["Directory"] = dir.path() + "/data";
    store.values["LogInterval"] = 5;
  }

  TMainForm& Create() {
    form = std::make_unique<TMainForm>(TMainFormServices{
        sched, fleet.Library(), store, awake, boxes, format,
        TDialogs{dialogs, dialogs, dialogs, dialogs, dialogs}, dir.path() + "/Documents", files});
    return *form;
  }

  // Plugs in an incubator with the given name and waits until its tile is listed.
  sim::Incubator& Plug(const std::string& nick) {
    auto config = sim::SimulatedIncubators::DefaultConfig(static_cast<int>(fleet.Count()) + 1, 1);
    config.nick = nick;
    sim::Incubator& inc = fleet.Add(config);
    const std::size_t before = form->ActivePanels.size();
    sched.AdvanceUntil([&] { return form->ActivePanels.size() > before; }, 3000);
    return inc;
  }

  TDovaPanel* Listed(const QString& nick) const {
    for (TDovaPanel* p : form->ActivePanels)
      if (p->Nick == nick) return p;
    return nullptr;
  }

  std::vector<QString> Nicks() const {
    std::vector<QString> nicks;
    for (const TDovaPanel* p : form->ActivePanels)
      nicks.push_back(p->Nick);
    return nicks;
  }

  static QStringList LogLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QStringList lines = QString::fromLocal8Bit(f.readAll()).split(u'\r', Qt::SkipEmptyParts);
    return lines;
  }
};

}  // namespace dova::testing
