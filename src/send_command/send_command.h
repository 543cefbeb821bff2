#pragma once

#include "exit_status.h"

#include <QStringList>

// talvenor-send: one mail to a phone from the command line, with the
// settings, the checks, the engine and the log of the window. What the
// window shows in a box goes to standard error, prefixed "talvenor-send: ".
namespace SendCommand {

// Runs the command with these arguments (the program's name first).
ExitStatus run(const QStringList& arguments);

}  // namespace SendCommand
