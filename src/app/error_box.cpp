#include "app/error_box.h"

#include <QCoreApplication>
#include <QFileInfo>

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

}  // namespace dova
