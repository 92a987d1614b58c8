#include <QStandardPaths>
#include <cstdlib>

#include "platform/instance/linux/lock_file_instance.h"

namespace dova {

std::unique_ptr<SingleInstance> CreateSingleInstance(const std::string& name) {
  // XDG_RUNTIME_DIR is private to the user and cleared at log-out: the right place for a
  // marker that lives as long as the process. Qt falls back to a folder of its own when the
  // variable is missing.
  std::string folder;
  if (const char* env = std::getenv("XDG_RUNTIME_DIR"); env && *env) {
    folder = env;
  } else {
    folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation).toStdString();
  }
  return std::make_unique<LockFileInstance>(folder, name);
}

}  // namespace dova
