#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/incubator.h"

namespace dova {
class Scheduler;
class Timer;
}  // namespace dova

namespace dova::sim {

// One thing that can happen to an incubator: a scenario step or a console command.
//
//   lid [N] left|right open|close      chamber [N] left|right on|off
//   error [N] left|right on|off        setpoint [N] left|right <°C> | gas <ml/min>
//   gas [N] on|off                     purge [N] <duration>|stop
//   co2 [N] on|off                     flowerror [N] on|off
//   nick [N] <name...>                 silent [N] on|off
//   delay [N] <duration>               split [N] on|off
//   crlf [N] on|off                    garbage [N] [every <count>]
//   overrun [N]                        unplug [N]
//
// N is the incubator's number from 1; without it the action concerns every incubator.
// Durations carry a unit: 250ms, 30s, 5m, 2h.
struct Action {
  enum class Verb {
    Lid,
    Chamber,
    TempError,
    SetPoint,
    GasSetPoint,
    Gas,
    Purge,
    StopPurge,
    CO2Error,
    FlowError,
    Nick,
    Silent,
    Delay,
    Split,
    CrLf,
    Garbage,
    GarbageEvery,
    Overrun,
    Unplug,
  };
  Verb verb = Verb::Lid;
  int target = 0;  // 1-based incubator number; 0: every incubator
  Side side = Side::Left;
  bool on = false;
  std::int64_t value = 0;  // hundredths of °C, 1/200 ml/min, milliseconds or a count
  std::string text;        // the name for Nick

  bool operator==(const Action&) const = default;
};

// Parses one action; on failure returns none and says why in *error.
std::optional<Action> ParseAction(std::string_view text, std::string* error);
// Carries out an action on one incubator (its target is not looked at).
void ApplyAction(const Action& action, Incubator& incubator);
// "250ms", "30s", "5m", "2h" in milliseconds; none for anything else.
std::optional<std::int64_t> ParseDuration(std::string_view word);

// A small script of timed actions, one a line:
//   at <time> <action>       once, <time> after the start
//   every <time> <action>    at every multiple of <time> after the start
// Blank lines and lines starting with '#' are skipped. A bare number of seconds is also
// taken as a time here.
struct ScenarioStep {
  bool repeat = false;
  std::int64_t at_ms = 0;
  Action action;

  bool operator==(const ScenarioStep&) const = default;
};

std::optional<std::vector<ScenarioStep>> ParseScenario(std::string_view text, std::string* error);
// The same from a file; the error then names the file: "cannot read the scenario file F",
// "F, line 3: bad time".
std::optional<std::vector<ScenarioStep>> LoadScenarioFile(const QString& path, std::string* error);

// Plays scenario steps on the scheduler's timers from the moment it is started.
class ScenarioRunner {
 public:
  ScenarioRunner(Scheduler& scheduler, std::vector<ScenarioStep> steps,
                 std::function<void(const Action&)> apply);
  ~ScenarioRunner();
  ScenarioRunner(const ScenarioRunner&) = delete;
  ScenarioRunner& operator=(const ScenarioRunner&) = delete;

  // Steps at time 0 run at once; the others are armed.
  void Start();

 private:
  Scheduler& scheduler_;
  std::vector<ScenarioStep> steps_;
  std::function<void(const Action&)> apply_;
  std::vector<std::unique_ptr<Timer>> timers_;
};

}  // namespace dova::sim
