#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace dova {

// The listeners of one notification. Subscribing and unsubscribing cost next to nothing and
// are safe at any time, also from inside a notification (a listener may drop itself or
// another one; one added during a notification hears the next one).
template <class Sender>
class TListeners {
 public:
  using THandler = std::function<void(Sender&)>;
  using TId = std::uint64_t;

  TId Subscribe(THandler handler) {
    const TId id = next_id_++;
    slots_.push_back({id, std::move(handler)});
    return id;
  }
  void Unsubscribe(TId id) {
    for (std::size_t i = 0; i < slots_.size(); ++i) {
      if (slots_[i].id != id) continue;
      if (delivering_ > 0) {
        // The loop below walks by index: leave a hole and close it afterwards.
        slots_[i] = {};
        holes_ = true;
      } else {
        slots_.erase(slots_.begin() + static_cast<std::ptrdiff_t>(i));
      }
      return;
    }
  }
  std::size_t Count() const {
    std::size_t n = 0;
    for (const auto& s : slots_)
      n += s.id != 0;
    return n;
  }

  void Notify(Sender& sender) {
    ++delivering_;
    const std::size_t n = slots_.size();
    for (std::size_t i = 0; i < n; ++i) {
      if (slots_[i].id == 0) continue;
      // A copy: the listener may unsubscribe itself, or subscribe others and so move the slots.
      THandler handler = slots_[i].handler;
      handler(sender);
    }
    if (--delivering_ == 0 && holes_) {
      std::erase_if(slots_, [](const Slot& s) { return s.id == 0; });
      holes_ = false;
    }
  }

 private:
  struct Slot {
    TId id = 0;
    THandler handler;
  };
  std::vector<Slot> slots_;
  TId next_id_ = 1;
  int delivering_ = 0;
  bool holes_ = false;
};

// What the windowing system shows of a trend window: its caption, whether it is shown, and
// whether it lives as an MDI child of the main window or as an ordinary (hidden) window.
// The ui layer follows these through the change callback; the order of the calls matters
// (the tile makes its three windows MDI children in a fixed order, which is the order the
// main window arranges them in).
class TGraphWindow {
 public:
  using TWindowEvent = std::function<void(TGraphWindow& Sender)>;
  using TSubscription = TListeners<TGraphWindow>::TId;

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
