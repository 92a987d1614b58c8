#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace dova::testing {

// Points the user's runtime folder (XDG_RUNTIME_DIR) somewhere for the life of the object
// and puts back what was there.
class ScopedRuntimeFolder {
 public:
  explicit ScopedRuntimeFolder(const QString& folder)
      : was_set_(qEnvironmentVariableIsSet(kName)), saved_(qgetenv(kName)) {
    Point(folder);
  }
  ~ScopedRuntimeFolder() {
    if (was_set_)
      qputenv(kName, saved_);
    else
      qunsetenv(kName);
  }
  ScopedRuntimeFolder(const ScopedRuntimeFolder&) = delete;
  ScopedRuntimeFolder& operator=(const ScopedRuntimeFolder&) = delete;
  void Point(const QString& folder) { qputenv(kName, folder.toUtf8()); }

 private:
  static constexpr const char* kName = "XDG_RUNTIME_DIR";
  bool was_set_;
  QByteArray saved_;
};

// A temporary folder holding a plain file, "file": a folder path under it is one that no
// user, root included, can write into.
struct FolderWithAFile {
  QTemporaryDir dir;
  QString file = dir.path() + "/file";
  FolderWithAFile() {
    QFile made(file);
    if (made.open(QIODevice::WriteOnly)) made.close();
  }
  bool Valid() const { return dir.isValid() && QFile::exists(file); }
};

}  // namespace dova::testing
