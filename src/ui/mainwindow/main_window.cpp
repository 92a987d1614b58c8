#include "ui/mainwindow/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <algorithm>

#include "graphs/gas_graph.h"
#include "graphs/temp_graph.h"
#include "graphs/trend_graph.h"
#include "ui/graphs/graph_windows.h"
#include "ui/tile/hint_text.h"
#include "ui/tile/tile_widget.h"

namespace dova {

namespace {

const QColor kStripColor(208, 225, 234);

// Runs `fn` when leaving the scope, also when an exception passes.
template <typename F>
class TOnExit {
 public:
  explicit TOnExit(F fn) : fn_(std::move(fn)) {}
  ~TOnExit() { fn_(); }
  TOnExit(const TOnExit&) = delete;
  TOnExit& operator=(const TOnExit&) = delete;

 private:
  F fn_;
};

}  // namespace

QWidget* MakeTrendWindow(TTrendGraph& model) {
  if (auto* temp = dynamic_cast<TTempGraph*>(&model)) return new ui::TTempGraph(*temp);
  if (auto* gas = dynamic_cast<TGasGraph*>(&model)) return new ui::TGasGraph(*gas);
  return new QWidget;
}

// ---------------------------------------------------------------- MDI area

TBackgroundMdiArea::TBackgroundMdiArea(QWidget* parent)
    : QMdiArea(parent), picture_(QStringLiteral(":/dova/background.png")) {
  setObjectName(QStringLiteral("BackgroundImage"));
  setBackground(Qt::black);
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
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

// ---------------------------------------------------------------- client area

// Between the menu and the status bar: the strip at the top, the MDI area below it. The
// strip's height comes from the form, so the two are placed by hand, at once, whenever it
// changes (the MDI windows are stacked right after an arrangement).
class TMainWindow::TClientArea : public QWidget {
 public:
  explicit TClientArea(TMainWindow& owner) : QWidget(&owner), owner_(owner) {}

 protected:
  void resizeEvent(QResizeEvent*) override {
    owner_.Guard([this] { owner_.form_.FormResize(width()); });
  }

 private:
  TMainWindow& owner_;
};

// ---------------------------------------------------------------- window

TMainWindow::TMainWindow(TWindowedMainForm& form, TChartFactory charts, TErrorSink on_error)
    : form_(form),
      charts_(charts ? std::move(charts) : TChartFactory(MakeTrendWindow)),
      on_error_(std::move(on_error)) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(form_.Caption);

  client_ = new TClientArea(*this);
  setCentralWidget(client_);
  strip_ = new QWidget(client_);
  strip_->setObjectName(QStringLiteral("DOVADisplayPanel"));
  strip_->setAutoFillBackground(true);
  QPalette strip_palette = strip_->palette();
  strip_palette.setColor(QPalette::Window, kStripColor);
  strip_->setPalette(strip_palette);
  banner_ = new QLabel(strip_);
  banner_->setObjectName(QStringLiteral("DOVABanner"));
  banner_->setPixmap(QPixmap(QStringLiteral(":/dova/banner.png")));
  banner_->setGeometry(1, 1, kBannerWidth, form_.BannerHeight);
  mdi_ = new TBackgroundMdiArea(client_);

  status_text_ = new QLabel(this);
  status_text_->setObjectName(QStringLiteral("StatusBar"));
  statusBar()->addWidget(status_text_, 1);
  statusBar()->setFixedHeight(kStatusBarHeight);

  BuildMenu();
  connect(mdi_, &QMdiArea::subWindowActivated, this, [this] { UpdateWindowMenu(); });

  // Follow the form: tiles made, listed, selected, taken out and freed, and the strip's
  // arrangements (the close timer's among them).
  panel_changes_ = TScopedSubscription(
      form_.PanelChanges(), [this](TMainForm::TPanelChange change, const TDovaPanel* panel) {
        switch (change) {
          case TMainForm::TPanelChange::Created:
            AdoptNewPanels();
            break;
          case TMainForm::TPanelChange::Freed:
            DropPanel(*panel);
            break;
          case TMainForm::TPanelChange::Selected:
            SyncStrip();
            TileHorizontally();
            break;
          default:
            SyncStrip();
        }
      });

  AdoptNewPanels();
  SyncStrip();
  UpdateWindowMenu();
  UpdateViewChecks();
}

TMainWindow::~TMainWindow() {
  panel_changes_.Reset();
  std::vector<const TDovaPanel*> panels;
  for (const auto& [panel, view] : panels_)
    panels.push_back(panel);
  for (const TDovaPanel* panel : panels)
    DropPanel(*panel);
}

void TMainWindow::ShowMaximized() {
  // Without a window manager nothing maximises the window; fill the screen ourselves.
  if (QScreen* s = screen()) setGeometry(s->availableGeometry());
  showMaximized();
}

QAction* TMainWindow::Command(const QString& name) const {
  return findChild<QAction*>(name);
}

TTileWidget* TMainWindow::TileOf(const TDovaPanel& panel) const {
  auto it = panels_.find(&panel);
  return it == panels_.end() ? nullptr : it->second->Tile;
}

QMdiSubWindow* TMainWindow::FrameOf(const TGraphWindow& window) const {
  for (const auto& [panel, view] : panels_) {
    for (const TGraphView& g : view->Graphs)
      if (g.Model && static_cast<const TGraphWindow*>(g.Model) == &window) return g.Frame;
  }
  return nullptr;
}

std::vector<QMdiSubWindow*> TMainWindow::Frames() const {
  std::vector<QMdiSubWindow*> frames;
  for (const TGraphWindow* w : form_.MdiWindows()) {
    if (QMdiSubWindow* f = FrameOf(*w)) frames.push_back(f);
  }
  for (QMdiSubWindow* f : mdi_->subWindowList()) {
    if (std::find(frames.begin(), frames.end(), f) == frames.end()) frames.push_back(f);
  }
  return frames;
}

// ---------------------------------------------------------------- menu

QAction* TMainWindow::AddCommand(QMenu* menu, const QString& name, const QString& caption,
                                 const QString& hint, std::function<void()> handler) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(name);
  if (!hint.isEmpty()) {
    action->setToolTip(ShortHint(hint));
    action->setStatusTip(LongHint(hint));
  }
  connect(action, &QAction::triggered, this,
          [this, handler = std::move(handler)] { Guard(handler); });
  return action;
}

