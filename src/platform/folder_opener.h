#pragma once

#include <QString>
#include <functional>

// Shows a folder in the desktop's file manager without waiting for it.
namespace FolderOpener {

// False when the desktop has nothing that could show it.
bool open(const QString& folderPath);

// Tests record the request instead; an empty function restores the desktop.
using Opener = std::function<bool(const QString& folderPath)>;
Opener setOpenerForTesting(Opener opener);

}  // namespace FolderOpener
