#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/exception.h"

namespace dova {

// Separator between a folder and a file name in the paths the program builds.
#ifdef _WIN32
inline constexpr char16_t kPathDelimiter = u'\\';
#else
inline constexpr char16_t kPathDelimiter = u'/';
#endif

// Printable characters that this platform's file systems refuse in a file name. The ASCII
// double quote is the only one a user can type into the name dialog, so it stays wherever
// the file system takes it.
#ifdef _WIN32
inline constexpr std::u16string_view kRefusedFileNameChars = u"\\/:*?\"<>|";
#else
inline constexpr std::u16string_view kRefusedFileNameChars = u"/";
#endif

// Raised when a log file cannot be written, positioned or cut.
class LogFileExcept : public Exception {
 public:
  using Exception::Exception;
};

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
