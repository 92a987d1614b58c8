#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/keepawake/linux/logind_keep_awake.h"

namespace dova {
namespace {

// Build machines have no system bus, desktops have logind: either way the inhibitor is
// asked for once, and a failure is told once, not every second.
TEST(LogindKeepAwakeTest, AsksOnceAndReportsAFailureOnce) {
  std::vector<std::string> reports;
  LogindKeepAwake awake([&](const std::string& why) { reports.push_back(why); });
  for (int tick = 0; tick < 5; ++tick)
    awake.KeepSystemAwake();
  if (awake.Held()) {
    EXPECT_TRUE(reports.empty());
  } else {
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_FALSE(reports.front().empty());
  }
}

}  // namespace
}  // namespace dova
