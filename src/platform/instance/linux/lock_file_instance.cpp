#include "platform/instance/linux/lock_file_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace dova {

LockFileInstance::LockFileInstance(std::string folder, const std::string& name) {
  if (folder.empty()) {
    problem_ = "no runtime folder for the single-instance lock";
    return;
  }
  if (folder.back() != '/') folder += '/';
  path_ = folder + name + ".lock";
}

LockFileInstance::~LockFileInstance() {
  if (fd_ >= 0) ::close(fd_);
}

std::string LockFileInstance::Problem() const {
  // A folder name may hold a line break; the problem is told on one line.
  std::string line = problem_;
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  return line;
}

SingleInstance::TAcquireResult LockFileInstance::Acquire() {
  if (fd_ >= 0) return TAcquireResult::Acquired;
  if (path_.empty()) return TAcquireResult::Unavailable;
  const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    problem_ = "cannot open " + path_ + ": " + std::strerror(errno);
    return TAcquireResult::Unavailable;
  }
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    const int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK) return TAcquireResult::HeldElsewhere;
    problem_ = "cannot lock " + path_ + ": " + std::strerror(err);
    return TAcquireResult::Unavailable;
  }
  fd_ = fd;
  return TAcquireResult::Acquired;
}

}  // namespace dova
