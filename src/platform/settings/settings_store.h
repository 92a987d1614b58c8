#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <map>
#include <memory>

class QSettings;

namespace dova {

// The program's settings key: a handful of named values under one key of the user's
// settings ("Harl" / "DOVA300"). The key may be missing altogether (first run) or lose
// values by hand; reading never fails, writing says whether it worked.
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // Whether the key exists at all; false on the first run.
  virtual bool KeyExists() const = 0;
  // The stored value, or an invalid QVariant when the key or the value is missing.
  virtual QVariant Value(const QString& name) const = 0;
  // Several values at one look at the store, in the order of the names; as Value for each.
  virtual QVariantList Values(const QStringList& names) const;
  // Writes one value. With create, a missing key is made first (first run); without it a
  // missing key is a failure, as is a store that cannot be written.
  virtual bool SetValue(const QString& name, const QVariant& value, bool create) = 0;
};

// QSettings, organisation "Harl", application "DOVA300": the registry key on Windows, a file
// under the user's config folder on Linux. Each call opens the store afresh, so a file
// removed behind the program's back is noticed.
class QSettingsStore : public SettingsStore {
 public:
  // The user's store of the platform.
  QSettingsStore();
  // An INI file at the given path instead (tests, portable use).
  explicit QSettingsStore(QString ini_file);

  bool KeyExists() const override;
  QVariant Value(const QString& name) const override;
  // Opens the store once for all of them.
  QVariantList Values(const QStringList& names) const override;
  bool SetValue(const QString& name, const QVariant& value, bool create) override;

 private:
  std::unique_ptr<QSettings> Open() const;
  QString ini_file_;
};

// Settings held in memory, for tests and runs that must leave no trace.
class MemorySettingsStore : public SettingsStore {
 public:
  bool KeyExists() const override { return key_exists; }
  QVariant Value(const QString& name) const override;
  bool SetValue(const QString& name, const QVariant& value, bool create) override;

  bool key_exists = false;
  // Every write fails (a store that cannot be written).
  bool fail_writes = false;
  std::map<QString, QVariant> values;
};

}  // namespace dova
