#include "app/folder_logic.h"

#include <QDir>
#include <QFileInfo>

namespace dova {

QString NewFolderPath(const QString& parent, const QString& name) {
  if (parent.endsWith(u'/')) return parent + name;
  return parent + u'/' + name;
}

bool IsNewFolderName(const QString& name) {
  if (name.isEmpty() || name == u"." || name == u"..") return false;
  return !name.contains(u'/') && !name.contains(QChar(u'\0'));
}

QUrl FolderUrl(const QString& path) {
  return QUrl::fromLocalFile(path);
}

void SetWorkingFolder(const QString& path) {
  if (!path.isEmpty() && QDir::setCurrent(path)) return;
  // Say why in the words a user knows: the folder is gone, or may not be entered.
  const QFileInfo info(path);
  QString why;
  if (path.isEmpty())
    why = QStringLiteral("no folder is selected");
  else if (!info.exists())
    why = QStringLiteral("it does not exist");
  else if (!info.isDir())
    why = QStringLiteral("it is not a folder");
  else
    why = QStringLiteral("access is denied");
  throw TFolderExcept(
      QStringLiteral("I/O error: cannot open folder %1: %2").arg(path, why).toStdString());
}

}  // namespace dova
