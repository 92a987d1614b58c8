#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "alarms/alarm_engine.h"
#include "platform/settings/settings_store.h"
#include "platform/timer.h"
#include "platform/virtual_scheduler.h"

namespace dova::testing {

// One incubator told to the engine as a tile would tell it: a poll every second with both
// temperatures and the flow (while it replies), the health of its parts, and the state events
// a test sends. Transitions are recorded with the virtual time they came at.
struct AlarmBench {
  static constexpr std::int64_t kPollMs = 1000;

  VirtualScheduler sched;
  MemorySettingsStore store;
  TAlarmSettings settings{&store};
  TAlarmEngine engine{sched, settings};
  std::vector<TAlarmTransition> seen;
  std::vector<std::int64_t> seen_at;
  TAlarmEngine::TIncubator* inc = nullptr;
  QString serial = QStringLiteral("a1b2c3");

  double left = 37.0, left_sp = 37.0, right = 37.0, right_sp = 37.0;
  double flow = 100, flow_sp = 100;
  bool replying = true;
  TIncubatorHealth health;
  Timer poll{sched, kPollMs};
  TScopedSubscription listen;

  AlarmBench() {
    store.key_exists = true;
    listen = TScopedSubscription(engine.Stream(), [this](const TAlarmTransition& t) {
      seen.push_back(t);
      seen_at.push_back(sched.ElapsedMs());
    });
    poll.SetOnTimer([this] { Poll(); });
  }

  void Poll() {
    if (!replying || inc == nullptr) return;
    TTileEvent e;
    e.Kind = TTileEventKind::TempsRead;
    e.Time = sched.Now();
    e.Value = left;
    e.SetPoint = left_sp;
    e.Value2 = right;
    e.SetPoint2 = right_sp;
    engine.OnEvent(*inc, e);
    e = TTileEvent{};
    e.Kind = TTileEventKind::FlowRead;
    e.Time = sched.Now();
    e.Value = flow;
    e.SetPoint = flow_sp;
    engine.OnEvent(*inc, e);
    engine.OnHealth(*inc, health);
  }

  void Send(TTileEventKind kind, TTileSide side = TTileSide::None, bool initial = false) {
    TTileEvent e;
    e.Kind = kind;
    e.Side = side;
    e.Initial = initial;
    e.Time = sched.Now();
    if (inc == nullptr) inc = &engine.Track(serial, QStringLiteral("Bench, \"B\""));
    engine.OnEvent(*inc, e);
  }

  // The link comes up with both chambers and the gas on, lids closed, all in band.
  void LinkUp() {
    Send(TTileEventKind::LinkUp);
    Send(TTileEventKind::ChamberOn, TTileSide::Left, true);
    Send(TTileEventKind::LidClosed, TTileSide::Left, true);
    Send(TTileEventKind::ChamberOn, TTileSide::Right, true);
    Send(TTileEventKind::LidClosed, TTileSide::Right, true);
    Send(TTileEventKind::GasOn, TTileSide::Gas, true);
  }

  // Transitions of one kind so far.
  std::vector<TAlarmTransition> Of(TAlarmTransitionKind what) const {
    std::vector<TAlarmTransition> out;
    for (const auto& t : seen) {
      if (t.Transition == what) out.push_back(t);
    }
    return out;
  }
  int Count(TAlarmTransitionKind what, TAlarmKind kind) const {
    int n = 0;
    for (const auto& t : seen)
      n += t.Transition == what && t.Key && t.Key->Kind == kind;
    return n;
  }
  // Virtual time of the first transition of that kind; -1 when none.
  std::int64_t FirstAt(TAlarmTransitionKind what, TAlarmKind kind) const {
    for (std::size_t i = 0; i < seen.size(); ++i) {
      if (seen[i].Transition == what && seen[i].Key && seen[i].Key->Kind == kind) {
        return seen_at[i];
      }
    }
    return -1;
  }
  TAlarmState State(TAlarmKind kind, TAlarmSide side) const {
    const auto a = engine.Find(serial, {kind, side});
    return a ? a->State : TAlarmState::Normal;
  }
  void Minutes(double m) { sched.AdvanceBy(static_cast<std::int64_t>(m * 60000)); }
};

}  // namespace dova::testing
