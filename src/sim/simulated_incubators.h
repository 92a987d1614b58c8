#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/bridge/sim/sim_library.h"
#include "sim/incubator.h"
#include "sim/scenario.h"

namespace dova {
class Scheduler;
}

namespace dova::sim {

// A bench of simulated incubators on one simulated bridge driver library: what
// --simulate N plugs in, and the fixture of the tests above the bridge layer.
// Incubator n (from 1) sits on the bridge "dova300-000n", answers SERL n and is called
// "DOVA n" at first.
class SimulatedIncubators {
 public:
  static constexpr const char* kSerialPrefix = "dova300";

  SimulatedIncubators(Scheduler& scheduler, int count = 0, std::uint64_t seed = 1);
  ~SimulatedIncubators();
  SimulatedIncubators(const SimulatedIncubators&) = delete;
  SimulatedIncubators& operator=(const SimulatedIncubators&) = delete;

  bridge::SimLibrary& Library() { return library_; }
  std::size_t Count() const { return incubators_.size(); }
  // By index from 0.
  Incubator& At(std::size_t index) { return *incubators_.at(index); }
  // The bridge the incubator answers on now (a new one after Replug).
  std::shared_ptr<bridge::SimBridge> Bridge(std::size_t index) const;

  // The bridge serial of incubator number n (from 1): "dova300-0001".
  static std::string BridgeSerial(int number);
  // The configuration incubator number n gets by default.
  static IncubatorConfig DefaultConfig(int number, std::uint64_t seed);

  // Plugs in one more incubator with the next number.
  Incubator& Add();
  Incubator& Add(IncubatorConfig config);
  // Plugs an unplugged incubator in again: a new bridge with the same serial.
  void Replug(std::size_t index);

  // Carries out an action on its target (every incubator for target 0). False, with
  // *error set, when the target does not exist.
  bool Apply(const Action& action, std::string* error = nullptr);

 private:
  Scheduler& scheduler_;
  std::uint64_t seed_;
  bridge::SimLibrary library_;
  std::vector<std::unique_ptr<Incubator>> incubators_;
};

}  // namespace dova::sim
