#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/logfile/durable_log.h"
#include "platform/logfile/log_files.h"
#include "platform/logfile/sim/memory_log_files.h"
#include "platform/logfile/sync_queue.h"
#include "platform/virtual_scheduler.h"

namespace dova {
namespace {

// A place with log files, seen from outside the program: what a user or another program
// does to the folder while we log.
struct FileBench {
  virtual ~FileBench() = default;
  virtual LogFiles& Files() = 0;
  // A folder that exists.
  virtual QString Folder() const = 0;
  virtual void Put(const QString& path, const QByteArray& bytes) = 0;
  // "<missing>" when there is no such file.
  virtual QByteArray Contents(const QString& path) const = 0;
  // A file, or a folder with everything in it.
  virtual void Remove(const QString& path) = 0;
  virtual void Rename(const QString& from, const QString& to) = 0;
};

struct DiskBench : FileBench {
  QTemporaryDir dir;
  LogFiles& Files() override { return SystemLogFiles(); }
  QString Folder() const override { return dir.path(); }
  void Put(const QString& path, const QByteArray& bytes) override {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
  }
  QByteArray Contents(const QString& path) const override {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
  }
  void Remove(const QString& path) override {
    if (QFileInfo(path).isDir()) {
      ASSERT_TRUE(QDir(path).removeRecursively());
    } else {
      ASSERT_TRUE(QFile::remove(path));
    }
  }
  void Rename(const QString& from, const QString& to) override {
    ASSERT_EQ(std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()),
              0);
  }
};

struct MemoryBench : FileBench {
  MemoryLogFiles files;
  MemoryBench() { files.AddFolder(QStringLiteral("/home/lab/DOVA Data")); }
  LogFiles& Files() override { return files; }
  QString Folder() const override { return QStringLiteral("/home/lab/DOVA Data"); }
  void Put(const QString& path, const QByteArray& bytes) override { files.Put(path, bytes); }
  QByteArray Contents(const QString& path) const override {
    return files.Contents(path).value_or(QByteArray("<missing>"));
  }
  void Remove(const QString& path) override { ASSERT_TRUE(files.Remove(path)); }
  void Rename(const QString& from, const QString& to) override {
    ASSERT_TRUE(files.Rename(from, to));
  }
};

struct BenchKind {
  const char* name;
  std::function<std::unique_ptr<FileBench>()> make;
};

// Both file systems keep the same promises.
struct LogFilesTest : ::testing::TestWithParam<BenchKind> {
  std::unique_ptr<FileBench> bench = GetParam().make();
  LogFiles& files = bench->Files();
  QString Path(const char* name) const { return bench->Folder() + u'/' + QString::fromUtf8(name); }
};

TEST_P(LogFilesTest, OpensExistingFilesAtTheirEndAndAppends) {
  const QString path = Path("Lab1 1234.csv");
  EXPECT_EQ(files.OpenExisting(path), nullptr);  // not there yet
  bench->Put(path, "old\r");
  auto file = files.OpenExisting(path);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->Path(), path);
  EXPECT_EQ(file->Position(), 4);
  EXPECT_TRUE(file->StillThere());
  file->Write("new\r");
  EXPECT_EQ(file->Position(), 8);
  EXPECT_EQ(bench->Contents(path), QByteArray("old\rnew\r"));  // visible at once
  file->Write(QByteArray());                                   // nothing to write is no error
  EXPECT_EQ(bench->Contents(path), QByteArray("old\rnew\r"));
}

TEST_P(LogFilesTest, CreatingNeverEmptiesAnExistingFile) {
  const QString path = Path("b.csv");
  ASSERT_TRUE(files.CreateIfMissing(path));
  EXPECT_EQ(bench->Contents(path), QByteArray());
  bench->Put(path, "keep\r");
  auto holder = files.OpenExisting(path);
  ASSERT_NE(holder, nullptr);
  EXPECT_TRUE(files.CreateIfMissing(path));  // held by a writer: still never emptied
  EXPECT_EQ(bench->Contents(path), QByteArray("keep\r"));
  EXPECT_FALSE(files.CreateIfMissing(Path("no/such/folder/c.csv")));
  // A folder is no log file.
  EXPECT_EQ(files.OpenExisting(bench->Folder()), nullptr);
  EXPECT_FALSE(files.CreateIfMissing(bench->Folder()));
  EXPECT_EQ(files.OpenExisting(QString()), nullptr);
  EXPECT_FALSE(files.CreateIfMissing(QString()));
}

