#include "sim/scenario.h"

#include <QByteArray>
#include <QFile>
#include <charconv>
#include <cmath>

#include "platform/scheduler.h"
#include "platform/timer.h"

namespace dova::sim {

namespace {

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
      ++i;
    const std::size_t start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != '\t')
      ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}

bool AllDigits(std::string_view word) {
  if (word.empty()) return false;
  for (char c : word) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::optional<std::int64_t> ParseCount(std::string_view word) {
  if (!AllDigits(word) || word.size() > 12) return std::nullopt;
  std::int64_t n = 0;
  std::from_chars(word.data(), word.data() + word.size(), n);
  return n;
}

// A decimal number with a point ("37.5", "20") in hundredths; locale-free on purpose.
std::optional<std::int64_t> ParseHundredths(std::string_view word) {
  bool negative = false;
  if (!word.empty() && (word[0] == '-' || word[0] == '+')) {
    negative = word[0] == '-';
    word.remove_prefix(1);
  }
  const std::size_t dot = word.find('.');
  const std::string_view whole = word.substr(0, dot);
  std::string_view frac = dot == std::string_view::npos ? "" : word.substr(dot + 1);
  if (whole.empty() && frac.empty()) return std::nullopt;
  if ((!whole.empty() && !AllDigits(whole)) || (!frac.empty() && !AllDigits(frac)) ||
      whole.size() > 9 || frac.size() > 2) {
    return std::nullopt;
  }
  std::int64_t value = whole.empty() ? 0 : *ParseCount(whole) * 100;
  if (!frac.empty()) value += *ParseCount(frac) * (frac.size() == 1 ? 10 : 1);
  return negative ? -value : value;
}

}  // namespace

std::optional<std::int64_t> ParseDuration(std::string_view word) {
  std::size_t digits = 0;
  while (digits < word.size() && word[digits] >= '0' && word[digits] <= '9')
    ++digits;
  const auto count = ParseCount(word.substr(0, digits));
  if (!count) return std::nullopt;
  const std::string_view unit = word.substr(digits);
  std::int64_t scale = 0;
  if (unit == "ms") {
    scale = 1;
  } else if (unit == "s") {
    scale = 1000;
  } else if (unit == "m" || unit == "min") {
    scale = 60'000;
  } else if (unit == "h") {
    scale = 3'600'000;
  } else {
    return std::nullopt;
  }
  return *count * scale;
}

