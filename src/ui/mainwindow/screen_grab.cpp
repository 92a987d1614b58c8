// Saves a picture of the whole screen after a pause: how scripts/screenshot.sh takes the
// README's picture of the logger running on a virtual X screen.
//   dova300-screengrab [--wait MS] FILE.png
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QStringList>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  QStringList args = QGuiApplication::arguments().mid(1);
  int wait_ms = 0;
  if (args.size() >= 2 && args.front() == QStringLiteral("--wait")) {
    wait_ms = args.at(1).toInt();
    args = args.mid(2);
  }
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: dova300-screengrab [--wait MS] FILE.png\n");
    return 2;
  }
  const QString file = args.front();
  int code = 1;
  QTimer::singleShot(wait_ms, [&] {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen && screen->grabWindow(0).save(file)) code = 0;
    if (code != 0) std::fprintf(stderr, "could not save %s\n", qPrintable(file));
    QGuiApplication::quit();
  });
  QGuiApplication::exec();
  return code;
}
