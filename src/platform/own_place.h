#pragma once

#include <QByteArray>
#include <QString>

#include <sys/stat.h>
#include <unistd.h>

#include <utility>

// Folders and files of the user's alone, opened through descriptors one
// level at a time, so that nothing another local user placed on the way (a
// symbolic link, a FIFO, a folder of theirs or one they can write) leads
// the program to read or write somewhere else. The sent-mail log and the
// per-user settings are checked by these same rules.
namespace OwnPlace {

inline const QString kFolderIsLink = QStringLiteral("フォルダがシンボリックリンクです");
inline const QString kNotAFolder = QStringLiteral("フォルダではありません");
inline const QString kOthersCanWrite = QStringLiteral("他のユーザーが書き込めるフォルダです");
inline const QString kOthersCanWriteFile = QStringLiteral("他のユーザーが書き込めるファイルです");
inline const QString kOtherOwner = QStringLiteral("所有者が異なります");
inline const QString kFileIsLink = QStringLiteral("ファイルがシンボリックリンクです");
inline const QString kNotRegular = QStringLiteral("通常のファイルではありません");
inline const QString kHardLinked = QStringLiteral("ハードリンクされたファイルです");

// A file descriptor closed with its owner.
class Descriptor {
 public:
  Descriptor() = default;
  ~Descriptor() { reset(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_ = -1;
};

QString systemError(int error);

// Why a folder or file with this status is not the user's alone: another
// user owns it, or others (its group, everyone) can write it. Empty when
// it is the user's alone.
QString ownershipProblem(const struct stat& status);

// Opens the folder `name` in `parent` (AT_FDCWD with a path: only its last
// part must not be a link) into `folder`, made (0700) when missing if
// `create`. A `guarded` folder must be the user's alone (ownershipProblem).
// Returns why not, or nothing.
QString openFolder(int parent, const QByteArray& name, bool create, bool guarded, Descriptor& folder);

// Checks the file `name` in `folder` for reading: a regular file of the
// user's alone, not a link. Returns why not, or nothing; `exists` says
// whether anything is there at all.
QString checkOwnFile(int folder, const QByteArray& name, bool& exists);

}  // namespace OwnPlace