std::optional<Action> ParseAction(std::string_view text, std::string* error) {
  const auto fail = [error](std::string why) -> std::optional<Action> {
    if (error) *error = std::move(why);
    return std::nullopt;
  };
  std::vector<std::string_view> w = Words(text);
  if (w.empty()) return fail("empty action");
  Action a;
  const std::string_view verb = w[0];
  w.erase(w.begin());
  if (!w.empty() && AllDigits(w[0])) {
    const auto n = ParseCount(w[0]);
    if (!n || *n < 1 || *n > 9999) return fail("bad incubator number");
    a.target = static_cast<int>(*n);
    w.erase(w.begin());
  }
  const auto side = [&](std::size_t i) -> bool {
    if (i >= w.size()) return false;
    if (w[i] == "left") {
      a.side = Side::Left;
    } else if (w[i] == "right") {
      a.side = Side::Right;
    } else {
      return false;
    }
    return true;
  };
  const auto switch_word = [&](std::size_t i, std::string_view yes, std::string_view no) {
    if (i >= w.size()) return false;
    if (w[i] == yes) {
      a.on = true;
    } else if (w[i] == no) {
      a.on = false;
    } else {
      return false;
    }
    return true;
  };
  const auto on_off = [&](Action::Verb v) -> std::optional<Action> {
    a.verb = v;
    if (w.size() != 1 || !switch_word(0, "on", "off")) return fail("expected on or off");
    return a;
  };

  if (verb == "lid") {
    a.verb = Action::Verb::Lid;
    if (w.size() != 2 || !side(0) || !switch_word(1, "open", "close")) {
      return fail("expected: lid [N] left|right open|close");
    }
    return a;
  }
  if (verb == "chamber" || verb == "error") {
    a.verb = verb == "chamber" ? Action::Verb::Chamber : Action::Verb::TempError;
    if (w.size() != 2 || !side(0) || !switch_word(1, "on", "off")) {
      return fail("expected: " + std::string(verb) + " [N] left|right on|off");
    }
    return a;
  }
  if (verb == "setpoint") {
    if (w.size() != 2) return fail("expected: setpoint [N] left|right|gas VALUE");
    const auto value = ParseHundredths(w[1]);
    if (!value) return fail("bad set-point value");
    if (w[0] == "gas") {
      // ml/min on the command line, 1/200 ml/min on the wire.
      a.verb = Action::Verb::GasSetPoint;
      a.value = *value * 2;
    } else if (side(0)) {
      a.verb = Action::Verb::SetPoint;
      a.value = *value;
    } else {
      return fail("expected left, right or gas");
    }
    if (std::llabs(a.value) > 100'000'000) return fail("set-point out of range");
    return a;
  }
  if (verb == "gas") return on_off(Action::Verb::Gas);
  if (verb == "co2") return on_off(Action::Verb::CO2Error);
  if (verb == "flowerror") return on_off(Action::Verb::FlowError);
  if (verb == "silent") return on_off(Action::Verb::Silent);
  if (verb == "split") return on_off(Action::Verb::Split);
  if (verb == "crlf") return on_off(Action::Verb::CrLf);
  if (verb == "purge" || verb == "delay") {
    if (w.size() != 1) return fail("expected: " + std::string(verb) + " [N] DURATION");
    if (verb == "purge" && w[0] == "stop") {
      a.verb = Action::Verb::StopPurge;
      return a;
    }
    a.verb = verb == "purge" ? Action::Verb::Purge : Action::Verb::Delay;
    const auto ms = ParseDuration(w[0]);
    if (!ms || *ms > 24 * 3'600'000) return fail("bad duration (e.g. 250ms, 30s, 5m, 2h)");
    a.value = *ms;
    return a;
  }
  if (verb == "nick") {
    a.verb = Action::Verb::Nick;
    if (w.empty()) return fail("expected: nick [N] NAME");
    // The name runs from its first word to the end of the line, blanks included.
    const std::size_t start = static_cast<std::size_t>(w[0].data() - text.data());
    a.text = std::string(text.substr(start));
    while (!a.text.empty() && (a.text.back() == ' ' || a.text.back() == '\t'))
      a.text.pop_back();
    return a;
  }
  if (verb == "garbage") {
    if (w.empty()) {
      a.verb = Action::Verb::Garbage;
      return a;
    }
    const auto n = w.size() == 2 && w[0] == "every" ? ParseCount(w[1]) : std::nullopt;
    if (!n || *n > 1'000'000) return fail("expected: garbage [N] [every COUNT]");
    a.verb = Action::Verb::GarbageEvery;
    a.value = *n;
    return a;
  }
  if (verb == "overrun" || verb == "unplug") {
    a.verb = verb == "overrun" ? Action::Verb::Overrun : Action::Verb::Unplug;
    if (!w.empty()) return fail("expected: " + std::string(verb) + " [N]");
    return a;
  }
  return fail("unknown action '" + std::string(verb) + "'");
}

