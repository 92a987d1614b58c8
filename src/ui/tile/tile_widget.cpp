#include "ui/tile/tile_widget.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include "platform/error_reporter.h"
#include "ui/tile/hint_text.h"

namespace dova {

namespace {

// Arial and MS Sans Serif are not on a Linux desktop; Liberation Sans has Arial's metrics,
// and at the displays' size it keeps "37.0" and "OFF" inside their boxes where the desktop's
// default sans serif would not.
const QStringList kSansFamilies{QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                                QStringLiteral("Helvetica")};

constexpr int kValuePixels = 19;

void DrawLabel(QPainter& p, const QRect& box, const TLabelState& label, const QFont& font,
               Qt::Alignment align) {
  p.fillRect(box, ToQColor(label.Background));
  p.setFont(font);
  p.setPen(ToQColor(label.Font));
  const QString text =
      QFontMetrics(font).elidedText(label.Text, Qt::ElideRight, box.width(), Qt::TextSingleLine);
  p.drawText(box, static_cast<int>(align | Qt::TextSingleLine), text);
}

void DrawLamp(QPainter& p, const QRect& box, TColor fill) {
  // The outline lies inside the lamp's square: a one-pixel pen centred half a pixel in.
  p.setPen(QPen(ToQColor(TTileWidget::kLampOutline), 1.0));
  p.setBrush(ToQColor(fill));
  p.drawEllipse(QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5));
}

}  // namespace

QColor ToQColor(TColor color) {
  if (color == clActiveCaption) return QColor(10, 36, 106);
  // Another desktop colour would have its own entry here; none is used.
  if ((color & 0xFF000000u) != 0) return QColor(128, 128, 128);
  return QColor((color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF);
}

TTileWidget::TTileWidget(TDovaPanel& panel, QWidget* parent, TErrorSink on_error)
    : QWidget(parent), panel_(panel), on_error_(std::move(on_error)) {
  setFixedSize(kWidth, kHeight);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setObjectName(panel.Name);
  panel_.SetOnViewChange([this](TDovaPanel&) { Refresh(); });
  Refresh();
}

TTileWidget::~TTileWidget() {
  panel_.SetOnViewChange(nullptr);
}

void TTileWidget::Refresh() {
  setToolTip(ShortHint(panel_.Hint));
  setStatusTip(extra_hint_.isEmpty() ? LongHint(panel_.Hint)
                                     : LongHint(panel_.Hint) + QStringLiteral("  ") + extra_hint_);
  setVisible(panel_.Visible);
  update();
}

QFont TTileWidget::CaptionFont() {
  QFont font;
  font.setFamilies(kSansFamilies);
  font.setPixelSize(13);
  font.setBold(true);
  return font;
}

QFont TTileWidget::ValueFont(const QString& text) {
  QFont font;
  font.setFamilies(kSansFamilies);
  font.setPixelSize(kValuePixels);
  // Whatever the incubator's display says must stay readable inside the box.
  while (font.pixelSize() > 8 &&
         QFontMetrics(font).horizontalAdvance(text) > kLeftTempRect.width() - 2) {
    font.setPixelSize(font.pixelSize() - 1);
  }
  return font;
}

bool TTileWidget::IsLamp(const QPoint& pos) {
  return kLeftLampRect.contains(pos) || kGasLampRect.contains(pos) || kRightLampRect.contains(pos);
}

void TTileWidget::Paint(QPainter& p, const TTileView& view) {
  static const QPixmap picture(QStringLiteral(":/dova/front_panel.png"));
  p.fillRect(QRect(0, 0, kWidth, kHeight), ToQColor(view.Color));
  DrawLabel(p, kCaptionRect, view.Caption, CaptionFont(), Qt::AlignLeft | Qt::AlignVCenter);
  p.drawPixmap(kPictureRect, picture);
  for (const auto& [box, label] : {std::pair{kLeftTempRect, &view.LeftTempDisplay},
                                   std::pair{kGasFlowRect, &view.GasFlowDisplay},
                                   std::pair{kRightTempRect, &view.RightTempDisplay}}) {
    DrawLabel(p, box, *label, ValueFont(label->Text), Qt::AlignCenter);
  }
  p.setRenderHint(QPainter::Antialiasing);
  DrawLamp(p, kLeftLampRect, view.LeftTLed);
  DrawLamp(p, kGasLampRect, view.GasLed);
  DrawLamp(p, kRightLampRect, view.RightTLed);
}

QImage TTileWidget::Render(const TTileView& view) {
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  QPainter p(&image);
  Paint(p, view);
  return image;
}

void TTileWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  Paint(p, panel_.View());
  if (overlay_) overlay_(p, rect());
}

void TTileWidget::SetOverlay(TOverlay overlay) {
  overlay_ = std::move(overlay);
  update();
}

void TTileWidget::SetExtraHint(const QString& hint) {
  if (hint == extra_hint_) return;
  extra_hint_ = hint;
  Refresh();
}

void TTileWidget::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton && !IsLamp(event->position().toPoint());
  event->accept();
}

void TTileWidget::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  const bool click =
      pressed_ && event->button() == Qt::LeftButton && rect().contains(pos) && !IsLamp(pos);
  pressed_ = false;
  event->accept();
  if (!click) return;
  try {
    panel_.CaptionClick();
  } catch (...) {
    if (on_error_) {
      on_error_(std::current_exception());
    } else {
      StderrErrorReporter reporter;
      try {
        throw;
      } catch (const std::exception& e) {
        reporter.ReportError(e.what());
      } catch (...) {
        reporter.ReportError("Unknown error");
      }
    }
  }
}

}  // namespace dova
