#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/logfile/log_files.h"

namespace dova {

// Log files in memory, for tests: files are byte arrays by path, folders a set of paths
// ("/" separated; the root and the current folder "" always exist). A file open here is
// locked, so a second open of it is refused. Faults a data folder meets in a lab can be
// injected: failing writes, a disk that fills up, files and folders removed while open,
// files that another program holds or that nobody may write, syncs that fail or take long.
// The store also keeps what a power cut would leave of each file (what the last good syncs
// carried to the disk), failing syncs dropping data as the kernel does. Safe to use from
// two threads (the program's and its sync thread).
// Open files share the store with the object that made them and may outlive it.
class MemoryLogFiles : public LogFiles {
 public:
  // Why an open of a path is refused.
  enum class Refusal {
    None,
    // Another program holds the file with its own lock: opening for writing is refused,
    // creating finds the file there and leaves it alone.
    Held,
    // Immutable or read-only for us: opening and creating are refused.
    Unwritable,
  };

  MemoryLogFiles();
  ~MemoryLogFiles() override;

  std::unique_ptr<LogFile> OpenExisting(const QString& path) override;
  bool CreateIfMissing(const QString& path) override;
  // One level, as on the real file system: the parent must exist.
  bool MakeFolder(const QString& path) override;
  // Makes the names of the files in that folder survive a power cut.
  bool SyncFolder(const QString& path) override;

  // --- the test's side

  // Puts a file with these bytes there (replacing what an existing one holds, open or not),
  // making its folders as needed. Ignores the capacity.
  void Put(const QString& path, const QByteArray& bytes);
  // Makes a folder and its parents.
  void AddFolder(const QString& path);
  // The bytes of a file; nothing when there is no file at that path.
  std::optional<QByteArray> Contents(const QString& path) const;
  bool FileExists(const QString& path) const;
  bool FolderExists(const QString& path) const;
  // True while a LogFile of this store holds the file at that path.
  bool IsOpen(const QString& path) const;
  // Number of LogFile objects alive.
  int OpenCount() const;

  // Removes a file, or a folder with all it holds. Files open at the time stay open and
  // take writes, which nobody will see; they count as no longer there. False when there was
  // nothing to remove.
  bool Remove(const QString& path);
  // Moves a file to another name (replacing a file there). False when there is no such file
  // or the new name's folder is missing.
  bool Rename(const QString& from, const QString& to);

  // The next `count` writes of at least one byte, to any file, fail whole.
  void FailWrites(int count);
  // Total bytes the files may hold; none means no limit. A write that does not fit fails
  // whole, and so does every later one until space is freed (a file emptied, a closed file
  // removed, a removed file closed) or the capacity raised.
  void SetCapacity(std::optional<std::int64_t> bytes);
  // Bytes held: every file there, and removed files that are still open.
  std::int64_t UsedBytes() const;
  // Refuses (or, with Refusal::None, allows again) opens of the file at that path.
  void RefuseOpens(const QString& path, Refusal how);

  // The next `count` syncs of any file fail. As on Linux, the data the failed sync was to
  // carry is marked clean and never reaches the disk unless it is written again, so a
  // later sync that succeeds does not bring it back.
  void FailSyncs(int count);
  // The next `count` folder syncs fail.
  void FailFolderSyncs(int count);
  // Called by every file sync that succeeds, after the disk took the data and before the
  // sync returns: a slow disk, during which the program goes on writing.
  void SetSyncHook(std::function<void()> hook);
  // What a power cut leaves of a file: nothing when its name never reached the disk
  // (created, and its folder not synced since), otherwise the bytes that the syncs so far
  // carried to the disk (NULs where the size reached the disk and the data did not).
  std::optional<QByteArray> DurableContents(const QString& path) const;
  // Good syncs of the folder, and of files, so far.
  int FolderSyncs(const QString& path) const;
  int Syncs() const;

  struct Store;

 private:
  std::shared_ptr<Store> store_;
};

}  // namespace dova
