#include "console/console_reports.h"

#include <QByteArray>
#include <cstdio>

namespace dova {

ConsoleErrorReporter::ConsoleErrorReporter(QString title, std::function<void(const QString&)> sink)
    : title_(std::move(title)), sink_(std::move(sink)) {}

void ConsoleErrorReporter::ReportError(const std::string& message) {
  const QString line =
      title_ + QStringLiteral(": ") + ErrorBoxText(QString::fromStdString(message));
  if (sink_) {
    sink_(line);
    return;
  }
  const QByteArray bytes = line.toLocal8Bit() + '\n';
  std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
  std::fflush(stderr);
}

void ConsoleConverterReport::ShowModal(TVCPtoUSBXConv& dialog) {
  write_(FormatConversionLine(dialog.VCPSerialText(), dialog.USBXSerialText(),
                              dialog.PartNumberText()));
  dialog.OKButtonClick();
  dialog.FormClose();
}

void ConsoleConverterReport::ShowProblem(TVCPtoUSBXConv&, const QString& line) {
  write_(line);
}

}  // namespace dova
