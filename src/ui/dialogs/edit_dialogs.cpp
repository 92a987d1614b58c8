#include "ui/dialogs/edit_dialogs.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/dialogs/dialog_look.h"

namespace dova::ui {
namespace {

constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kEditHeight = 21;
constexpr int kMargin = 8;

QPushButton* MakeButton(QDialog& dialog, const QString& text, const QRect& where) {
  auto* button = new QPushButton(text, &dialog);
  button->setGeometry(where);
  // Enter presses the button that has the focus; elsewhere it presses the default button.
  button->setAutoDefault(true);
  return button;
}

// OK to the left of Cancel, both at the bottom right of a dialog of the given size.
void PlaceOkCancel(QDialog& dialog, int width, int height, QPushButton*& ok, QPushButton*& cancel) {
  const int top = height - kMargin - kButtonHeight;
  const int cancel_left = width - kMargin - kButtonWidth;
  const int ok_left = cancel_left - 6 - kButtonWidth;
  ok = MakeButton(dialog, QStringLiteral("OK"), {ok_left, top, kButtonWidth, kButtonHeight});
  cancel =
      MakeButton(dialog, QStringLiteral("Cancel"), {cancel_left, top, kButtonWidth, kButtonHeight});
  ok->setDefault(true);
  QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
  QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
}

}  // namespace

TBevelEditDlg::TBevelEditDlg(const QString& caption, int width, const QString& label,
                             int edit_width) {
  constexpr int kHeight = 106;
  SetUpFixedDialog(*this, caption, width, kHeight);

  Bevel1 = new QFrame(this);
  Bevel1->setFrameShape(QFrame::Box);
  Bevel1->setFrameShadow(QFrame::Sunken);
  Bevel1->setGeometry(kMargin, kMargin, width - 2 * kMargin, 57);

  const int edit_left = width - kMargin - 12 - edit_width;
  edit_ = new QLineEdit(this);
  edit_->setGeometry(edit_left, 26, edit_width, kEditHeight);

  Label1 = new QLabel(label, this);
  Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  Label1->setGeometry(16, 26, edit_left - 6 - 16, kEditHeight);

  PlaceOkCancel(*this, width, kHeight, OKBtn, CancelBtn);
  setTabOrder(edit_, OKBtn);
  setTabOrder(OKBtn, CancelBtn);
}

std::optional<QString> TBevelEditDlg::RunModal() {
  CentreOnScreen(*this);
  edit_->setFocus(Qt::OtherFocusReason);
  edit_->selectAll();
  if (exec() != QDialog::Accepted) return std::nullopt;
  return edit_->text();
}

TLogIntervalDlg::TLogIntervalDlg()
    : TBevelEditDlg(QString::fromLatin1(kCaption), 351, QString::fromLatin1(kLabel), 41) {
  Interval = Edit();
}

std::optional<QString> TLogIntervalDlg::Execute(std::uint8_t interval) {
  Interval->setText(QString::number(interval));
  return RunModal();
}

TEditNameDlg::TEditNameDlg()
    : TBevelEditDlg(QString::fromLatin1(kCaption), 416, QString::fromLatin1(kLabel), 185) {
  Name = Edit();
  Name->setMaxLength(kMaxLength);
}

std::optional<QString> TEditNameDlg::Execute(const QString& name) {
  Name->setText(name);
  return RunModal();
}

TNewNameDlg::TNewNameDlg() {
  constexpr int kWidth = 239;
  constexpr int kHeight = 80;
  SetUpFixedDialog(*this, QString::fromLatin1(kCaption), kWidth, kHeight);
  FolderName = new QLineEdit(this);
  FolderName->setGeometry(kMargin, 12, kWidth - 2 * kMargin, kEditHeight);
  PlaceOkCancel(*this, kWidth, kHeight, OKBtn, CancelBtn);
  setTabOrder(FolderName, OKBtn);
  setTabOrder(OKBtn, CancelBtn);
}

bool TNewNameDlg::ShowModal() {
  CentreOnScreen(*this);
  FolderName->setFocus(Qt::OtherFocusReason);
  FolderName->selectAll();
  return exec() == QDialog::Accepted;
}

}  // namespace dova::ui