TEST_P(LogFilesTest, ASecondWriterIsRefusedWhileTheFirstHoldsTheFile) {
  const QString path = Path("c.csv");
  ASSERT_TRUE(files.CreateIfMissing(path));
  auto first = files.OpenExisting(path);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(files.OpenExisting(path), nullptr);
  first.reset();
  EXPECT_NE(files.OpenExisting(path), nullptr);
}

TEST_P(LogFilesTest, ClearEmptiesTheFileAndWritesStartAgainAtZero) {
  const QString path = Path("d.csv");
  bench->Put(path, "0123456789");
  auto file = files.OpenExisting(path);
  ASSERT_NE(file, nullptr);
  file->Clear();
  EXPECT_EQ(file->Position(), 0);
  EXPECT_EQ(bench->Contents(path), QByteArray());
  file->Write("x\r");
  EXPECT_EQ(bench->Contents(path), QByteArray("x\r"));
}

// Whatever takes the file away from under us, the open file notices; writes still go into
// the lost file without an error, which is why the question has to be asked.
TEST_P(LogFilesTest, AFileTakenAwayWhileOpenIsNoLongerThere) {
  struct Case {
    const char* what;
    std::function<void(FileBench&, const QString& folder, const QString& path)> take;
  };
  const Case cases[] = {
      {"removed", [](FileBench& b, const QString&, const QString& p) { b.Remove(p); }},
      {"renamed away",
       [](FileBench& b, const QString& f, const QString& p) { b.Rename(p, f + "/old.csv"); }},
      {"removed, and a new file under its name",
       [](FileBench& b, const QString&, const QString& p) {
         b.Remove(p);
         b.Put(p, "someone else's\r");
       }},
      {"replaced by a rename",
       [](FileBench& b, const QString& f, const QString& p) {
         b.Put(f + "/other.csv", "other\r");
         b.Rename(f + "/other.csv", p);
       }},
      {"its folder removed", [](FileBench& b, const QString& f, const QString&) { b.Remove(f); }},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const QString folder = Path("data") + QString::number(++n);
    ASSERT_TRUE(files.MakeFolder(folder));
    const QString path = folder + "/Lab1 1234.csv";
    ASSERT_TRUE(files.CreateIfMissing(path));
    auto file = files.OpenExisting(path);
    ASSERT_NE(file, nullptr);
    file->Write("Connected\r");
    EXPECT_TRUE(file->StillThere());
    c.take(*bench, folder, path);
    EXPECT_FALSE(file->StillThere());
    EXPECT_NO_THROW(file->Write("lost\r"));
  }
}

TEST_P(LogFilesTest, MakeFolderMakesOneLevel) {
  const QString folder = Path("data");
  EXPECT_TRUE(files.MakeFolder(folder));
  EXPECT_TRUE(files.MakeFolder(folder));  // there already
  EXPECT_TRUE(files.CreateIfMissing(folder + "/a.csv"));
  EXPECT_FALSE(files.MakeFolder(folder + "/a.csv"));  // a file is in the way
  EXPECT_FALSE(files.MakeFolder(Path("gone/data")));  // the parent is missing
  EXPECT_FALSE(files.CreateIfMissing(Path("gone/data/a.csv")));
  EXPECT_FALSE(files.MakeFolder(QString()));
  // The folder taken away and made again: a new file opens there.
  bench->Remove(folder);
  EXPECT_FALSE(files.CreateIfMissing(folder + "/a.csv"));
  EXPECT_TRUE(files.MakeFolder(folder));
  EXPECT_TRUE(files.CreateIfMissing(folder + "/a.csv"));
  EXPECT_NE(files.OpenExisting(folder + "/a.csv"), nullptr);
}

