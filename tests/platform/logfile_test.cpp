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

#include "platform/logfile/log_files.h"
#include "platform/logfile/sim/memory_log_files.h"

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

}  // namespace
}  // namespace dova
