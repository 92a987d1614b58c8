// Pictures of the main window in the states worth looking at, drawn offscreen on virtual
// time: three incubators running, one of them unplugged, one renamed, the windows
// minimised over the background picture, tiled side by side, and a narrow window.
//   window_snapshots OUTPUT_FOLDER
// Not a test: a developer looks at the pictures after changing how the window draws.
#include <QApplication>
#include <QDir>
#include <QMdiSubWindow>
#include <QTest>

#include "ui/mainwindow/window_fixture.h"

namespace {

struct Snapshots : dova::testing::WindowFixture {
  Snapshots() : WindowFixture(dova::sim::TBenchOptions{}) {}
  void TestBody() override {}

  void Save(const QDir& out, const char* name) {
    QApplication::processEvents();
    window->grab().save(out.filePath(QString::fromLatin1(name) + ".png"));
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
  Snapshots s;
  s.Open(1280, 994);
  s.Plug("Tissue Lab");
  s.Plug("Embryo Room");
  s.Plug("IVF 3");
  s.sched.AdvanceBy(15 * 60 * 1000);
  s.Save(out, "three");

  s.fleet.At(1).Unplug();
  s.sched.AdvanceBy(3000);
  s.Save(out, "unplugged");

  s.dialogs.Answers = {"aardvark"};
  s.window->Command("Name1")->trigger();
  s.sched.AdvanceBy(2000);
  s.Save(out, "renamed");

  // The background picture behind the minimised windows.
  s.window->Command("WindowMinimizeAll1")->trigger();
  s.window->Command("WindowArrangeAll1")->trigger();
  s.Save(out, "minimized");
  s.window->Command("WindowTileHorizontal1")->trigger();
  for (QMdiSubWindow* f : s.window->MdiArea()->subWindowList())
    f->showNormal();

  s.window->Command("ViewLast6Hours")->trigger();
  s.window->Command("WindowTileVertical1")->trigger();
  s.Save(out, "tiled_vertically");

  s.window->resize(700, 600);
  s.Save(out, "narrow");
  return 0;
}
