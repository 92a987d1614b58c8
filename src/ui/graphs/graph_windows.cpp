#include "ui/graphs/graph_windows.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMdiSubWindow>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/timer.h"
#include "ui/graphs/trend_chart.h"

namespace dova::ui {

namespace {

const QColor kChartColor(208, 225, 234);
const QColor kGridColor(192, 192, 192);
const QColor kSetPointColor(210, 210, 210);
const QString kSetPointLegend = QStringLiteral("Set Point        ");

QFont ArialPixels(int pixels) {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(pixels);
  return font;
}

}  // namespace

TTrendGraphWindow::TTrendGraphWindow(TTrendGraph& model, const TLineSeries& values,
                                     const TTrendLook& look, QWidget* parent)
    : QWidget(parent), model_(&model), values_(&values), look_(look) {
  setFont(ArialPixels(11));  // Arial 8 point
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  chart_ = new TTrendChart(this);
  // QCustomPlot queues a first replot when it is made; a window draws only once it is shown.
  QCoreApplication::removePostedEvents(chart_, QEvent::MetaCall);
  layout->addWidget(chart_);
  BuildChart();
  ApplyLocale();
  resize(look_.ClientSize);
  setWindowTitle(model.Caption());

  chart_subscription_ = model.SubscribeChartChange([this](TTrendGraph&) { ModelChanged(); });
  window_subscription_ =
      model.SubscribeWindowChange([this](TGraphWindow& w) { setWindowTitle(w.Caption()); });
  destroyed_subscription_ = model.SubscribeDestroyed([this](TGraphWindow&) { ModelGone(); });
}

TTrendGraphWindow::~TTrendGraphWindow() {
  StopZoomAnimation();
  if (model_) {
    model_->UnsubscribeChartChange(chart_subscription_);
    model_->UnsubscribeWindowChange(window_subscription_);
    model_->UnsubscribeDestroyed(destroyed_subscription_);
  }
}

void TTrendGraphWindow::BuildChart() {
  TTrendChart& c = *chart_;
  c.setBackground(kChartColor);
  c.setAutoAddPlottableToLegend(false);
  // Plain polylines, as fast as the raster engine draws them, and crisp one-pixel lines.
  c.setNotAntialiasedElements(QCP::aeAll);
  // The hint shows as a tool tip and, as every control's does, in the status bar.
  c.setToolTip(kToolTip);
  c.setStatusTip(kToolTip);

  QCPAxisRect* rect = c.axisRect();
  rect->setBackground(Qt::white);
  rect->setAutoMargins(QCP::msLeft | QCP::msBottom);
  rect->setMinimumMargins(QMargins(0, 0, 0, 0));

  const QFont axis_font = ArialPixels(12);
  time_ticker_ = QSharedPointer<TTimeTicker>::create();
  time_ticker_->SetLabelFont(axis_font);
  value_ticker_ =
      QSharedPointer<TValueTicker>::create(look_.MinStep, look_.MinDecimals, look_.NumberPrefix);
  value_ticker_->SetLabelHeight(QFontMetrics(axis_font).height());
  for (QCPAxis* axis : {c.xAxis, c.yAxis}) {
    axis->setTickLabelFont(axis_font);
    axis->setTickLength(0, 4);
    axis->grid()->setPen(QPen(kGridColor, 0));
    axis->grid()->setSubGridVisible(false);
  }
  c.xAxis->setTicker(time_ticker_);
  c.xAxis->setSubTickLength(0, 4);
  c.yAxis->setTicker(value_ticker_);
  c.yAxis->setSubTickLength(0, 2);
  c.yAxis->setLabel(look_.AxisTitle);
  c.yAxis->setLabelFont(axis_font);
  c.yAxis->setLabelPadding(std::max(0, look_.TitleSpace - 12));
  // The hidden axis of the mark rows never moves.
  c.yAxis2->setVisible(false);
  c.yAxis2->setRange(TTrendGraph::kRightAxisMinimum, TTrendGraph::kRightAxisMaximum);

  // Series order: the set-point line under the measured line, the marks above both.
  sp_line_ = new TSeriesLine(c.xAxis, c.yAxis, &model_->SPSeries());
  sp_line_->setPen(QPen(kSetPointColor, 4));
  sp_line_->setName(kSetPointLegend);
  value_line_ = new TSeriesLine(c.xAxis, c.yAxis, values_);
  value_line_->setPen(QPen(look_.ValueColor, 1));
  value_line_->setName(look_.ValueLegend);
  marks_ = new TMarksItem(&c, model_->EventSeries(), model_->ErrorSeries());
  marks_->SetFont(font());

  // Our own legend, for its shadow, placed by AfterLayout to the right of the plot.
  QCPLayoutInset* inset = rect->insetLayout();
  inset->remove(c.legend);
  auto* legend = new TShadowLegend;
  inset->addElement(legend, Qt::AlignRight | Qt::AlignTop);
  inset->setInsetPlacement(0, QCPLayoutInset::ipFree);
  inset->setInsetRect(0, QRectF(1, 0.1, 0, 0));
  c.legend = legend;
  legend->setLayer(QStringLiteral("legend"));
  legend->setVisible(true);
  legend->setFont(axis_font);
  legend->setRowSpacing(2);
  legend->setIconSize(25, 12);
  legend->setIconTextPadding(4);
  legend->setMargins(QMargins(5, 3, 5, 3));
  value_line_->addToLegend(legend);  // the newest series on top
  sp_line_->addToLegend(legend);

  c.selectionRect()->setPen(QPen(Qt::black, 1, Qt::DotLine));
  c.selectionRect()->setBrush(Qt::NoBrush);
  QObject::connect(c.selectionRect(), &QCPSelectionRect::accepted, this,
                   [this](const QRect& r, QMouseEvent*) { Zoom(r); });
  QObject::connect(c.selectionRect(), &QCPSelectionRect::canceled, this,
                   [this](const QRect&, QInputEvent*) { ScheduleRefresh(); });
  QObject::connect(&c, &QCustomPlot::beforeReplot, this, [this] { Sync(); });
  QObject::connect(&c, &QCustomPlot::afterReplot, this, [this] { ++replots_; });
  c.OnAfterLayout = [this] { return AfterLayout(); };
  c.OnResized = [this] { ScheduleRefresh(); };
  c.OnPan = [this](QPoint from, QPoint to) { Pan(from, to); };
  c.OnDoubleClick = [this] { DoubleClick(); };
}

void TTrendGraphWindow::ApplyLocale() {
  time_ticker_->SetLocale(locale());
  value_ticker_->SetLocale(locale());
}

void TTrendGraphWindow::ModelChanged() {
  // A hidden window does nothing: it catches up when it is shown.
  if (isVisible()) ScheduleRefresh();
}

void TTrendGraphWindow::ModelGone() {
  StopZoomAnimation();
  model_ = nullptr;
  values_ = nullptr;
  marks_->Detach();
  sp_line_->SetSeries(nullptr);
  value_line_->SetSeries(nullptr);
}

void TTrendGraphWindow::ScheduleRefresh() {
  if (refresh_queued_) return;
  refresh_queued_ = true;
  // Every change until the event loop comes round again makes one replot.
  QMetaObject::invokeMethod(
      this,
      [this] {
        refresh_queued_ = false;
        Refresh();
      },
      Qt::QueuedConnection);
}

void TTrendGraphWindow::Refresh() {
  if (!isVisible()) return;
  chart_->replot(QCustomPlot::rpQueuedRefresh);
}

void TTrendGraphWindow::Sync() {
  if (!model_ || !isVisible()) return;
  // Margins in proportion to the chart: 5 per cent above, 3 below, 1 on either side; the
  // legend and the room between it and the plot come off the right.
  const int w = chart_->width();
  const int h = chart_->height();
  const int legend_width = chart_->legend->minimumOuterSizeHint().width();
  chart_->axisRect()->setMargins(
      QMargins(0, qRound(0.05 * h), qRound(0.01 * w) + legend_width + 12, 0));
  chart_->yAxis->setPadding(qRound(0.01 * w));
  chart_->xAxis->setPadding(qRound(0.03 * h));

  const TChart& chart = model_->Chart1();
  double to[4] = {chart.BottomAxis.Minimum, chart.BottomAxis.Maximum, chart.LeftAxis.Minimum,
                  chart.LeftAxis.Maximum};
  if (zoom_timer_) {
    const double f = double(zoom_step_) / kZoomSteps;
    for (int i = 0; i < 4; ++i)
      to[i] = zoom_from_[i] + (to[i] - zoom_from_[i]) * f;
  }
  if (!(to[1] > to[0])) to[1] = to[0] + kOneMinute;
  if (!(to[3] > to[2])) to[3] = to[2] + 1;
  shown_lower_ = to[0];
  shown_upper_ = to[1];
  SetTimeRange(to[0], to[1], chart_->axisRect()->width());
  chart_->yAxis->setRange(to[2], to[3]);
}

void TTrendGraphWindow::SetTimeRange(double lower, double upper, int pixels) {
  // The newest time stands kRoomBeyondNewest pixels in from the right edge of the plot.
  if (pixels > 2 * kRoomBeyondNewest)
    upper = lower + (upper - lower) * pixels / (pixels - kRoomBeyondNewest);
  chart_->xAxis->setRange(lower, upper);
}

bool TTrendGraphWindow::AfterLayout() {
  bool changed = false;
  QCPAxisRect* rect = chart_->axisRect();
  const QRect plot = rect->rect();
  if (plot.width() <= 0 || plot.height() <= 0) return false;

  const QCPRange before = chart_->xAxis->range();
  if (shown_upper_ > shown_lower_) SetTimeRange(shown_lower_, shown_upper_, plot.width());
  changed |= chart_->xAxis->range() != before;
  time_ticker_->SetPixels(plot.width());
  value_ticker_->SetPixels(plot.height());
  changed |= std::exchange(laid_out_size_, plot.size()) != plot.size();

  // The legend: its top 11 per cent of the chart's height down, 12 pixels right of the plot.
  // The inset layout keeps a margin inside the plot; its fractions count from there.
  QCPLayoutInset* inset = rect->insetLayout();
  const QRect room = inset->rect();
  if (room.width() <= 0 || room.height() <= 0) return changed;
  const QPoint at(plot.left() + plot.width() + 12, qRound(0.11 * chart_->height()));
  const QRectF fraction((at.x() - room.left() + 0.5) / room.width(),
                        (at.y() - room.top() + 0.5) / room.height(), 0, 0);
  if (inset->insetRect(0) != fraction) {
    inset->setInsetRect(0, fraction);
    changed = true;
  }
  return changed;
}

void TTrendGraphWindow::Zoom(const QRect& rect) {
  // The rectangle runs from where the button went down to where it came up, in any direction.
  const QPoint a = rect.topLeft();
  const QPoint b = rect.bottomRight();
  if (!model_ || std::abs(b.x() - a.x()) <= kMinimumZoomPixels ||
      std::abs(b.y() - a.y()) <= kMinimumZoomPixels) {
    ScheduleRefresh();  // takes the outline away
    return;
  }
  const QCPRange values = chart_->yAxis->range();
  const double from[4] = {shown_lower_, shown_upper_, values.lower, values.upper};
  model_->UserZoom(chart_->xAxis->pixelToCoord(a.x()), chart_->xAxis->pixelToCoord(b.x()),
                   chart_->yAxis->pixelToCoord(a.y()), chart_->yAxis->pixelToCoord(b.y()));
  StopZoomAnimation();
  std::copy(from, from + 4, zoom_from_);
  zoom_step_ = 0;
  zoom_timer_ = std::make_unique<Timer>(model_->GetScheduler(), kZoomStepMs, false);
  zoom_timer_->SetOnTimer([this] { ZoomAnimationStep(); });
  zoom_timer_->SetEnabled(true);
  ScheduleRefresh();
}

void TTrendGraphWindow::ZoomAnimationStep() {
  if (++zoom_step_ >= kZoomSteps) StopZoomAnimation();
  ScheduleRefresh();
}

void TTrendGraphWindow::StopZoomAnimation() {
  zoom_timer_.reset();
}

void TTrendGraphWindow::Pan(QPoint from, QPoint to) {
  if (!model_) return;
  StopZoomAnimation();
  const double dx = chart_->xAxis->pixelToCoord(from.x()) - chart_->xAxis->pixelToCoord(to.x());
  const double dy = chart_->yAxis->pixelToCoord(from.y()) - chart_->yAxis->pixelToCoord(to.y());
  model_->UserPan(dx, dy);
}

void TTrendGraphWindow::DoubleClick() {
  StopZoomAnimation();
  if (model_) model_->Chart1DblClick();
}

void TTrendGraphWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  ScheduleRefresh();
}

void TTrendGraphWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  // Nobody sees the chart: give its pictures back; the first replot when shown draws anew.
  chart_->ReleaseBuffers();
}

void TTrendGraphWindow::closeEvent(QCloseEvent* event) {
  if (!close_minimises_ || !model_) {
    QWidget::closeEvent(event);
    return;
  }
  // The close box minimises, as for an MDI child with a minimise button; the window lives on.
  event->ignore();
  UserClose();
  if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget()))
    frame->showMinimized();
  else
    showMinimized();
}

void TTrendGraphWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::LocaleChange) {
    ApplyLocale();
    ScheduleRefresh();
  }
}

// ---- the two windows

TTempGraph::TTempGraph(dova::TTempGraph& model, QWidget* parent)
    : TTrendGraphWindow(
          model, model.TempSeries(),
          TTrendLook{QSize(693, 165), QStringLiteral("Temperature"), QColor(230, 0, 0),
                     QStringLiteral("Temperature (°C)"), 12, 0.1, 1, QString()},
          parent),
      temp_model_(model) {}

void TTempGraph::UserClose() {
  temp_model_.FormClose();
}

TGasGraph::TGasGraph(dova::TGasGraph& model, QWidget* parent)
    : TTrendGraphWindow(
          model, model.FlowSeries(),
          TTrendLook{QSize(545, 261), QStringLiteral("Flow"), QColor(55, 190, 16),
                     QStringLiteral("Gas Flow (ml/min)"), 13, 1, 0, QStringLiteral("   ")},
          parent) {}

}  // namespace dova::ui
