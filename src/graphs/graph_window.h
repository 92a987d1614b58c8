#pragma once

#include <QString>
#include <functional>

namespace dova {

// What the windowing system shows of a trend window: its caption, whether it is shown, and
// whether it lives as an MDI child of the main window or as an ordinary (hidden) window.
// The ui layer follows these through the change callback; the order of the calls matters
// (the tile makes its three windows MDI children in a fixed order, which is the order the
// main window arranges them in).
class TGraphWindow {
 public:
  using TWindowEvent = std::function<void(TGraphWindow& Sender)>;

  TGraphWindow() = default;
  virtual ~TGraphWindow() = default;
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
  void SetOnWindowChange(TWindowEvent handler) { on_window_change_ = std::move(handler); }

 private:
  void WindowChanged();

  QString caption_;
  bool visible_ = false;
  bool mdi_child_ = false;
  TWindowEvent on_window_change_;
};

}  // namespace dova
