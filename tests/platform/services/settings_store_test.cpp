#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/settings/settings_store.h"

namespace dova {
namespace {

struct QSettingsStoreTest : ::testing::Test {
  QTemporaryDir dir;
  QString file = dir.path() + "/DOVA300.conf";
  QSettingsStore store{file};
};

TEST_F(QSettingsStoreTest, MissingKeyIsCreatedOnlyWhenAsked) {
  EXPECT_FALSE(store.KeyExists());
  EXPECT_FALSE(store.Value("Directory").isValid());
  EXPECT_FALSE(store.SetValue("Directory", "/data", false));
  EXPECT_FALSE(QFile::exists(file));

  ASSERT_TRUE(store.SetValue("Directory", "/data", true));
  ASSERT_TRUE(store.SetValue("LogInterval", 7, false));
  EXPECT_TRUE(store.KeyExists());
  // A fresh store object reads what the file holds.
  QSettingsStore again(file);
  EXPECT_EQ(again.Value("Directory").toString(), "/data");
  EXPECT_EQ(again.Value("LogInterval").toString(), "7");
  EXPECT_FALSE(again.Value("Missing").isValid());
}

TEST_F(QSettingsStoreTest, ValuesReadSeveralNamesAtOneLookAsValueReadsEach) {
  ASSERT_TRUE(store.SetValue("Alarms/s1/FlowLimit", 8, true));
  ASSERT_TRUE(store.SetValue("Alarms/LidOpenDelay", "240", false));
  const QStringList names{"Alarms/LidOpenDelay", "Alarms/Missing", "Alarms/s1/FlowLimit"};
  const QVariantList values = store.Values(names);
  ASSERT_EQ(values.size(), names.size());
  EXPECT_EQ(values[0].toString(), "240");
  EXPECT_FALSE(values[1].isValid());
  EXPECT_EQ(values[2].toString(), "8");
  // Every read looks at the file afresh: a value another program changed is seen.
  QSettingsStore other(file);
  ASSERT_TRUE(other.SetValue("Alarms/LidOpenDelay", "300", false));
  EXPECT_EQ(store.Values({"Alarms/LidOpenDelay"}).value(0).toString(), "300");
}

TEST_F(QSettingsStoreTest, KeyRemovedBehindTheProgramsBackFailsTheWrite) {
  ASSERT_TRUE(store.SetValue("Directory", "/data", true));
  ASSERT_TRUE(QFile::remove(file));
  EXPECT_FALSE(store.KeyExists());
  EXPECT_FALSE(store.SetValue("Directory", "/other", false));
  EXPECT_FALSE(QFile::exists(file)) << "a failed write must not bring the key back";
}

TEST_F(QSettingsStoreTest, StoreThatCannotBeWrittenFails) {
  ASSERT_TRUE(store.SetValue("Directory", "/data", true));
  QFile::setPermissions(file, QFile::ReadOwner);
  if (QFile(file).open(QIODevice::WriteOnly)) GTEST_SKIP() << "running with rights to any file";
  EXPECT_FALSE(store.SetValue("Directory", "/other", false));
  EXPECT_EQ(store.Value("Directory").toString(), "/data");
}

TEST(MemorySettingsStoreTest, BehavesAsAKeyThatMayBeMissingOrReadOnly) {
  MemorySettingsStore store;
  EXPECT_FALSE(store.SetValue("LogInterval", 5, false));
  EXPECT_TRUE(store.SetValue("LogInterval", 5, true));
  EXPECT_TRUE(store.KeyExists());
  EXPECT_EQ(store.Value("LogInterval").toInt(), 5);
  store.fail_writes = true;
  EXPECT_FALSE(store.SetValue("LogInterval", 6, false));
  EXPECT_EQ(store.Value("LogInterval").toInt(), 5);
}

}  // namespace
}  // namespace dova
