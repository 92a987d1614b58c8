#include "ui/dialogs/converter_report_dlg.h"

#include <QMessageBox>

#include <QLabel>
#include <QPushButton>

#include "ui/dialogs/dialog_look.h"

namespace dova::ui {

TVCPtoUSBXConvDlg::TVCPtoUSBXConvDlg() {
  SetUpFixedDialog(*this, QString::fromLatin1(TVCPtoUSBXConv::kCaption), 493, 136);
  const QFont label_font = DialogFont(kFont10pt);

  // Both sentences end at the same x, the serials start at the same x: each line reads as
  // one sentence.
  auto make_label = [&](const QString& text, int left, int top, int width, Qt::Alignment align) {
    auto* label = new QLabel(text, this);
    label->setFont(label_font);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(align | Qt::AlignTop);
    label->setGeometry(left, top, width, 16);
    return label;
  };
  Label1 = make_label(QString::fromLatin1(TVCPtoUSBXConv::kLabel1), 37, 24, kSentenceEnd - 37,
                      Qt::AlignRight);
  Label2 = make_label(QString::fromLatin1(TVCPtoUSBXConv::kLabel2), 22, 56, kSentenceEnd - 22,
                      Qt::AlignRight);
  VCPSerialText = make_label(QStringLiteral("VCPSerialText"), kSerialLeft, 24, 0, Qt::AlignLeft);
  USBXSerialText = make_label(QStringLiteral("USBXSerialText"), kSerialLeft, 56, 0, Qt::AlignLeft);
  VCPSerialText->adjustSize();
  USBXSerialText->adjustSize();

  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setGeometry(208, 96, 75, 25);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
}

void TVCPtoUSBXConvDlg::ShowModal(TVCPtoUSBXConv& dialog) {
  logic_ = &dialog;
  ++times_shown_;
  VCPSerialText->setText(dialog.VCPSerialText());
  USBXSerialText->setText(dialog.USBXSerialText());
  VCPSerialText->adjustSize();
  USBXSerialText->adjustSize();
  CentreOnScreen(*this);
  OKButton->setFocus(Qt::OtherFocusReason);
  exec();
}

void TVCPtoUSBXConvDlg::ShowProblem(TVCPtoUSBXConv&, const QString& line) {
  auto* box = new QMessageBox(QMessageBox::Warning, QString::fromLatin1(TVCPtoUSBXConv::kCaption),
                              line, QMessageBox::Ok, this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  box->show();
}

void TVCPtoUSBXConvDlg::OKButtonClick() {
  if (logic_) logic_->OKButtonClick();
  accept();
}

void TVCPtoUSBXConvDlg::done(int result) {
  if (logic_) logic_->FormClose();
  QDialog::done(result);
}

}  // namespace dova::ui