void TMainWindow::BuildMenu() {
  auto add_menu = [this](const QString& name, const QString& caption, const QString& hint) {
    QMenu* menu = menuBar()->addMenu(caption);
    menu->setObjectName(name);
    menu->menuAction()->setObjectName(name);
    menu->setToolTipsVisible(true);
    if (!hint.isEmpty()) {
      menu->menuAction()->setToolTip(ShortHint(hint));
      menu->menuAction()->setStatusTip(LongHint(hint));
    }
    return menu;
  };

  QMenu* file = add_menu(QStringLiteral("File1"), QStringLiteral("&File"),
                         QStringLiteral("File related commands"));
  AddCommand(file, QStringLiteral("DataDir"), QStringLiteral("Select Data File &Folder"), {},
             [this] { form_.DataDirClick(); });
  AddCommand(file, QStringLiteral("SetLoggingInterval1"), QStringLiteral("Set Logging &Interval"),
             {}, [this] { form_.LoggingIntervalClick(); });
  AddCommand(file, QStringLiteral("ClearDOVAData1"), QStringLiteral("&Clear Logged Data"), {},
             [this] { form_.ClearDOVAData1Click(); });
  AddCommand(file, QStringLiteral("FileExit1"), QStringLiteral("E&xit"),
             QStringLiteral("Exit|Exit application"), [this] {
               TOnExit hide([this] { close(); });
               form_.FileExit1Execute();
             });

  QMenu* edit =
      add_menu(QStringLiteral("Edit1"), QStringLiteral("&Edit"), QStringLiteral("Edit commands"));
  AddCommand(edit, QStringLiteral("Name1"), QStringLiteral("DOVA &Name"), {},
             [this] { form_.Name1Click(); });

  QMenu* view = add_menu(QStringLiteral("View1"), QStringLiteral("&View"), {});
  view_group_ = new QActionGroup(this);
  view_group_->setExclusive(true);
  const struct {
    const char* name;
    const char* caption;
    int minutes;
    std::function<void()> click;
  } ranges[] = {
      {"ViewLast6Hours", "Last 6 Hours", 360, [this] { form_.ViewLast6HoursClick(); }},
      {"ViewLast12Hours", "Last 12 Hours", 720, [this] { form_.ViewLast12HoursClick(); }},
      {"ViewLast24Hours", "Last 24 Hours", 1440, [this] { form_.ViewLast24HoursClick(); }},
      {"ViewAll", "Last 3 Days", 4320, [this] { form_.ViewAllClick(); }},
  };
  for (const auto& r : ranges) {
    QAction* action =
        AddCommand(view, QString::fromLatin1(r.name), QString::fromLatin1(r.caption), {}, r.click);
    action->setCheckable(true);
    view_group_->addAction(action);
    view_actions_[r.minutes] = action;
  }

  window_menu_ = add_menu(QStringLiteral("Window1"), QStringLiteral("&Window"),
                          QStringLiteral("Window related commands"));
  window_commands_ = {
      AddCommand(window_menu_, QStringLiteral("WindowCascade1"), QStringLiteral("&Cascade"),
                 QStringLiteral("Cascade"), [this] { Cascade(); }),
      AddCommand(window_menu_, QStringLiteral("WindowTileHorizontal1"),
                 QStringLiteral("Tile &Horizontally"), QStringLiteral("Tile Horizontally"),
                 [this] { TileHorizontally(); }),
      AddCommand(window_menu_, QStringLiteral("WindowTileVertical1"),
                 QStringLiteral("Tile &Vertically"), QStringLiteral("Tile Vertically"),
                 [this] { TileVertically(); }),
      AddCommand(window_menu_, QStringLiteral("WindowMinimizeAll1"),
                 QStringLiteral("&Minimize All"), QStringLiteral("Minimize All"),
                 [this] { MinimizeAll(); }),
      AddCommand(window_menu_, QStringLiteral("WindowArrangeAll1"), QStringLiteral("&Arrange All"),
                 QStringLiteral("Arrange All"), [this] { ArrangeAll(); }),
  };
  connect(window_menu_, &QMenu::aboutToShow, this, [this] { UpdateWindowMenu(); });

  QMenu* help =
      add_menu(QStringLiteral("Help1"), QStringLiteral("&Help"), QStringLiteral("Help topics"));
  AddCommand(help, QStringLiteral("HelpAbout1"), QStringLiteral("&About DOVA-300 Logger"),
             QStringLiteral("About|Shows the program's information and version"),
             [this] { form_.HelpAbout1Execute(); });
}

