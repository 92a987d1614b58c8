#include <gtest/gtest.h>

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

}  // namespace
}  // namespace dova
