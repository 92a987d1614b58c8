#include "ui/dialogs/modeless_dialog.h"

#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "ui/dialogs/dialog_look.h"

namespace dova::ui {

TModelessDialog::TModelessDialog() {
  setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                 Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setModal(false);
  setFont(DialogFont(kFont8pt));
  setWindowTitle(QStringLiteral("ModelessDialog"));

  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
  Message = new QLabel(QStringLiteral("Message"), this);
  Message->setTextFormat(Qt::PlainText);
  Message->setFocusPolicy(Qt::NoFocus);
  FitToText();
}

void TModelessDialog::FitToText() {
  Message->adjustSize();
  const QSize text = Message->size();
  Message->move(kLabelLeft, kLabelTop);
  const int width =
      std::max(kLabelLeft + text.width() + kMargin, 2 * kButtonSideMargin + kButtonWidth);
  const int button_top = kLabelTop + text.height() + kButtonGap;
  const int height = button_top + kButtonHeight + kMargin;
  OKButton->setGeometry((width - kButtonWidth) / 2, button_top, kButtonWidth, kButtonHeight);
  setFixedSize(width, height);
}

void TModelessDialog::DisplayMessage(const QString& message, const QString& caption) {
  unread_.Add(message, caption);
  ShowCurrent();
}

void TModelessDialog::ShowCurrent() {
  const TUnreadMessages::TMessage* current = unread_.Current();
  if (!current) return;
  setWindowTitle(current->caption);
  Message->setText(unread_.ShownText());
  FitToText();
  CentreOnScreen(*this);
  show();
  raise();
}

void TModelessDialog::OKButtonClick() {
  if (unread_.Acknowledge())
    ShowCurrent();
  else
    hide();
}

void TModelessDialog::reject() {
  OKButtonClick();
}

}  // namespace dova::ui
