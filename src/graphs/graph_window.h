#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "platform/observer.h"

namespace dova {

// The listeners of one notification from a model to its views.
template <class Sender>
using TListeners = TObservers<Sender&>;

// What the windowing system shows of a trend window: its caption, whether it is shown, and
// whether it lives as an MDI child of the main window or as an ordinary (hidden) window.
// The ui layer follows these through the change callback; the order of the calls matters
// (the tile makes its three windows MDI children in a fixed order, which is the order the
// main window arranges them in).
class TGraphWindow {
 public:
  using TWindowEvent = std::function<void(TGraphWindow& Sender)>;
  using TSubscription = TListeners<TGraphWindow>::TSubscription;

  TGraphWindow() = default;
  // Tells the SubscribeDestroyed listeners first.
  virtual ~TGraphWindow();
  TGraphWindow(const TGraphWindow&) = delete;
  TGraphWindow& operator=(const TGraphWindow&) = delete;

  const QString& Caption() const { return caption_; }
  void SetCaption(const QString& caption);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  bool MdiChild() const { return mdi_child_; }
  // Becoming an MDI child also shows the window; leaving the MDI area keeps it shown until
  // it is hidden.
  void SetMdiChild(bool mdi_child);

  // Called after every change of the state above (not for assignments of the same value).
  // The one handler set here is called first, then every subscriber in order.
  void SetOnWindowChange(TWindowEvent handler) { on_window_change_ = std::move(handler); }
  TSubscription SubscribeWindowChange(TWindowEvent handler) {
    return window_listeners_.Subscribe(std::move(handler));
  }
  void UnsubscribeWindowChange(TSubscription id) { window_listeners_.Unsubscribe(id); }

  // Called once when the window is being destroyed, so a view drops its reference. By then
  // the derived parts are gone: a listener must not look at the window any more.
  TSubscription SubscribeDestroyed(TWindowEvent handler) {
    return destroyed_listeners_.Subscribe(std::move(handler));
  }
  void UnsubscribeDestroyed(TSubscription id) { destroyed_listeners_.Unsubscribe(id); }

 private:
  void WindowChanged();

  QString caption_;
  bool visible_ = false;
  bool mdi_child_ = false;
  TWindowEvent on_window_change_;
  TListeners<TGraphWindow> window_listeners_;
  TListeners<TGraphWindow> destroyed_listeners_;
};

}  // namespace dova
