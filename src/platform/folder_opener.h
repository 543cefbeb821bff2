#pragma once

#include <QString>
#include <functional>

// Shows a folder in the desktop's file manager without waiting for it.
namespace FolderOpener {

void open(const QString& folderPath);

// Tests record the request instead; an empty function restores the desktop.
using Opener = std::function<void(const QString& folderPath)>;
Opener setOpenerForTesting(Opener opener);

}  // namespace FolderOpener
