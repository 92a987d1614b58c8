#include "platform/observer.h"

#include "platform/error_reporter.h"

namespace dova {

namespace {
StderrErrorReporter& StderrReporter() {
  static StderrErrorReporter reporter;
  return reporter;
}
ErrorReporter* listener_reporter = nullptr;
}  // namespace

ErrorReporter* SetListenerErrorReporter(ErrorReporter* reporter) {
  return std::exchange(listener_reporter, reporter);
}

void ReportListenerError(const std::exception_ptr& error) {
  ErrorReporter& reporter = listener_reporter ? *listener_reporter : StderrReporter();
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    reporter.ReportError(e.what());
  } catch (...) {
    reporter.ReportError("unknown error in a listener");
  }
}

}  // namespace dova
