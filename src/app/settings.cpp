#include "app/settings.h"

#include <QDir>
#include <QMetaType>
#include <optional>

namespace dova {

namespace {

const QString kDirectory = QStringLiteral("Directory");
const QString kLogInterval = QStringLiteral("LogInterval");
const QString kMetrics = QStringLiteral("Metrics");

// The full path form of a stored folder: relative paths against the working folder.
QString FullPath(const QString& path) {
  if (path.isEmpty()) return path;
  return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

// A whole number from 0 to 255, stored as an integer or (in a text file) as digits.
std::optional<std::uint8_t> ReadInterval(const QVariant& value) {
  if (!value.isValid()) return std::nullopt;
  bool ok = false;
  qlonglong n = 0;
  switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
      n = value.toLongLong(&ok);
      break;
    case QMetaType::QString:
      n = value.toString().trimmed().toLongLong(&ok, 10);
      break;
    default:
      break;
  }
  if (!ok || n < 0 || n > 255) return std::nullopt;
  return static_cast<std::uint8_t>(n);
}

void Note(QStringList* problems, const QString& text) {
  if (problems) problems->append(text);
}

}  // namespace

QString DefaultDataDirectory(const QString& documents_folder) {
  return documents_folder + QStringLiteral("/Harl DOVA-300 Log Data");
}

TSettings LoadSettings(SettingsStore& store, const QString& documents_folder,
                       QStringList* problems) {
  TSettings defaults{DefaultDataDirectory(documents_folder), kDefaultLogInterval};
  if (!store.KeyExists()) {
    // First run: the defaults, written for the next start.
    const bool written = store.SetValue(kDirectory, defaults.Directory, true) &&
                         store.SetValue(kLogInterval, int{defaults.LogInterval}, true);
    if (!written) Note(problems, QStringLiteral("the settings cannot be stored; using defaults"));
    return defaults;
  }
  TSettings settings;
  const QVariant directory = store.Value(kDirectory);
  if (!directory.isValid()) {
    settings.Directory.clear();
  } else if (directory.typeId() == QMetaType::QString) {
    settings.Directory = FullPath(directory.toString());
  } else {
    settings.Directory = defaults.Directory;
    Note(problems, QStringLiteral("stored Directory is not a text; using the default folder"));
  }
  if (auto interval = ReadInterval(store.Value(kLogInterval))) {
    settings.LogInterval = *interval;
  } else {
    settings.LogInterval = defaults.LogInterval;
    Note(problems, QStringLiteral("stored LogInterval is unusable; using 5 minutes"));
  }
  return settings;
}

QString LoadMetricsSetting(const SettingsStore& store) {
  const QVariant value = store.Value(kMetrics);
  if (value.typeId() == QMetaType::QString) return value.toString().trimmed();
  // An INI file holds a bare port as text; a registry may hold it as a number.
  if (value.typeId() == QMetaType::Int || value.typeId() == QMetaType::LongLong)
    return QString::number(value.toLongLong());
  return {};
}

void SaveDirectory(SettingsStore& store, const QString& directory) {
  if (!store.SetValue(kDirectory, directory, false))
    throw TSettingsExcept("Failed to set data for 'Directory'");
}

void SaveLogInterval(SettingsStore& store, std::uint8_t interval) {
  if (!store.SetValue(kLogInterval, int{interval}, false))
    throw TSettingsExcept("Failed to set data for 'LogInterval'");
}

}  // namespace dova
