#include "graphs/graph_window.h"

#include <gtest/gtest.h>

#include <QString>
#include <vector>

namespace dova {
namespace {

struct Seen {
  QString caption;
  bool visible;
  bool mdi;
  bool operator==(const Seen&) const = default;
};

TEST(GraphWindowTest, StateChangesAreReportedInOrderAndOnlyWhenTheyChange) {
  TGraphWindow window;
  std::vector<Seen> seen;
  window.SetOnWindowChange([&](TGraphWindow& w) {
    EXPECT_EQ(&w, &window);
    seen.push_back({w.Caption(), w.Visible(), w.MdiChild()});
  });
  EXPECT_FALSE(window.Visible());
  EXPECT_FALSE(window.MdiChild());

  window.SetCaption("Bench 1: dova3001234 Left Temperature");
  window.SetCaption("Bench 1: dova3001234 Left Temperature");
  window.SetMdiChild(true);  // shows it as well
  window.SetMdiChild(true);
  window.SetMdiChild(false);  // an ordinary window, still shown until hidden
  window.SetVisible(false);
  window.SetVisible(false);

  const QString c = "Bench 1: dova3001234 Left Temperature";
  EXPECT_EQ(seen, (std::vector<Seen>{
                      {c, false, false}, {c, true, true}, {c, true, false}, {c, false, false}}));
}

TEST(GraphWindowTest, BecomingMdiChildShowsAHiddenChildAgain) {
  TGraphWindow window;
  window.SetMdiChild(true);
  window.SetVisible(false);  // hidden while still an MDI child
  int calls = 0;
  window.SetOnWindowChange([&](TGraphWindow&) { ++calls; });
  window.SetMdiChild(true);
  EXPECT_TRUE(window.Visible());
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace dova
