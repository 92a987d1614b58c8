#include "ui/mainwindow/main_window.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <algorithm>

#include "ui/tile/tile_widget.h"

namespace dova {

namespace {

const QColor kStripColor(208, 225, 234);

}  // namespace

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

TMainWindow::TMainWindow(TMainForm& form, TChartFactory charts, TErrorSink on_error)
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
        OnPanelChange(change, panel);
      });

  AdoptNewPanels();
  SyncStrip();
  UpdateWindowMenu();
  UpdateViewChecks();
}

TMainWindow::~TMainWindow() {
  panel_changes_.Reset();
  // Taking the frames out activates others: the Window menu need not follow any more.
  disconnect(mdi_, nullptr, this, nullptr);
  while (!panels_.empty())
    DropPanel(*panels_.begin()->first);
}

void TMainWindow::ShowMaximized() {
  // Without a window manager nothing maximises the window; fill the screen ourselves.
  if (QScreen* s = screen()) setGeometry(s->availableGeometry());
  showMaximized();
}

TTileWidget* TMainWindow::TileOf(const TDovaPanel& panel) const {
  auto it = panels_.find(&panel);
  return it == panels_.end() ? nullptr : it->second->Tile();
}

QMdiSubWindow* TMainWindow::FrameOf(const TGraphWindow& window) const {
  for (const auto& [panel, views] : panels_) {
    if (QMdiSubWindow* frame = views->FrameOf(window)) return frame;
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

// ---------------------------------------------------------------- tiles

void TMainWindow::OnPanelChange(TMainForm::TPanelChange change, const TDovaPanel* panel) {
  switch (change) {
    case TMainForm::TPanelChange::Created:
      AdoptNewPanels();
      break;
    case TMainForm::TPanelChange::Freed:
      DropPanel(*panel);
      break;
    case TMainForm::TPanelChange::Selected:
      // The selected tile's windows have just become MDI windows: stack them.
      SyncStrip();
      TileHorizontally();
      break;
    default:
      SyncStrip();
  }
}

void TMainWindow::AdoptNewPanels() {
  for (TDovaPanel* panel : form_.Panels()) {
    if (panels_.count(panel)) continue;
    auto views = std::make_unique<TTileViews>(*panel, strip_, *mdi_, charts_, on_error_,
                                              [this] { UpdateWindowMenu(); });
    views->MoveTile(form_.PanelRect(*panel));
    panels_[panel] = std::move(views);
  }
  UpdateWindowMenu();
}

void TMainWindow::DropPanel(const TDovaPanel& panel) {
  auto it = panels_.find(&panel);
  if (it == panels_.end()) return;
  std::unique_ptr<TTileViews> views = std::move(it->second);
  panels_.erase(it);
  views.reset();
  UpdateWindowMenu();
}

// ---------------------------------------------------------------- layout

void TMainWindow::SyncStrip() {
  banner_->setGeometry(1, 1, kBannerWidth, form_.BannerHeight);
  for (const auto& [panel, views] : panels_)
    views->MoveTile(form_.PanelRect(*panel));
  LayoutClient();
}

void TMainWindow::LayoutClient() {
  const int height = std::max(form_.StripHeight, kStripMinHeight);
  strip_->setGeometry(0, 0, client_->width(), height);
  mdi_->setGeometry(0, height, client_->width(), std::max(0, client_->height() - height));
}

mdi::TSize TMainWindow::AreaSize() const {
  const QSize size = mdi_->contentsRect().size();
  return mdi::TSize{size.width(), size.height()};
}

std::vector<QMdiSubWindow*> TMainWindow::ArrangeableFrames() const {
  std::vector<QMdiSubWindow*> frames;
  for (QMdiSubWindow* f : Frames()) {
    if (!f->isHidden() && !f->isMinimized()) frames.push_back(f);
  }
  return frames;
}

void TMainWindow::Place(const std::vector<QMdiSubWindow*>& frames,
                        const std::vector<TRect>& rects) {
  // The rectangles are in the area's own coordinates: scroll back to its origin first, or
  // a later scroll back would move every window by the old offset.
  if (!frames.empty()) {
    QMdiArea* area = frames.front()->mdiArea();
    area->horizontalScrollBar()->setValue(0);
    area->verticalScrollBar()->setValue(0);
  }
  for (std::size_t i = 0; i < frames.size() && i < rects.size(); ++i) {
    QMdiSubWindow* f = frames[i];
    if (f->isMaximized()) f->showNormal();
    f->setGeometry(rects[i].Left, rects[i].Top, rects[i].Width, rects[i].Height);
  }
}

void TMainWindow::TileHorizontally() {
  const std::vector<QMdiSubWindow*> frames = ArrangeableFrames();
  Place(frames, mdi::TileHorizontally(AreaSize(), static_cast<int>(frames.size())));
}

void TMainWindow::TileVertically() {
  const std::vector<QMdiSubWindow*> frames = ArrangeableFrames();
  Place(frames, mdi::TileVertically(AreaSize(), static_cast<int>(frames.size())));
}

void TMainWindow::Cascade() {
  // Bottom window first at the top left corner, each next one a title bar further in.
  std::vector<QMdiSubWindow*> frames;
  for (QMdiSubWindow* f : mdi_->subWindowList(QMdiArea::StackingOrder)) {
    if (!f->isHidden() && !f->isMinimized()) frames.push_back(f);
  }
  if (frames.empty()) return;
  const int step = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, frames.front()) + 4;
  Place(frames, mdi::Cascade(AreaSize(), static_cast<int>(frames.size()), step));
  for (QMdiSubWindow* f : frames)
    f->raise();
  mdi_->setActiveSubWindow(frames.back());
}

void TMainWindow::MinimizeAll() {
  for (QMdiSubWindow* f : Frames()) {
    if (!f->isHidden()) f->showMinimized();
  }
}

void TMainWindow::ArrangeAll() {
  // The minimised windows in a row along the bottom of the area, left to right.
  std::vector<QMdiSubWindow*> frames;
  std::vector<mdi::TSize> sizes;
  for (QMdiSubWindow* f : Frames()) {
    if (f->isHidden() || !f->isMinimized()) continue;
    frames.push_back(f);
    sizes.push_back(mdi::TSize{f->width(), f->height()});
  }
  Place(frames, mdi::ArrangeMinimised(AreaSize(), sizes));
}

// ---------------------------------------------------------------- events

void TMainWindow::Guard(const std::function<void()>& handler) {
  try {
    if (handler) handler();
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
