#pragma once

// A tile's three trend models on virtual time, their windows, and what a test needs to look at
// them: the event loop run until the windows have replotted, a picture, pixels of the chart.

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <cmath>
#include <memory>

#include "graphs/gas_graph.h"
#include "graphs/temp_graph.h"
#include "platform/virtual_scheduler.h"
#include "ui/graphs/graph_windows.h"
#include "ui/graphs/trend_chart.h"

namespace dova::ui::testing {

// Lets the queued replots run (no waiting: only what is already posted).
inline void Settle() {
  for (int i = 0; i < 3; ++i)
    QApplication::processEvents();
}

inline QImage Picture(QWidget& w) {
  Settle();
  return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline QPoint Pixel(const TTrendChart& c, double x, double y, QCPAxis* value_axis = nullptr) {
  QCPAxis* v = value_axis ? value_axis : c.yAxis;
  return QPoint(qRound(c.xAxis->coordToPixel(x)), qRound(v->coordToPixel(y)));
}

// Counts pixels of one colour in a square around a point.
inline int ColourNear(const QImage& image, QPoint at, QColor colour, int radius = 2) {
  int n = 0;
  for (int dy = -radius; dy <= radius; ++dy)
    for (int dx = -radius; dx <= radius; ++dx) {
      const QPoint p = at + QPoint(dx, dy);
      if (image.valid(p) && QColor(image.pixel(p)) == colour) ++n;
    }
  return n;
}

// A mouse event with the buttons held given explicitly.
inline void SendMouse(QWidget& w, QEvent::Type type, QPoint at, Qt::MouseButton button,
                      Qt::MouseButtons held) {
  QMouseEvent event(type, QPointF(at), w.mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
  QApplication::sendEvent(&w, &event);
}

inline void Drag(QWidget& w, QPoint from, QPoint to, Qt::MouseButton button) {
  SendMouse(w, QEvent::MouseButtonPress, from, button, button);
  SendMouse(w, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, button);
  SendMouse(w, QEvent::MouseMove, to, Qt::NoButton, button);
  SendMouse(w, QEvent::MouseButtonRelease, to, button, Qt::NoButton);
}

struct TrendFixture {
  VirtualScheduler sched;
  dova::TTempGraph left{sched};
  dova::TGasGraph gas{sched};
  dova::TTempGraph right{sched};

  void Tick(int n = 1) { sched.AdvanceBy(1000LL * n); }
  // Feeds every model one reading before each of n ticks.
  void Run(int n, double temp, double set_point, double flow, double flow_set_point) {
    for (int i = 0; i < n; ++i) {
      left.AddTemps(temp, set_point);
      right.AddTemps(temp, set_point);
      gas.AddFlows(flow, flow_set_point);
      Tick();
    }
  }
};

}  // namespace dova::ui::testing
