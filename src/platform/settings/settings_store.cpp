#include "platform/settings/settings_store.h"

#include <QFileInfo>
#include <QSettings>

namespace dova {

QSettingsStore::QSettingsStore() = default;

QSettingsStore::QSettingsStore(QString ini_file) : ini_file_(std::move(ini_file)) {}

std::unique_ptr<QSettings> QSettingsStore::Open() const {
  std::unique_ptr<QSettings> settings =
      ini_file_.isEmpty()
          ? std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                        QStringLiteral("Harl"), QStringLiteral("DOVA300"))
          : std::make_unique<QSettings>(ini_file_, QSettings::IniFormat);
  // Only the user's own key counts: no organisation-wide or system-wide files.
  settings->setFallbacksEnabled(false);
  return settings;
}

bool QSettingsStore::KeyExists() const {
  auto settings = Open();
  // A file-backed store exists with its file, even an empty one; the registry has no
  // file, so there a key with values counts.
  return QFileInfo::exists(settings->fileName()) || !settings->allKeys().isEmpty();
}

QVariantList SettingsStore::Values(const QStringList& names) const {
  QVariantList values;
  values.reserve(names.size());
  for (const QString& name : names)
    values.append(Value(name));
  return values;
}

QVariant QSettingsStore::Value(const QString& name) const {
  return Open()->value(name);
}

QVariantList QSettingsStore::Values(const QStringList& names) const {
  // Opening the store looks at its files and reads them again when they changed: that is
  // the cost of a read, so a group of values pays it once.
  const auto settings = Open();
  QVariantList values;
  values.reserve(names.size());
  for (const QString& name : names)
    values.append(settings->value(name));
  return values;
}

bool QSettingsStore::SetValue(const QString& name, const QVariant& value, bool create) {
  if (!create && !KeyExists()) return false;
  auto settings = Open();
  if (!settings->isWritable()) return false;
  settings->setValue(name, value);
  settings->sync();
  return settings->status() == QSettings::NoError;
}

QVariant MemorySettingsStore::Value(const QString& name) const {
  if (!key_exists) return {};
  auto it = values.find(name);
  return it == values.end() ? QVariant() : it->second;
}

bool MemorySettingsStore::SetValue(const QString& name, const QVariant& value, bool create) {
  if (fail_writes || (!create && !key_exists)) return false;
  key_exists = true;
  values[name] = value;
  return true;
}

}  // namespace dova
