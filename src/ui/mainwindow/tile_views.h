#pragma once

#include <QWidget>
#include <array>
#include <exception>
#include <functional>

#include "app/strip_layout.h"
#include "graphs/graph_window.h"

class QMdiArea;
class QMdiSubWindow;

namespace dova {

class TDovaPanel;
class TTileWidget;
class TTrendGraph;

// Makes the widget that shows one trend window's chart; the main window owns it.
using TChartFactory = std::function<QWidget*(TTrendGraph& model)>;
// The program's chart windows: a temperature or a gas-flow window for the model.
QWidget* MakeTrendWindow(TTrendGraph& model);

// What one tile looks like on screen: its widget in the strip and its three trend windows,
// each a chart that sits in an MDI frame while its model is an MDI child (the tile is
// selected). The views follow the models by themselves; the tile and its models must
// outlive them.
class TTileViews {
 public:
  using TErrorSink = std::function<void(std::exception_ptr)>;

  // `strip` is the tile widget's parent; `on_frames_changed` is told when a frame came,
  // went or changed its title.
  TTileViews(TDovaPanel& panel, QWidget* strip, QMdiArea& mdi, const TChartFactory& charts,
             TErrorSink on_error, std::function<void()> on_frames_changed);
  ~TTileViews();
  TTileViews(const TTileViews&) = delete;
  TTileViews& operator=(const TTileViews&) = delete;

  TTileWidget* Tile() const { return tile_; }
  // The frame that holds the window in the MDI area, null when it is no MDI child or not
  // one of this tile's.
  QMdiSubWindow* FrameOf(const TGraphWindow& window) const;
  void MoveTile(const TRect& rect);

 private:
  struct TGraphView {
    TTrendGraph* Model = nullptr;
    QWidget* Chart = nullptr;
    QMdiSubWindow* Frame = nullptr;
    TGraphWindow::TSubscription Subscription = 0;
  };
  void Follow(TGraphView& view);
  void Detach(TGraphView& view);

  QMdiArea& mdi_;
  std::function<void()> on_frames_changed_;
  TTileWidget* tile_ = nullptr;
  std::array<TGraphView, 3> graphs_;
};

}  // namespace dova
