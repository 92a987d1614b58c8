#include "ui/mainwindow/background_mdi_area.h"

#include <QPainter>

namespace dova {

TBackgroundMdiArea::TBackgroundMdiArea(QWidget* parent)
    : QMdiArea(parent), picture_(QStringLiteral(":/dova/background.png")) {
  setObjectName(QStringLiteral("BackgroundImage"));
  setBackground(Qt::black);
  setFrameShape(QFrame::NoFrame);
  // A trend window that reaches beyond the area stays reachable.
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

QRect TBackgroundMdiArea::PictureRect(QSize picture, QSize area) {
  QSize size = picture;
  if (picture.width() > area.width() || picture.height() > area.height())
    size = picture.scaled(area, Qt::KeepAspectRatio);
  return QRect(QPoint((area.width() - size.width()) / 2, (area.height() - size.height()) / 2),
               size);
}

void TBackgroundMdiArea::paintEvent(QPaintEvent* event) {
  QMdiArea::paintEvent(event);
  if (picture_.isNull()) return;
  QPainter p(viewport());
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.drawPixmap(PictureRect(picture_.size(), viewport()->size()), picture_);
}

}  // namespace dova
