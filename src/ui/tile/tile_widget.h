#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QWidget>
#include <exception>
#include <functional>

#include "monitor/dova_panel.h"

class QPainter;

namespace dova {

// A colour of the tile's state as the screen shows it. The active caption colour has no
// role in a desktop palette, so it is the classic deep blue of an active title bar.
QColor ToQColor(TColor color);

// The tile of one incubator in the strip: draws what TDovaPanel holds (caption, the three
// displays, the three lamps over the front-panel picture, the selected or plain look) and
// forwards a click to it. It follows the tile through its view-change hook, shows and hides
// with it, and carries its hint as tool tip and status-bar text.
class TTileWidget : public QWidget {
 public:
  using TErrorSink = std::function<void(std::exception_ptr)>;

  static constexpr int kWidth = 192;
  static constexpr int kHeight = 74;

  // Where the parts stand, in the tile's own pixels.
  static constexpr QRect kCaptionRect{2, 2, 188, 16};
  static constexpr QRect kPictureRect{0, 20, 192, 54};
  static constexpr QRect kLeftTempRect{13, 27, 41, 20};
  static constexpr QRect kGasFlowRect{76, 27, 41, 20};
  static constexpr QRect kRightTempRect{139, 27, 41, 20};
  static constexpr QRect kLeftLampRect{28, 52, 11, 11};
  static constexpr QRect kGasLampRect{92, 52, 11, 11};
  static constexpr QRect kRightLampRect{154, 52, 11, 11};
  // The lamps' outline.
  static constexpr TColor kLampOutline = Rgb(128, 128, 128);

  // `on_error` receives an exception that leaves the click (the program's error box).
  explicit TTileWidget(TDovaPanel& panel, QWidget* parent = nullptr, TErrorSink on_error = {});
  ~TTileWidget() override;
  TTileWidget(const TTileWidget&) = delete;
  TTileWidget& operator=(const TTileWidget&) = delete;

  TDovaPanel& Panel() const { return panel_; }
  // Reads the tile's state again (the view-change hook calls it).
  void Refresh();

  // Something drawn over the tile after the tile itself (the alarm frame), and a text added
  // to the tile's hint in the status bar. The main window sets them; the tile knows nothing
  // of what they mean.
  using TOverlay = std::function<void(QPainter& painter, const QRect& rect)>;
  void SetOverlay(TOverlay overlay);
  void SetExtraHint(const QString& hint);

  // The caption's font: bold, 13 pixels, Arial's metric twin.
  static QFont CaptionFont();
  // The displays' font: 19 pixels, or smaller until `text` fits its 41-pixel box.
  static QFont ValueFont(const QString& text);
  // True where a click does nothing (the lamps).
  static bool IsLamp(const QPoint& pos);
  // Draws a tile's state at the painter's origin.
  static void Paint(QPainter& painter, const TTileView& view);
  // The tile as a picture, the way the widget draws it.
  static QImage Render(const TTileView& view);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  TDovaPanel& panel_;
  TErrorSink on_error_;
  bool pressed_ = false;
  TOverlay overlay_;
  QString extra_hint_;
};

}  // namespace dova