void TMainWindow::UpdateViewChecks() {
  auto it = view_actions_.find(form_.ViewRangeChecked);
  if (it != view_actions_.end()) it->second->setChecked(true);
}

void TMainWindow::UpdateWindowMenu() {
  const QList<QMdiSubWindow*> frames = mdi_->subWindowList();
  for (QAction* a : window_commands_)
    a->setEnabled(!frames.isEmpty());
  for (QAction* a : window_list_) {
    window_menu_->removeAction(a);
    delete a;
  }
  window_list_.clear();
  if (frames.isEmpty()) return;
  window_list_.push_back(window_menu_->addSeparator());
  int number = 1;
  for (QMdiSubWindow* f : Frames()) {
    QAction* a = window_menu_->addAction(QStringLiteral("&%1 %2").arg(number++).arg(
        f->windowTitle().replace(QStringLiteral("&"), QStringLiteral("&&"))));
    a->setCheckable(true);
    a->setChecked(f == mdi_->activeSubWindow());
    connect(a, &QAction::triggered, this, [this, frame = QPointer<QMdiSubWindow>(f)] {
      if (!frame) return;
      if (frame->isMinimized()) frame->showNormal();
      mdi_->setActiveSubWindow(frame);
    });
    window_list_.push_back(a);
  }
}

// ---------------------------------------------------------------- tiles and trend windows

