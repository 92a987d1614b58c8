#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/bridge/sim/sim_library.h"
#include "platform/exception.h"
#include "sim/incubator.h"
#include "sim/lab_day.h"
#include "sim/scenario.h"

namespace dova {
class Scheduler;
}

namespace dova::sim {

// A scenario that cannot be played: its file cannot be read, a line of it does not parse,
// or it names an incubator the bench does not have. The message is ready to show.
class TScenarioExcept : public Exception {
 public:
  using Exception::Exception;
};

// What a simulated bench is made of (--simulate N and the options that go with it).
//
//   lab day (the default)   each incubator gets a name a lab would give, a serial number,
//                           set-points of its own and a cold start, and plays a working
//                           day drawn from Seed: lids opened, purges, set-points adjusted,
//                           now and then an error that clears (see LabDayPlan).
//   Quiet                   steady incubators that do nothing by themselves: incubator n is
//                           "DOVA n" with serial number n, both chambers at 37.0 °C from the
//                           start, 20 ml/min. For tests and benchmarks.
//   a scenario              the steady incubators of Quiet, playing the script (the
//                           language of ParseScenario) from the moment the bench is made;
//                           Quiet then changes nothing.
//
// Seed also drives the measurement noise, in every mode: the same options give the same
// answers to the same commands at the same (virtual) times.
//
// From the logger's command line: Count = Simulate, Seed = Seed when given, Quiet =
// SimulateQuiet, ScenarioFile = Scenario; SimulatedIncubators::Check then says what is
// wrong with the scenario file before anything starts.
struct TBenchOptions {
  // Incubators plugged in when the bench is made (each on its own bridge, "dova300-000n").
  int Count = 0;
  // The lab day and the noise; kDefaultSeed unless the user gives --seed.
  std::uint32_t Seed = kDefaultSeed;
  // --simulate-quiet.
  bool Quiet = false;
  // --scenario FILE: read and parsed by the constructor.
  QString ScenarioFile{};
  // A script given as text (tests); used when ScenarioFile is empty.
  std::string ScenarioText{};

  // Whether these options play the generated lab day.
  bool LabDay() const { return !Quiet && ScenarioFile.isEmpty() && ScenarioText.empty(); }
};

// A bench of simulated incubators on one simulated bridge driver library: what
// --simulate N plugs in, and the fixture of the tests above the bridge layer.
// Incubator n (from 1) sits on the bridge "dova300-000n".
class SimulatedIncubators {
 public:
  static constexpr const char* kSerialPrefix = "dova300";

  // Throws TScenarioExcept when the options name a scenario that cannot be played; a front
  // end that wants to say so before anything starts calls Check first.
  SimulatedIncubators(Scheduler& scheduler, const TBenchOptions& options);
  // A lab day of count incubators with the default seed (no incubator for 0).
  explicit SimulatedIncubators(Scheduler& scheduler, int count = 0);
  ~SimulatedIncubators();
  SimulatedIncubators(const SimulatedIncubators&) = delete;
  SimulatedIncubators& operator=(const SimulatedIncubators&) = delete;

  // What the constructor would throw for these options, or an empty text. Reads the
  // scenario file, if any.
  static QString Check(const TBenchOptions& options);

  bridge::SimLibrary& Library() { return library_; }
  std::size_t Count() const { return incubators_.size(); }
  // By index from 0.
  Incubator& At(std::size_t index) { return *incubators_.at(index); }
  // The bridge the incubator answers on now (a new one after Replug).
  std::shared_ptr<bridge::SimBridge> Bridge(std::size_t index) const;

  // The bridge serial of incubator number n (from 1): "dova300-0001".
  static std::string BridgeSerial(int number);
  // The steady incubator number n: "DOVA n", serial number n, 37.0 °C, 20 ml/min, warm.
  static IncubatorConfig DefaultConfig(int number, std::uint64_t seed);

  // Plugs in one more incubator with the next number: on a lab-day bench a lab-day
  // incubator whose day begins now, otherwise a steady one.
  Incubator& Add();
  // Plugs in exactly this incubator; no lab day plays on it.
  Incubator& Add(IncubatorConfig config);
  // Plugs an unplugged incubator in again: a new bridge with the same serial.
  void Replug(std::size_t index);

  // Carries out an action on its target (every incubator for target 0). False, with
  // *error set, when the target does not exist.
  bool Apply(const Action& action, std::string* error = nullptr);

 private:
  Scheduler& scheduler_;
  TBenchOptions options_;
  bridge::SimLibrary library_;
  std::vector<std::unique_ptr<Incubator>> incubators_;
  // After the incubators: their timers go first and never act on a freed incubator.
  std::unique_ptr<LabDay> lab_day_;
  std::unique_ptr<ScenarioRunner> runner_;
};

}  // namespace dova::sim
