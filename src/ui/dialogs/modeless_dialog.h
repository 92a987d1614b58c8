#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

namespace dova::ui {

// The message box that does not block: it stays on top of every window, shows one line of
// text and an OK button, and returns at once, so polling, logging and plotting go on while
// it is on screen. There is one of it; a message shown while it is open replaces the text
// of the same box.
class TModelessDialog : public QDialog {
 public:
  static constexpr int kLabelLeft = 12;
  static constexpr int kLabelTop = 10;
  static constexpr int kMargin = 10;
  static constexpr int kButtonWidth = 65;
  static constexpr int kButtonHeight = 24;
  static constexpr int kButtonSideMargin = 30;
  // Space between the text and the button (the design's 82 pixel height with one line).
  static constexpr int kButtonGap = 25;

  TModelessDialog();

  // Caption and message, re-sized to the text, re-centred on the screen and shown; the call
  // returns at once.
  void DisplayMessage(const QString& message, const QString& caption);
  // OK hides the box.
  void OKButtonClick();

  QLabel* Message = nullptr;
  QPushButton* OKButton = nullptr;

 private:
  void FitToText();
};

}  // namespace dova::ui
