#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMdiSubWindow>
#include <memory>

#include "app/main_form_fixture.h"
#include "ui/mainwindow/main_window.h"
#include "ui/tile/tile_widget.h"

namespace dova::testing {

// The main window on screen (offscreen) over simulated incubators on virtual time.
struct WindowFixture : MainFormFixture, ::testing::Test {
  std::unique_ptr<TMainWindow> window;
  TMainForm* wform = nullptr;

  explicit WindowFixture(const sim::TBenchOptions& bench = {.Quiet = true})
      : MainFormFixture(bench) {}
  ~WindowFixture() override {
    window.reset();
    form.reset();
  }

  TMainWindow& Open(int width = 1280, int height = 800) {
    auto made = std::make_unique<TMainForm>(TMainFormServices{
        sched, fleet.Library(), store, awake, boxes, format,
        TDialogs{dialogs, dialogs, dialogs, dialogs, dialogs}, dir.path() + "/Documents"});
    wform = made.get();
    form = std::move(made);
    window = std::make_unique<TMainWindow>(
        *wform, nullptr, [this](std::exception_ptr e) { sched.ReportException(e); });
    window->resize(width, height);
    window->show();
    QApplication::processEvents();
    return *window;
  }

  int StripWidth() const { return window->Strip()->width(); }

  TTileWidget* Tile(const QString& nick) const {
    TDovaPanel* p = Listed(nick);
    return p ? window->TileOf(*p) : nullptr;
  }

  std::vector<TTileWidget*> TileWidgets() const {
    std::vector<TTileWidget*> tiles;
    // The tile widget has no meta-object of its own: findChildren would list every widget.
    for (QWidget* w : window->Strip()->findChildren<QWidget*>())
      if (auto* t = dynamic_cast<TTileWidget*>(w)) tiles.push_back(t);
    return tiles;
  }

  QList<QMdiSubWindow*> OpenFrames() const { return window->MdiArea()->subWindowList(); }

  // The titles of the MDI windows from the top of the area down.
  QStringList TitlesTopDown() const {
    auto frames = OpenFrames();
    std::sort(frames.begin(), frames.end(),
              [](QMdiSubWindow* a, QMdiSubWindow* b) { return a->y() < b->y(); });
    QStringList titles;
    for (auto* f : frames)
      titles << f->windowTitle();
    return titles;
  }

  // The colour a user sees at `pos` of a widget.
  static QColor PixelAt(QWidget* w, QPoint pos) { return w->grab().toImage().pixelColor(pos); }
};

}  // namespace dova::testing
