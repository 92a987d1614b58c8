#include "ui/alarms/alarm_frame.h"

#include <QBrush>
#include <QColor>
#include <QPainter>
#include <QRegion>

namespace dova::ui {

void PaintAlarmFrame(QPainter& p, const QRect& rect, TAlarmFrame frame, bool flash_on) {
  if (frame == TAlarmFrame::None) return;
  if (frame == TAlarmFrame::Flashing && !flash_on) return;
  const QRegion ring = QRegion(rect) - QRegion(rect.adjusted(kAlarmFrameWidth, kAlarmFrameWidth,
                                                             -kAlarmFrameWidth, -kAlarmFrameWidth));
  p.save();
  p.setClipRegion(ring);
  if (frame == TAlarmFrame::Shelved) {
    p.fillRect(rect, QColor(224, 224, 224));
    p.fillRect(rect, QBrush(QColor(96, 96, 96), Qt::BDiagPattern));
  } else {
    p.fillRect(rect, QColor(220, 0, 0));
  }
  p.restore();
}

}  // namespace dova::ui
