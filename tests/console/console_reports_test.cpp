#include <gtest/gtest.h>

#include <QStringList>

#include "console/console_reports.h"

namespace dova {
namespace {

TEST(ConsoleErrorReporterTest, TitleAndBoxText) {
  QStringList lines;
  ConsoleErrorReporter reporter("dova300-logger", [&](const QString& l) { lines << l; });
  reporter.ReportError("Error Writing");
  EXPECT_EQ(lines, QStringList{"dova300-logger: Error Writing."});
}

}  // namespace
}  // namespace dova