void ApplyAction(const Action& a, Incubator& incubator) {
  using V = Action::Verb;
  switch (a.verb) {
    case V::Lid:
      incubator.SetLidOpen(a.side, a.on);
      break;
    case V::Chamber:
      incubator.SetChamberOn(a.side, a.on);
      break;
    case V::TempError:
      incubator.SetTemperatureError(a.side, a.on);
      break;
    case V::SetPoint:
      incubator.SetSetPoint(a.side, static_cast<int>(a.value));
      break;
    case V::GasSetPoint:
      incubator.SetGasSetPoint(static_cast<int>(a.value));
      break;
    case V::Gas:
      incubator.SetGasOn(a.on);
      break;
    case V::Purge:
      incubator.StartPurge(static_cast<std::uint32_t>(a.value));
      break;
    case V::StopPurge:
      incubator.StopPurge();
      break;
    case V::CO2Error:
      incubator.SetCO2Error(a.on);
      break;
    case V::FlowError:
      incubator.SetFlowError(a.on);
      break;
    case V::Nick:
      incubator.SetNick(a.text);
      break;
    case V::Silent:
      incubator.SetSilent(a.on);
      break;
    case V::Delay:
      incubator.SetReplyDelay(static_cast<std::uint32_t>(a.value));
      break;
    case V::Split:
      incubator.SetSplitReplies(a.on);
      break;
    case V::CrLf:
      incubator.SetCrLf(a.on);
      break;
    case V::Garbage:
      incubator.SendGarbage();
      break;
    case V::GarbageEvery:
      incubator.SetGarbageEvery(static_cast<std::uint32_t>(a.value));
      break;
    case V::Overrun:
      incubator.TriggerOverrun();
      break;
    case V::Unplug:
      incubator.Unplug();
      break;
  }
}

std::optional<std::vector<ScenarioStep>> ParseScenario(std::string_view text, std::string* error) {
  std::vector<ScenarioStep> steps;
  int number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const auto words = Words(line);
    if (words.empty() || words[0].starts_with('#')) continue;
    const auto fail = [&](const std::string& why) {
      if (error) *error = "line " + std::to_string(number) + ": " + why;
      return std::nullopt;
    };
    ScenarioStep step;
    if (words[0] == "at") {
      step.repeat = false;
    } else if (words[0] == "every") {
      step.repeat = true;
    } else {
      return fail("expected 'at' or 'every'");
    }
    if (words.size() < 3) return fail("expected a time and an action");
    auto at = AllDigits(words[1]) ? ParseCount(words[1]) : ParseDuration(words[1]);
    if (at && AllDigits(words[1])) *at *= 1000;
    if (!at || *at > std::int64_t{30} * 86'400'000) return fail("bad time");
    if (step.repeat && *at == 0) return fail("'every' needs a time above zero");
    step.at_ms = *at;
    const std::size_t rest = static_cast<std::size_t>(words[2].data() - line.data());
    std::string why;
    auto action = ParseAction(line.substr(rest), &why);
    if (!action) return fail(why);
    step.action = std::move(*action);
    steps.push_back(std::move(step));
  }
  return steps;
}

std::optional<std::vector<ScenarioStep>> LoadScenarioFile(const QString& path, std::string* error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    if (error) *error = "cannot read the scenario file " + path.toStdString();
    return std::nullopt;
  }
  const QByteArray text = file.readAll();
  std::string why;
  auto steps = ParseScenario(
      std::string_view(text.constData(), static_cast<std::size_t>(text.size())), &why);
  if (!steps && error) *error = path.toStdString() + ", " + why;
  return steps;
}

ScenarioRunner::ScenarioRunner(Scheduler& scheduler, std::vector<ScenarioStep> steps,
                               std::function<void(const Action&)> apply)
    : scheduler_(scheduler), steps_(std::move(steps)), apply_(std::move(apply)) {}

ScenarioRunner::~ScenarioRunner() = default;

void ScenarioRunner::Start() {
  timers_.clear();
  for (const ScenarioStep& step : steps_) {
    if (step.at_ms == 0) {
      apply_(step.action);
      continue;
    }
    auto timer = std::make_unique<Timer>(scheduler_, static_cast<std::uint32_t>(step.at_ms), false);
    Timer* t = timer.get();
    const ScenarioStep* s = &step;
    t->SetOnTimer([this, t, s] {
      if (!s->repeat) t->SetEnabled(false);
      apply_(s->action);
    });
    t->SetEnabled(true);
    timers_.push_back(std::move(timer));
  }
}

}  // namespace dova::sim
