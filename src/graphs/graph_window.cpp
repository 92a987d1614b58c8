#include "graphs/graph_window.h"

namespace dova {

TGraphWindow::~TGraphWindow() {
  destroyed_listeners_.Notify(*this);
}

void TGraphWindow::SetCaption(const QString& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  WindowChanged();
}

void TGraphWindow::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  WindowChanged();
}

void TGraphWindow::SetMdiChild(bool mdi_child) {
  if (mdi_child == mdi_child_ && (!mdi_child || visible_)) return;
  mdi_child_ = mdi_child;
  if (mdi_child) visible_ = true;
  WindowChanged();
}

void TGraphWindow::WindowChanged() {
  if (on_window_change_) {
    auto handler = on_window_change_;  // the handler may replace itself
    handler(*this);
  }
  window_listeners_.Notify(*this);
}

}  // namespace dova
