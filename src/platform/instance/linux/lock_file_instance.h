#pragma once

#include <string>

#include "platform/instance/single_instance.h"

namespace dova {

// An exclusive advisory lock (flock) on "<folder>/<name>.lock". The kernel drops the lock
// with the last descriptor, so a copy that crashed never blocks the next start. The file
// itself stays behind; its presence means nothing.
class LockFileInstance : public SingleInstance {
 public:
  LockFileInstance(std::string folder, const std::string& name);
  ~LockFileInstance() override;
  LockFileInstance(const LockFileInstance&) = delete;
  LockFileInstance& operator=(const LockFileInstance&) = delete;

  TAcquireResult Acquire() override;
  std::string Problem() const override;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::string problem_;
  int fd_ = -1;
};

}  // namespace dova
