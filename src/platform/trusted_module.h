#pragma once

#include <QString>

// Loads a shared module only from a file that no one but the user (or
// root) could have put in place or changed: a regular file, not a link,
// owned by the user or root and writable by neither group nor others, in a
// folder of which the same holds. The file is opened once and loaded from
// that descriptor, so it cannot be swapped between the check and the load.
namespace TrustedModule {

// The folder of the running executable, every link resolved; empty when the
// system does not say.
QString programFolder();

// The module's handle for dlsym(), or nullptr when the file is missing,
// fails a check, or does not load. Never unloaded; its descriptor stays
// open, so that the loader never takes another module for it.
void* load(const QString& path);

// The program's own module of that file name: from beside the program, or
// from the library folder of an installed program (<prefix>/lib/talvenor
// beside <prefix>/bin), never from a search path.
void* loadProgramModule(const QString& fileName);

}  // namespace TrustedModule
