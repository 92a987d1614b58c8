#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "app/settings.h"

namespace dova {
namespace {

const QString kDocs = QStringLiteral("/home/user/Documents");

TEST(LoadSettingsTest, FirstRunWritesAndReturnsTheDefaults) {
  MemorySettingsStore store;
  QStringList problems;
  const TSettings s = LoadSettings(store, kDocs, &problems);
  EXPECT_EQ(s.Directory, "/home/user/Documents/Harl DOVA-300 Log Data");
  EXPECT_EQ(s.LogInterval, 5);
  EXPECT_TRUE(problems.isEmpty());
  EXPECT_TRUE(store.KeyExists());
  EXPECT_EQ(store.values["Directory"].toString(), s.Directory);
  EXPECT_EQ(store.values["LogInterval"].toInt(), 5);
}

TEST(LoadSettingsTest, FirstRunThatCannotStoreStillGivesTheDefaults) {
  MemorySettingsStore store;
  store.fail_writes = true;
  QStringList problems;
  const TSettings s = LoadSettings(store, kDocs, &problems);
  EXPECT_EQ(s.Directory, DefaultDataDirectory(kDocs));
  EXPECT_EQ(s.LogInterval, 5);
  EXPECT_EQ(problems.size(), 1);
}

TEST(LoadSettingsTest, StoredValuesAndTheirFallbacks) {
  struct Case {
    const char* name;
    QVariant directory;  // invalid: value missing
    QVariant interval;
    QString want_directory;
    int want_interval;
    int problems;
  };
  const QString cwd = QDir::currentPath();
  const QString fallback_dir = DefaultDataDirectory(kDocs);
  const std::vector<Case> cases = {
      {"existing key", "/data/logs", 7, "/data/logs", 7, 0},
      {"interval stored as digits", "/data/logs", "10", "/data/logs", 10, 0},
      {"0 and 255 used unchanged", "/d", 0, "/d", 0, 0},
      {"255", "/d", 255, "/d", 255, 0},
      {"11 used unchanged", "/d", 11, "/d", 11, 0},
      {"no Directory value gives an empty folder", QVariant(), 3, "", 3, 0},
      {"relative folder completed", "logs/../run", 3, cwd + "/run", 3, 0},
      {"interval missing", "/d", QVariant(), "/d", 5, 1},
      {"interval not a number", "/d", "five", "/d", 5, 1},
      {"interval above 255", "/d", 256, "/d", 5, 1},
      {"interval negative", "/d", -1, "/d", 5, 1},
      {"Directory not a text", QStringList{"a", "b"}, 4, fallback_dir, 4, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemorySettingsStore store;
    store.key_exists = true;
    if (c.directory.isValid()) store.values["Directory"] = c.directory;
    if (c.interval.isValid()) store.values["LogInterval"] = c.interval;
    const auto before = store.values;
    QStringList problems;
    const TSettings s = LoadSettings(store, kDocs, &problems);
    EXPECT_EQ(s.Directory, c.want_directory);
    EXPECT_EQ(s.LogInterval, c.want_interval);
    EXPECT_EQ(problems.size(), c.problems);
    EXPECT_EQ(store.values, before) << "loading an existing key never writes";
  }
}

TEST(SaveSettingsTest, WritesIntoTheExistingKeyOnly) {
  MemorySettingsStore store;
  store.key_exists = true;
  SaveDirectory(store, "/new");
  SaveLogInterval(store, 9);
  EXPECT_EQ(store.values["Directory"].toString(), "/new");
  EXPECT_EQ(store.values["LogInterval"].toInt(), 9);

  struct Case {
    bool key_exists;
    bool fail_writes;
  };
  for (Case c : {Case{false, false}, Case{true, true}}) {
    MemorySettingsStore broken;
    broken.key_exists = c.key_exists;
    broken.fail_writes = c.fail_writes;
    try {
      SaveDirectory(broken, "/x");
      ADD_FAILURE() << "SaveDirectory must fail";
    } catch (const TSettingsExcept& e) {
      EXPECT_EQ(e.Message(), "Failed to set data for 'Directory'");
    }
    try {
      SaveLogInterval(broken, 3);
      ADD_FAILURE() << "SaveLogInterval must fail";
    } catch (const TSettingsExcept& e) {
      EXPECT_EQ(e.Message(), "Failed to set data for 'LogInterval'");
    }
    EXPECT_EQ(broken.KeyExists(), c.key_exists) << "the key is never created by a save";
  }
}

TEST(SettingsFileTest, RoundTripThroughTheFileStore) {
  QTemporaryDir dir;
  QSettingsStore store(dir.path() + "/DOVA300.conf");
  const TSettings first = LoadSettings(store, dir.path());
  EXPECT_EQ(first.Directory, dir.path() + "/Harl DOVA-300 Log Data");
  SaveLogInterval(store, 0);
  SaveDirectory(store, "/var/tmp/dova, logs");
  const TSettings again = LoadSettings(store, "/elsewhere");
  EXPECT_EQ(again.Directory, "/var/tmp/dova, logs");
  EXPECT_EQ(again.LogInterval, 0);
}

}  // namespace
}  // namespace dova
