// The simulator's standard-input commands: what each line does, quitting, and input that ends.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "sim/command_input.h"

namespace dova::sim {
namespace {

// One batch of lines fed through a command input whose own command is "replug"; the
// record tells what ran, in order.
struct Outcome {
  std::vector<std::string> done;  // "own:<line>" or "action:<verb number>"
  std::string errors;
  bool go = true;
};

Outcome Feed(const std::vector<std::string>& lines) {
  Outcome run;
  std::ostringstream errors;
  bool fed = false;
  CommandInput input(
      [&](bool*) {
        if (fed) return std::vector<std::string>{};
        fed = true;
        return lines;
      },
      [&](const Action& a) { run.done.push_back("action:" + std::to_string(int(a.verb))); },
      [&](const std::string& line) {
        if (line.rfind("replug", 0) != 0) return false;
        run.done.push_back("own:" + line);
        return true;
      },
      errors);
  run.go = input.Poll();
  run.errors = errors.str();
  return run;
}

std::string ActionOf(Action::Verb verb) {
  return "action:" + std::to_string(int(verb));
}

TEST(CommandInputTest, EachLineRunsAsItsOwnCommandAnActionOrAnError) {
  struct Case {
    std::vector<std::string> lines;
    std::vector<std::string> done;
    std::string errors;
    bool go;
  };
  const std::vector<Case> cases = {
      {{"lid 1 left open", "replug 2"}, {ActionOf(Action::Verb::Lid), "own:replug 2"}, "", true},
      {{"", " \t ", "unplug"}, {ActionOf(Action::Verb::Unplug)}, "", true},
      // The caller's own command is asked first; a line nobody knows is told and skipped.
      {{"fly away", "gas off"}, {ActionOf(Action::Verb::Gas)}, "dova300-sim: ", true},
      // Quitting ends the batch: what follows is not run.
      {{"gas on", "quit", "unplug"}, {ActionOf(Action::Verb::Gas)}, "", false},
      {{"exit", "replug 1"}, {}, "", false},
      // Only the bare word quits.
      {{"quit now"}, {}, "dova300-sim: ", true},
  };
  for (const Case& c : cases) {
    const Outcome run = Feed(c.lines);
    const std::string first = c.lines.empty() ? std::string() : c.lines.front();
    EXPECT_EQ(run.done, c.done) << first;
    EXPECT_EQ(run.go, c.go) << first;
    if (c.errors.empty()) {
      EXPECT_EQ(run.errors, "") << first;
    } else {
      EXPECT_EQ(run.errors.rfind(c.errors, 0), 0u) << first << ": " << run.errors;
      EXPECT_EQ(run.errors.back(), '\n') << first;
    }
  }
}

TEST(CommandInputTest, InputThatEndedIsNotReadAgainAndQuittingStays) {
  std::ostringstream errors;
  int reads = 0;
  std::vector<std::vector<std::string>> batches = {{"unplug"}, {"quit"}};
  int applied = 0;
  CommandInput ended(
      [&](bool* closed) {
        ++reads;
        *closed = true;
        return std::vector<std::string>{"unplug"};
      },
      [&](const Action&) { ++applied; }, {}, errors);
  EXPECT_TRUE(ended.Poll());
  EXPECT_TRUE(ended.Poll());  // the program goes on without its input
  EXPECT_EQ(reads, 1);
  EXPECT_EQ(applied, 1);  // the last lines before the end still run

  std::size_t next = 0;
  CommandInput quitting(
      [&](bool*) { return next < batches.size() ? batches[next++] : std::vector<std::string>{}; },
      [&](const Action&) { ++applied; }, {}, errors);
  EXPECT_TRUE(quitting.Poll());
  EXPECT_FALSE(quitting.Poll());
  batches.push_back({"unplug"});
  EXPECT_FALSE(quitting.Poll());  // nothing runs once the program is ending
  EXPECT_EQ(applied, 2);
  EXPECT_EQ(errors.str(), "");
}

}  // namespace
}  // namespace dova::sim
