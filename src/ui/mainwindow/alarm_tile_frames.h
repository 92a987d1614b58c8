#pragma once

#include <QObject>
#include <QPointer>
#include <map>
#include <memory>

#include "alarms/alarm_board.h"

class QMainWindow;

namespace dova {

class TTileWidget;
namespace ui {
class TAlarmsUi;
}

// Draws each tile's alarm frame and adds its alarms to the tile's hint. Every tile shown in
// the program is taken up when it is shown (so tiles made later get their frame too); a tile
// is repainted only when what it shows changes.
class TAlarmTileFrames : public QObject {
 public:
  explicit TAlarmTileFrames(TAlarmBoard& board);
  ~TAlarmTileFrames() override;

  // What a tile shows now.
  TAlarmFrame FrameOf(const TTileWidget& tile) const;
  // Takes a tile up (done by itself when a tile is shown).
  void Attach(TTileWidget& tile);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct TShown {
    TAlarmFrame Frame = TAlarmFrame::None;
    bool On = true;
  };
  void Update();
  void UpdateTile(TTileWidget& tile, TShown& shown);

  TAlarmBoard& board_;
  std::map<TTileWidget*, std::pair<QPointer<TTileWidget>, TShown>> tiles_;
  TScopedSubscription changed_;
};

// Puts the alarms into the main window: the Alarms menu before the Window menu, the summary
// at the right of the status bar, and the tiles' frames.
std::unique_ptr<TAlarmTileFrames> AddAlarmsToWindow(QMainWindow& window, ui::TAlarmsUi& alarms);

}  // namespace dova
