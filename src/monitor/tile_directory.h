#pragma once

#include <vector>

#include "platform/observer.h"

namespace dova {

class TDovaPanel;

// How the main window's tiles changed, for the front ends and reports that follow them:
//   Created   right after the tile was attached, before it is named or selected;
//   Named     the incubator told its name (again, for a listed tile);
//   Listed    the tile joined the strip;
//   Selected  the tile became the selected one and its trend windows are to be stacked;
//   Closing   its link ended: hidden, freed by the close timer soon;
//   Freed     just before the tile is destroyed;
//   StripChanged  the strip was laid out again (the tile is null).
enum class TPanelChange { Created, Named, Listed, Selected, Closing, Freed, StripChanged };
using TPanelChanges = TObservers<TPanelChange, const TDovaPanel*>;

// The main window's tiles as a reader sees them: which exist, which are listed (linked and
// named), and their changes as they happen.
class ITileDirectory {
 public:
  virtual ~ITileDirectory() = default;
  // Every tile, in the order they were made.
  virtual std::vector<const TDovaPanel*> Panels() const = 0;
  virtual bool IsListed(const TDovaPanel& panel) const = 0;
  virtual TPanelChanges& PanelChanges() = 0;
};

}  // namespace dova
