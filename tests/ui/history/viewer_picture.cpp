// Renders the stored-log viewer on a log into a PNG, for the README:
//   dova_viewer_picture <log> <out.png>
// Run it under xvfb-run, or with QT_QPA_PLATFORM=offscreen.
#include <QApplication>
#include <QPixmap>
#include <cstdio>

#include "ui/history/log_viewer.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 3) {
    std::fputs("usage: dova_viewer_picture <log> <out.png>\n", stderr);
    return 2;
  }
  dova::ui::TLogViewer viewer(QString::fromLocal8Bit(argv[1]));
  viewer.resize(1280, 720);
  viewer.show();
  // Let the windows lay out and draw.
  for (int i = 0; i < 5; ++i)
    app.processEvents();
  return viewer.grab().save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
