#pragma once

#include <QString>

// The start procedure: one instance per executable, the settings file must
// exist (or be made from the shipped default when installed), then the
// main window runs until it is closed.
namespace StartProcedure {

enum class StartOutcome { SecondInstance, SettingsMissing, MainWindowRan };

// The text shown when Data.ini is missing.
QString settingsMissingText();

// Runs the program; returns how the start ended and the exit code in
// exitCode. instanceKey names the single-instance socket (tests give their own).
StartOutcome run(const QString& instanceKey, int& exitCode);

}  // namespace StartProcedure
