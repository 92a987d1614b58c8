#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

#include "platform/exception.h"
#include "platform/logfile/file_names.h"

namespace dova {

// Raised when a log file cannot be written, positioned or cut.
class LogFileExcept : public Exception {
 public:
  using Exception::Exception;
};

// One open log file, held with "read-only sharing" for as long as the object lives: other
// programs may read it, nobody else may write it (a second open through LogFiles is
// refused). Nothing is buffered in the program: what Write took is in the file (the
// system's cache of it) when it returns; Sync brings it onto the disk.
//
// Write, WriteAt and Clear are called by one thread at a time. Sync may run on another
// thread while they do: the descriptor is shared, nothing else is.
class LogFile {
 public:
  virtual ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  virtual const QString& Path() const = 0;
  // Current position (right after opening: the file's size).
  virtual std::int64_t Position() const = 0;
  // Writes all bytes or none: on an error or a short write the file is cut back to where it
  // was and LogFileExcept is thrown. So a line is in the file whole or not at all.
  virtual void Write(const QByteArray& bytes) = 0;
  // Writes bytes at `offset` without moving the position: lines written again over
  // themselves after a failed sync, so that the next sync carries them to the disk.
  virtual void WriteAt(std::int64_t offset, const QByteArray& bytes) = 0;
  // Position := 0 and size := 0 (clearing the log).
  virtual void Clear() = 0;
  // Brings what was written onto the disk (fdatasync). Throws LogFileExcept when the disk
  // did not take it: the system may already have dropped the data it could not write, so
  // a later Sync that succeeds proves nothing about the bytes written before this one.
  virtual void Sync() = 0;
  // The last `max` bytes of the file (fewer when it is shorter).
  virtual QByteArray Tail(int max) const = 0;
  // Gives up the lock while the file stays open for a last Sync: nothing more is written
  // through this object, so the next writer need not wait for the disk.
  virtual void Unlock() = 0;
  // False once the file was removed or renamed away (or its folder vanished) while open:
  // writes then go into a file nobody will find. When the path cannot be looked at for
  // another reason (no permission), the file counts as still there.
  virtual bool StillThere() const = 0;

 protected:
  LogFile() = default;
};

// Where log files are opened: the real file system, or memory in tests.
class LogFiles {
 public:
  virtual ~LogFiles();
  LogFiles(const LogFiles&) = delete;
  LogFiles& operator=(const LogFiles&) = delete;

  // Opens an existing file for reading and writing, takes the exclusive lock and moves to
  // its end. Null when the file is missing, cannot be opened, is a folder or is held by
  // another writer.
  virtual std::unique_ptr<LogFile> OpenExisting(const QString& path) = 0;
  // Creates the file when it does not exist; an existing file is left untouched (never
  // emptied, even when someone else holds it). True when the file exists afterwards and
  // could be opened for writing.
  virtual bool CreateIfMissing(const QString& path) = 0;
  // Creates the folder when it is missing, one level only: its parent must exist. A data
  // folder whose parent went away too (a removed drive, a moved tree) is not made again
  // somewhere the user does not look. True when the folder exists afterwards.
  virtual bool MakeFolder(const QString& path) = 0;
  // Brings the folder's list of names onto the disk (fsync of the folder), so that a file
  // made in it survives a power cut. False when the disk did not take it. May be called
  // from another thread than the one that opens files.
  virtual bool SyncFolder(const QString& path) = 0;

 protected:
  LogFiles() = default;
};

// The real file system of this platform.
LogFiles& SystemLogFiles();

}  // namespace dova
