#include "sim/lab_day.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "platform/scheduler.h"
#include "platform/timer.h"

namespace dova::sim {

namespace {

std::uint64_t SplitMix(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Names a lab gives its incubators: by room, by use, by number.
constexpr std::array<std::string_view, 16> kNames = {
    "Lab A",      "Lab B",     "IVF 1",      "IVF 2",     "Embryo 3",   "Embryo 4",
    "Culture 1",  "Culture 2", "ICSI Bench", "Andrology", "Time-lapse", "Cleanroom 2",
    "Stem Cells", "Cryo Prep", "Room 114",   "IVF 3",
};

// Set-points in the incubator's own units: hundredths of °C and 1/200 ml/min.
constexpr std::array<int, 4> kLeftSetPoints = {3700, 3750, 3720, 3680};
constexpr std::array<int, 4> kRightSetPoints = {3700, 3750, 3700, 3720};
constexpr std::array<int, 4> kGasSetPoints = {4000, 5000, 4000, 6000};

// What a seed gives to every incubator of its bench alike; the incubator's number then
// picks its own entry, so that neighbours differ.
struct BenchDraw {
  std::array<std::size_t, kNames.size()> order{};
  std::uint64_t left = 0, right = 0, gas = 0;
};

BenchDraw DrawBench(std::uint32_t seed) {
  std::uint64_t state = 0x6c61622d646179ull ^ (std::uint64_t{seed} << 17);
  BenchDraw d;
  for (std::size_t i = 0; i < d.order.size(); ++i)
    d.order[i] = i;
  for (std::size_t i = d.order.size() - 1; i > 0; --i)
    std::swap(d.order[i], d.order[SplitMix(state) % (i + 1)]);
  d.left = SplitMix(state);
  d.right = SplitMix(state);
  d.gas = SplitMix(state);
  return d;
}

std::uint64_t IncubatorState(int number, std::uint32_t seed) {
  std::uint64_t state = (std::uint64_t{seed} << 20) ^ static_cast<std::uint64_t>(number);
  SplitMix(state);
  return state;
}

// A serial number as printed on the type plate: 3, the two digits of the year it was made
// and four digits, such as 3181042. Distinct within one bench: a number already given to a
// lower-numbered incubator is drawn again.
int SerialNumber(int number, std::uint32_t seed) {
  std::vector<int> given;
  for (int n = 1; n <= number; ++n) {
    std::uint64_t state = IncubatorState(n, seed) ^ 0x73657269616cull;
    int serial = 0;
    do {
      const int year = 14 + static_cast<int>(SplitMix(state) % 10);
      const int unit = 1000 + static_cast<int>(SplitMix(state) % 9000);
      serial = 3'000'000 + year * 10'000 + unit;
    } while (std::find(given.begin(), given.end(), serial) != given.end());
    given.push_back(serial);
  }
  return given.back();
}

}  // namespace

IncubatorConfig LabDayConfig(int number, std::uint32_t seed) {
  const BenchDraw bench = DrawBench(seed);
  const std::size_t index = static_cast<std::size_t>(number - 1);
  IncubatorConfig config;
  config.serial = SerialNumber(number, seed);
  config.nick = index < kNames.size() ? std::string(kNames[bench.order[index]])
                                      : "Bench " + std::to_string(number);
  config.left_set_point = kLeftSetPoints[(bench.left + index) % kLeftSetPoints.size()];
  config.right_set_point = kRightSetPoints[(bench.right + index) % kRightSetPoints.size()];
  config.gas_set_point = kGasSetPoints[(bench.gas + index) % kGasSetPoints.size()];
  std::uint64_t state = IncubatorState(number, seed) ^ 0x726f6f6dull;
  config.room_temperature = 21.0 + static_cast<double>(SplitMix(state) % 30) / 10.0;
  config.start_warm = false;
  config.gas_on = true;
  config.seed = std::uint64_t{seed} * 1000003u + static_cast<std::uint64_t>(number);
  return config;
}

// ---- the plan ----

LabDayPlan::LabDayPlan(int number, std::uint32_t seed)
    : number_(number), rng_(IncubatorState(number, seed) ^ 0x706c616eull) {
  const IncubatorConfig config = LabDayConfig(number, seed);
  base_left_ = left_ = config.left_set_point;
  base_right_ = right_ = config.right_set_point;
  base_gas_ = gas_ = config.gas_set_point;
  // Neighbours start 17 s apart (six apart at most), with a few seconds of their own.
  next_ms_ = 12'000 + ((number - 1) % 6) * 17'000 + Between(0, 6'000);
}

std::uint64_t LabDayPlan::Draw() {
  return SplitMix(rng_);
}

std::int64_t LabDayPlan::Between(std::int64_t low, std::int64_t high) {
  return low + static_cast<std::int64_t>(Draw() % static_cast<std::uint64_t>(high - low + 1));
}

Action LabDayPlan::Make(Action::Verb verb) const {
  Action a;
  a.verb = verb;
  a.target = number_;
  return a;
}

void LabDayPlan::Push(std::int64_t at_ms, Action action) {
  ScenarioStep step;
  step.at_ms = at_ms;
  step.action = std::move(action);
  queued_.push_back(std::move(step));
}

int LabDayPlan::AdjustedTemperature(int current, int base) {
  // A set-point moved away is put back the next time; otherwise it moves a little.
  if (current != base) return base;
  static constexpr std::array<int, 5> kSteps = {20, 30, 50, -20, -30};
  return std::clamp(base + kSteps[Draw() % kSteps.size()], 3600, 3800);
}

void LabDayPlan::PlanEpisode() {
  Kind kind = Kind::Lid;
  if (episodes_ == 0) {
    static constexpr std::array<Kind, 3> kFirst = {Kind::Lid, Kind::Purge, Kind::SetPoint};
    kind = kFirst[static_cast<std::size_t>(number_ - 1) % kFirst.size()];
  } else {
    // Out of a hundred episodes: 48 lid openings, 22 purges, 22 set-point changes,
    // 4 temperature errors and 4 flow errors; no error in the busy first minutes.
    const auto roll = Draw() % (next_ms_ < kBusyMs ? 92 : 100);
    kind = roll < 48   ? Kind::Lid
           : roll < 70 ? Kind::Purge
           : roll < 92 ? Kind::SetPoint
           : roll < 96 ? Kind::TempError
                       : Kind::FlowError;
  }
  const std::int64_t t = next_ms_;
  std::int64_t end = t;
  switch (kind) {
    case Kind::Lid:
    case Kind::TempError: {
      Action on = Make(kind == Kind::Lid ? Action::Verb::Lid : Action::Verb::TempError);
      on.side = Draw() % 2 == 0 ? Side::Left : Side::Right;
      on.on = true;
      Action off = on;
      off.on = false;
      end = t + (kind == Kind::Lid ? Between(8'000, 40'000) : Between(10'000, 40'000));
      Push(t, on);
      Push(end, off);
      break;
    }
    case Kind::Purge: {
      Action purge = Make(Action::Verb::Purge);
      purge.value = Between(20, 45) * 1000;
      end = t + purge.value;
      Push(t, purge);
      break;
    }
    case Kind::SetPoint: {
      const auto which = Draw() % 3;
      Action a = Make(which == 2 ? Action::Verb::GasSetPoint : Action::Verb::SetPoint);
      if (which == 0) {
        a.side = Side::Left;
        a.value = left_ = AdjustedTemperature(left_, base_left_);
      } else if (which == 1) {
        a.side = Side::Right;
        a.value = right_ = AdjustedTemperature(right_, base_right_);
      } else {
        // 20 <-> 25 ml/min, 25 -> 20, 30 -> 25, and back again the next time.
        gas_ = gas_ != base_gas_   ? base_gas_
               : base_gas_ >= 5000 ? base_gas_ - 1000
                                   : base_gas_ + 1000;
        a.value = gas_;
      }
      Push(t, a);
      break;
    }
    case Kind::FlowError: {
      Action on = Make(Action::Verb::FlowError);
      on.on = true;
      Action off = on;
      off.on = false;
      end = t + Between(10'000, 40'000);
      Push(t, on);
      Push(end, off);
      break;
    }
  }
  ++episodes_;
  const bool busy = t < kBusyMs;
  next_ms_ = end + (busy ? Between(30'000, 75'000) : Between(kCalmGapMs, 25 * 60'000));
}

ScenarioStep LabDayPlan::Next() {
  if (queued_.empty()) PlanEpisode();
  ScenarioStep step = std::move(queued_.front());
  queued_.pop_front();
  return step;
}

// ---- playing it ----

struct LabDay::Track {
  explicit Track(int number, std::uint32_t seed) : plan(number, seed) {}
  LabDayPlan plan;
  ScenarioStep next;
  std::int64_t played_ms = 0;  // the time of the last step played, from plug-in
  std::unique_ptr<Timer> timer;
};

LabDay::LabDay(Scheduler& scheduler, std::uint32_t seed, std::function<void(const Action&)> apply)
    : scheduler_(scheduler), seed_(seed), apply_(std::move(apply)) {}

LabDay::~LabDay() = default;

void LabDay::Start(int number) {
  auto track = std::make_unique<Track>(number, seed_);
  track->next = track->plan.Next();
  track->timer = std::make_unique<Timer>(scheduler_, 1, false);
  Track* t = track.get();
  track->timer->SetOnTimer([this, t] { Fire(*t); });
  tracks_.push_back(std::move(track));
  Arm(*t);
}

void LabDay::Arm(Track& track) {
  const std::int64_t wait = std::max<std::int64_t>(track.next.at_ms - track.played_ms, 1);
  // Re-arming restarts the countdown even when the interval stays the same.
  track.timer->SetEnabled(false);
  track.timer->SetInterval(static_cast<std::uint32_t>(wait));
  track.timer->SetEnabled(true);
}

void LabDay::Fire(Track& track) {
  const std::int64_t now = track.next.at_ms;
  while (track.next.at_ms <= now) {
    apply_(track.next.action);
    track.next = track.plan.Next();
  }
  track.played_ms = now;
  Arm(track);
}

}  // namespace dova::sim
