#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/logfile/log_file_stream.h"

namespace dova {
namespace {

QByteArray Contents(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void Put(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
}

struct LogFileStreamTest : ::testing::Test {
  QTemporaryDir dir;
  QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
  void TearDown() override { LogFileStream::InjectWriteFailures(0); }
};

TEST_F(LogFileStreamTest, OpensExistingFilesAtTheirEndAndAppends) {
  const QString path = Path("a.csv");
  EXPECT_EQ(LogFileStream::OpenExisting(path), nullptr);  // not there yet
  Put(path, "old\r");
  auto file = LogFileStream::OpenExisting(path);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->Position(), 4);
  file->Write("new\r");
  EXPECT_EQ(Contents(path), QByteArray("old\rnew\r"));  // visible at once, nothing buffered
}

TEST_F(LogFileStreamTest, CreatingNeverEmptiesAnExistingFile) {
  const QString path = Path("b.csv");
  ASSERT_TRUE(LogFileStream::CreateIfMissing(path));
  EXPECT_EQ(Contents(path), QByteArray());
  Put(path, "keep\r");
  auto holder = LogFileStream::OpenExisting(path);
  ASSERT_NE(holder, nullptr);
  EXPECT_TRUE(LogFileStream::CreateIfMissing(path));
  EXPECT_EQ(Contents(path), QByteArray("keep\r"));
  EXPECT_FALSE(LogFileStream::CreateIfMissing(Path("no/such/folder/c.csv")));
  EXPECT_EQ(LogFileStream::OpenExisting(dir.path()), nullptr);  // a folder is no log file
}

TEST_F(LogFileStreamTest, ASecondWriterIsRefusedWhileTheFirstHoldsTheFile) {
  const QString path = Path("c.csv");
  ASSERT_TRUE(LogFileStream::CreateIfMissing(path));
  auto first = LogFileStream::OpenExisting(path);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(LogFileStream::OpenExisting(path), nullptr);
  // Readers are welcome.
  QFile reader(path);
  EXPECT_TRUE(reader.open(QIODevice::ReadOnly));
  first.reset();
  EXPECT_NE(LogFileStream::OpenExisting(path), nullptr);
}

TEST_F(LogFileStreamTest, ClearEmptiesTheFileAndWritesStartAgainAtZero) {
  const QString path = Path("d.csv");
  Put(path, "0123456789");
  auto file = LogFileStream::OpenExisting(path);
  ASSERT_NE(file, nullptr);
  file->Clear();
  EXPECT_EQ(Contents(path), QByteArray());
  file->Write("x\r");
  EXPECT_EQ(Contents(path), QByteArray("x\r"));
}

TEST_F(LogFileStreamTest, FailedWritesRaiseAndLaterWritesAreTriedAgain) {
  const QString path = Path("e.csv");
  ASSERT_TRUE(LogFileStream::CreateIfMissing(path));
  auto file = LogFileStream::OpenExisting(path);
  ASSERT_NE(file, nullptr);
  LogFileStream::InjectWriteFailures(1);
  EXPECT_THROW(file->Write("lost\r"), LogFileExcept);
  file->Write("kept\r");
  EXPECT_EQ(Contents(path), QByteArray("kept\r"));
}

TEST_F(LogFileStreamTest, AFullDiskIsReported) {
  if (!QFile::exists(QStringLiteral("/dev/full"))) GTEST_SKIP() << "no /dev/full here";
  auto file = LogFileStream::OpenExisting(QStringLiteral("/dev/full"));
  if (!file) GTEST_SKIP() << "/dev/full cannot be opened for writing here";
  try {
    file->Write("x\r");
    FAIL() << "the write should fail";
  } catch (const LogFileExcept& e) {
    EXPECT_NE(std::string(e.what()).find("/dev/full"), std::string::npos);
  }
}

}  // namespace
}  // namespace dova
