#pragma once

#include <QString>

namespace dova {

class TDovaPanel;

// What a tile needs of the main window. The main window never frees a tile inside one of
// these calls: RemovePanel only moves it to the closing list, its close timer frees it.
class IPanelHost {
 public:
  virtual ~IPanelHost() = default;
  // The tile knows its name: list it, give it the data folder and logging interval,
  // select it and show it. Called from a task of its own once the name reply has been
  // handled, never from inside the port's line handler, and only while the link lives.
  virtual void AddPanel(TDovaPanel& panel) = 0;
  // The tile's link failed: hide it and close it soon. A tile in no list is ignored.
  virtual void RemovePanel(TDovaPanel& panel) = 0;
  // The user clicked the tile.
  virtual void SelectPanel(TDovaPanel& panel) = 0;
  // Lay out the MDI trend windows after a selection.
  virtual void TileGraphWindows() = 0;
};

// The message boxes a tile may open.
class IMessageBoxes {
 public:
  virtual ~IMessageBoxes() = default;
  // Modal warning with one OK button. Timers keep running while it is open, so the caller
  // must expect the world to have changed when it returns.
  virtual void ShowWarning(const QString& text) = 0;
  // The stay-on-top box that does not block: returns at once.
  virtual void DisplayMessage(const QString& message, const QString& caption) = 0;
};

}  // namespace dova
