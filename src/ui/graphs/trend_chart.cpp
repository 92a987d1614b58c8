#include "ui/graphs/trend_chart.h"

#include <algorithm>

#include "graphs/axis_labels.h"

namespace dova::ui {

// ---- TLineMirror

void TLineMirror::Assign(const TLineSeries& series) {
  QVector<QCPGraphData> data;
  const auto n = static_cast<qsizetype>(series.Count());
  data.reserve(n + n / 32 + 64);
  for (const TChartPoint& p : series)
    data.append(QCPGraphData(p.x, p.y));
  mData.swap(data);
  mPreallocSize = 0;
  mPreallocIteration = 0;
}

void TLineMirror::Release() {
  QVector<QCPGraphData>().swap(mData);
  mPreallocSize = 0;
  mPreallocIteration = 0;
}

bool TLineMirror::CatchUp(const TLineSeries& series, std::uint64_t revision) {
  return series.ChangesSince(revision, [this](const TLineSeries::TChange& c) {
    switch (c.Kind) {
      case TSeriesChangeKind::Appended:
        PushBack(c.Value);
        break;
      case TSeriesChangeKind::Inserted:
        InsertAt(c.Index, c.Value);
        break;
      case TSeriesChangeKind::FirstRemoved:
        PopFront();
        break;
      case TSeriesChangeKind::LastRemoved:
        PopBack();
        break;
      case TSeriesChangeKind::Cleared:
        mData.clear();
        mPreallocSize = 0;
        break;
    }
  });
}

void TLineMirror::MakeRoom() {
  if (mData.size() < mData.capacity()) return;
  if (mPreallocSize > 0) {
    // The room the oldest points left at the front: move the line down into it.
    std::copy(mData.begin() + mPreallocSize, mData.end(), mData.begin());
    mData.resize(mData.size() - mPreallocSize);
    mPreallocSize = 0;
    if (mData.size() < mData.capacity()) return;
  }
  const qsizetype n = mData.size();
  mData.reserve(n + std::max<qsizetype>(n / 32, 256));
}

void TLineMirror::PushBack(const TChartPoint& p) {
  MakeRoom();
  mData.append(QCPGraphData(p.x, p.y));
}

void TLineMirror::InsertAt(std::size_t index, const TChartPoint& p) {
  MakeRoom();
  mData.insert(mPreallocSize + static_cast<qsizetype>(index), QCPGraphData(p.x, p.y));
}

void TLineMirror::PopFront() {
  if (size() > 0) ++mPreallocSize;
}

void TLineMirror::PopBack() {
  if (size() > 0) mData.removeLast();
}

// ---- TLineGraph

void TLineGraph::drawLinePlot(QCPPainter* painter, const QVector<QPointF>& lines) const {
  if (painter->pen().widthF() <= 1 || lines.size() < 2) {
    QCPGraph::drawLinePlot(painter, lines);
    return;
  }
  if (painter->pen().style() == Qt::NoPen || painter->pen().color().alpha() == 0) return;
  applyDefaultAntialiasingHint(painter);
  QVector<QLineF> segments;
  segments.reserve(lines.size() - 1);
  for (qsizetype i = 1; i < lines.size(); ++i) {
    if (lines[i - 1] != lines[i]) segments.append(QLineF(lines[i - 1], lines[i]));
  }
  if (segments.isEmpty()) segments.append(QLineF(lines[0], lines[0]));
  painter->drawLines(segments);
}

// ---- TMarksItem

TMarksItem::TMarksItem(QCustomPlot* plot, const TMarkSeries& events, const TMarkSeries& errors)
    : QCPAbstractItem(plot), events_(&events), errors_(&errors) {}

void TMarksItem::draw(QCPPainter* painter) {
  if (!events_ || !errors_) return;
  painter->setFont(font_);
  DrawSeries(painter, *events_, kEventColor);
  DrawSeries(painter, *errors_, kErrorColor);
}

void TMarksItem::DrawSeries(QCPPainter* painter, const TMarkSeries& series,
                            const QColor& colour) const {
  if (series.Empty()) return;
  QCPAxis* x_axis = parentPlot()->xAxis;
  QCPAxis* row_axis = parentPlot()->yAxis2;
  const QFontMetrics metrics(font_);
  // A mark just outside the visible times may still show part of its box.
  const double days_per_pixel = x_axis->range().size() / std::max(1, x_axis->axisRect()->width());
  const double reach = 200 * days_per_pixel;
  const auto by_time = [](const TMarkPoint& p, double x) { return p.x < x; };
  auto it = std::lower_bound(series.begin(), series.end(), x_axis->range().lower - reach, by_time);
  const auto end =
      std::lower_bound(it, series.end(), x_axis->range().upper + reach + 1e-12, by_time);
  const QColor shadow(0, 0, 0, 128);
  for (; it != end; ++it) {
    const int px = qRound(x_axis->coordToPixel(it->x));
    const int py = qRound(row_axis->coordToPixel(it->y));
    const int text_width = metrics.horizontalAdvance(it->label);
    const QRect box(px - (text_width + 4) / 2, py - kArrowLength - metrics.height(), text_width + 4,
                    metrics.height());
    painter->fillRect(box.translated(2, 2), shadow);
    painter->fillRect(box, colour);
    painter->setPen(Qt::white);
    painter->drawText(box, Qt::AlignCenter | Qt::TextDontClip, it->label);
    painter->setPen(Qt::black);
    painter->drawLine(QPoint(px, py - 1), QPoint(px, py - kArrowLength));
    // A three-pixel diamond: the point and its four neighbours.
    painter->fillRect(QRect(px - 1, py, 3, 1), colour);
    painter->fillRect(QRect(px, py - 1, 1, 3), colour);
  }
}

// ---- TShadowLegend

void TShadowLegend::draw(QCPPainter* painter) {
  painter->fillRect(outerRect().translated(2, 2), QColor(0, 0, 0, 128));
  QCPLegend::draw(painter);
}

// ---- tickers

namespace {

// The ticks of one step inside the range, and `count` minor ticks between and beside them.
void MinorTicks(const QCPRange& range, double step, int count, QVector<double>* sub_ticks) {
  if (!sub_ticks) return;
  sub_ticks->clear();
  if (count <= 0) return;
  const std::vector<double> around = TickPositions(range.lower - step, range.upper + step, step);
  for (std::size_t i = 0; i + 1 < around.size(); ++i) {
    for (int k = 1; k <= count; ++k) {
      const double t = around[i] + step * k / (count + 1);
      if (t >= range.lower && t <= range.upper) sub_ticks->append(t);
    }
  }
}

}  // namespace

void TTimeTicker::SetLocale(const QLocale& locale) {
  locale_ = locale;
  MeasureWidestLabel();
}

void TTimeTicker::SetLabelFont(const QFont& font) {
  font_ = font;
  MeasureWidestLabel();
}

void TTimeTicker::MeasureWidestLabel() {
  // A two-digit day, the widest short month name and a two-digit hour.
  const QFontMetrics metrics(font_);
  int widest = 0;
  for (int month = 1; month <= 12; ++month) {
    const TDateTime t = EncodeDateTime(2020, month, 28, 12, 58);
    widest = std::max(widest, metrics.horizontalAdvance(FormatTimeLabel(t, locale_)));
  }
  widest_label_ = widest;
}

void TTimeTicker::generate(const QCPRange& range, const QLocale&, QChar, int,
                           QVector<double>& ticks, QVector<double>* sub_ticks,
                           QVector<QString>* labels) {
  const double step = TimeLabelStep(range.size(), pixels_, widest_label_);
  const std::vector<double> at = TickPositions(range.lower, range.upper, step);
  ticks = QVector<double>(at.begin(), at.end());
  MinorTicks(range, step, 3, sub_ticks);
  if (labels) {
    labels->clear();
    for (const double t : at)
      labels->append(FormatTimeLabel(t, locale_));
  }
}

void TValueTicker::generate(const QCPRange& range, const QLocale&, QChar, int,
                            QVector<double>& ticks, QVector<double>* sub_ticks,
                            QVector<QString>* labels) {
  const double step = ValueLabelStep(range.size(), pixels_, label_height_, min_step_);
  const std::vector<double> at = TickPositions(range.lower, range.upper, step);
  ticks = QVector<double>(at.begin(), at.end());
  MinorTicks(range, step, 1, sub_ticks);
  if (labels) {
    labels->clear();
    for (const double v : at)
      labels->append(prefix_ + FormatAxisNumber(v, locale_, min_decimals_, 3));
  }
}

// ---- TTrendChart

void TTrendChart::updateLayout() {
  QCustomPlot::updateLayout();
  // A second pass when the window moved the axes or the legend after seeing the layout; the
  // second one finds everything in place.
  if (OnAfterLayout && OnAfterLayout()) {
    QCustomPlot::updateLayout();
    if (OnAfterLayout) OnAfterLayout();
  }
}

void TTrendChart::resizeEvent(QResizeEvent*) {
  setViewport(rect());
  if (OnResized) OnResized();
}

void TTrendChart::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    // QCustomPlot would start its rectangle on any button: the right one pans here instead.
    setSelectionRectMode(QCP::srmNone);
    panning_ = true;
    pan_last_ = event->pos();
    event->accept();
    return;
  }
  setSelectionRectMode(event->button() == Qt::LeftButton ? QCP::srmCustom : QCP::srmNone);
  QCustomPlot::mousePressEvent(event);
}

void TTrendChart::mouseMoveEvent(QMouseEvent* event) {
  if (panning_) {
    if (!(event->buttons() & Qt::RightButton)) {
      panning_ = false;
    } else {
      const QPoint from = pan_last_;
      pan_last_ = event->pos();
      if (from != pan_last_ && OnPan) OnPan(from, pan_last_);
      return;
    }
  }
  QCustomPlot::mouseMoveEvent(event);
}

void TTrendChart::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton && panning_) {
    panning_ = false;
    event->accept();
    return;
  }
  QCustomPlot::mouseReleaseEvent(event);
}

void TTrendChart::mouseDoubleClickEvent(QMouseEvent* event) {
  QCustomPlot::mouseDoubleClickEvent(event);
  if (event->button() == Qt::LeftButton && OnDoubleClick) OnDoubleClick();
}

}  // namespace dova::ui
