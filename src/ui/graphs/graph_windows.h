#pragma once

// The trend windows on screen: dova::ui::TTempGraph draws a dova::TTempGraph (a chamber's
// temperature against its set-point), dova::ui::TGasGraph draws a dova::TGasGraph (gas flow
// against its set-point), each with the event and error marks.
//
// How the main window hosts one:
// - Construct it with the model (the tile's LeftTempGraph, RightTempGraph or GasFlowGraph)
//   right after the tile has created its windows; it starts hidden and follows the model's
//   caption by itself.
// - When the model's MdiChild() becomes true, add it to the MDI area (QMdiArea::addSubWindow)
//   and show the frame; when it becomes false, take the frame out and hide it again. Listen
//   with SubscribeWindowChange on the model; SetOnWindowChange belongs to the tile.
// - The close box only minimises the window (the temperature window tells its model); the
//   window is never destroyed before its tile. At shutdown call SetCloseMinimises(false) before
//   closing the MDI children, so they really close.
// - Destroy the window with its tile, before or after the model: it lets go of a model that goes
//   first.
// The window is a view: it draws the lines and marks from the model's own series, keeps no
// copy of them, and hands the mouse to the model (zoom, pan, double click, close).

#include <QSize>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>

#include "graphs/gas_graph.h"
#include "graphs/temp_graph.h"

class QCPRange;

namespace dova {
class Timer;
}

namespace dova::ui {

class TTrendChart;
class TSeriesLine;
class TMarksItem;
class TTimeTicker;
class TValueTicker;

// What tells the two windows apart on screen.
struct TTrendLook {
  QSize ClientSize;
  QString ValueLegend;
  QColor ValueColor;
  QString AxisTitle;
  int TitleSpace = 12;  // pixels reserved for the axis title
  double MinStep = 1;   // least label step of the value axis
  int MinDecimals = 0;  // decimals always shown on the value axis
  QString NumberPrefix;
};

// The mechanics both windows share.
class TTrendGraphWindow : public QWidget {
 public:
  static constexpr int kZoomSteps = 8;
  static constexpr int kZoomStepMs = 25;
  // Drags of no more than this many pixels across or down do not zoom.
  static constexpr int kMinimumZoomPixels = 16;
  // Empty room on the time axis beyond its maximum.
  static constexpr int kRoomBeyondNewest = 35;
  static inline const QString kToolTip =
      QStringLiteral("Left button to zoom, Right button to drag, Double click to un-zoom");

  ~TTrendGraphWindow() override;

  // The chart (for tests and the host's screenshots).
  TTrendChart& Chart1() const { return *chart_; }
  // The model, or null once it has been destroyed.
  TTrendGraph* Model() const { return model_; }
  // Replots done since creation.
  int ReplotCount() const { return replots_; }
  // The set-point line and the measured line.
  TSeriesLine& SetPointLine() const { return *sp_line_; }
  TSeriesLine& ValueLine() const { return *value_line_; }
  bool ZoomAnimating() const { return zoom_timer_ != nullptr; }

  // True (the default): the close box minimises. False at shutdown: a close closes.
  void SetCloseMinimises(bool minimises) { close_minimises_ = minimises; }

  QSize sizeHint() const override { return look_.ClientSize; }

 protected:
  TTrendGraphWindow(TTrendGraph& model, const TLineSeries& values, const TTrendLook& look,
                    QWidget* parent);
  // The model's handler of the user's close, if it has one.
  virtual void UserClose() {}

  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void BuildChart();
  void ApplyLocale();
  void ModelChanged();
  void ModelGone();
  void ScheduleRefresh();
  void Refresh();
  // Brings the chart level with the model just before it is drawn.
  void Sync();
  bool AfterLayout();
  void SetTimeRange(double lower, double upper, int pixels);
  void Zoom(const QRect& rect);
  void Pan(QPoint from, QPoint to);
  void DoubleClick();
  void StopZoomAnimation();
  void ZoomAnimationStep();

  TTrendGraph* model_;
  const TLineSeries* values_;
  TTrendLook look_;
  TTrendChart* chart_ = nullptr;
  TSeriesLine* sp_line_ = nullptr;
  TSeriesLine* value_line_ = nullptr;
  TMarksItem* marks_ = nullptr;
  QSharedPointer<TTimeTicker> time_ticker_;
  QSharedPointer<TValueTicker> value_ticker_;
  TGraphWindow::TSubscription chart_subscription_ = 0;
  TGraphWindow::TSubscription window_subscription_ = 0;
  TGraphWindow::TSubscription destroyed_subscription_ = 0;
  bool refresh_queued_ = false;
  bool close_minimises_ = true;
  int replots_ = 0;
  // The time range shown, without the room beyond the newest time.
  double shown_lower_ = 0;
  double shown_upper_ = 0;
  QSize laid_out_size_;
  // A zoom moves from these ranges to the model's in kZoomSteps steps.
  std::unique_ptr<Timer> zoom_timer_;
  int zoom_step_ = 0;
  double zoom_from_[4] = {};
};

class TTempGraph : public TTrendGraphWindow {
 public:
  explicit TTempGraph(dova::TTempGraph& model, QWidget* parent = nullptr);

 protected:
  void UserClose() override;

 private:
  dova::TTempGraph& temp_model_;
};

class TGasGraph : public TTrendGraphWindow {
 public:
  explicit TGasGraph(dova::TGasGraph& model, QWidget* parent = nullptr);
};

}  // namespace dova::ui
