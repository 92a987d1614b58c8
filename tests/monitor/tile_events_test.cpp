// The tile's event stream: what a listener hears, and listeners that come and go while an
// event is being delivered.
#include <gtest/gtest.h>

#include <vector>

#include "monitor/tile_events.h"
#include "panel_fixture.h"

namespace dova::testing {
namespace {

TEST(TileEventStreamTest, ListenersComeAndGoSafelyDuringADelivery) {
  TTileEventStream stream;
  std::vector<std::string> heard;
  TTileEventStream::TSubscription second = 0;
  TTileEventStream::TSubscription late = 0;
  const auto first = stream.Subscribe([&](const TTileEvent&) {
    heard.push_back("first");
    // Removes the next listener before it is called, and adds one that must wait for the
    // next event.
    stream.Unsubscribe(second);
    if (!late) late = stream.Subscribe([&](const TTileEvent&) { heard.push_back("late"); });
  });
  second = stream.Subscribe([&](const TTileEvent&) { heard.push_back("second"); });
  TTileEventStream::TSubscription self = 0;
  self = stream.Subscribe([&](const TTileEvent&) {
    heard.push_back("self");
    stream.Unsubscribe(self);  // leaving inside its own call
  });
  stream.Emit({});
  EXPECT_EQ(heard, (std::vector<std::string>{"first", "self"}));
  heard.clear();
  stream.Emit({});
  EXPECT_EQ(heard, (std::vector<std::string>{"first", "late"}));
  EXPECT_EQ(stream.ListenerCount(), 2u);
  stream.Unsubscribe(first);
  stream.Unsubscribe(late);
  stream.Unsubscribe(late);  // twice is harmless
  EXPECT_EQ(stream.ListenerCount(), 0u);
}

class TileEventsTest : public PanelTest {
 protected:
  void SetUp() override {
    panel->Events().Subscribe([this](const TTileEvent& e) { events.push_back(e); });
  }
  std::vector<TTileEvent> Of(TTileEventKind kind) const {
    std::vector<TTileEvent> out;
    for (const TTileEvent& e : events)
      if (e.Kind == kind) out.push_back(e);
    return out;
  }
  std::vector<TTileEvent> events;
};

TEST_F(TileEventsTest, ALinkTellsItsWholeStoryOnTheStream) {
  Connect();
  ASSERT_EQ(Of(TTileEventKind::LinkUp).size(), 1u);
  // The state block written when the log opened comes as states found, not changes.
  const auto found = Of(TTileEventKind::ChamberOn);
  ASSERT_FALSE(found.empty());
  EXPECT_TRUE(found.front().Initial);
  EXPECT_EQ(found.front().Side, TTileSide::Left);

  sched.AdvanceBy(1000);
  const auto temps = Of(TTileEventKind::TempsRead);
  ASSERT_FALSE(temps.empty());
  EXPECT_DOUBLE_EQ(temps.back().Value, panel->LeftTemp / 10.0);
  EXPECT_DOUBLE_EQ(temps.back().SetPoint2, panel->RightSetPoint / 10.0);
  ASSERT_FALSE(Of(TTileEventKind::FlowRead).empty());
  EXPECT_DOUBLE_EQ(Of(TTileEventKind::FlowRead).back().Value, panel->GasFlow);

  device.values["DISP"] = "LID OFF  20  G G";
  device.values["LBSP"] = "3750";
  sched.AdvanceBy(1000);
  const auto lid = Of(TTileEventKind::LidOpen);
  ASSERT_EQ(lid.size(), 1u);
  EXPECT_FALSE(lid[0].Initial);
  EXPECT_EQ(lid[0].Time, panel->LeftTempGraph->EventSeries().Last().x) << "the mark's time";
  const auto adjusted = Of(TTileEventKind::SetPointAdjusted);
  ASSERT_EQ(adjusted.size(), 1u);
  EXPECT_EQ(adjusted[0].Side, TTileSide::Left);
  EXPECT_DOUBLE_EQ(adjusted[0].Value, 37.5);

  panel->Disconnect();
  panel->Disconnect();
  EXPECT_EQ(Of(TTileEventKind::LinkDown).size(), 1u) << "the end is told once";
}

}  // namespace
}  // namespace dova::testing
