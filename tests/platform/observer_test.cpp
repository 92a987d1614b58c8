// The observer every stream uses: a listener that throws, and a subscription that ends with
// its holder.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/error_reporter.h"
#include "platform/observer.h"
#include "platform/virtual_scheduler.h"

namespace dova::testing {
namespace {

TEST(ObserverTest, AListenerThatThrowsIsReportedAndTheOthersStillHear) {
  VirtualScheduler sched;
  RecordingErrorReporter reporter;
  sched.SetErrorReporter(&reporter);
  TObservers<int> stream;
  std::vector<int> heard;
  stream.Subscribe([&](int v) { heard.push_back(v); });
  stream.Subscribe([](int v) {
    if (v == 2) throw std::runtime_error("listener failed on 2");
  });
  stream.Subscribe([&](int v) { heard.push_back(10 * v); });
  stream.Notify(1);
  stream.Notify(2);
  stream.Notify(3);
  EXPECT_EQ(heard, (std::vector<int>{1, 10, 2, 20, 3, 30}));
  EXPECT_EQ(reporter.messages, (std::vector<std::string>{"listener failed on 2"}));
  sched.SetErrorReporter(nullptr);
}

TEST(ObserverTest, AScopedSubscriptionEndsWithItsHolderAndCanBeMoved) {
  TObservers<const std::string&> stream;
  std::vector<std::string> heard;
  TScopedSubscription outer;
  {
    TScopedSubscription inner(stream, [&](const std::string& s) { heard.push_back(s); });
    stream.Notify("a");
    outer = std::move(inner);
  }
  stream.Notify("b");  // the moved subscription is still alive
  EXPECT_EQ(stream.Count(), 1u);
  outer.Reset();
  stream.Notify("c");
  EXPECT_EQ(heard, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(stream.Count(), 0u);
}

}  // namespace
}  // namespace dova::testing
