#include "ui/dialogs/about_box.h"

#include <QFrame>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>

#include "ui/dialogs/dialog_look.h"

namespace dova::ui {

QStringList TAboutBox::MemoLines() {
  QStringList lines;
  lines << QString(51, u' ') + QStringLiteral("Hints and Tips")
        << QString(50, u' ') + QString(13, QChar(0x00AF))
        << QString::fromUtf8(
               " \u2022  This program automatically scans the (USB) COM ports for "
               "connected DOVAs.")
        << QString::fromUtf8(
               " \u2022  DOVAs may be connected and disconnected at any time when "
               "using Windows XP ")
        << QStringLiteral(
               "    or Vista. When using Windows 2000, close the application before "
               "disconnecting")
        << QStringLiteral("    any DOVAs.")
        << QString::fromUtf8(
               " \u2022  Logging to disk is always active. Use File\u2192Select Data "
               "File Folder to see ")
        << QStringLiteral("    where the files are being written to.")
        << QString::fromUtf8(
               " \u2022  Select a DOVA by clicking on it's icon at the top of the "
               "screen.")
        << QString::fromUtf8(
               " \u2022  Use the Window menu to arrange the graphs after resizing "
               "the application window.")
        << QString::fromUtf8(
               " \u2022  To zoom into a graph, use the left mouse button to select "
               "the zoom region.")
        << QString::fromUtf8(
               " \u2022  To pan a graph, hold the right button down and drag the "
               "graph.")
        << QString::fromUtf8(
               " \u2022  To zoom out and view the entire graph, double click the "
               "left mouse button.")
        << QString()
        << QStringLiteral(" For details instructions, refer the the Software Users Manual.");
  for (int i = 0; i < 8; ++i)
    lines << QString();
  return lines;
}

QPixmap TAboutBox::DrawProgramIcon() {
  // A benchtop incubator seen from the front: a grey cabinet with two chamber lids on top,
  // the three displays and the three lamps on its front panel.
  QPixmap picture(105, 69);
  picture.fill(Qt::white);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);

  // Shadow on the bench.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(210, 210, 210));
  p.drawEllipse(QRectF(6, 58, 94, 9));

  // Cabinet.
  QLinearGradient body(0, 20, 0, 62);
  body.setColorAt(0, QColor(236, 238, 240));
  body.setColorAt(1, QColor(176, 182, 190));
  p.setBrush(body);
  p.setPen(QPen(QColor(90, 96, 104), 1));
  p.drawRoundedRect(QRectF(8.5, 22.5, 88, 38), 4, 4);

  // Two chamber lids.
  QLinearGradient lid(0, 8, 0, 22);
  lid.setColorAt(0, QColor(120, 160, 205));
  lid.setColorAt(1, QColor(52, 88, 140));
  p.setBrush(lid);
  p.drawRoundedRect(QRectF(13.5, 10.5, 36, 12), 3, 3);
  p.drawRoundedRect(QRectF(55.5, 10.5, 36, 12), 3, 3);
  p.setPen(QPen(QColor(30, 50, 80), 2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(26, 8), QPointF(37, 8));
  p.drawLine(QPointF(68, 8), QPointF(79, 8));

  // Front panel with three displays.
  p.setPen(QPen(QColor(60, 64, 70), 1));
  p.setBrush(QColor(48, 52, 58));
  p.drawRoundedRect(QRectF(14.5, 29.5, 76, 18), 2, 2);
  p.setBrush(QColor(20, 40, 22));
  for (int i = 0; i < 3; ++i)
    p.drawRect(QRectF(18.5 + i * 24, 33.5, 20, 10));
  QFont digits = DialogFont(8, true);
  p.setFont(digits);
  p.setPen(QColor(110, 240, 120));
  const char* readings[] = {"37.0", "37.0", "5.0"};
  for (int i = 0; i < 3; ++i)
    p.drawText(QRectF(18.5 + i * 24, 33.5, 20, 10), Qt::AlignCenter,
               QString::fromLatin1(readings[i]));

  // Three lamps below the displays.
  const QColor lamps[] = {QColor(40, 200, 60), QColor(250, 190, 30), QColor(40, 200, 60)};
  p.setPen(QPen(QColor(40, 40, 40), 1));
  for (int i = 0; i < 3; ++i) {
    p.setBrush(lamps[i]);
    p.drawEllipse(QPointF(28.5 + i * 24, 53.5), 2.5, 2.5);
  }
  return picture;
}

TAboutBox::TAboutBox() {
  constexpr int kWidth = 570;
  constexpr int kHeight = 415;
  SetUpFixedDialog(*this, QString::fromLatin1(kCaption), kWidth, kHeight);

  Panel1 = new QFrame(this);
  Panel1->setFrameShape(QFrame::Panel);
  Panel1->setFrameShadow(QFrame::Sunken);
  Panel1->setGeometry(8, 8, kWidth - 16, 362);

  ProgramIcon = new QLabel(Panel1);
  ProgramIcon->setFrameShape(QFrame::Panel);
  ProgramIcon->setFrameShadow(QFrame::Sunken);
  ProgramIcon->setAlignment(Qt::AlignCenter);
  ProgramIcon->setPixmap(DrawProgramIcon());
  ProgramIcon->setGeometry(8, 8, 113, 74);

  // The name stands twice, the second one a pixel to the left, which makes it heavier.
  const QString name = QString::fromLatin1(kProductName);
  QPalette black = palette();
  black.setColor(QPalette::WindowText, Qt::black);
  ProductShadow = new QLabel(name, Panel1);
  ProductShadow->setFont(DialogFont(20));
  ProductShadow->setPalette(black);
  ProductShadow->setGeometry(135, 16, 400, 26);
  ProductName = new QLabel(name, Panel1);
  ProductName->setFont(DialogFont(20));
  ProductName->setPalette(black);
  ProductName->setGeometry(136, 16, 400, 26);

  Version = new QLabel(QString::fromLatin1(kVersion), Panel1);
  Version->setFont(DialogFont(13, true));
  Version->setPalette(black);
  Version->setGeometry(136, 50, 200, 18);

  Memo1 = new QPlainTextEdit(Panel1);
  Memo1->setReadOnly(true);
  Memo1->setFont(DialogFont(13));
  // No scroll bars: every line of text fits as it is, and the empty lines below them may
  // run out of sight.
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo1->document()->setDocumentMargin(2);
  Memo1->setGeometry(25, 92, 503, 257);
  Memo1->setPlainText(MemoLines().join(u'\n'));

  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setGeometry((kWidth - 80) / 2, kHeight - 12 - 23, 80, 23);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
  setTabOrder(Memo1, OKButton);
}

void TAboutBox::ShowModal() {
  CentreOnScreen(*this);
  Memo1->moveCursor(QTextCursor::Start);
  OKButton->setFocus(Qt::OtherFocusReason);
  exec();
}

}  // namespace dova::ui