TEST_P(LogFilesTest, WritingAgainReadingTheEndSyncingAndLettingGo) {
  const QString path = Path("e.csv");
  bench->Put(path, "one\rtwo\r");
  auto file = files.OpenExisting(path);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->Tail(3), QByteArray("wo\r"));
  EXPECT_EQ(file->Tail(100), QByteArray("one\rtwo\r"));
  file->WriteAt(4, "TWO\r");  // over itself, the position stays
  EXPECT_EQ(file->Position(), 8);
  file->Write("three\r");
  EXPECT_EQ(bench->Contents(path), QByteArray("one\rTWO\rthree\r"));
  EXPECT_NO_THROW(file->Sync());
  EXPECT_TRUE(files.SyncFolder(bench->Folder()));
  EXPECT_FALSE(files.SyncFolder(Path("no such folder")));
  // Let go before the last sync: the next writer need not wait for the disk.
  file->Unlock();
  auto next = files.OpenExisting(path);
  ASSERT_NE(next, nullptr);
  EXPECT_NO_THROW(file->Sync());
  file.reset();
  EXPECT_EQ(files.OpenExisting(path), nullptr) << "the next writer still holds it";
}

// A file cut off at a power cut: its end is never touched, the first new line starts on a
// line of its own, and the log says so once.
TEST_P(LogFilesTest, ADamagedEndIsLeftAloneAndTheFirstLineStartsFresh) {
  const struct {
    const char* what;
    QByteArray old;
    bool damaged;
  } cases[] = {
      {"empty", QByteArray(), false},
      {"clean end", "8/03/2010, Connected\r", false},
      {"line feed end", "a line\n", false},
      {"torn last line", "8/03/2010, Connected\r10 De", true},
      {"NUL tail", QByteArray("8/03/2010, Connected\r") + QByteArray(38, '\0'), true},
      {"nothing but NULs", QByteArray(332, '\0'), true},
  };
  VirtualScheduler sched;
  SyncQueue queue(SyncQueue::Mode::Manual);
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(EndIsDamaged(c.old), c.damaged);
    const QString path = Path("damaged") + QString::number(++n) + ".csv";
    bench->Put(path, c.old);
    auto file = files.OpenExisting(path);
    ASSERT_NE(file, nullptr);
    DurableLog log(sched, queue, files, std::move(file));
    EXPECT_EQ(log.HadDamagedEnd(), c.damaged);
    log.Append("first\r");
    log.Append("second\r");
    const QByteArray fresh = c.damaged ? QByteArray("\r") : QByteArray();
    EXPECT_EQ(bench->Contents(path), c.old + fresh + "first\rsecond\r");
  }
  queue.RunAll();
}

