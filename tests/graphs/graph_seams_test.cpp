// What a renderer relies on: series journals it can mirror from, and listeners it can add
// beside the tile's own handlers.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "graphs/gas_graph.h"
#include "graphs/graph_series.h"
#include "graphs/temp_graph.h"
#include "platform/virtual_scheduler.h"

namespace dova {
namespace {

// A mirror as a chart keeps one: it replays the journal, or copies afresh when it fell behind.
struct Mirror {
  std::vector<TChartPoint> points;
  std::uint64_t revision = 0;
  int copies = 0;

  void CatchUp(const TLineSeries& s) {
    const bool replayed = s.ChangesSince(revision, [&](const TLineSeries::TChange& c) {
      switch (c.Kind) {
        case TSeriesChangeKind::Appended:
          points.push_back(c.Value);
          break;
        case TSeriesChangeKind::Inserted:
          points.insert(points.begin() + static_cast<std::ptrdiff_t>(c.Index), c.Value);
          break;
        case TSeriesChangeKind::FirstRemoved:
          points.erase(points.begin());
          break;
        case TSeriesChangeKind::LastRemoved:
          points.pop_back();
          break;
        case TSeriesChangeKind::Cleared:
          points.clear();
          break;
      }
    });
    if (!replayed) {
      points.assign(s.begin(), s.end());
      ++copies;
    }
    revision = s.Revision();
  }
};

std::vector<std::pair<double, double>> Pairs(const std::vector<TChartPoint>& v) {
  std::vector<std::pair<double, double>> out;
  for (const auto& p : v)
    out.emplace_back(p.x, p.y);
  return out;
}
std::vector<std::pair<double, double>> Pairs(const TLineSeries& s) {
  return Pairs(std::vector<TChartPoint>(s.begin(), s.end()));
}

TEST(SeriesJournalTest, ReplayingTheChangesGivesTheSamePoints) {
  TLineSeries s;
  Mirror m;
  s.Add({1, 10});
  s.Add({3, 30});
  s.Add({3, 31});   // same time: after the equal one
  s.Add({2, 20});   // clock set back: inserted after the last point not later than it
  s.Add({0.5, 5});  // before all of them
  s.DeleteLast();
  s.DeleteFirst();
  s.Add({4, 40});
  m.CatchUp(s);
  EXPECT_EQ(Pairs(m.points), Pairs(s));
  EXPECT_EQ(m.copies, 0);
  EXPECT_EQ(Pairs(s), (std::vector<std::pair<double, double>>{{1, 10}, {2, 20}, {3, 30}, {4, 40}}));

  s.Clear();
  s.Add({7, 70});
  m.CatchUp(s);
  EXPECT_EQ(Pairs(m.points), Pairs(s));
  m.CatchUp(s);  // nothing new
  EXPECT_EQ(m.copies, 0);
}

TEST(SeriesJournalTest, AViewTooFarBehindCopiesAfresh) {
  TLineSeries s;
  Mirror m;
  m.CatchUp(s);
  for (std::size_t i = 0; i < TLineSeries::kJournalLength; ++i)
    s.Add({double(i), 1});
  m.CatchUp(s);  // exactly the journal's length: still replayed
  EXPECT_EQ(m.copies, 0);
  for (std::size_t i = 0; i < TLineSeries::kJournalLength; ++i)
    s.Add({100.0 + double(i), 2});
  s.DeleteFirst();  // one change more than the journal holds
  m.CatchUp(s);
  EXPECT_EQ(m.copies, 1);
  EXPECT_EQ(Pairs(m.points), Pairs(s));
  EXPECT_FALSE(s.ChangesSince(s.Revision() + 1, [](const auto&) {}));  // not this series' revision
}

// Three days of plot ticks with steps of the clock back and forth: a mirror that catches up
// after every tick never needs a copy and always equals the model.
TEST(SeriesJournalTest, ATrendWindowCanBeMirroredTickByTick) {
  VirtualScheduler sched;
  TTempGraph graph(sched);
  Mirror temp, sp;
  int changes = 0;
  graph.SubscribeChartChange([&](TTrendGraph&) { ++changes; });
  for (int i = 0; i < 3 * 86400 + 600; ++i) {
    graph.AddTemps(37.0 + (i % 7 == 0 ? 0.1 * (i % 3) : 0), i < 400000 ? 37.0 : 37.5);
    if (i == 5000) sched.ShiftWallClock(-30 * kOneSecond);
    sched.AdvanceBy(1000);
    temp.CatchUp(graph.TempSeries());
    sp.CatchUp(graph.SPSeries());
  }
  EXPECT_EQ(Pairs(temp.points), Pairs(graph.TempSeries()));
  EXPECT_EQ(Pairs(sp.points), Pairs(graph.SPSeries()));
  EXPECT_EQ(temp.copies + sp.copies, 0);
  EXPECT_EQ(changes, 3 * 86400 + 600);
}

TEST(ListenersTest, EverySubscriberHearsAfterTheSetHandler) {
  VirtualScheduler sched;
  TGasGraph graph(sched);
  std::vector<int> heard;
  graph.SetOnChartChange([&](TTrendGraph&) { heard.push_back(0); });
  const auto a = graph.SubscribeChartChange([&](TTrendGraph&) { heard.push_back(1); });
  graph.SubscribeChartChange([&](TTrendGraph&) { heard.push_back(2); });
  graph.AddEvent("Purge Start");
  EXPECT_EQ(heard, (std::vector<int>{0, 1, 2}));

  heard.clear();
  graph.UnsubscribeChartChange(a);
  graph.SetOnChartChange(nullptr);
  graph.AddEvent("Purge Stop");
  EXPECT_EQ(heard, (std::vector<int>{2}));
}

TEST(ListenersTest, SubscribingAndUnsubscribingWhileANotificationIsDelivered) {
  TGraphWindow window;
  std::vector<std::string> heard;
  TGraphWindow::TSubscription self = 0, later = 0, victim = 0;
  self = window.SubscribeWindowChange([&](TGraphWindow& w) {
    heard.push_back("self");
    w.UnsubscribeWindowChange(self);  // drops itself while running
    w.UnsubscribeWindowChange(victim);
    later = w.SubscribeWindowChange([&](TGraphWindow&) { heard.push_back("later"); });
  });
  victim = window.SubscribeWindowChange([&](TGraphWindow&) { heard.push_back("victim"); });
  window.SubscribeWindowChange([&](TGraphWindow& w) {
    heard.push_back("nested");
    if (w.Caption() == "a") w.SetCaption("b");  // a change from inside a notification
  });
  window.SetCaption("a");
  // The inner notification (caption "b") already reaches the listener added by the outer one.
  EXPECT_EQ(heard, (std::vector<std::string>{"self", "nested", "nested", "later"}));

  heard.clear();
  window.UnsubscribeWindowChange(later);
  window.SetVisible(true);
  EXPECT_EQ(heard, (std::vector<std::string>{"nested"}));
}

TEST(ListenersTest, AViewHearsWhenItsWindowGoes) {
  VirtualScheduler sched;
  auto graph = std::make_unique<TTempGraph>(sched);
  int gone = 0, dropped = 0;
  graph->SubscribeDestroyed([&](TGraphWindow&) { ++gone; });
  const auto id = graph->SubscribeDestroyed([&](TGraphWindow&) { ++dropped; });
  graph->UnsubscribeDestroyed(id);
  graph.reset();
  EXPECT_EQ(gone, 1);
  EXPECT_EQ(dropped, 0);
}

}  // namespace
}  // namespace dova
