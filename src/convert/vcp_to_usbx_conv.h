#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "convert/vcp_dova_to_usbx.h"

namespace dova {

class TVCPtoUSBXConv;

// Shows the conversion report as a modal dialog. ShowModal returns once the dialog has
// closed; on the way the window calls OKButtonClick when OK is pressed and FormClose when
// it closes by any means, as the user's actions come. Timers keep running meanwhile.
class IConverterReport {
 public:
  virtual ~IConverterReport() = default;
  virtual void ShowModal(TVCPtoUSBXConv& dialog) = 0;
  // A bridge that could not be converted, as one line (failed step, given up, refused,
  // permission denied). Does not wait for the user.
  virtual void ShowProblem(TVCPtoUSBXConv& dialog, const QString& line) = 0;
};

// The converter report dialog's logic: it carries the driver converter, tells the user of
// each conversion and stops the converter after it has found nothing to convert twenty
// times.
class TVCPtoUSBXConv {
 public:
  static constexpr const char* kCaption = "DOVA-300 VCP to USBXpress Converter";
  static constexpr const char* kLabel1 = "DOVA-300 on VCP port with USB serial No: ";
  static constexpr const char* kLabel2 = "was converted to USBXpress with USB serial No: ";
  static constexpr int kDoneLimit = 20;
  static constexpr int mrOk = 1;

  // Creates the converter (SearchInterval 100) and starts it. Without a worker the
  // reprogramming runs inline.
  TVCPtoUSBXConv(Scheduler& scheduler, std::unique_ptr<TVaCustomComm> comm, SerialPortMap& ports,
                 manufacturing::CP210xLibrary& library, IConverterReport& report,
                 std::unique_ptr<TConverterWorker> worker = nullptr);
  ~TVCPtoUSBXConv();

  void FormCreate();
  void VCPtoUSBXConverted(TVCPDovaToUSBX& Sender, const QString& vcpserial,
                          const QString& usbxserial);
  void OKButtonClick();
  void FormClose();
  void VCPtoUSBXDone(TVCPDovaToUSBX& Sender);

  std::int32_t DoneCount() const { return done_count_; }
  const QString& VCPSerialText() const { return vcp_serial_text_; }
  const QString& USBXSerialText() const { return usbx_serial_text_; }
  // Part of the bridge shown (for the console line), e.g. "CP2102".
  const QString& PartNumberText() const { return part_number_text_; }
  int ModalResult() const { return modal_result_; }
  bool Showing() const { return showing_; }
  TVCPDovaToUSBX& VCPtoUSBX() { return *converter_; }

 private:
  IConverterReport& report_;
  std::unique_ptr<TVCPDovaToUSBX> converter_;
  std::int32_t done_count_ = 0;
  QString vcp_serial_text_;
  QString usbx_serial_text_;
  QString part_number_text_;
  int modal_result_ = 0;
  bool showing_ = false;
};

// The console line of one conversion: old serial, new serial and the bridge's part.
QString FormatConversionLine(const QString& vcpserial, const QString& usbxserial,
                             const QString& part);

}  // namespace dova
