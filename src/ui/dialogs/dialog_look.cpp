#include "ui/dialogs/dialog_look.h"

#include <QDialog>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

namespace dova::ui {

QFont DialogFont(int pixel_size, bool bold) {
  QFont font;
  font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixel_size);
  font.setBold(bold);
  return font;
}

void SetUpFixedDialog(QDialog& dialog, const QString& caption, int width, int height) {
  dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  dialog.setWindowTitle(caption);
  dialog.setFont(DialogFont(kFont8pt));
  dialog.setFixedSize(width, height);
  dialog.setSizeGripEnabled(false);
}

void CentreOnScreen(QWidget& window) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  // The window system knows the frame around the window once the window exists; centre
  // the frame, title bar included, as the user sees it.
  (void)window.winId();
  QRect frame = window.frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  window.move(frame.topLeft());
}

}  // namespace dova::ui
