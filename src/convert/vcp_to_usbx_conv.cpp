#include "convert/vcp_to_usbx_conv.h"

namespace dova {

TVCPtoUSBXConv::TVCPtoUSBXConv(Scheduler& scheduler, std::unique_ptr<TVaCustomComm> comm,
                               SerialPortMap& ports, manufacturing::CP210xLibrary& library,
                               IConverterReport& report, std::unique_ptr<TConverterWorker> worker)
    : report_(report),
      converter_(std::make_unique<TVCPDovaToUSBX>(scheduler, std::move(comm), ports, library,
                                                  std::move(worker))) {
  converter_->SetSearchInterval(100);
  converter_->SetOnConverted(
      [this](TVCPDovaToUSBX& sender, const QString& vcp, const QString& usbx) {
        VCPtoUSBXConverted(sender, vcp, usbx);
      });
  converter_->SetOnDone([this](TVCPDovaToUSBX& sender) { VCPtoUSBXDone(sender); });
  converter_->SetOnProblem(
      [this](TVCPDovaToUSBX&, const QString& line) { report_.ShowProblem(*this, line); });
  converter_->Loaded();
  FormCreate();
}

TVCPtoUSBXConv::~TVCPtoUSBXConv() = default;

void TVCPtoUSBXConv::FormCreate() {
  done_count_ = 0;
}

void TVCPtoUSBXConv::VCPtoUSBXConverted(TVCPDovaToUSBX& Sender, const QString& vcpserial,
                                        const QString& usbxserial) {
  vcp_serial_text_ = vcpserial;
  usbx_serial_text_ = usbxserial;
  part_number_text_ = QString::fromLatin1(manufacturing::PartNumberName(Sender.LastPartNumber()));
  converter_->SetSearchEnabled(false);
  modal_result_ = 0;
  showing_ = true;
  report_.ShowModal(*this);
  showing_ = false;
  converter_->SetSearchEnabled(true);
}

void TVCPtoUSBXConv::OKButtonClick() {
  modal_result_ = mrOk;
  converter_->SetSearchEnabled(true);
}

void TVCPtoUSBXConv::FormClose() {
  converter_->SetSearchEnabled(false);
}

void TVCPtoUSBXConv::VCPtoUSBXDone(TVCPDovaToUSBX&) {
  ++done_count_;
  if (done_count_ == kDoneLimit) converter_->SetSearchEnabled(false);
}

QString FormatConversionLine(const QString& vcpserial, const QString& usbxserial,
                             const QString& part) {
  return QStringLiteral("Converted to USBXpress: USB serial No %1 -> %2 (%3)")
      .arg(vcpserial, usbxserial, part);
}

}  // namespace dova