INSTANTIATE_TEST_SUITE_P(
    Both, LogFilesTest,
    ::testing::Values(BenchKind{"Disk", [] { return std::make_unique<DiskBench>(); }},
                      BenchKind{"Memory", [] { return std::make_unique<MemoryBench>(); }}),
    [](const ::testing::TestParamInfo<BenchKind>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- the real file system

struct DiskLogFilesTest : ::testing::Test {
  DiskBench bench;
  LogFiles& files = SystemLogFiles();
  QString Path(const char* name) const { return bench.Folder() + u'/' + QString::fromUtf8(name); }
};

TEST_F(DiskLogFilesTest, ReadersAreWelcomeWhileWeHoldTheFile) {
  const QString path = Path("a.csv");
  bench.Put(path, "line\r");
  auto file = files.OpenExisting(path);
  ASSERT_NE(file, nullptr);
  QFile reader(path);
  ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
  EXPECT_EQ(reader.readAll(), QByteArray("line\r"));
}

// A file size limit makes write() take only the part that fits and refuse the rest, as a
// file system that fills up does. (With SIGXFSZ ignored the process is not killed.)
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    old_handler_ = ::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &old_);
    Set(bytes);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    ::signal(SIGXFSZ, old_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  void Set(rlim_t bytes) {
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  }

 private:
  rlimit old_{};
  void (*old_handler_)(int) = SIG_DFL;
};

TEST_F(DiskLogFilesTest, AShortWriteLeavesNothingOfTheLine) {
  const QString path = Path("Lab1 1234.csv");
  bench.Put(path, "head\r");
  auto file = files.OpenExisting(path);
  ASSERT_NE(file, nullptr);
  {
    FileSizeLimit limit(12);
    // 7 of the 11 bytes would fit: a short write, then a refusal.
    try {
      file->Write("0123456789\r");
      FAIL() << "the write should fail";
    } catch (const LogFileExcept& e) {
      EXPECT_NE(std::string(e.what()).find("Lab1 1234.csv"), std::string::npos);
    }
    EXPECT_EQ(bench.Contents(path), QByteArray("head\r"));
    EXPECT_EQ(file->Position(), 5);
    // Nothing fits at all: refused at once, the file as it was.
    limit.Set(5);
    EXPECT_THROW(file->Write("x\r"), LogFileExcept);
    EXPECT_EQ(bench.Contents(path), QByteArray("head\r"));
    // A line that fits goes in whole, right after the old end.
    limit.Set(12);
    file->Write("012345\r");
    EXPECT_EQ(bench.Contents(path), QByteArray("head\r012345\r"));
  }
  // Space again: the next line continues no half line.
  file->Write("tail\r");
  EXPECT_EQ(bench.Contents(path), QByteArray("head\r012345\rtail\r"));
}

TEST_F(DiskLogFilesTest, AFullDiskIsReported) {
  if (!QFile::exists(QStringLiteral("/dev/full"))) GTEST_SKIP() << "no /dev/full here";
  auto file = files.OpenExisting(QStringLiteral("/dev/full"));
  if (!file) GTEST_SKIP() << "/dev/full cannot be opened for writing here";
  try {
    file->Write("x\r");
    FAIL() << "the write should fail";
  } catch (const LogFileExcept& e) {
    EXPECT_NE(std::string(e.what()).find("/dev/full"), std::string::npos);
  }
}

// ---------------------------------------------------------------- faults in memory

struct MemoryLogFilesTest : ::testing::Test {
  MemoryLogFiles files;
  const QString folder = QStringLiteral("/data");
  const QString path = QStringLiteral("/data/Lab1 1234.csv");
  std::unique_ptr<LogFile> file;
  MemoryLogFilesTest() {
    files.AddFolder(folder);
    files.Put(path, "Connected\r");
    file = files.OpenExisting(path);
  }
  QByteArray Contents() const { return files.Contents(path).value_or("<missing>"); }
};

TEST_F(MemoryLogFilesTest, FailedWritesFailWholeAndLaterWritesAreTriedAgain) {
  ASSERT_NE(file, nullptr);
  files.Put(QStringLiteral("/data/other.csv"), QByteArray());
  auto other = files.OpenExisting(QStringLiteral("/data/other.csv"));
  ASSERT_NE(other, nullptr);
  files.FailWrites(2);  // any file's writes count
  EXPECT_THROW(file->Write("lost 1\r"), LogFileExcept);
  EXPECT_THROW(other->Write("lost 2\r"), LogFileExcept);
  file->Write("kept\r");
  EXPECT_EQ(Contents(), QByteArray("Connected\rkept\r"));
  EXPECT_EQ(file->Position(), 15);
}

TEST_F(MemoryLogFilesTest, AFullDiskRefusesWholeWritesUntilSpaceIsFreed) {
  ASSERT_NE(file, nullptr);
  files.Put(QStringLiteral("/data/old.csv"), QByteArray(20, 'o'));
  EXPECT_EQ(files.UsedBytes(), 30);
  files.SetCapacity(40);
  file->Write("12345678\r");  // 39 bytes: fits
  EXPECT_THROW(file->Write("ab\r"), LogFileExcept);
  try {
    file->Write("a\r");
    FAIL() << "the disk is still full";
  } catch (const LogFileExcept& e) {
    EXPECT_NE(std::string(e.what()).find("Lab1 1234.csv"), std::string::npos);
  }
  EXPECT_EQ(Contents(), QByteArray("Connected\r12345678\r"));
  file->Write("x");  // the last byte fits
  EXPECT_EQ(files.UsedBytes(), 40);
  // Someone deletes an old file: space again.
  ASSERT_TRUE(files.Remove(QStringLiteral("/data/old.csv")));
  file->Write("\rnext\r");
  EXPECT_EQ(Contents(), QByteArray("Connected\r12345678\rx\rnext\r"));
}

TEST_F(MemoryLogFilesTest, ARemovedFileKeepsItsSpaceWhileOpen) {
  ASSERT_NE(file, nullptr);
  files.SetCapacity(20);
  ASSERT_TRUE(files.Remove(path));
  EXPECT_FALSE(files.FileExists(path));
  EXPECT_EQ(files.UsedBytes(), 10);
  file->Write("0123456789");
  EXPECT_THROW(file->Write("!"), LogFileExcept);
  file.reset();
  EXPECT_EQ(files.UsedBytes(), 0);
  EXPECT_EQ(files.OpenCount(), 0);
}

TEST_F(MemoryLogFilesTest, RefusedOpens) {
  file.reset();
  using R = MemoryLogFiles::Refusal;
  struct Case {
    R how;
    bool creates;
  };
  for (const Case c : {Case{R::Held, true}, Case{R::Unwritable, false}}) {
    SCOPED_TRACE(static_cast<int>(c.how));
    files.RefuseOpens(path, c.how);
    EXPECT_EQ(files.OpenExisting(path), nullptr);
    EXPECT_EQ(files.CreateIfMissing(path), c.creates);
    EXPECT_EQ(Contents(), QByteArray("Connected\r"));
    // A file that is not there yet.
    const QString fresh = folder + "/fresh.csv";
    files.RefuseOpens(fresh, c.how);
    EXPECT_EQ(files.CreateIfMissing(fresh), c.creates);
    EXPECT_EQ(files.FileExists(fresh), c.creates);
    EXPECT_EQ(files.OpenExisting(fresh), nullptr);
    files.Remove(fresh);
    files.RefuseOpens(fresh, R::None);
    // The cause goes away: the file opens.
    files.RefuseOpens(path, R::None);
    auto opened = files.OpenExisting(path);
    ASSERT_NE(opened, nullptr);
    EXPECT_TRUE(files.IsOpen(path));
  }
  EXPECT_FALSE(files.IsOpen(path));
}

TEST_F(MemoryLogFilesTest, ARemovedFolderTakesItsFilesAndMustBeMadeAgain) {
  ASSERT_NE(file, nullptr);
  files.AddFolder(QStringLiteral("/data/sub/deeper"));
  files.AddFolder(QStringLiteral("/database"));
  ASSERT_TRUE(files.Remove(folder));
  EXPECT_FALSE(files.FolderExists(folder));
  EXPECT_FALSE(files.FolderExists(QStringLiteral("/data/sub/deeper")));
  EXPECT_TRUE(files.FolderExists(QStringLiteral("/database")));  // only what is inside goes
  EXPECT_FALSE(file->StillThere());
  EXPECT_FALSE(files.IsOpen(path));
  EXPECT_FALSE(files.CreateIfMissing(path));
  EXPECT_TRUE(files.MakeFolder(folder + u'/'));
  EXPECT_TRUE(files.CreateIfMissing(path));
  auto again = files.OpenExisting(path);
  ASSERT_NE(again, nullptr);
  EXPECT_TRUE(again->StillThere());
  EXPECT_EQ(again->Position(), 0);
  EXPECT_FALSE(files.Remove(folder + "/nothing"));
}

// The files a store handed out may outlive it (a tile freed after the window's services).
TEST(MemoryLogFilesLifetime, OpenFilesOutliveTheStore) {
  std::unique_ptr<LogFile> file;
  {
    MemoryLogFiles files;
    files.Put(QStringLiteral("a.csv"), "x");
    file = files.OpenExisting(QStringLiteral("a.csv"));
  }
  ASSERT_NE(file, nullptr);
  file->Write("y");
  EXPECT_EQ(file->Position(), 2);
}

// ---------------------------------------------------------------- durable writing

// A durable log over files in memory, on virtual time, with the sync thread run by hand.
struct DurableLogTest : ::testing::Test {
  VirtualScheduler sched;
  MemoryLogFiles files;
  SyncQueue queue{SyncQueue::Mode::Manual};
  const QString folder = QStringLiteral("/data");
  const QString path = QStringLiteral("/data/Lab1 1234.csv");
  std::vector<SyncStatus> told;

  DurableLogTest() { files.AddFolder(folder); }
  ~DurableLogTest() override { queue.RunAll(); }
  std::unique_ptr<DurableLog> Open(QStringList folders = {}) {
    auto file = files.OpenExisting(path);
    EXPECT_NE(file, nullptr);
    auto log = std::make_unique<DurableLog>(sched, queue, files, std::move(file), folders);
    log->OnStatus = [this](const SyncStatus& s) { told.push_back(s); };
    return log;
  }
  QByteArray Contents() const { return files.Contents(path).value_or("<missing>"); }
  QByteArray OnDisk() const { return files.DurableContents(path).value_or("<missing>"); }
};

TEST_F(DurableLogTest, EveryLineIsOnTheDiskWithinASecondInOneSyncPerRound) {
  files.Put(path, "old\r");
  auto log = Open();
  log->Append("a\r");
  sched.AdvanceBy(500);
  log->Append("b\r");
  EXPECT_EQ(queue.Waiting(), 0u) << "nothing before the second is up";
  sched.AdvanceBy(499);
  EXPECT_EQ(queue.Waiting(), 0u);
  sched.AdvanceBy(1);  // one second after the first line
  ASSERT_EQ(queue.Waiting(), 1u);
  EXPECT_EQ(OnDisk(), QByteArray("old\r"));
  EXPECT_EQ(log->UnsyncedLines(), 2u) << "kept until their sync succeeded";
  queue.RunAll();
  EXPECT_EQ(OnDisk(), QByteArray("old\ra\rb\r"));
  EXPECT_EQ(log->UnsyncedLines(), 0u);
  EXPECT_EQ(files.Syncs(), 1);
  // Quiet: no more rounds, no syncs.
  sched.AdvanceBy(10000);
  EXPECT_EQ(queue.Waiting(), 0u);
  EXPECT_EQ(files.Syncs(), 1);
  EXPECT_TRUE(told.empty());
}

TEST_F(DurableLogTest, SyncNowQueuesOneSyncAtOnceForEverythingWritten) {
  files.Put(path, QByteArray());
  auto log = Open();
  log->Append("Connected\r");
  log->SyncNow();
  log->Append("Left Chamber On\r");
  log->SyncNow();  // merged with the one that waits
  EXPECT_EQ(queue.Waiting(), 1u);
  queue.RunAll();
  EXPECT_EQ(OnDisk(), QByteArray("Connected\rLeft Chamber On\r"));
  EXPECT_EQ(files.Syncs(), 1);
  log->SyncNow();  // nothing new: nothing to do
  EXPECT_EQ(queue.Waiting(), 0u);
}

TEST_F(DurableLogTest, ANewFileIsFollowedByASyncOfItsFolder) {
  ASSERT_TRUE(files.CreateIfMissing(path));
  auto log = Open({folder});
  log->Append("Connected\r");
  log->SyncNow();
  EXPECT_EQ(files.DurableContents(path), std::nullopt) << "its name is not on the disk yet";
  queue.RunAll();
  EXPECT_EQ(files.FolderSyncs(folder), 1);
  EXPECT_EQ(OnDisk(), QByteArray("Connected\r"));
  // Once is enough.
  log->Append("x\r");
  log->SyncNow();
  queue.RunAll();
  EXPECT_EQ(files.FolderSyncs(folder), 1);
}

TEST_F(DurableLogTest, AFolderSyncThatFailsIsToldAndTriedAgainInTheNextRound) {
  ASSERT_TRUE(files.CreateIfMissing(path));
  auto log = Open({folder});
  files.FailFolderSyncs(1);
  log->Append("Connected\r");
  log->SyncNow();
  queue.RunAll();
  sched.AdvanceBy(DurableLog::kMaxUnsyncedMs);
  ASSERT_EQ(told.size(), 1u);
  EXPECT_FALSE(told[0].Ok);
  EXPECT_TRUE(told[0].Error.contains(folder)) << told[0].Error.toStdString();
  queue.RunAll();
  sched.AdvanceBy(DurableLog::kMaxUnsyncedMs);
  EXPECT_EQ(files.FolderSyncs(folder), 1);
  EXPECT_EQ(OnDisk(), QByteArray("Connected\r"));
  ASSERT_EQ(told.size(), 2u);
  EXPECT_TRUE(told[1].Ok);
}

// The disk refused a sync: what it was to carry is gone there (the memory files drop it as
// the kernel does), so asking for another sync would prove nothing. The lines are written
// again from memory first.
TEST_F(DurableLogTest, AFailedSyncWritesTheLinesAgainFromMemory) {
  files.Put(path, QByteArray());
  auto log = Open();
  log->Append("a\r");
  log->SyncNow();
  queue.RunAll();
  log->Append("b\r");
  log->Append("c\r");
  files.FailSyncs(1);
  log->SyncNow();
  queue.RunAll();
  EXPECT_EQ(OnDisk(), QByteArray("a\r"));
  EXPECT_EQ(log->UnsyncedLines(), 2u);
  EXPECT_EQ(log->SyncFailures(), 1u);
  EXPECT_EQ(Contents(), QByteArray("a\rb\rc\r")) << "written over themselves, not twice";
  log->Poll();
  ASSERT_EQ(told.size(), 1u);
  EXPECT_FALSE(told[0].Ok);
  EXPECT_EQ(told[0].Rewritten, 2u);
  EXPECT_FALSE(told[0].Error.isEmpty());
  // The next round, within a second, carries them.
  log->Append("d\r");
  sched.AdvanceBy(DurableLog::kMaxUnsyncedMs);
  queue.RunAll();
  EXPECT_EQ(OnDisk(), QByteArray("a\rb\rc\rd\r"));
  EXPECT_EQ(log->UnsyncedLines(), 0u);
  sched.AdvanceBy(DurableLog::kMaxUnsyncedMs);
  ASSERT_EQ(told.size(), 2u);
  EXPECT_TRUE(told[1].Ok) << "told that it works again";
}

TEST_F(DurableLogTest, WhatAFailedSyncDropsStaysLostWithoutWritingAgain) {
  // The fault the rewriting guards against, shown on the memory files alone.
  files.Put(path, QByteArray());
  auto file = files.OpenExisting(path);
  ASSERT_NE(file, nullptr);
  file->Write("a\rb\r");
  files.FailSyncs(1);
  EXPECT_THROW(file->Sync(), LogFileExcept);
  EXPECT_NO_THROW(file->Sync());  // "succeeds"
  EXPECT_EQ(files.DurableContents(path), QByteArray(4, '\0')) << "the size reached the disk";
  file->WriteAt(0, "a\rb\r");
  file->Sync();
  EXPECT_EQ(files.DurableContents(path), QByteArray("a\rb\r"));
}

// A slow disk: lines written while a sync runs are not counted as synced by it, every line
// keeps its place, and the writer never waits for the disk.
TEST_F(DurableLogTest, UnderASlowDiskLinesKeepTheirOrderAndNoneIsReleasedEarly) {
  files.Put(path, QByteArray());
  auto log = Open();
  int n = 0;
  const auto line = [&] { return "line " + QByteArray::number(++n) + "\r"; };
  // While the disk works, the program writes on.
  files.SetSyncHook([&] { log->Append(line()); });
  QByteArray expected;
  for (int tick = 0; tick < 50; ++tick) {  // five seconds, no sync done meanwhile
    const QByteArray l = line();
    expected += l;
    log->Append(l);
    if (tick % 7 == 0) log->SyncNow();
    sched.AdvanceBy(100);
  }
  EXPECT_EQ(queue.Waiting(), 1u) << "one sync waits, the others merged into it";
  EXPECT_EQ(Contents(), expected);
  queue.RunNext();  // the disk takes the 50 lines; line 51 comes during the sync
  EXPECT_EQ(log->UnsyncedLines(), 1u);
  EXPECT_EQ(OnDisk(), expected);
  files.SetSyncHook(nullptr);
  sched.AdvanceBy(DurableLog::kMaxUnsyncedMs);
  queue.RunAll();
  expected += "line 51\r";
  EXPECT_EQ(OnDisk(), expected);
  EXPECT_EQ(Contents(), expected);
  EXPECT_EQ(log->UnsyncedLines(), 0u);
}

TEST_F(DurableLogTest, ClosingLetsGoOfTheFileAtOnceAndTheLastSyncFollows) {
  files.Put(path, QByteArray());
  auto log = Open();
  log->Append("Disconnected\r");
  files.FailSyncs(1);  // even the last sync may fail: written again, synced once more
  log.reset();
  EXPECT_FALSE(files.IsOpen(path)) << "the next link may open it before the disk is done";
  EXPECT_EQ(queue.Waiting(), 1u);
  queue.RunAll();
  EXPECT_EQ(OnDisk(), QByteArray("Disconnected\r"));
  EXPECT_EQ(files.OpenCount(), 0) << "closed after its last sync";
}

TEST_F(DurableLogTest, ClearingForgetsTheLinesNotYetSynced) {
  files.Put(path, QByteArray());
  auto log = Open();
  log->Append("old\r");
  log->Clear();
  log->Append("new\r");
  files.FailSyncs(1);
  log->SyncNow();
  queue.RunAll();  // fails; only "new" is written again
  EXPECT_EQ(Contents(), QByteArray("new\r"));
  sched.AdvanceBy(DurableLog::kMaxUnsyncedMs);
  queue.RunAll();
  EXPECT_EQ(OnDisk(), QByteArray("new\r"));
}

TEST_F(DurableLogTest, WithSyncingOffNothingIsKeptOrSynced) {
  SyncQueue off(SyncQueue::Mode::Manual, false);
  ASSERT_TRUE(files.CreateIfMissing(path));
  auto file = files.OpenExisting(path);
  DurableLog log(sched, off, files, std::move(file), {folder});
  log.Append("a\r");
  log.SyncNow();
  sched.AdvanceBy(5000);
  EXPECT_EQ(off.Waiting(), 0u);
  EXPECT_EQ(log.UnsyncedLines(), 0u);
  EXPECT_EQ(files.FolderSyncs(folder), 0);
  EXPECT_EQ(Contents(), QByteArray("a\r"));
}

// The real sync thread on the real file system: whatever the thread does meanwhile, the
// file reads in the order written, and the queue's end waits for the last sync.
TEST(DurableLogThreadTest, TheSyncThreadNeverReordersOrLosesLines) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("Lab1 1234.csv"));
  LogFiles& files = SystemLogFiles();
  VirtualScheduler sched;
  QByteArray expected;
  {
    SyncQueue queue(SyncQueue::Mode::Thread);
    ASSERT_TRUE(files.CreateIfMissing(path));
    DurableLog log(sched, queue, files, files.OpenExisting(path), {dir.path()});
    for (int i = 0; i < 400; ++i) {
      const QByteArray line = "line " + QByteArray::number(i) + "\r";
      expected += line;
      log.Append(line);
      if (i % 10 == 0) log.SyncNow();
      sched.AdvanceBy(50);
    }
    EXPECT_EQ(log.SyncFailures(), 0u);
  }
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), expected);
}

}  // namespace
}  // namespace dova
