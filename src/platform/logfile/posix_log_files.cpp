#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/logfile/log_files.h"

namespace dova {

namespace {

std::string ErrorText(const char* what, const QString& path, int err) {
  return std::string(what) + " " + path.toStdString() + ": " + std::strerror(err);
}

// Read-only sharing is an exclusive advisory lock (flock) held while the descriptor is
// open: a second writer that asks for the same lock (another tile logging under the same
// name and serial, or another program that locks its files) is refused. Readers need no
// lock and are welcome.
class PosixLogFile final : public LogFile {
 public:
  PosixLogFile(int fd, QString path, const struct stat& st)
      : fd_(fd), path_(std::move(path)), device_(st.st_dev), inode_(st.st_ino) {}
  ~PosixLogFile() override { ::close(fd_); }  // closing also drops the lock

  const QString& Path() const override { return path_; }

  std::int64_t Position() const override {
    const off_t pos = ::lseek(fd_, 0, SEEK_CUR);
    return pos < 0 ? 0 : static_cast<std::int64_t>(pos);
  }

  void Write(const QByteArray& bytes) override {
    if (bytes.isEmpty()) return;
    const off_t start = ::lseek(fd_, 0, SEEK_CUR);
    struct stat before {};
    if (start < 0 || ::fstat(fd_, &before) != 0) {
      throw LogFileExcept(ErrorText("Cannot write to", path_, errno));
    }
    const char* p = bytes.constData();
    auto left = static_cast<std::size_t>(bytes.size());
    while (left > 0) {
      const ssize_t written = ::write(fd_, p, left);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        // A full disk or a file size limit often takes the first part of a write and
        // refuses the rest. The part that went in is cut off again, so the next line
        // does not continue half a line.
        const int err = written < 0 ? errno : ENOSPC;
        (void)::ftruncate(fd_, before.st_size);
        (void)::lseek(fd_, start, SEEK_SET);
        throw LogFileExcept(ErrorText("Cannot write to", path_, err));
      }
      p += written;
      left -= static_cast<std::size_t>(written);
    }
  }

  void WriteAt(std::int64_t offset, const QByteArray& bytes) override {
    const char* p = bytes.constData();
    auto left = static_cast<std::size_t>(bytes.size());
    auto at = static_cast<off_t>(offset);
    while (left > 0) {
      const ssize_t written = ::pwrite(fd_, p, left, at);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        throw LogFileExcept(ErrorText("Cannot write to", path_, written < 0 ? errno : ENOSPC));
      }
      p += written;
      at += written;
      left -= static_cast<std::size_t>(written);
    }
  }

  void Sync() override {
    // Never asked again after a failure: the caller writes the bytes again first.
    int rc;
    do {
      rc = ::fdatasync(fd_);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) throw LogFileExcept(ErrorText("Cannot save", path_, errno));
  }

  QByteArray Tail(int max) const override {
    struct stat st {};
    if (max <= 0 || ::fstat(fd_, &st) != 0 || st.st_size <= 0) return QByteArray();
    const off_t n = std::min<off_t>(max, st.st_size);
    QByteArray out(static_cast<qsizetype>(n), '\0');
    const ssize_t got = ::pread(fd_, out.data(), static_cast<std::size_t>(n), st.st_size - n);
    if (got < 0) return QByteArray();
    // A file that shrank meanwhile: the bytes read are its end.
    out.truncate(static_cast<qsizetype>(got));
    return out;
  }

  void Unlock() override { (void)::flock(fd_, LOCK_UN); }

  void Clear() override {
    if (::lseek(fd_, 0, SEEK_SET) < 0) {
      throw LogFileExcept(ErrorText("Cannot seek in", path_, errno));
    }
    if (::ftruncate(fd_, 0) != 0) throw LogFileExcept(ErrorText("Cannot empty", path_, errno));
  }

  bool StillThere() const override {
    struct stat held {};
    if (::fstat(fd_, &held) == 0 && held.st_nlink == 0) return false;  // unlinked
    const QByteArray native = QFile::encodeName(path_);
    struct stat named {};
    if (::stat(native.constData(), &named) != 0) {
      // Gone, or its folder is; any other failure says nothing about the file.
      return errno != ENOENT && errno != ENOTDIR;
    }
    // Another file under the same name: ours was renamed away or removed.
    return named.st_dev == device_ && named.st_ino == inode_;
  }

 private:
  int fd_;
  QString path_;
  dev_t device_;
  ino_t inode_;
};

class PosixLogFiles final : public LogFiles {
 public:
  std::unique_ptr<LogFile> OpenExisting(const QString& path) override {
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
    return std::make_unique<PosixLogFile>(fd, path, st);
  }

  bool CreateIfMissing(const QString& path) override {
    const QByteArray native = QFile::encodeName(path);
    if (native.isEmpty()) return false;
    // No O_TRUNC: a file that exists (perhaps held by another writer) must keep its lines.
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    ::close(fd);
    return true;
  }

  bool MakeFolder(const QString& path) override {
    const QByteArray native = QFile::encodeName(path);
    if (native.isEmpty()) return false;
    if (::mkdir(native.constData(), 0777) == 0) return true;
    if (errno != EEXIST) return false;
    struct stat st {};
    return ::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  bool SyncFolder(const QString& path) override {
    const QByteArray native = QFile::encodeName(path.isEmpty() ? QStringLiteral(".") : path);
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    int rc;
    do {
      rc = ::fsync(fd);
    } while (rc != 0 && errno == EINTR);
    ::close(fd);
    return rc == 0;
  }
};

}  // namespace

LogFiles& SystemLogFiles() {
  static PosixLogFiles files;
  return files;
}

}  // namespace dova
