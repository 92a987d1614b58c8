#pragma once

#include <QString>
#include <functional>
#include <string>

#include "platform/error_reporter.h"

namespace dova {

// The text of the standard error box: the message with a full stop appended when its last
// character sorts after "." (so "Error Writing" gains one, "Done." and "(x)" do not).
QString ErrorBoxText(const QString& message);

// The program's title: its file name without extension ("dova300-logger").
QString ProgramTitle();

// The error box of the console front ends: "<title>: <text>" as one line on the sink
// (standard error unless given).
class ConsoleErrorReporter : public ErrorReporter {
 public:
  explicit ConsoleErrorReporter(QString title = ProgramTitle(),
                                std::function<void(const QString&)> sink = {});
  void ReportError(const std::string& message) override;

 private:
  QString title_;
  std::function<void(const QString&)> sink_;
};

}  // namespace dova