void TMainWindow::AdoptNewPanels() {
  for (auto* list : {&form_.UnnamedPanels, &form_.ActivePanels, &form_.ClosingPanels}) {
    for (TDovaPanel* panel : *list) {
      if (panels_.count(panel)) continue;
      auto view = std::make_unique<TPanelView>();
      view->Tile = new TTileWidget(*panel, strip_, on_error_);
      const TRect r = form_.PanelRect(*panel);
      view->Tile->move(r.Left, r.Top);
      TTrendGraph* models[] = {panel->LeftTempGraph.get(), panel->GasFlowGraph.get(),
                               panel->RightTempGraph.get()};
      TPanelView* v = view.get();
      for (std::size_t i = 0; i < v->Graphs.size(); ++i) {
        if (!models[i]) continue;
        TGraphView& g = v->Graphs[i];
        g.Model = models[i];
        g.Chart = charts_(*g.Model);
        g.Subscription = g.Model->SubscribeWindowChange([this, v, i](TGraphWindow&) {
          FollowGraph(v->Graphs[i]);
          UpdateWindowMenu();
        });
        FollowGraph(g);
      }
      panels_[panel] = std::move(view);
    }
  }
  UpdateWindowMenu();
}

void TMainWindow::FollowGraph(TGraphView& g) {
  TTrendGraph& model = *g.Model;
  g.Chart->setWindowTitle(model.Caption());
  if (model.MdiChild() && !g.Frame) {
    g.Frame = mdi_->addSubWindow(g.Chart);
    g.Frame->setAttribute(Qt::WA_DeleteOnClose, false);
    g.Frame->installEventFilter(this);
  } else if (!model.MdiChild() && g.Frame) {
    Detach(g);
  }
  // A trend window is only ever shown inside the MDI area: the tiles hide a window right
  // after taking it out, and an ordinary window flashing up meanwhile would be a glitch.
  if (g.Frame) {
    g.Frame->setWindowTitle(model.Caption());
    if (model.Visible() == g.Frame->isHidden()) g.Frame->setVisible(model.Visible());
  }
}

void TMainWindow::Detach(TGraphView& g) {
  QMdiSubWindow* frame = g.Frame;
  g.Frame = nullptr;
  frame->removeEventFilter(this);
  frame->setWidget(nullptr);
  mdi_->removeSubWindow(frame);
  delete frame;
  g.Chart->hide();
}

void TMainWindow::DropPanel(const TDovaPanel& panel) {
  auto it = panels_.find(&panel);
  if (it == panels_.end()) return;
  std::unique_ptr<TPanelView> view = std::move(it->second);
  panels_.erase(it);
  for (TGraphView& g : view->Graphs) {
    if (!g.Model) continue;
    g.Model->UnsubscribeWindowChange(g.Subscription);
    if (g.Frame) Detach(g);
    delete g.Chart;
  }
  delete view->Tile;
  UpdateWindowMenu();
}

// ---------------------------------------------------------------- layout

void TMainWindow::SyncStrip() {
  banner_->setGeometry(1, 1, kBannerWidth, form_.BannerHeight);
  for (const auto& [panel, view] : panels_) {
    const TRect r = form_.PanelRect(*panel);
    view->Tile->move(r.Left, r.Top);
  }
  LayoutClient();
}

void TMainWindow::LayoutClient() {
  const int height = std::max(form_.StripHeight, kStripMinHeight);
  strip_->setGeometry(0, 0, client_->width(), height);
  mdi_->setGeometry(0, height, client_->width(), std::max(0, client_->height() - height));
}

QSize TMainWindow::AreaSize() const {
  return mdi_->contentsRect().size();
}

std::vector<QMdiSubWindow*> TMainWindow::ArrangeableFrames() const {
  std::vector<QMdiSubWindow*> frames;
  for (QMdiSubWindow* f : Frames()) {
    if (!f->isHidden() && !f->isMinimized()) frames.push_back(f);
  }
  return frames;
}

void TMainWindow::TileHorizontally() {
  const std::vector<QMdiSubWindow*> frames = ArrangeableFrames();
  if (frames.empty()) return;
  const QSize area = AreaSize();
  const int n = static_cast<int>(frames.size());
  const int each = area.height() / n;
  for (int i = 0; i < n; ++i) {
    QMdiSubWindow* f = frames[static_cast<std::size_t>(i)];
    if (f->isMaximized()) f->showNormal();
    const int top = i * each;
    f->setGeometry(0, top, area.width(), i == n - 1 ? area.height() - top : each);
  }
}

