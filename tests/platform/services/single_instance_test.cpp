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
// Points the user's runtime folder somewhere for the life of the object and puts back
// what was there.
class ScopedRuntimeFolder {
 public:
  ScopedRuntimeFolder() : was_set_(qEnvironmentVariableIsSet(kName)), saved_(qgetenv(kName)) {}
  ~ScopedRuntimeFolder() {
    if (was_set_)
      qputenv(kName, saved_);
    else
      qunsetenv(kName);
  }
  void Point(const QString& folder) { qputenv(kName, folder.toUtf8()); }

 private:
  static constexpr const char* kName = "XDG_RUNTIME_DIR";
  bool was_set_;
  QByteArray saved_;
};

// The program's guard in a runtime folder that cannot hold it: a path under a plain file,
// which no user, root included, can write into.
TEST(CreateSingleInstanceTest, ARuntimeFolderThatCannotBeWrittenIsUnavailableInOneLine) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString file = dir.path() + "/file";
  QFile made(file);
  ASSERT_TRUE(made.open(QIODevice::WriteOnly));
  made.close();
  ScopedRuntimeFolder runtime;
  for (const QString& folder : {file, file + "/two\nlines"}) {
    SCOPED_TRACE(folder.toStdString());
    runtime.Point(folder);
    auto guard = CreateSingleInstance("DOVA-300 Logger");
    EXPECT_EQ(guard->Acquire(), R::Unavailable);
    const std::string problem = guard->Problem();
    EXPECT_NE(problem.find(file.toStdString()), std::string::npos) << problem;
    EXPECT_NE(problem.find("Not a directory"), std::string::npos) << problem;
    EXPECT_EQ(problem.find('\n'), std::string::npos) << "one line";
  }

  // A folder that is there and writable holds it.
  runtime.Point(dir.path());
  EXPECT_EQ(CreateSingleInstance("DOVA-300 Logger")->Acquire(), R::Acquired);
}

}  // namespace
}  // namespace dova
