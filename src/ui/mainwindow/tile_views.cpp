#include "ui/mainwindow/tile_views.h"

#include <QMdiArea>
#include <QMdiSubWindow>

#include "graphs/gas_graph.h"
#include "graphs/temp_graph.h"
#include "graphs/trend_graph.h"
#include "monitor/dova_panel.h"
#include "ui/graphs/graph_windows.h"
#include "ui/tile/tile_widget.h"

namespace dova {

QWidget* MakeTrendWindow(TTrendGraph& model) {
  if (auto* temp = dynamic_cast<TTempGraph*>(&model)) return new ui::TTempGraph(*temp);
  if (auto* gas = dynamic_cast<TGasGraph*>(&model)) return new ui::TGasGraph(*gas);
  return new QWidget;
}

TTileViews::TTileViews(TDovaPanel& panel, QWidget* strip, QMdiArea& mdi,
                       const TChartFactory& charts, TErrorSink on_error,
                       std::function<void()> on_frames_changed)
    : mdi_(mdi), on_frames_changed_(std::move(on_frames_changed)) {
  tile_ = new TTileWidget(panel, strip, std::move(on_error));
  TTrendGraph* models[] = {panel.LeftTempGraph.get(), panel.GasFlowGraph.get(),
                           panel.RightTempGraph.get()};
  for (std::size_t i = 0; i < graphs_.size(); ++i) {
    if (!models[i]) continue;
    TGraphView& g = graphs_[i];
    g.Model = models[i];
    g.Chart = charts(*g.Model);
    g.Subscription = g.Model->SubscribeWindowChange([this, i](TGraphWindow&) {
      Follow(graphs_[i]);
      if (on_frames_changed_) on_frames_changed_();
    });
    Follow(g);
  }
}

TTileViews::~TTileViews() {
  for (TGraphView& g : graphs_) {
    if (!g.Model) continue;
    g.Model->UnsubscribeWindowChange(g.Subscription);
    if (g.Frame) Detach(g);
    delete g.Chart;
  }
  delete tile_;
}

QMdiSubWindow* TTileViews::FrameOf(const TGraphWindow& window) const {
  for (const TGraphView& g : graphs_)
    if (g.Model && static_cast<const TGraphWindow*>(g.Model) == &window) return g.Frame;
  return nullptr;
}

void TTileViews::MoveTile(const TRect& rect) {
  tile_->move(rect.Left, rect.Top);
}

void TTileViews::Follow(TGraphView& g) {
  TTrendGraph& model = *g.Model;
  g.Chart->setWindowTitle(model.Caption());
  if (model.MdiChild() && !g.Frame) {
    // The chart itself turns a close into a minimise: the window belongs to its tile.
    g.Frame = mdi_.addSubWindow(g.Chart);
    g.Frame->setAttribute(Qt::WA_DeleteOnClose, false);
  } else if (!model.MdiChild() && g.Frame) {
    Detach(g);
  }
  // A trend window is only ever shown inside the MDI area: the tiles hide a window right
  // after taking it out, and an ordinary window flashing up meanwhile would be a glitch.
  if (g.Frame) {
    g.Frame->setWindowTitle(model.Caption());
    if (model.Visible() == g.Frame->isHidden()) g.Frame->setVisible(model.Visible());
  }
}

void TTileViews::Detach(TGraphView& g) {
  QMdiSubWindow* frame = g.Frame;
  g.Frame = nullptr;
  frame->setWidget(nullptr);
  mdi_.removeSubWindow(frame);
  delete frame;
  g.Chart->hide();
}

}  // namespace dova
