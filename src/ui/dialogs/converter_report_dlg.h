#pragma once

#include <QDialog>

#include "convert/vcp_to_usbx_conv.h"

class QLabel;
class QPushButton;

namespace dova::ui {

// The converter's report on screen: "DOVA-300 on VCP port with USB serial No: <old>" over
// "was converted to USBXpress with USB serial No: <new>", with OK. Shown modally for each
// conversion while the converter waits; OK and the close box both let it go on.
class TVCPtoUSBXConvDlg : public QDialog, public IConverterReport {
 public:
  static constexpr int kSentenceEnd = 310;
  static constexpr int kSerialLeft = 328;

  TVCPtoUSBXConvDlg();

  // From the converter's conversion event: the serials, then the dialog modally until the
  // user closes it. The event loop runs meanwhile.
  void ShowModal(TVCPtoUSBXConv& dialog) override;
  // A bridge that could not be converted: a warning box that does not block.
  void ShowProblem(TVCPtoUSBXConv& dialog, const QString& line) override;
  // How many reports have been shown.
  int TimesShown() const { return times_shown_; }

  // Ends the dialog by any means (OK, close box, Esc, the main window closing): the
  // converter stops until the conversion event lets it go on.
  void done(int result) override;

  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* VCPSerialText = nullptr;
  QLabel* USBXSerialText = nullptr;
  QPushButton* OKButton = nullptr;

 private:
  void OKButtonClick();

  TVCPtoUSBXConv* logic_ = nullptr;
  int times_shown_ = 0;
};

}  // namespace dova::ui
