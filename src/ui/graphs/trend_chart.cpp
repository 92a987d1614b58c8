#include "ui/graphs/trend_chart.h"

#include <algorithm>
#include <cmath>

#include "graphs/axis_labels.h"
#include "graphs/line_pixels.h"

namespace dova::ui {

// ---- TSeriesLine

namespace {

bool InDomain(double v, QCP::SignDomain domain) {
  switch (domain) {
    case QCP::sdNegative:
      return v < 0;
    case QCP::sdPositive:
      return v > 0;
    case QCP::sdBoth:
      break;
  }
  return true;
}

}  // namespace

TSeriesLine::TSeriesLine(QCPAxis* key_axis, QCPAxis* value_axis, const TLineSeries* series)
    : QCPAbstractPlottable(key_axis, value_axis), series_(series) {
  setSelectable(QCP::stNone);
  setBrush(Qt::NoBrush);
}

QCPRange TSeriesLine::getKeyRange(bool& found_range, QCP::SignDomain domain) const {
  QCPRange range;
  found_range = false;
  if (!series_) return range;
  for (const TChartPoint& p : *series_) {
    if (!InDomain(p.x, domain)) continue;
    if (!found_range) range = QCPRange(p.x, p.x);
    range.expand(p.x);
    found_range = true;
  }
  return range;
}

QCPRange TSeriesLine::getValueRange(bool& found_range, QCP::SignDomain domain,
                                    const QCPRange& in_key_range) const {
  QCPRange range;
  found_range = false;
  if (!series_) return range;
  const bool all_keys = in_key_range == QCPRange();
  for (const TChartPoint& p : *series_) {
    if (!InDomain(p.y, domain) || (!all_keys && !in_key_range.contains(p.x))) continue;
    if (!found_range) range = QCPRange(p.y, p.y);
    range.expand(p.y);
    found_range = true;
  }
  return range;
}

void TSeriesLine::draw(QCPPainter* painter) {
  QCPAxis* x_axis = keyAxis();
  QCPAxis* y_axis = valueAxis();
  if (!series_ || series_->Empty() || !x_axis || !y_axis) return;
  if (mPen.style() == Qt::NoPen) return;
  const QRect plot = x_axis->axisRect()->rect();
  const QCPRange xs = x_axis->range();
  const QCPRange ys = y_axis->range();
  if (plot.width() <= 0 || plot.height() <= 0 || xs.size() <= 0 || ys.size() <= 0) return;
  // As the axes' coordToPixel place them.
  TPixelMap map;
  map.XScale = plot.width() / xs.size();
  map.XOffset = plot.left() - xs.lower * map.XScale;
  map.YScale = -plot.height() / ys.size();
  map.YOffset = plot.bottom() + ys.lower * plot.height() / ys.size();
  QVector<QPointF> pixels;
  LinePixels(*series_, xs.lower, xs.upper, map, pixels);
  if (pixels.isEmpty()) return;

  applyDefaultAntialiasingHint(painter);
  painter->setPen(mPen);
  painter->setBrush(Qt::NoBrush);
  // Each stretch between breaks (pixels without a value) is a line of its own.
  const QPointF* run = pixels.constData();
  const QPointF* const stop = run + pixels.size();
  while (run != stop) {
    while (run != stop && std::isnan(run->y()))
      ++run;
    const QPointF* run_end = run;
    while (run_end != stop && !std::isnan(run_end->y()))
      ++run_end;
    DrawRun(painter, run, static_cast<int>(run_end - run));
    run = run_end;
  }
}

void TSeriesLine::DrawRun(QCPPainter* painter, const QPointF* pixels, int count) const {
  if (count <= 0) return;
  // A thin pen on an unscaled painter takes the raster engine's fast line path. Scaled (a
  // chart drawn at twice its size for a report) even a thin pen is stroked: as a polyline of
  // thousands of zig-zags that is one huge self-crossing outline to fill, as segments many
  // small ones, the same picture in a fraction of the time.
  if ((mPen.widthF() <= 1 && !painter->transform().isScaling()) || count < 2) {
    if (count == 1)
      painter->drawPoint(pixels[0]);
    else
      painter->drawPolyline(pixels, count);
    return;
  }
  QVector<QLineF> segments;
  segments.reserve(count - 1);
  for (int i = 1; i < count; ++i)
    segments.append(QLineF(pixels[i - 1], pixels[i]));
  painter->drawLines(segments);
}

void TSeriesLine::drawLegendIcon(QCPPainter* painter, const QRectF& rect) const {
  applyDefaultAntialiasingHint(painter);
  painter->setPen(mPen);
  const double y = rect.top() + rect.height() / 2.0;
  painter->drawLine(QLineF(rect.left(), y, rect.right() + 5, y));
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

const TMarksItem::TLabel& TMarksItem::Label(const QString& text) const {
  // A handful of labels in practice; a bound keeps a window that runs for months from
  // collecting every text it ever showed.
  constexpr qsizetype kMostLabels = 256;
  auto it = labels_.find(text);
  if (it == labels_.end()) {
    if (labels_.size() >= kMostLabels) labels_.clear();
    TLabel label;
    label.Text.setText(text);
    label.Text.setTextFormat(Qt::PlainText);
    label.Text.prepare(QTransform(), font_);
    label.Width = QFontMetrics(font_).horizontalAdvance(text);
    it = labels_.insert(text, std::move(label));
  }
  return *it;
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
    const TLabel& label = Label(it->label);
    const int text_width = label.Width;
    const QRect box(px - (text_width + 4) / 2, py - kArrowLength - metrics.height(), text_width + 4,
                    metrics.height());
    painter->fillRect(box.translated(2, 2), shadow);
    painter->fillRect(box, colour);
    painter->setPen(Qt::white);
    // Centred in the box, which is two pixels wider than the text and as high as a line.
    painter->drawStaticText(QPointF(box.left() + (box.width() - text_width) / 2.0, box.top()),
                            label.Text);
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
  auto widest = [&](bool with_seconds) {
    int width = 0;
    for (int month = 1; month <= 12; ++month) {
      const TDateTime t = EncodeDateTime(2020, month, 28, 12, 58, 58);
      width = std::max(width, metrics.horizontalAdvance(FormatTimeLabel(t, locale_, with_seconds)));
    }
    return width;
  };
  widest_label_ = widest(false);
  widest_seconds_label_ = widest(true);
}

void TTimeTicker::generate(const QCPRange& range, const QLocale&, QChar, int,
                           QVector<double>& ticks, QVector<double>* sub_ticks,
                           QVector<QString>* labels) {
  const bool seconds = TimeLabelsWithSeconds(range.size());
  const double step =
      TimeLabelStep(range.size(), pixels_, seconds ? widest_seconds_label_ : widest_label_);
  const std::vector<double> at = TickPositions(range.lower, range.upper, step);
  ticks = QVector<double>(at.begin(), at.end());
  MinorTicks(range, step, 3, sub_ticks);
  if (labels) {
    labels->clear();
    for (const double t : at)
      labels->append(FormatTimeLabel(t, locale_, seconds));
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

std::size_t TTrendChart::BufferBytes() const {
  std::size_t bytes = 0;
  for (const QSharedPointer<QCPAbstractPaintBuffer>& buffer : mPaintBuffers) {
    const QSize size = buffer->size() * buffer->devicePixelRatio();
    bytes += static_cast<std::size_t>(size.width()) * static_cast<std::size_t>(size.height()) * 4;
  }
  return bytes;
}

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
