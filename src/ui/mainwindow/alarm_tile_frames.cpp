#include "ui/mainwindow/alarm_tile_frames.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>

#include "ui/alarms/alarm_frame.h"
#include "ui/alarms/alarms_ui.h"
#include "ui/tile/tile_widget.h"

namespace dova {

TAlarmTileFrames::TAlarmTileFrames(TAlarmBoard& board)
    : board_(board), changed_(board.Changed(), [this] { Update(); }) {
  qApp->installEventFilter(this);
}

TAlarmTileFrames::~TAlarmTileFrames() {
  qApp->removeEventFilter(this);
  for (auto& [raw, entry] : tiles_) {
    if (entry.first) {
      entry.first->SetOverlay(nullptr);
      entry.first->SetExtraHint(QString());
    }
  }
}

bool TAlarmTileFrames::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Show) {
    if (auto* tile = dynamic_cast<TTileWidget*>(watched)) Attach(*tile);
  }
  return false;
}

void TAlarmTileFrames::Attach(TTileWidget& tile) {
  auto [it, added] = tiles_.try_emplace(&tile, QPointer<TTileWidget>(&tile), TShown{});
  if (!added) {
    if (it->second.first) return;
    it->second = {QPointer<TTileWidget>(&tile), TShown{}};  // a new tile at a freed address
  }
  TTileWidget* raw = &tile;
  tile.SetOverlay([this, raw](QPainter& p, const QRect& rect) {
    const auto found = tiles_.find(raw);
    if (found == tiles_.end()) return;
    const TShown& shown = found->second.second;
    ui::PaintAlarmFrame(p, rect, shown.Frame, shown.On);
  });
  UpdateTile(tile, it->second.second);
}

TAlarmFrame TAlarmTileFrames::FrameOf(const TTileWidget& tile) const {
  const auto it = tiles_.find(const_cast<TTileWidget*>(&tile));
  return it == tiles_.end() ? TAlarmFrame::None : it->second.second.Frame;
}

void TAlarmTileFrames::UpdateTile(TTileWidget& tile, TShown& shown) {
  const QString& serial = tile.Panel().Serial;
  const TShown now{serial.isEmpty() ? TAlarmFrame::None : board_.Frame(serial), board_.FlashOn()};
  tile.SetExtraHint(serial.isEmpty() ? QString() : board_.HintText(serial));
  const bool visible_change =
      now.Frame != shown.Frame || (now.Frame == TAlarmFrame::Flashing && now.On != shown.On);
  shown = now;
  if (visible_change) tile.update();
}

void TAlarmTileFrames::Update() {
  for (auto it = tiles_.begin(); it != tiles_.end();) {
    if (!it->second.first) {
      it = tiles_.erase(it);
      continue;
    }
    UpdateTile(*it->second.first, it->second.second);
    ++it;
  }
}

std::unique_ptr<TAlarmTileFrames> AddAlarmsToWindow(QMainWindow& window, ui::TAlarmsUi& alarms) {
  QAction* before = nullptr;
  for (QAction* action : window.menuBar()->actions()) {
    if (action->text() == QStringLiteral("&Window")) before = action;
  }
  window.menuBar()->insertMenu(before, alarms.Menu());
  window.statusBar()->addPermanentWidget(alarms.Summary());
  auto frames = std::make_unique<TAlarmTileFrames>(alarms.Board());
  // Tiles already on screen.
  // The tile has no meta-object of its own, so findChildren<TTileWidget*> would take every
  // widget for one: look at each widget's real type.
  for (QWidget* widget : window.findChildren<QWidget*>()) {
    auto* tile = dynamic_cast<TTileWidget*>(widget);
    if (tile != nullptr && tile->isVisible()) frames->Attach(*tile);
  }
  return frames;
}

}  // namespace dova
