#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <atomic>
#include <cstring>
#include <string>

#include "platform/logfile/log_file_stream.h"

namespace dova {

namespace {

std::atomic<int> g_injected_write_failures{0};

std::string ErrorText(const char* what, const QString& path, int err) {
  return std::string(what) + " " + path.toStdString() + ": " + std::strerror(err);
}

}  // namespace

LogFileStream::~LogFileStream() {
  if (fd_ >= 0) ::close(fd_);  // closing the descriptor also drops the lock
}

std::unique_ptr<LogFileStream> LogFileStream::OpenExisting(const QString& path) {
  const QByteArray native = QFile::encodeName(path);
  if (native.isEmpty()) return nullptr;
  const int fd = ::open(native.constData(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0 ||
      ::lseek(fd, 0, SEEK_END) < 0) {
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<LogFileStream>(new LogFileStream(fd, path));
}

bool LogFileStream::CreateIfMissing(const QString& path) {
  const QByteArray native = QFile::encodeName(path);
  if (native.isEmpty()) return false;
  // No O_TRUNC: a file that exists (perhaps held by another writer) must keep its lines.
  const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

std::int64_t LogFileStream::Position() const {
  const off_t pos = ::lseek(fd_, 0, SEEK_CUR);
  return pos < 0 ? 0 : static_cast<std::int64_t>(pos);
}

void LogFileStream::Write(const QByteArray& bytes) {
  int pending = g_injected_write_failures.load();
  while (pending > 0) {
    if (g_injected_write_failures.compare_exchange_weak(pending, pending - 1)) {
      throw LogFileExcept(ErrorText("Cannot write to", path_, ENOSPC));
    }
  }
  const auto size = static_cast<std::size_t>(bytes.size());
  ssize_t written;
  do {
    written = ::write(fd_, bytes.constData(), size);
  } while (written < 0 && errno == EINTR);
  if (written < 0) throw LogFileExcept(ErrorText("Cannot write to", path_, errno));
  if (static_cast<std::size_t>(written) != size) {
    throw LogFileExcept(ErrorText("Cannot write to", path_, ENOSPC));
  }
}

void LogFileStream::Clear() {
  if (::lseek(fd_, 0, SEEK_SET) < 0) throw LogFileExcept(ErrorText("Cannot seek in", path_, errno));
  if (::ftruncate(fd_, 0) != 0) throw LogFileExcept(ErrorText("Cannot empty", path_, errno));
}

void LogFileStream::InjectWriteFailures(int count) {
  g_injected_write_failures.store(count);
}

}  // namespace dova
