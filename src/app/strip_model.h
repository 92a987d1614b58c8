#pragma once

#include <map>
#include <vector>

#include "app/strip_layout.h"

namespace dova {

class TDovaPanel;

// The strip as the main window lays it out: the listed tiles in strip order (caption order
// after each arrangement), where each tile stands, and the strip's size. A renderer puts
// its widgets where this says.
class TStripModel {
 public:
  static constexpr int kInitialWidth = 1280;

  // The listed tiles, in strip order.
  std::vector<TDovaPanel*> Tiles;
  int Width = kInitialWidth;
  int Height = kStripMinHeight;
  int BannerHeight;

  TStripModel();

  // A tile that is not listed yet waits at the right end of the first row.
  void PlaceNew(const TDovaPanel* panel);
  void Append(TDovaPanel* panel) { Tiles.push_back(panel); }
  // Takes the tile out of the strip order (its rectangle stays until Forget).
  bool Remove(const TDovaPanel* panel);
  void Forget(const TDovaPanel* panel) { rects_.erase(panel); }
  // Sorts the tiles by caption and lays them out over the width; an empty strip keeps its
  // height. False when there was nothing to lay out.
  bool Arrange();
  // The tile's rectangle from the last arrangement, or where PlaceNew put it.
  TRect Rect(const TDovaPanel& panel) const;
  // The heights the strip has when the window is first shown.
  void ResetHeights();

 private:
  std::map<const TDovaPanel*, TRect> rects_;
};

}  // namespace dova
