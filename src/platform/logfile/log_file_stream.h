#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>

#include "platform/exception.h"
#include "platform/logfile/log_files.h"

namespace dova {

// One log file held open for the whole link with "read-only sharing": other programs may
// read it while we hold it, nobody else may write it. On Linux this is an exclusive
// advisory lock (flock) held while the file is open, so a second writer that asks for the
// same lock (another tile logging under the same name and serial, or another program that
// locks its files) is refused. Every Write is a single write() call, nothing is buffered.
class LogFileStream {
 public:
  ~LogFileStream();
  LogFileStream(const LogFileStream&) = delete;
  LogFileStream& operator=(const LogFileStream&) = delete;

  // Opens an existing file for reading and writing, takes the lock and moves to its end.
  // Null when the file does not exist, cannot be opened or is locked by someone else.
  static std::unique_ptr<LogFileStream> OpenExisting(const QString& path);
  // Creates the file when it does not exist; an existing file is left untouched (never
  // emptied, even when someone else holds it). True when the file exists afterwards.
  static bool CreateIfMissing(const QString& path);

  const QString& Path() const { return path_; }
  // Current position (right after opening: the file's size).
  std::int64_t Position() const;
  // Writes all bytes at the current position in one call; throws LogFileExcept when the
  // call fails or writes less.
  void Write(const QByteArray& bytes);
  // Position := 0 and size := 0 (clearing the log).
  void Clear();

  // Test hook: the next `count` Write calls of any log file fail as a full disk would.
  static void InjectWriteFailures(int count);

 private:
  LogFileStream(int fd, QString path) : fd_(fd), path_(std::move(path)) {}
  int fd_;
  QString path_;
};

}  // namespace dova
