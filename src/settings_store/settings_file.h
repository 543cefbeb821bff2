#pragma once

#include "app_places.h"
#include "ini_document.h"

#include <QString>
#include <functional>

// The settings file Data.ini in one folder: the program's own, the user's
// own when installed (AppPlaces decides), or one named on a command line.
// Every read is one complete read of the file and nothing is cached; every
// change replaces the file in one step, so a crash leaves either the old
// file or the new one, never a mixture.
class SettingsFile {
 public:
  // Data.ini in folder (with or without a trailing separator).
  explicit SettingsFile(const QString& folder);
  // The one the program runs with: AppPlaces::settingsFolder().
  static SettingsFile inUse();

  const QString& path() const { return path_; }
  // The folder holding it, with a trailing "/".
  QString folder() const { return path_.chopped(AppPlaces::kSettingsFileName.size()); }

  // The file as it is now; an empty document when it cannot be read.
  IniDocument read() const;

  // Reads the file as it is now, lets change edit it, and writes the
  // result; a change that returns false writes nothing. Returns false when
  // nothing was written: the file is a link, a hard-linked file, another
  // user's or read-only (no owner write bit), the folder refuses, the disk
  // is full. The old file then stays exactly as it was.
  bool update(const std::function<bool(IniDocument&)>& change) const;
  // One value, as update does it.
  bool write(const QString& section, const QString& key, const QString& value) const;

 private:
  QString path_;
};
