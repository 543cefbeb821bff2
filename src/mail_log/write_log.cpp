#include "write_log.h"

#include "app_places.h"
#include "own_place.h"
#include "plain_text.h"

#include <QFile>

#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace MailLog {

namespace {

const QString kUntitled = QStringLiteral("無題");
const QString kExtension = QStringLiteral(".eml");
constexpr int kLastNumber = 512;
constexpr qsizetype kMaxNameBytes = 255;  // longest file name the file systems take

// The subject as a file name can hold it: the characters no file name here
// or on Windows may hold become their full-width forms, control characters
// go. "." and ".." are ordinary names once ".eml" follows them.
QString nameBase(const QString& subject) {
  static constexpr QStringView kForbidden = u"/\\:*?\"<>|";
  static constexpr QStringView kFullWidth = u"／＼：＊？＂＜＞｜";
  QString base;
  base.reserve(subject.size());
  for (const QChar c : subject) {
    const qsizetype forbidden = kForbidden.indexOf(c);
    if (forbidden >= 0)
      base += kFullWidth[forbidden];
    else if (c.category() != QChar::Other_Control)
      base += c;
  }
  return base.isEmpty() ? kUntitled : base;
}

// base, shortened at a character boundary where the name with its suffix
// and ".eml" would not fit the file system (counted in UTF-8, a lone
// surrogate as the three bytes of its replacement).
QString fitted(const QString& base, const QString& suffix) {
  const qsizetype room = kMaxNameBytes - suffix.size() - kExtension.size();  // both ASCII
  qsizetype bytes = 0;
  qsizetype end = 0;
  while (end < base.size()) {
    const char16_t c = base[end].unicode();
    const bool pair = unitsOfCharacterAt(base, end) == 2;
    const qsizetype charBytes = pair ? 4 : c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
    if (bytes + charBytes > room) break;
    bytes += charBytes;
    end += pair ? 2 : 1;
  }
  return base.left(end) + suffix + kExtension;
}

// The log is written through descriptors, one folder level at a time, so
// that nothing another local user placed on the way (a symbolic link, a
// FIFO, a hard link, a folder of theirs) leads the mail somewhere else.
using OwnPlace::Descriptor;
using OwnPlace::openFolder;
using OwnPlace::systemError;

// O_NONBLOCK: a FIFO without a reader is refused (ENXIO) instead of
// holding the program until one comes.
constexpr int kFileFlags = O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

QString fileOpenError(int error) {
  if (error == ELOOP) return OwnPlace::kFileIsLink;
  if (error == ENXIO) return OwnPlace::kNotRegular;  // a FIFO without a reader, or a socket
  return systemError(error);
}

// A file the log may write to: a plain file of the user's, under no other
// name (a hard link would carry the mail to a file elsewhere).
QString fileCheck(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return systemError(errno);
  if (!S_ISREG(status.st_mode)) return OwnPlace::kNotRegular;
  if (status.st_uid != ::geteuid()) return OwnPlace::kOtherOwner;
  if (status.st_nlink != 1) return OwnPlace::kHardLinked;
  return {};
}

QString writeAll(int fd, const QByteArray& bytes) {
  const char* data = bytes.constData();
  qsizetype left = bytes.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, size_t(left));
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return systemError(errno);
    if (written == 0) return systemError(EIO);
    data += written;
    left -= written;
  }
  return {};
}

}  // namespace

QString chooseLogFileName(const QString& dayFolder, const QString& subject, const QDateTime& now,
                          const std::function<bool(const QString& path)>& exists) {
  const QString base = nameBase(subject);

  QString name = fitted(base, QString());
  if (exists(dayFolder + name)) {
    name.clear();
    for (int n = 1; n <= kLastNumber && name.isEmpty(); ++n) {
      const QString numbered = fitted(base, QLatin1Char('(') + QString::number(n) + QLatin1Char(')'));
      if (!exists(dayFolder + numbered)) name = numbered;
    }
    if (name.isEmpty()) {
      // All numbers taken: a titled mail takes the time stamp (and joins a
      // file of the same second), an untitled one joins the plain name.
      name = subject.isEmpty()
                 ? fitted(base, QString())
                 : fitted(base, QLatin1Char('(') + now.toString(QStringLiteral("Hmmss")) + QLatin1Char(')'));
    }
  }
  return name;
}

