#pragma once

#include <QString>

// Which folder holds Data.ini and which holds the sent-mail log mailLOG.
// Every reader of those places asks here.
//
// Portable: a Data.ini beside the executable keeps both beside the
// executable, as the program always had them.
// Installed: without one, but with the shipped default settings
// (<prefix>/share/talvenor/Data.ini, found from the executable's folder),
// the user's own folders hold them: $XDG_CONFIG_HOME/talvenor/Data.ini
// (made from the shipped default on the first start) and
// $XDG_DATA_HOME/talvenor/mailLOG.
namespace AppPlaces {

inline const QString kSettingsFileName = QStringLiteral("Data.ini");

enum class Mode { Portable, PerUser };

struct Places {
  Mode mode = Mode::Portable;
  QString settingsFolder;  // holds Data.ini; with a trailing "/"
  QString logParent;       // holds mailLOG; with a trailing "/"
};

// The choice for a program living in programFolder, with these XDG base
// folders. Portable when the program's folder has a Data.ini, and when
// there is no shipped default either (the start then reports the file
// missing).
Places decide(const QString& programFolder, const QString& configHome, const QString& dataHome);

// The places in use: decided once, on first use, from the program's folder
// and the user's XDG folders, then kept for the run.
const Places& current();

// The program's folder with a trailing separator ("/opt/talvenor/"): the
// executable's, unless one was chosen.
QString programFolder();
// From now on the places are decided as for a program in folder (the
// command line's settings folder; a test's throw-away folder); an empty
// folder goes back to the executable's.
void useProgramFolder(const QString& folder);

QString settingsFolder();
QString settingsPath();   // settingsFolder() + "Data.ini"
QString logFolderPath();  // the log parent + "mailLOG"
// The default settings an installed program ships, relative to its folder.
QString shippedSettingsPath(const QString& programFolder);

// What the start found of the settings file.
struct SettingsCheck {
  enum class State {
    Ready,
    Missing,
    Refused,  // there, but not the user's alone (installed only)
  };
  State state = State::Missing;
  QString place;   // Refused: the folder or file refused
  QString reason;  // Refused: why, for the user
  bool ready() const { return state == State::Ready; }
};

// At start: whether there is a settings file to run with. Installed, a
// missing per-user file is made from the shipped default (folder 0700 with
// any missing parents, file 0600); a file that is there is never touched.
// Installed, the settings folder and file must be the user's alone: not a
// link, owned by the user, writable by no one else. Beside the program
// they are what the user put there.
SettingsCheck prepareSettingsFile();

// folder and its missing parents (~/.config, say), each made with mode
// 0700 when missing: what the program makes is the user's alone.
bool makeOwnFolder(const QString& folder);

}  // namespace AppPlaces
