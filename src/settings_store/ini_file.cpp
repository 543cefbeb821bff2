#include "ini_file.h"

#include "cp932.h"
#include "app_places.h"
#include "ini_text.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <optional>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Data.ini is read whole on every call and parsed by IniText; a write
// replaces the file through a temporary file in the same folder once the new
// text is complete on disk, keeping its permission bits (0600 once it holds
// a password). A file without its owner's write permission is treated as
// read-only; a link, a hard-linked file or another user's file in its place
// is left alone and the write fails.
namespace IniFile {
namespace {

QString& testFolder() {
  static QString folder;
  return folder;
}

// The file as the living ReadBatch read it. Reads and writes happen on the
// user-interface thread only.
struct Batch {
  int depth = 0;                    // ReadBatch objects alive
  bool read = false;                // the file was read for them
  std::optional<QByteArray> bytes;  // what that read gave; none when it failed
};
Batch& batch() {
  static Batch shared;
  return shared;
}

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

}  // namespace

QString AppFolder() {
  QString folder = testFolder();
  if (folder.isEmpty() && QCoreApplication::instance() != nullptr) {
    folder = QCoreApplication::applicationDirPath();
  }
  if (folder.isEmpty()) folder = QDir::currentPath();
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  return folder;
}

QString SettingsPath() { return AppPlaces::SettingsPath(); }

// One read of the file, or the one the current batch made.
bool readSettings(QByteArray& bytes) {
  Batch& shared = batch();
  if (shared.depth == 0) return readFile(SettingsPath(), bytes);
  if (!shared.read) {
    QByteArray read;
    if (readFile(SettingsPath(), read)) shared.bytes = std::move(read);
    shared.read = true;
  }
  if (!shared.bytes) return false;
  bytes = *shared.bytes;
  return true;
}

QString read(const QString& section, const QString& key) {
  QByteArray bytes;
  if (!readSettings(bytes)) return QString();
  const auto value = IniText::readValue(bytes, Cp932::fromUnicode(section), Cp932::fromUnicode(key));
  return value ? Cp932::toUnicode(*value) : QString();
}

bool IniHasKey(const QString& section, const QString& key) {
  QByteArray bytes;
  if (!readSettings(bytes)) return false;
  return IniText::readValue(bytes, Cp932::fromUnicode(section), Cp932::fromUnicode(key)).has_value();
}

std::int32_t write(const QString& section, const QString& key, const QString& value) {
  // Reads after this one see the file as it is then.
  batch().read = false;
  batch().bytes.reset();
  const QString path = SettingsPath();
  QByteArray bytes;
  mode_t mode = newFileMode();
  // What is replaced is read, checked and measured through one descriptor,
  // never through a link: another user who can write the folder could swap
  // in a link, or a hard link, to a file of ours and have its contents
  // saved as Data.ini.
  const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  const bool exists = descriptor >= 0;
  if (!exists && errno != ENOENT) return 0;
  if (exists) {
    QFile file;
    if (!file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
      ::close(descriptor);
      return 0;
    }
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::geteuid() ||
        status.st_nlink != 1)
      return 0;
    // A file without its owner's write permission is read-only, also for
    // a user (root) whom the system would let write.
    if (!(status.st_mode & S_IWUSR)) return 0;
    bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) return 0;  // never replace what could not be read
    mode = status.st_mode & 07777;
  }
  const auto updated = IniText::withValue(bytes, Cp932::fromUnicode(section), Cp932::fromUnicode(key),
                                          Cp932::fromUnicode(value));
  if (!updated) return 0;
  if (exists && *updated == bytes) return 1;
  // The file keeps its permission bits, unless it now holds a password.
  if (holdsPassword(*updated)) mode = 0600;
  return writeFile(path, *updated, mode) ? 1 : 0;
}

ReadBatch::ReadBatch() { ++batch().depth; }

ReadBatch::~ReadBatch() {
  if (--batch().depth > 0) return;
  batch().read = false;
  batch().bytes.reset();
}

void setAppFolderForTesting(const QString& folder) {
  testFolder() = folder;
  AppPlaces::Forget();
}

}  // namespace IniFile
