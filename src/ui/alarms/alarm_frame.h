#pragma once

#include <QRect>

#include "alarms/alarm_board.h"

class QPainter;

namespace dova::ui {

// The width of the frame drawn inside a tile's edge.
inline constexpr int kAlarmFrameWidth = 4;

// Draws a tile's alarm frame inside `rect`: red while flashing and on, and while steady;
// nothing in the off half of a flash; grey hatching while shelved.
void PaintAlarmFrame(QPainter& p, const QRect& rect, TAlarmFrame frame, bool flash_on);

}  // namespace dova::ui
