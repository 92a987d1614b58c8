#pragma once

// The pieces of a trend chart on QCustomPlot: the chart widget with our mouse handling, the
// lines and the marks drawn from the model's series, the legend with its shadow and the
// axis tickers. Used by the trend windows only.

#include <qcustomplot.h>

#include <QHash>
#include <QLocale>
#include <QStaticText>
#include <functional>

#include "graphs/graph_series.h"
#include "graphs/trend_graph.h"

namespace dova::ui {

// One line of a trend chart, drawn straight from the model's series: the chart keeps no copy
// of three days of points. Each replot reads the points of the visible time range, a few per
// pixel column once there are more points than columns (see LinePixels). A pen wider than one
// pixel draws segment by segment: a wide polyline goes through Qt's stroker as one path, and a
// dense zig-zag of three days makes that path slow to fill, while each segment alone is a
// simple shape whose square caps close the joins.
class TSeriesLine : public QCPAbstractPlottable {
 public:
  TSeriesLine(QCPAxis* key_axis, QCPAxis* value_axis, const TLineSeries* series);

  // The series drawn, or null once its model is gone.
  const TLineSeries* Series() const { return series_; }
  void SetSeries(const TLineSeries* series) { series_ = series; }

  double selectTest(const QPointF&, bool, QVariant*) const override { return -1; }
  QCPRange getKeyRange(bool& found_range, QCP::SignDomain domain = QCP::sdBoth) const override;
  QCPRange getValueRange(bool& found_range, QCP::SignDomain domain = QCP::sdBoth,
                         const QCPRange& in_key_range = QCPRange()) const override;

 protected:
  void draw(QCPPainter* painter) override;
  void drawLegendIcon(QCPPainter* painter, const QRectF& rect) const override;

 private:
  void DrawRun(QCPPainter* painter, const QPointF* pixels, int count) const;

  const TLineSeries* series_;
};

// The event and error marks, drawn straight from the model's mark series: the label in a box
// above the point, the box's shadow, a black arrow down to the point and the point as a small
// diamond, all clipped to the plot area. Only marks near the visible time range are drawn.
class TMarksItem : public QCPAbstractItem {
 public:
  static constexpr int kArrowLength = 6;
  static inline const QColor kEventColor{0, 128, 0};
  static inline const QColor kErrorColor{220, 0, 0};

  TMarksItem(QCustomPlot* plot, const TMarkSeries& events, const TMarkSeries& errors);
  void Detach() { events_ = errors_ = nullptr; }
  void SetFont(const QFont& font) {
    font_ = font;
    labels_.clear();
  }
  double selectTest(const QPointF&, bool, QVariant*) const override { return -1; }

 protected:
  void draw(QCPPainter* painter) override;

 private:
  void DrawSeries(QCPPainter* painter, const TMarkSeries& series, const QColor& colour) const;

  // A label laid out once for the font, with its width: the same few labels come back
  // thousands of times over a long stretch of a stored log.
  struct TLabel {
    QStaticText Text;
    int Width = 0;
  };
  const TLabel& Label(const QString& text) const;

  const TMarkSeries* events_;
  const TMarkSeries* errors_;
  QFont font_;
  mutable QHash<QString, TLabel> labels_;
};

// The legend with a shadow two pixels to the right and down at half transparency.
class TShadowLegend : public QCPLegend {
 protected:
  void draw(QCPPainter* painter) override;
};

// Labels of the time axis: clock steps of at least a minute (a second in a range under three
// minutes, whose labels then carry seconds), far enough apart for their width.
class TTimeTicker : public QCPAxisTicker {
 public:
  void SetLocale(const QLocale& locale);
  void SetLabelFont(const QFont& font);
  void SetPixels(double pixels) { pixels_ = pixels; }
  void generate(const QCPRange& range, const QLocale& locale, QChar format, int precision,
                QVector<double>& ticks, QVector<double>* sub_ticks,
                QVector<QString>* labels) override;

 private:
  void MeasureWidestLabel();

  QLocale locale_;
  QFont font_;
  double pixels_ = 600;
  double widest_label_ = 100;
  double widest_seconds_label_ = 120;
};

// Labels of the value axis: 1, 2, 5 steps of at least min_step, far enough apart for their
// height, with at least min_decimals and at most three decimals after the prefix.
class TValueTicker : public QCPAxisTicker {
 public:
  TValueTicker(double min_step, int min_decimals, QString prefix)
      : min_step_(min_step), min_decimals_(min_decimals), prefix_(std::move(prefix)) {}
  void SetLocale(const QLocale& locale) { locale_ = locale; }
  void SetPixels(double pixels) { pixels_ = pixels; }
  void SetLabelHeight(double height) { label_height_ = height; }
  void generate(const QCPRange& range, const QLocale& locale, QChar format, int precision,
                QVector<double>& ticks, QVector<double>* sub_ticks,
                QVector<QString>* labels) override;

 private:
  double min_step_;
  int min_decimals_;
  QString prefix_;
  QLocale locale_;
  double pixels_ = 100;
  double label_height_ = 14;
};

// The chart widget (Chart1). The left button drags a zoom rectangle, the right button pans,
// a double click undoes; the window decides what each means. After QCustomPlot has laid the
// chart out, the window gets a word in (places the legend, leaves room beyond the newest time)
// and may ask for one more layout pass when that changed the axes.
class TTrendChart : public QCustomPlot {
 public:
  explicit TTrendChart(QWidget* parent) : QCustomPlot(parent) {}

  // Gives the pictures of the layers back while nobody sees them; the next replot draws anew.
  void ReleaseBuffers() { mPaintBuffers.clear(); }
  // Bytes held by the pictures of the layers.
  std::size_t BufferBytes() const;

  std::function<bool()> OnAfterLayout;
  std::function<void()> OnResized;
  std::function<void(QPoint from, QPoint to)> OnPan;
  std::function<void()> OnDoubleClick;

 protected:
  void updateLayout() override;
  // The window decides when to replot (never while hidden, once for many changes).
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  bool panning_ = false;
  QPoint pan_last_;
};

}  // namespace dova::ui
