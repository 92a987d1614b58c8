#pragma once

#include <QString>
#include <QUrl>

#include "platform/exception.h"

namespace dova {

// Raised when the folder clicked in the folder dialog cannot be made the working folder.
class TFolderExcept : public Exception {
 public:
  using Exception::Exception;
};

// The path of a new folder one level under `parent`: parent + "/" + name. With no parent
// (nothing selected in the tree) the folder goes under the file-system root. A parent that
// already ends with a separator (the root itself) is not given a second one.
QString NewFolderPath(const QString& parent, const QString& name);

// True when `name` can name one new folder level: not empty, not "." or "..", and without
// a path separator or a NUL (those would reach another folder than the one selected).
bool IsNewFolderName(const QString& name);

// The address that opens a folder in the desktop's file manager. Every character of the
// path stays part of it: "#" or "%" in a folder name is escaped, not read as a fragment or
// an escape.
QUrl FolderUrl(const QString& path);

// Makes `path` the program's working folder; raises TFolderExcept when it cannot.
void SetWorkingFolder(const QString& path);

}  // namespace dova
