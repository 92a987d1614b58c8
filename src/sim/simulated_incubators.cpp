#include "sim/simulated_incubators.h"

#include <algorithm>

namespace dova::sim {

namespace {

// The steps of the options' scenario (none for a lab day or a quiet bench), or the reason
// they cannot be played.
std::optional<std::vector<ScenarioStep>> Script(const TBenchOptions& options, std::string* error) {
  std::vector<ScenarioStep> steps;
  if (!options.ScenarioFile.isEmpty()) {
    auto loaded = LoadScenarioFile(options.ScenarioFile, error);
    if (!loaded) return std::nullopt;
    steps = std::move(*loaded);
  } else if (!options.ScenarioText.empty()) {
    std::string why;
    auto parsed = ParseScenario(options.ScenarioText, &why);
    if (!parsed) {
      *error = "scenario, " + why;
      return std::nullopt;
    }
    steps = std::move(*parsed);
  }
  for (const ScenarioStep& step : steps) {
    if (step.action.target > options.Count) {
      *error = "the scenario names incubator " + std::to_string(step.action.target) +
               ", but only " + std::to_string(options.Count) + " are simulated";
      return std::nullopt;
    }
  }
  return steps;
}

}  // namespace

SimulatedIncubators::SimulatedIncubators(Scheduler& scheduler, const TBenchOptions& options)
    : scheduler_(scheduler), options_(options) {
  std::string error;
  auto steps = Script(options_, &error);
  if (!steps) throw TScenarioExcept(error);
  if (options_.LabDay()) {
    lab_day_ = std::make_unique<LabDay>(scheduler_, options_.Seed,
                                        [this](const Action& action) { Apply(action); });
  }
  for (int i = 0; i < options_.Count; ++i)
    Add();
  if (!steps->empty()) {
    runner_ = std::make_unique<ScenarioRunner>(scheduler_, std::move(*steps),
                                               [this](const Action& action) { Apply(action); });
    runner_->Start();
  }
}

SimulatedIncubators::SimulatedIncubators(Scheduler& scheduler, int count)
    : SimulatedIncubators(scheduler, TBenchOptions{.Count = count}) {}

SimulatedIncubators::~SimulatedIncubators() {
  // Nothing plays on the incubators any more, and they let go of their bridges before the
  // library goes.
  runner_.reset();
  lab_day_.reset();
  incubators_.clear();
}

QString SimulatedIncubators::Check(const TBenchOptions& options) {
  std::string error;
  if (Script(options, &error)) return {};
  return QString::fromStdString(error);
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
  const int number = static_cast<int>(incubators_.size()) + 1;
  if (!lab_day_) return Add(DefaultConfig(number, options_.Seed));
  Incubator& incubator = Add(LabDayConfig(number, options_.Seed));
  lab_day_->Start(number);
  return incubator;
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
