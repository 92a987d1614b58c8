// Paints the program's pictures: the strip's banner, the tile's front panel, the picture
// behind the trend windows and the application icon. The PNG files it writes are kept in
// resources/ and compiled into the program; run it again after changing a drawing:
//
//   cmake --build build/default --target dova_paint_artwork
//   QT_QPA_PLATFORM=offscreen build/default/src/ui/mainwindow/dova_paint_artwork resources
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

const QColor kNavy(18, 52, 96);
const QColor kTileBlue(39, 139, 224);
const QColor kStrip(208, 225, 234);

QFont Sans(int pixels, bool bold = false) {
  QFont font;
  font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

// The incubator seen from the front: a cabinet with two chamber lids, the display strip and
// its three lamps, fitted into `box`.
void DrawIncubator(QPainter& p, const QRectF& box, const QColor& body, const QColor& line,
                   const QColor& display) {
  const double w = box.width();
  const double h = box.height();
  p.save();
  p.translate(box.topLeft());
  p.setPen(QPen(line, qMax(1.0, w / 60.0)));
  p.setBrush(body);
  p.drawRoundedRect(QRectF(0, h * 0.08, w, h * 0.92), w * 0.06, w * 0.06);
  // The two lids on top.
  p.drawRoundedRect(QRectF(w * 0.06, 0, w * 0.40, h * 0.16), w * 0.03, w * 0.03);
  p.drawRoundedRect(QRectF(w * 0.54, 0, w * 0.40, h * 0.16), w * 0.03, w * 0.03);
  // The display band with three windows and three lamps.
  p.setBrush(display);
  p.drawRoundedRect(QRectF(w * 0.06, h * 0.34, w * 0.88, h * 0.40), w * 0.03, w * 0.03);
  const QColor lamps[] = {QColor(255, 62, 62), QColor(0, 220, 0), QColor(255, 62, 62)};
  for (int i = 0; i < 3; ++i) {
    const double x = w * (0.12 + i * 0.28);
    p.setBrush(i == 1 ? QColor(0, 90, 0) : QColor(110, 0, 0));
    p.drawRect(QRectF(x, h * 0.40, w * 0.20, h * 0.14));
    p.setBrush(lamps[i]);
    p.drawEllipse(QRectF(x + w * 0.07, h * 0.58, w * 0.06, w * 0.06));
  }
  p.restore();
}

QImage Banner() {
  QImage img(300, 74, QImage::Format_RGB32);
  img.fill(kStrip);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  // A white card with a blue edge at the bottom, the incubator at its left.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(250, 252, 254));
  p.drawRoundedRect(QRectF(1, 1, 298, 72), 6, 6);
  p.setBrush(kTileBlue);
  p.drawRect(QRectF(1, 66, 298, 7));
  DrawIncubator(p, QRectF(10, 10, 62, 50), QColor(196, 206, 216), kNavy, QColor(60, 66, 74));
  p.setPen(kNavy);
  p.setFont(Sans(30, true));
  p.drawText(QRectF(82, 4, 214, 36), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("DOVA-300"));
  p.setPen(QColor(60, 80, 104));
  p.setFont(Sans(14));
  p.drawText(QRectF(83, 38, 214, 22), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Benchtop Incubator Logger"));
  return img;
}

QImage FrontPanel() {
  QImage img(192, 54, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  // Brushed grey face with a light top edge and a dark bottom edge.
  QLinearGradient face(0, 0, 0, 54);
  face.setColorAt(0.0, QColor(112, 120, 130));
  face.setColorAt(0.5, QColor(82, 89, 98));
  face.setColorAt(1.0, QColor(58, 63, 70));
  p.fillRect(img.rect(), face);
  p.fillRect(QRect(0, 0, 192, 1), QColor(160, 168, 178));
  p.fillRect(QRect(0, 53, 192, 1), QColor(34, 37, 41));
  const char* names[] = {"LEFT", "CO2", "RIGHT"};
  const int windows[] = {13, 76, 139};
  const int lamps[] = {28, 92, 154};
  for (int i = 0; i < 3; ++i) {
    // The recessed bezel around each display (the display itself is drawn over it).
    p.setPen(QPen(QColor(40, 43, 48), 1));
    p.setBrush(QColor(24, 26, 29));
    p.drawRoundedRect(QRectF(windows[i] - 2.5, 4.5, 45, 25), 2, 2);
    // The socket of each lamp.
    p.setBrush(QColor(36, 39, 44));
    p.drawEllipse(QRectF(lamps[i] - 2.5, 29.5, 15, 15));
    p.setPen(QColor(214, 220, 228));
    p.setFont(Sans(8, true));
    p.drawText(QRectF(windows[i] - 4, 44, 49, 10), Qt::AlignCenter, QString::fromLatin1(names[i]));
  }
  // Four screws.
  p.setPen(QPen(QColor(46, 50, 56), 1));
  p.setBrush(QColor(150, 156, 164));
  for (const QPointF c : {QPointF(5, 6), QPointF(187, 6), QPointF(5, 48), QPointF(187, 48)})
    p.drawEllipse(c, 2.2, 2.2);
  return img;
}

QImage Background() {
  const QSize size(1868, 1524);
  QImage img(size, QImage::Format_RGB32);
  img.fill(QColor(10, 16, 26));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  // A faint chart grid, one trace of each colour, and the incubator in the middle.
  p.setPen(QPen(QColor(22, 34, 50), 2));
  for (int x = 34; x < size.width(); x += 120)
    p.drawLine(x, 0, x, size.height());
  for (int y = 42; y < size.height(); y += 120)
    p.drawLine(0, y, size.width(), y);
  QPainterPath red, green;
  red.moveTo(0, 540);
  red.cubicTo(300, 520, 420, 380, 700, 400);
  red.cubicTo(1000, 420, 1200, 380, 1868, 390);
  green.moveTo(0, 1180);
  green.cubicTo(260, 1200, 520, 1010, 820, 1040);
  green.cubicTo(1120, 1070, 1400, 1030, 1868, 1035);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(92, 34, 40), 6));
  p.drawPath(red);
  p.setPen(QPen(QColor(24, 82, 40), 6));
  p.drawPath(green);
  DrawIncubator(p, QRectF(634, 520, 600, 480), QColor(26, 40, 58), QColor(52, 78, 108),
                QColor(16, 24, 36));
  p.setPen(QColor(44, 66, 92));
  p.setFont(Sans(96, true));
  p.drawText(QRectF(0, 1040, size.width(), 140), Qt::AlignCenter, QStringLiteral("DOVA-300"));
  return img;
}

QImage Icon() {
  QImage img(256, 256, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(kTileBlue);
  p.drawRoundedRect(QRectF(8, 8, 240, 240), 40, 40);
  DrawIncubator(p, QRectF(38, 56, 180, 144), QColor(236, 242, 248), kNavy, QColor(60, 66, 74));
  return img;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
  bool ok = Banner().save(out.filePath(QStringLiteral("banner.png")));
  ok = FrontPanel().save(out.filePath(QStringLiteral("front_panel.png"))) && ok;
  ok = Background().save(out.filePath(QStringLiteral("background.png"))) && ok;
  ok = Icon().save(out.filePath(QStringLiteral("dova300-logger.png"))) && ok;
  if (!ok) std::fprintf(stderr, "could not write the pictures\n");
  return ok ? 0 : 1;
}
