#pragma once

#include <QString>
#include <functional>
#include <string>

#include "app/error_box.h"
#include "convert/vcp_to_usbx_conv.h"
#include "platform/error_reporter.h"

namespace dova {

// The error box of the console front end: "<title>: <text>" as one line on the sink
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

// The converter's report in the console: one line per conversion, closed with OK at once,
// and one line per problem.
class ConsoleConverterReport : public IConverterReport {
 public:
  explicit ConsoleConverterReport(std::function<void(const QString& line)> write)
      : write_(std::move(write)) {}
  void ShowModal(TVCPtoUSBXConv& dialog) override;
  void ShowProblem(TVCPtoUSBXConv& dialog, const QString& line) override;

 private:
  std::function<void(const QString&)> write_;
};

}  // namespace dova
