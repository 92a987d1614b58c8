#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "sim/incubator.h"
#include "sim/scenario.h"

namespace dova {
class Scheduler;
class Timer;
}  // namespace dova

namespace dova::sim {

// The seed a simulated bench uses unless it is given one: every run plays the same day.
inline constexpr std::uint32_t kDefaultSeed = 1;

// Incubator number n (from 1) as a lab would have it: a name such as "IVF 2" or
// "Embryo 3" (distinct within one seed), a seven-digit serial number, set-points of its
// own (37.0 or 37.5 °C, 20 or 25 ml/min...) and a room of 21 to 24 °C from which its
// chambers warm up after it is switched on. The same seed gives the same bench.
IncubatorConfig LabDayConfig(int number, std::uint32_t seed);

// One incubator's working day, drawn from the seed step by step for as long as it is asked:
// lids opened for some seconds, purges, set-points adjusted (and later put back), and
// rarely a temperature or flow error that clears again. Every step's target is the
// incubator's number and its time counts from the moment the incubator was plugged in.
//
// Pace: the first episode comes 12 s to about 100 s after plug-in, spread by the
// incubator's number so that a bench does not act all at once; incubators 1, 2 and 3 begin
// with a lid opening, a purge and a set-point change, so any three-incubator bench shows
// each of them within its first two minutes. Episodes follow 30 to 75 s apart during the
// first five minutes, then 6 to 25 minutes apart (about 85 a day), so a chart of hours
// stays readable. Errors come only after the first five minutes, in 8 episodes of 100.
// Episodes of one incubator never overlap: a lid is closed, a purge over and an error
// cleared before the next one begins.
class LabDayPlan {
 public:
  static constexpr std::int64_t kBusyMs = 5 * 60'000;
  static constexpr std::int64_t kCalmGapMs = 6 * 60'000;

  LabDayPlan(int number, std::uint32_t seed);

  // The next step; times never go back.
  ScenarioStep Next();

 private:
  enum class Kind { Lid, Purge, SetPoint, TempError, FlowError };
  void PlanEpisode();
  void Push(std::int64_t at_ms, Action action);
  Action Make(Action::Verb verb) const;
  std::uint64_t Draw();
  std::int64_t Between(std::int64_t low, std::int64_t high);
  int AdjustedTemperature(int current, int base);

  int number_;
  std::uint64_t rng_;
  std::int64_t next_ms_ = 0;
  int episodes_ = 0;
  int base_left_, base_right_, base_gas_;
  int left_, right_, gas_;
  std::deque<ScenarioStep> queued_;
};

// Plays lab days on the scheduler's timers: one timer per incubator, armed for its next
// step. The plan's own times are followed, not the wall clock, so a clock set back or
// forward changes nothing.
class LabDay {
 public:
  LabDay(Scheduler& scheduler, std::uint32_t seed, std::function<void(const Action&)> apply);
  ~LabDay();
  LabDay(const LabDay&) = delete;
  LabDay& operator=(const LabDay&) = delete;

  // Incubator number n's day begins now.
  void Start(int number);

 private:
  struct Track;
  void Arm(Track& track);
  void Fire(Track& track);

  Scheduler& scheduler_;
  std::uint32_t seed_;
  std::function<void(const Action&)> apply_;
  std::vector<std::unique_ptr<Track>> tracks_;
};

}  // namespace dova::sim
