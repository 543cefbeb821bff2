#pragma once

#include <QString>
#include <functional>

// Shows a folder in the desktop's file manager without waiting for it.
namespace FolderOpener {

// False when the desktop has nothing that could show it.
bool open(const QString& folderPath);

// What a window that shows folders calls: open, unless a test records the
// request instead.
using Opener = std::function<bool(const QString& folderPath)>;

}  // namespace FolderOpener
