#pragma once

#include <QFont>
#include <QString>

class QDialog;
class QWidget;

namespace dova::ui {

// Pixel heights of the dialogs' fonts: 8 point is 11 pixels, 10 point 13 pixels on a
// 96 dpi screen.
inline constexpr int kFont8pt = 11;
inline constexpr int kFont10pt = 13;

// The dialogs' face: Liberation Sans, which has Arial's metrics, or the system's sans-serif
// family where it is missing.
QFont DialogFont(int pixel_size, bool bold = false);

// A dialog with a fixed border, the given caption and client size, a close box and no
// other title-bar buttons, in the dialogs' 8 point font.
void SetUpFixedDialog(QDialog& dialog, const QString& caption, int width, int height);

// Places a top-level window, with its frame, in the middle of the primary screen's work
// area, for its current size.
void CentreOnScreen(QWidget& window);

}  // namespace dova::ui