LogPlace placeInUse() {
  const AppPlaces::Places& places = AppPlaces::current();
  return {places.logParent, places.mode == AppPlaces::Mode::PerUser};
}

QString logFolderPath() { return placeInUse().folder(); }

namespace {

// mailLOG and today's folder in it, opened (and made) one below the other
// through descriptors. The folder that holds mailLOG (the program's, or
// the user's own when installed) may be shared; mailLOG and the day folder
// must be the user's alone. Folders made here are the user's alone too
// (0700); those that exist keep their modes. An empty result: day is open.
std::optional<LogResult> openDayFolder(const LogPlace& place, const QDateTime& now, Descriptor& day,
                                       QString& dayFolder) {
  if (place.makeParent) AppPlaces::makeOwnFolder(place.parent);
  QString logParent = place.parent;
  while (logParent.size() > 1 && logParent.endsWith(QLatin1Char('/'))) logParent.chop(1);
  Descriptor app;
  QString reason = openFolder(AT_FDCWD, QFile::encodeName(logParent), false, false, app);
  if (!reason.isEmpty()) return LogResult{false, logParent, reason};

  const QString logFolder = place.folder();
  Descriptor log;
  reason = openFolder(app.get(), QByteArrayLiteral("mailLOG"), true, true, log);
  if (!reason.isEmpty()) return LogResult{false, logFolder, reason};

  const QString dayName = now.toString(QStringLiteral("yyyyMMdd"));
  dayFolder = logFolder + QLatin1Char('/') + dayName;
  reason = openFolder(log.get(), QFile::encodeName(dayName), true, true, day);
  if (!reason.isEmpty()) return LogResult{false, dayFolder, reason};
  return std::nullopt;
}

// The name the mail takes in the day folder and the file opened for it
// (0600), or why it could not be opened.
struct Claim {
  QString name;
  Descriptor file;
  int error = 0;
};

// Asking whether a name is free is creating it (O_EXCL): the first name
// made is the mail's. Whatever holds a name, a link or a FIFO too, makes
// it taken; only a folder stops the search, as a name the mail cannot
// have. When every name is taken, the mail joins the last one.
void claimLogFile(int day, const QString& dayPrefix, const QString& subject, const QDateTime& now, Claim& claim) {
  const auto taken = [&](const QString& path) {
    const QString name = path.mid(dayPrefix.size());
    const QByteArray encoded = QFile::encodeName(name);
    const int fd = ::openat(day, encoded.constData(), kFileFlags | O_EXCL, 0600);
    int error = fd < 0 ? errno : 0;
    if (error == EEXIST) {
      struct stat status {};
      if (::fstatat(day, encoded.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(status.st_mode))
        return true;
      error = EISDIR;
    }
    claim.name = name;
    claim.file.reset(fd);
    claim.error = error;
    return false;
  };
  const QString name = chooseLogFileName(dayPrefix, subject, now, taken);
  if (claim.name == name) return;
  const int fd = ::openat(day, QFile::encodeName(name).constData(), kFileFlags, 0600);
  claim.name = name;
  claim.error = fd < 0 ? errno : 0;
  claim.file.reset(fd);
}

}  // namespace

// Each step runs only when the one before it succeeded; a failure means
// that nothing is written, and the result says where and why.
LogResult writeLog(const LogPlace& place, const QByteArray& mailText, const QString& mSubject,
                   const QDateTime& now) {
  Descriptor day;
  QString dayFolder;
  if (auto failure = openDayFolder(place, now, day, dayFolder)) return *failure;

  const QString dayPrefix = dayFolder + QLatin1Char('/');
  Claim claim;
  claimLogFile(day.get(), dayPrefix, mSubject, now, claim);
  const QString path = dayPrefix + claim.name;
  if (!claim.file.valid()) return {false, path, fileOpenError(claim.error)};
  QString reason = fileCheck(claim.file.get());
  if (!reason.isEmpty()) return {false, path, reason};

  reason = writeAll(claim.file.get(), mailText + QByteArrayLiteral("\r\n"));
  if (!reason.isEmpty()) return {false, path, reason};
  // Linux closes the descriptor even when close() is interrupted.
  if (::close(claim.file.release()) != 0 && errno != EINTR) return {false, path, systemError(errno)};
  return {true, path, QString()};
}

}  // namespace MailLog
