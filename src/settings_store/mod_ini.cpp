#include "mod_ini.h"

#include "ansi_code_page.h"
#include "ini_text.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <optional>

#include <unistd.h>

// Data.ini is read whole on every call and parsed by IniText; a write
// replaces the file through a temporary file in the same folder once the new
// text is complete on disk, keeping its permission bits. A file without its
// owner's write permission is treated as read-only.
namespace ModINI {
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

// QSaveFile buffers what is written and its commit() neither reports a
// failed final flush nor a failed sync: on a full disk it would rename a
// short file over the old one. So both are done and checked here first.
bool writeFile(const QString& path, const QByteArray& bytes) {
  QSaveFile file(path);
  file.setDirectWriteFallback(false);
  if (!file.open(QIODevice::WriteOnly)) return false;
  if (file.write(bytes) != bytes.size() || !file.flush() || ::fsync(file.handle()) != 0) {
    file.cancelWriting();
    file.commit();  // discards the temporary file
    return false;
  }
  return file.commit();
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

QString SettingsPath() { return AppFolder() + kFileName; }

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

QString IniRead(const QString& section, const QString& key) {
  QByteArray bytes;
  if (!readSettings(bytes)) return QString();
  const auto value = IniText::readValue(bytes, AnsiCodePage::fromUnicode(section), AnsiCodePage::fromUnicode(key));
  return value ? AnsiCodePage::toUnicode(*value) : QString();
}

bool IniHasKey(const QString& section, const QString& key) {
  QByteArray bytes;
  if (!readSettings(bytes)) return false;
  return IniText::readValue(bytes, AnsiCodePage::fromUnicode(section), AnsiCodePage::fromUnicode(key)).has_value();
}

std::int32_t IniWrite(const QString& section, const QString& key, const QString& value) {
  // Reads after this one see the file as it is then.
  batch().read = false;
  batch().bytes.reset();
  const QString path = SettingsPath();
  const QFileInfo info(path);
  QByteArray bytes;
  if (info.exists()) {
    if (info.isDir()) return 0;
    // A file without its owner's write permission is read-only, also for
    // a user (root) whom the system would let write.
    if (!(info.permissions() & QFileDevice::WriteOwner)) return 0;
    if (!readFile(path, bytes)) return 0;  // never replace what could not be read
  }
  const auto updated = IniText::withValue(bytes, AnsiCodePage::fromUnicode(section), AnsiCodePage::fromUnicode(key),
                                          AnsiCodePage::fromUnicode(value));
  if (!updated) return 0;
  if (info.exists() && *updated == bytes) return 1;
  return writeFile(path, *updated) ? 1 : 0;
}

ReadBatch::ReadBatch() { ++batch().depth; }

ReadBatch::~ReadBatch() {
  if (--batch().depth > 0) return;
  batch().read = false;
  batch().bytes.reset();
}

void setAppFolderForTesting(const QString& folder) { testFolder() = folder; }

}  // namespace ModINI
