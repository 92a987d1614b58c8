#include "app/mdi_geometry.h"

#include <gtest/gtest.h>

namespace dova::mdi {
namespace {

// The tilings cover the area exactly: no gap, no overlap, the remainder in the last window.
TEST(MdiGeometryTest, TilingsShareTheAreaAndTheLastWindowTakesTheRemainder) {
  const TSize area{1000, 601};
  EXPECT_EQ(TileHorizontally(area, 3),
            (std::vector<TRect>{{0, 0, 1000, 200}, {0, 200, 1000, 200}, {0, 400, 1000, 201}}));
  EXPECT_EQ(TileVertically(TSize{1001, 500}, 2),
            (std::vector<TRect>{{0, 0, 500, 500}, {500, 0, 501, 500}}));
  EXPECT_EQ(TileHorizontally(area, 1), (std::vector<TRect>{{0, 0, 1000, 601}}));
  EXPECT_TRUE(TileHorizontally(area, 0).empty());
  EXPECT_TRUE(TileVertically(area, 0).empty());
  // More windows than pixels: the last one still reaches the bottom.
  const std::vector<TRect> thin = TileHorizontally(TSize{100, 2}, 3);
  ASSERT_EQ(thin.size(), 3u);
  EXPECT_EQ(thin.back().Top + thin.back().Height, 2);
}

TEST(MdiGeometryTest, CascadeStepsInAndKeepsAUsableSize) {
  EXPECT_EQ(Cascade(TSize{800, 600}, 3, 25),
            (std::vector<TRect>{{0, 0, 750, 550}, {25, 25, 750, 550}, {50, 50, 750, 550}}));
  // A small area: the windows keep 240 x 160 and reach beyond it rather than vanish.
  const std::vector<TRect> small = Cascade(TSize{300, 200}, 4, 30);
  ASSERT_EQ(small.size(), 4u);
  for (const TRect& r : small) {
    EXPECT_EQ(r.Width, 240);
    EXPECT_EQ(r.Height, 160);
  }
  EXPECT_EQ(small.back().Left, 90);
  // An area smaller than that: the windows are as large as the area.
  EXPECT_EQ(Cascade(TSize{200, 100}, 1, 30), (std::vector<TRect>{{0, 0, 200, 100}}));
}

TEST(MdiGeometryTest, MinimisedWindowsLineUpAlongTheBottomAndWrapUpwards) {
  const std::vector<TSize> icons(3, TSize{160, 30});
  EXPECT_EQ(ArrangeMinimised(TSize{400, 300}, icons),
            (std::vector<TRect>{{0, 270, 160, 30}, {160, 270, 160, 30}, {0, 240, 160, 30}}));
  // One that is wider than the area stays alone on its row, at the left.
  EXPECT_EQ(ArrangeMinimised(TSize{100, 300}, {TSize{160, 30}, TSize{160, 30}}),
            (std::vector<TRect>{{0, 270, 160, 30}, {0, 240, 160, 30}}));
  EXPECT_TRUE(ArrangeMinimised(TSize{400, 300}, {}).empty());
}

}  // namespace
}  // namespace dova::mdi
