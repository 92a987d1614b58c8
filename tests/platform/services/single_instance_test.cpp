#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/instance/linux/lock_file_instance.h"

namespace dova {
namespace {

using R = SingleInstance::TAcquireResult;

TEST(LockFileInstanceTest, OnlyOneHolderAtATimeAndFreedWithIt) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string folder = dir.path().toStdString();
  auto first = std::make_unique<LockFileInstance>(folder, "DOVA-300 Logger");
  EXPECT_EQ(first->Acquire(), R::Acquired);
  EXPECT_EQ(first->Path(), folder + "/DOVA-300 Logger.lock");
  // flock conflicts between separate opens even within one process, so a second object
  // stands in for a second copy of the program.
  LockFileInstance second(folder, "DOVA-300 Logger");
  EXPECT_EQ(second.Acquire(), R::HeldElsewhere);
  LockFileInstance other_name(folder, "Another Program");
  EXPECT_EQ(other_name.Acquire(), R::Acquired);

  first.reset();  // the first copy ends
  EXPECT_EQ(second.Acquire(), R::Acquired);
  EXPECT_EQ(second.Acquire(), R::Acquired) << "asking again keeps what is held";
}

TEST(LockFileInstanceTest, MissingFolderIsUnavailableWithAReason) {
  QTemporaryDir dir;
  LockFileInstance missing((dir.path() + "/no/such/folder").toStdString(), "DOVA-300 Logger");
  EXPECT_EQ(missing.Acquire(), R::Unavailable);
  EXPECT_NE(missing.Problem().find("no/such/folder"), std::string::npos);

  LockFileInstance no_folder("", "DOVA-300 Logger");
  EXPECT_EQ(no_folder.Acquire(), R::Unavailable);
  EXPECT_FALSE(no_folder.Problem().empty());
}

// The guard of the program, in a runtime folder that cannot hold it (a path under a plain
// file, which no user, root included, can write into).
TEST(CreateSingleInstanceTest, ARuntimeFolderThatCannotBeWrittenIsUnavailableInOneLine) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QFile file(dir.path() + "/file");
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  const bool was_set = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
  const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
  auto restore = [&] {
    if (was_set)
      qputenv("XDG_RUNTIME_DIR", saved);
    else
      qunsetenv("XDG_RUNTIME_DIR");
  };
  for (const QString& folder : {dir.path() + "/file", dir.path() + "/file/two\nlines"}) {
    SCOPED_TRACE(folder.toStdString());
    qputenv("XDG_RUNTIME_DIR", folder.toUtf8());
    auto guard = CreateSingleInstance("DOVA-300 Logger");
    EXPECT_EQ(guard->Acquire(), R::Unavailable);
    const std::string line = GuardUnavailableLine(guard->Problem());
    EXPECT_NE(line.find(dir.path().toStdString() + "/file"), std::string::npos) << line;
    EXPECT_NE(line.find("Not a directory"), std::string::npos) << line;
    EXPECT_EQ(line.find('\n'), std::string::npos) << "one line";
  }
  restore();

  // A folder that is there and writable holds it.
  qputenv("XDG_RUNTIME_DIR", dir.path().toUtf8());
  EXPECT_EQ(CreateSingleInstance("DOVA-300 Logger")->Acquire(), R::Acquired);
  restore();
}

}  // namespace
}  // namespace dova
