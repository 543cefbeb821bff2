#include "own_place.h"

#include <fcntl.h>

#include <cerrno>

namespace OwnPlace {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Why the folder `name` in `parent` did not open: a link or something other
// than a folder in its place, or what the system said.
QString folderOpenError(int parent, const QByteArray& name, int error) {
  struct stat status {};
  if ((error == ELOOP || error == ENOTDIR) && ::fstatat(parent, name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISLNK(status.st_mode)) return kFolderIsLink;
    if (!S_ISDIR(status.st_mode)) return kNotAFolder;
  }
  return systemError(error);
}

}  // namespace

QString systemError(int error) { return qt_error_string(error); }

QString ownershipProblem(const struct stat& status) {
  if (status.st_uid != ::geteuid()) return kOtherOwner;
  if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) return S_ISDIR(status.st_mode) ? kOthersCanWrite : kOthersCanWriteFile;
  return {};
}

QString openFolder(int parent, const QByteArray& name, bool create, bool guarded, Descriptor& folder) {
  int fd = ::openat(parent, name.constData(), kFolderFlags);
  if (fd < 0 && errno == ENOENT && create) {
    // Made by someone else in between: the checks below decide.
    if (::mkdirat(parent, name.constData(), 0700) != 0 && errno != EEXIST) return systemError(errno);
    fd = ::openat(parent, name.constData(), kFolderFlags);
  }
  if (fd < 0) return folderOpenError(parent, name, errno);
  folder.reset(fd);
  if (!guarded) return {};

  struct stat status {};
  if (::fstat(fd, &status) != 0) return systemError(errno);
  return ownershipProblem(status);
}

QString checkOwnFile(int folder, const QByteArray& name, bool& exists) {
  // O_NONBLOCK: a FIFO in its place is not waited on.
  Descriptor file;
  file.reset(::openat(folder, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  const int error = file.valid() ? 0 : errno;
  exists = error != ENOENT;
  if (error == ELOOP) return kFileIsLink;
  if (error != 0) return systemError(error);
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) return systemError(errno);
  if (!S_ISREG(status.st_mode)) return kNotRegular;
  return ownershipProblem(status);
}

}  // namespace OwnPlace
