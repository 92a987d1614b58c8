#include "app/error_box.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

namespace dova {

QString ErrorBoxText(const QString& message) {
  if (!message.isEmpty() && message.back() > QChar(u'.')) return message + u'.';
  return message;
}

QString ProgramTitle() {
  const QString path = QCoreApplication::applicationFilePath();
  if (path.isEmpty()) return QStringLiteral("dova300-logger");
  return QFileInfo(path).completeBaseName();
}

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

}  // namespace dova
