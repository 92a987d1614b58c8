#pragma once

#include <QPointF>
#include <QVector>

#include "graphs/graph_series.h"

namespace dova {

// Where a time and a value land on the screen: px = XOffset + XScale * x, and the same for y.
struct TPixelMap {
  double XScale = 1;
  double XOffset = 0;
  double YScale = 1;
  double YOffset = 0;

  QPointF operator()(const TChartPoint& p) const {
    return QPointF(XOffset + XScale * p.x, YOffset + YScale * p.y);
  }
};

// The polyline that draws `series` between the times `lower` and `upper`, in pixels, written to
// `out`. It starts one point before `lower` and ends one point after `upper`, so the line runs
// on to the plot's edges. Three days hold far more points than a plot has pixel columns: when
// there are at least two points per column on average, each column gives no more than four
// points (its first, its lowest and highest in the order they came, its last), which draws the
// same picture as every point would, and the cost of drawing no longer grows with the data.
// A point without a value (NaN, a stretch without data in a stored log) breaks the line: it
// comes out as a pixel with a NaN y, never merged into a column.
void LinePixels(const TLineSeries& series, double lower, double upper, const TPixelMap& map,
                QVector<QPointF>& out);

}  // namespace dova