void TMainWindow::TileVertically() {
  const std::vector<QMdiSubWindow*> frames = ArrangeableFrames();
  if (frames.empty()) return;
  const QSize area = AreaSize();
  const int n = static_cast<int>(frames.size());
  const int each = area.width() / n;
  for (int i = 0; i < n; ++i) {
    QMdiSubWindow* f = frames[static_cast<std::size_t>(i)];
    if (f->isMaximized()) f->showNormal();
    const int left = i * each;
    f->setGeometry(left, 0, i == n - 1 ? area.width() - left : each, area.height());
  }
}

void TMainWindow::Cascade() {
  // Bottom window first at the top left corner, each next one a title bar further in.
  std::vector<QMdiSubWindow*> frames;
  for (QMdiSubWindow* f : mdi_->subWindowList(QMdiArea::StackingOrder)) {
    if (!f->isHidden() && !f->isMinimized()) frames.push_back(f);
  }
  if (frames.empty()) return;
  const QSize area = AreaSize();
  const int step = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, frames.front()) + 4;
  const int n = static_cast<int>(frames.size());
  const int width = std::max(area.width() - step * (n - 1), std::min(area.width(), 240));
  const int height = std::max(area.height() - step * (n - 1), std::min(area.height(), 160));
  for (int i = 0; i < n; ++i) {
    QMdiSubWindow* f = frames[static_cast<std::size_t>(i)];
    if (f->isMaximized()) f->showNormal();
    f->setGeometry(i * step, i * step, width, height);
    f->raise();
  }
  mdi_->setActiveSubWindow(frames.back());
}

void TMainWindow::MinimizeAll() {
  for (QMdiSubWindow* f : Frames()) {
    if (!f->isHidden()) f->showMinimized();
  }
}

void TMainWindow::ArrangeAll() {
  // The minimised windows in a row along the bottom of the area, left to right.
  const QSize area = AreaSize();
  int left = 0;
  int bottom = area.height();
  for (QMdiSubWindow* f : Frames()) {
    if (f->isHidden() || !f->isMinimized()) continue;
    if (left > 0 && left + f->width() > area.width()) {
      left = 0;
      bottom -= f->height();
    }
    f->move(left, bottom - f->height());
    left += f->width();
  }
}

// ---------------------------------------------------------------- events

void TMainWindow::Guard(const std::function<void()>& handler) {
  try {
    handler();
  } catch (...) {
    if (on_error_) on_error_(std::current_exception());
  }
  SyncStrip();
  UpdateViewChecks();
}

bool TMainWindow::event(QEvent* event) {
  if (event->type() == QEvent::StatusTip) {
    status_text_->setText(static_cast<QStatusTipEvent*>(event)->tip());
    return true;
  }
  return QMainWindow::event(event);
}

bool TMainWindow::eventFilter(QObject* watched, QEvent* event) {
  // Closing a trend window minimises it: the window belongs to its tile, which shows it
  // for as long as the tile is selected. A chart that sees to this itself refuses to close;
  // for any other, the frame is minimised here.
  if (event->type() == QEvent::Close) {
    if (auto* frame = qobject_cast<QMdiSubWindow*>(watched)) {
      event->ignore();
      QWidget* chart = frame->widget();
      if (chart && chart->close()) {
        chart->show();
        frame->showMinimized();
      } else if (!chart) {
        frame->showMinimized();
      }
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TMainWindow::closeEvent(QCloseEvent* event) {
  if (!form_.Closed()) Guard([this] { form_.Close(); });
  event->accept();
}

void TMainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!shown_) {
    shown_ = true;
    Guard([this] { form_.FormShow(); });
  }
  ApplyMinimumSize();
}

void TMainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  ApplyMinimumSize();
}

void TMainWindow::ApplyMinimumSize() {
  // The minimum is for the whole window, frame included; the frame is known once the
  // window manager has put it on.
  const QSize frame = frameGeometry().size() - geometry().size();
  const QSize minimum(std::max(0, kMinimumOuterWidth - frame.width()),
                      std::max(0, kMinimumOuterHeight - frame.height()));
  if (minimumSize() != minimum) setMinimumSize(minimum);
}

}  // namespace dova
