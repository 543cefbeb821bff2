#include "settings_file.h"

#include "ini_text.h"

#include <QFile>
#include <QTemporaryFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// A change replaces the file through a temporary file in the same folder
// once the new text is complete on disk, keeping its permission bits (0600
// once it holds a password). A file without its owner's write permission
// is treated as read-only; a link, a hard-linked file or another user's
// file in its place is left alone and the change fails.
namespace {

bool readFile(const QString& path, QByteArray& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  bytes = file.readAll();
  return file.error() == QFileDevice::NoError;
}

// The permission bits a new file gets from the user's umask.
mode_t newFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// A file holding a mail password is the user's alone.
bool holdsPassword(const QByteArray& bytes) {
  for (const char* key : {"PASS", "SmtpPass"}) {
    const auto value = IniText::readValue(bytes, QByteArrayLiteral("MAIL"), QByteArray(key));
    if (value && !value->trimmed().isEmpty()) return true;
  }
  return false;
}

// The new text goes to a temporary file in the same folder, made with
// O_EXCL and 0600, written, flushed and synced (a full disk must never
// rename a short file over the old one), given its final permission bits,
// and renamed over the old file. rename() replaces a link itself, never
// what it points to.
bool writeFile(const QString& path, const QByteArray& bytes, mode_t mode) {
  QTemporaryFile file(path + QStringLiteral(".XXXXXX"));
  if (!file.open()) return false;
  const int fd = file.handle();
  if (file.write(bytes) != bytes.size() || !file.flush() || ::fchmod(fd, mode) != 0 || ::fsync(fd) != 0)
    return false;  // the temporary file goes with `file`
  if (::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
    return false;
  file.setAutoRemove(false);
  return true;
}


// What is replaced is read, checked and measured through one descriptor,
// never through a link: another user who can write the folder could swap
// in a link, or a hard link, to a file of ours and have its contents saved
// as Data.ini. A missing file reads as empty; mode is left as it was.
bool readForUpdate(const QString& path, QByteArray& bytes, mode_t& mode, bool& exists) {
  const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  exists = descriptor >= 0;
  if (!exists) return errno == ENOENT;
  QFile file;
  if (!file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    ::close(descriptor);
    return false;
  }
  struct stat status {};
  if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::geteuid() ||
      status.st_nlink != 1)
    return false;
  // A file without its owner's write permission is read-only, also for a
  // user (root) whom the system would let write.
  if (!(status.st_mode & S_IWUSR)) return false;
  bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return false;  // never replace what could not be read
  mode = status.st_mode & 07777;
  return true;
}

}  // namespace

SettingsFile::SettingsFile(const QString& folder) : path_(folder) {
  if (!path_.endsWith(QLatin1Char('/'))) path_ += QLatin1Char('/');
  path_ += AppPlaces::kSettingsFileName;
}

SettingsFile SettingsFile::inUse() { return SettingsFile(AppPlaces::settingsFolder()); }

IniDocument SettingsFile::read() const {
  QByteArray bytes;
  if (!readFile(path_, bytes)) return IniDocument();
  return IniDocument(std::move(bytes));
}

bool SettingsFile::update(const std::function<bool(IniDocument&)>& change) const {
  QByteArray bytes;
  mode_t mode = newFileMode();
  bool exists = false;
  if (!readForUpdate(path_, bytes, mode, exists)) return false;
  IniDocument document(bytes);
  if (!change(document)) return false;
  if (exists && document.bytes() == bytes) return true;
  // The file keeps its permission bits, unless it now holds a password.
  if (holdsPassword(document.bytes())) mode = 0600;
  return writeFile(path_, document.bytes(), mode);
}

bool SettingsFile::write(const QString& section, const QString& key, const QString& value) const {
  return update([&](IniDocument& document) { return document.set(section, key, value); });
}
