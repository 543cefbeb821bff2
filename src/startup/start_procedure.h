#pragma once

#include "app_places.h"

#include <QString>

// The start procedure: one instance per executable, the settings file must
// exist (or be made from the shipped default when installed) and be the
// user's own, then the main window runs until it is closed.
namespace StartProcedure {

enum class StartOutcome { SecondInstance, SettingsMissing, SettingsRefused, MainWindowRan };

// The text shown when Data.ini is missing.
QString settingsMissingText();
// The text shown when the user's settings folder or file is not theirs
// alone (another user's, a link, writable by others).
QString settingsRefusedText(const AppPlaces::SettingsCheck& check);

// Runs the program; returns how the start ended and the exit code in
// exitCode. instanceKey names the single-instance socket (tests give their own).
StartOutcome run(const QString& instanceKey, int& exitCode);

}  // namespace StartProcedure
