#pragma once

#include <exception>
#include <vector>

#include "app/panel_roster.h"
#include "app/strip_model.h"
#include "monitor/tile_directory.h"

namespace dova {

class TDovaPanel;

// The end of the main window's tiles: the close timer frees the tiles whose link ended, and
// closing the window disconnects every tile. It works on the form's roster, strip and
// selection, and tells each change to the form's panel changes.
//
// A tile is disconnected and told freed before it is destroyed; one still in use (the main
// window is inside a call to it, with a modal box open) stays closing until a later tick.
// A tile that fails to disconnect goes all the same: the first error comes back once the
// work is done.
class TPanelCloser {
 public:
  TPanelCloser(TPanelRoster& roster, TStripModel& strip, TDovaPanel*& selected,
               TPanelChanges& changes);
  TPanelCloser(const TPanelCloser&) = delete;
  TPanelCloser& operator=(const TPanelCloser&) = delete;

  // The close timer's work: frees the closing tiles not in use, then arranges the strip
  // again and selects its first tile if none is selected.
  std::exception_ptr FreeClosing();
  // The window's close: the listed tiles first, in strip order; then those that lost their
  // link or never told their name, so that they get their last log line too.
  std::exception_ptr CloseAll();
  // Destroys the tile and forgets its place in the strip.
  void Free(TDovaPanel* panel);

 private:
  void DisconnectAll(const std::vector<TDovaPanel*>& panels, std::exception_ptr& first_error);

  TPanelRoster& roster_;
  TStripModel& strip_;
  TDovaPanel*& selected_;
  TPanelChanges& changes_;
};

}  // namespace dova
