#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "platform/instance/linux/lock_file_instance.h"
#include "platform/services/runtime_folder.h"

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
  testing::FolderWithAFile unusable;
  ASSERT_TRUE(unusable.Valid());
  testing::ScopedRuntimeFolder runtime(unusable.file);
  for (const QString& folder : {unusable.file, unusable.file + "/two\nlines"}) {
    SCOPED_TRACE(folder.toStdString());
    runtime.Point(folder);
    auto guard = CreateSingleInstance("DOVA-300 Logger");
    EXPECT_EQ(guard->Acquire(), R::Unavailable);
    const std::string line = GuardUnavailableLine(guard->Problem());
    EXPECT_NE(line.find(unusable.file.toStdString()), std::string::npos) << line;
    EXPECT_NE(line.find("Not a directory"), std::string::npos) << line;
    EXPECT_EQ(line.find('\n'), std::string::npos) << "one line";
  }

  // A folder that is there and writable holds it.
  runtime.Point(unusable.dir.path());
  EXPECT_EQ(CreateSingleInstance("DOVA-300 Logger")->Acquire(), R::Acquired);
}

}  // namespace
}  // namespace dova
