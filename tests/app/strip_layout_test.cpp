#include <gtest/gtest.h>

#include <QString>
#include <vector>

#include "app/strip_layout.h"

namespace dova {
namespace {

std::vector<int> Lefts(const TStripLayout& layout, int top) {
  std::vector<int> lefts;
  for (const TRect& r : layout.Tiles)
    if (r.Top == top) lefts.push_back(r.Left);
  return lefts;
}

struct WorkedExample {
  int tiles;
  std::vector<std::vector<int>> rows;  // lefts per row, tops 2, 78, 154
  int height;
};

TEST(ArrangeStripTest, WorkedExampleForA1280PixelStrip) {
  const std::vector<WorkedExample> cases = {
      {1, {{1086}}, 78},
      {3, {{698, 892, 1086}}, 78},
      {8, {{310, 504, 698, 892, 1086}, {698, 892, 1086}}, 154},
      {12, {{310, 504, 698, 892, 1086}, {698, 892, 1086}, {504, 698, 892, 1086}}, 230},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tiles);
    const TStripLayout layout = ArrangeStrip(1280, kBannerWidth, 192, 74, c.tiles);
    ASSERT_EQ(layout.Tiles.size(), static_cast<std::size_t>(c.tiles));
    EXPECT_EQ(layout.StripHeight, c.height);
    for (std::size_t row = 0; row < c.rows.size(); ++row)
      EXPECT_EQ(Lefts(layout, 2 + 76 * static_cast<int>(row)), c.rows[row]) << "row " << row;
    for (const TRect& r : layout.Tiles) {
      EXPECT_EQ(r.Width, 192);
      EXPECT_EQ(r.Height, 74);
    }
  }
  EXPECT_TRUE(ArrangeStrip(1280, kBannerWidth, 192, 74, 0).Tiles.empty());
}

TEST(ArrangeStripTest, NarrowStripsStillPlaceEveryTile) {
  // Beside a 300 px banner nothing fits below 494 px: the tiles begin in the second row.
  TStripLayout below_banner = ArrangeStrip(400, kBannerWidth, 192, 74, 3);
  EXPECT_EQ(Lefts(below_banner, 2), std::vector<int>{});
  // Two cells per full row: three tiles need two rows, so the first takes 3 div 2 = 1.
  EXPECT_EQ(Lefts(below_banner, 78), (std::vector<int>{206}));
  EXPECT_EQ(Lefts(below_banner, 154), (std::vector<int>{12, 206}));
  EXPECT_EQ(below_banner.StripHeight, 230);

  // Narrower than one cell (a minimised window): one tile per row, right-aligned, and no
  // division by zero.
  for (int width : {0, 100, 193}) {
    SCOPED_TRACE(width);
    TStripLayout tiny = ArrangeStrip(width, kBannerWidth, 192, 74, 2);
    ASSERT_EQ(tiny.Tiles.size(), 2u);
    EXPECT_EQ(tiny.Tiles[0], (TRect{width - 194, 78, 192, 74}));
    EXPECT_EQ(tiny.Tiles[1], (TRect{width - 194, 154, 192, 74}));
    EXPECT_EQ(tiny.StripHeight, 230);
  }
}

TEST(SortByCaptionTest, CodeUnitOrderAndStableForEqualCaptions) {
  struct Tile {
    QString caption;
    int id;
  };
  std::vector<Tile> tiles = {{"dova: 2", 1}, {"Zeta: 9", 2}, {"DOVA: 1", 3},
                             {"dova: 2", 4}, {"dova", 5},    {QString::fromUtf8("\xC3\xA9t: 1"), 6},
                             {"", 7}};
  SortByCaption(tiles, [](const Tile& t) { return QStringView(t.caption); });
  std::vector<int> order;
  for (const Tile& t : tiles)
    order.push_back(t.id);
  // Empty first, capitals before small letters, a prefix before its extension, é (U+00E9)
  // after every ASCII letter, and the two equal captions in their old order.
  EXPECT_EQ(order, (std::vector<int>{7, 3, 2, 5, 1, 4, 6}));

  EXPECT_TRUE(CaptionLess(u"B", u"a"));
  EXPECT_FALSE(CaptionLess(u"a", u"a"));
  // A surrogate pair (U+1F600) sorts by its code units (0xD83D) below U+FF21.
  EXPECT_TRUE(
      CaptionLess(QString::fromUtf8("\xF0\x9F\x98\x80"), QString::fromUtf8("\xEF\xBC\xA1")));
}

}  // namespace
}  // namespace dova
