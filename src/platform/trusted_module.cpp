#include "trusted_module.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <climits>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace TrustedModule {
namespace {

// Only the user or root can have written it.
bool ownedAndClosed(const struct stat& info) {
  const bool owner = info.st_uid == ::geteuid() || info.st_uid == 0;
  return owner && !(info.st_mode & (S_IWGRP | S_IWOTH));
}

class Descriptor {
 public:
  explicit Descriptor(int value) : value_(value) {}
  ~Descriptor() {
    if (value_ >= 0) ::close(value_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return value_; }
  // Kept open from now on: the caller owns it.
  int release() { return std::exchange(value_, -1); }

 private:
  int value_;
};

}  // namespace

QString programFolder() {
  char resolved[PATH_MAX];
  if (::realpath("/proc/self/exe", resolved) == nullptr) return QString();
  return QFileInfo(QFile::decodeName(resolved)).path();
}

void* load(const QString& path) {
  const QFileInfo where(path);
  const Descriptor folder(::open(QFile::encodeName(where.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat folderInfo {};
  if (folder.get() < 0 || ::fstat(folder.get(), &folderInfo) != 0 || !ownedAndClosed(folderInfo)) return nullptr;

  // O_NONBLOCK: a FIFO in the module's place must not hold the program.
  Descriptor file(::openat(folder.get(), QFile::encodeName(where.fileName()).constData(),
                                 O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat fileInfo {};
  if (file.get() < 0 || ::fstat(file.get(), &fileInfo) != 0 || !S_ISREG(fileInfo.st_mode) ||
      !ownedAndClosed(fileInfo))
    return nullptr;

  // The very file checked above, through its descriptor. The loader knows
  // a module by this name: were the descriptor closed, the next module
  // opened on the same number would get this one's handle back. So a
  // loaded module keeps its descriptor for the life of the process.
  const QByteArray opened = "/proc/self/fd/" + QByteArray::number(file.get());
  void* handle = ::dlopen(opened.constData(), RTLD_NOW | RTLD_LOCAL);
  if (handle != nullptr) file.release();
  return handle;
}

void* loadProgramModule(const QString& fileName) {
  const QString folder = programFolder();
  if (folder.isEmpty()) return nullptr;
  for (const QString& path : {folder + QLatin1Char('/') + fileName,
                              QDir::cleanPath(folder + QStringLiteral("/../lib/talvenor/") + fileName)}) {
    if (void* handle = load(path)) return handle;
  }
  return nullptr;
}

}  // namespace TrustedModule
