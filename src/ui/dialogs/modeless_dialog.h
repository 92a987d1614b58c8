#pragma once

#include <QDialog>
#include <QString>

#include "app/error_box.h"

class QLabel;
class QPushButton;

namespace dova::ui {

// The message box that does not block: it stays on top of every window, shows one line of
// text and an OK button, and returns at once, so polling, logging and plotting go on while
// it is on screen. There is one of it. A message that comes while it is open waits behind
// the shown one (the box says how many wait); OK, Esc or the close box brings up the next,
// and hides the box after the last.
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

  // Queues the message and shows the oldest unread one with its caption, re-sized to the
  // text and re-centred on the screen; the call returns at once.
  void DisplayMessage(const QString& message, const QString& caption);
  // OK: the shown message is read; the next one shows, or the box hides after the last.
  void OKButtonClick();
  // Esc and the close box count as OK.
  void reject() override;

  QLabel* Message = nullptr;
  QPushButton* OKButton = nullptr;

 private:
  void FitToText();
  void ShowCurrent();

  TUnreadMessages unread_;
};

}  // namespace dova::ui
