#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

#include "platform/exception.h"
#include "platform/settings/settings_store.h"

namespace dova {

// A setting could not be stored.
class TSettingsExcept : public Exception {
 public:
  using Exception::Exception;
};

// The two settings: the data folder and the logging interval in minutes.
struct TSettings {
  QString Directory;
  std::uint8_t LogInterval = 5;
};

inline constexpr std::uint8_t kDefaultLogInterval = 5;

// The first-run data folder: the documents folder followed by "/Harl DOVA-300 Log Data".
QString DefaultDataDirectory(const QString& documents_folder);

// Reads the settings. On the first run (no key yet) the defaults are used and written.
// A key without a Directory value gives an empty Directory (log files then go to the
// working folder); a relative Directory is completed against the working folder; a stored
// interval from 0 to 255 is used as it is.
//
// Values that cannot be used (LogInterval missing, not a whole number or outside 0..255,
// Directory not a text) fall back to their first-run default, each on its own, and the
// store is left as it is; so does a first run whose key cannot be written. Each fallback
// adds a line to `problems` when given.
TSettings LoadSettings(SettingsStore& store, const QString& documents_folder,
                       QStringList* problems = nullptr);

// Write one value into the existing key; the key is not created. Throw
// TSettingsExcept("Failed to set data for 'Directory'") (or 'LogInterval') when the value
// cannot be written.
void SaveDirectory(SettingsStore& store, const QString& directory);

// The "Metrics" value: where the metrics endpoint listens ([ADDRESS:]PORT, as --metrics
// takes it); empty when missing or not a text (the endpoint is then off). Only read: the
// program never writes it.
QString LoadMetricsSetting(const SettingsStore& store);
void SaveLogInterval(SettingsStore& store, std::uint8_t interval);

}  // namespace dova
