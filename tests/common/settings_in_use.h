#pragma once

#include "app_places.h"
#include "data_ini_layout.h"
#include "mail_settings.h"
#include "settings_file.h"

// Tests read and change the settings file the program runs with (a
// TempAppFolder's while one lives) one value at a time.
namespace SettingsInUse {

inline QString value(const QString& section, const QString& key) {
  return SettingsFile::inUse().read().value(section, key);
}
inline bool has(const QString& section, const QString& key) { return SettingsFile::inUse().read().has(section, key); }
inline bool write(const QString& section, const QString& key, const QString& value) {
  return SettingsFile::inUse().write(section, key, value);
}
inline MailSettings mailSettings() { return DataIni::readMailSettings(SettingsFile::inUse().read()); }
inline bool writeMailSettings(const MailSettings& settings) {
  return SettingsFile::inUse().update([&settings](IniDocument& ini) {
    DataIni::writeMailSettings(ini, settings);
    return true;
  });
}

}  // namespace SettingsInUse
