#pragma once

#include <QString>
#include <cstdint>

// Access to the settings file Data.ini: beside the program, or the user's
// own when installed (AppPlaces decides). Every call is one complete read
// or write of the file; nothing is cached.
namespace IniFile {

inline const QString kFileName = QStringLiteral("Data.ini");

// The program's folder with a trailing separator ("/opt/talvenor/", "/").
QString AppFolder();

// Full path of the settings file in use (AppPlaces::SettingsPath).
QString SettingsPath();

// The value under [section] key=, blanks trimmed; empty when file, section
// or key is missing. Names match without regard to case or outer blanks.
QString read(const QString& section, const QString& key);

// True when the file has the key in the section, even with an empty value.
bool IniHasKey(const QString& section, const QString& key);

// Stores the value (leading blanks dropped), creating key, section and file
// as needed, and changes no other byte of the file. Returns non-zero on
// success; a failed write leaves the old file exactly as it was.
std::int32_t write(const QString& section, const QString& key, const QString& value);

// While one lives, reads share a single read of the file: loading a window
// asks for twenty values at once, and the file cannot change meanwhile
// without a write of ours, which ends the sharing. Not for holding across
// turns of the event loop.
class ReadBatch {
 public:
  ReadBatch();
  ~ReadBatch();
  ReadBatch(const ReadBatch&) = delete;
  ReadBatch& operator=(const ReadBatch&) = delete;
};

// Tests point the program's folder elsewhere; an empty path restores it.
void setAppFolderForTesting(const QString& folder);

}  // namespace IniFile
