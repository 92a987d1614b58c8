#pragma once

#include <string>
#include <vector>

namespace dova {

// Where an exception that leaves a timer or window handler ends up: the standard error box
// in the GUI, a line on stderr in headless mode, a list in tests. The program goes on.
class ErrorReporter {
 public:
  virtual ~ErrorReporter() = default;
  virtual void ReportError(const std::string& message) = 0;
};

// Writes each message as one line on standard error.
class StderrErrorReporter : public ErrorReporter {
 public:
  void ReportError(const std::string& message) override;
};

// Keeps every message, for tests.
class RecordingErrorReporter : public ErrorReporter {
 public:
  void ReportError(const std::string& message) override { messages.push_back(message); }
  std::vector<std::string> messages;
};

}  // namespace dova
