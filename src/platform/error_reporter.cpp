#include "platform/error_reporter.h"

#include <cstdio>

namespace dova {

void StderrErrorReporter::ReportError(const std::string& message) {
  std::fputs(message.c_str(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

}  // namespace dova
