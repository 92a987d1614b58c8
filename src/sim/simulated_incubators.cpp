#include "sim/simulated_incubators.h"

namespace dova::sim {

SimulatedIncubators::SimulatedIncubators(Scheduler& scheduler, int count, std::uint64_t seed)
    : scheduler_(scheduler), seed_(seed) {
  for (int i = 0; i < count; ++i)
    Add();
}

SimulatedIncubators::~SimulatedIncubators() {
  // The incubators let go of their bridges before the library goes.
  incubators_.clear();
}

std::string SimulatedIncubators::BridgeSerial(int number) {
  std::string digits = std::to_string(number);
  if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
  return std::string(kSerialPrefix) + "-" + digits;
}

IncubatorConfig SimulatedIncubators::DefaultConfig(int number, std::uint64_t seed) {
  IncubatorConfig config;
  config.serial = number;
  config.nick = "DOVA " + std::to_string(number);
  // Each incubator gets its own noise, and the same bench the same noise every run.
  config.seed = seed * 1000003u + static_cast<std::uint64_t>(number);
  return config;
}

std::shared_ptr<bridge::SimBridge> SimulatedIncubators::Bridge(std::size_t index) const {
  return incubators_.at(index)->Bridge();
}

Incubator& SimulatedIncubators::Add() {
  return Add(DefaultConfig(static_cast<int>(incubators_.size()) + 1, seed_));
}

Incubator& SimulatedIncubators::Add(IncubatorConfig config) {
  const int number = static_cast<int>(incubators_.size()) + 1;
  auto incubator = std::make_unique<Incubator>(scheduler_, std::move(config));
  incubator->Attach(library_.AddBridge(BridgeSerial(number)));
  incubators_.push_back(std::move(incubator));
  return *incubators_.back();
}

void SimulatedIncubators::Replug(std::size_t index) {
  Incubator& incubator = *incubators_.at(index);
  if (auto old = incubator.Bridge()) old->Unplug();
  incubator.Attach(library_.AddBridge(BridgeSerial(static_cast<int>(index) + 1)));
}

bool SimulatedIncubators::Apply(const Action& action, std::string* error) {
  if (action.target == 0) {
    for (auto& incubator : incubators_)
      ApplyAction(action, *incubator);
    return true;
  }
  if (action.target < 1 || static_cast<std::size_t>(action.target) > incubators_.size()) {
    if (error) *error = "no incubator " + std::to_string(action.target);
    return false;
  }
  ApplyAction(action, *incubators_[static_cast<std::size_t>(action.target) - 1]);
  return true;
}

}  // namespace dova::sim
