#pragma once

#include <QMdiArea>
#include <QPixmap>

namespace dova {

// The MDI area: black, with the program's picture centred behind the trend windows and
// shrunk to fit when the area is smaller than the picture (never enlarged). It scrolls
// when windows reach beyond it (after the main window shrank or the strip gained a row).
class TBackgroundMdiArea : public QMdiArea {
 public:
  explicit TBackgroundMdiArea(QWidget* parent = nullptr);
  // Where the picture is drawn in the viewport of the given size.
  static QRect PictureRect(QSize picture, QSize area);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap picture_;
};

}  // namespace dova
