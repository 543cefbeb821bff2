#include "app_places.h"

#include "own_place.h"

#include <QCoreApplication>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <optional>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace AppPlaces {

namespace {

const QString kFolderName = QStringLiteral("talvenor");
const QString kLogFolderName = QStringLiteral("mailLOG");

std::optional<Places>& decided() {
  static std::optional<Places> places;
  return places;
}

// Set by useProgramFolder; empty: the executable's folder.
QString& chosenProgramFolder() {
  static QString folder;
  return folder;
}

QString withSeparator(QString folder) {
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  return folder;
}

QString withoutSeparator(QString folder) {
  while (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) folder.chop(1);
  return folder;
}

// Copies the shipped default to target through a file of the user's alone,
// renamed into place once complete: a crash leaves no half file behind.
bool copyShippedSettings(const QString& shipped, const QString& target) {
  QFile source(shipped);
  if (!source.open(QIODevice::ReadOnly)) return false;
  const QByteArray bytes = source.readAll();
  if (source.error() != QFileDevice::NoError) return false;
  QTemporaryFile file(target + QStringLiteral(".XXXXXX"));  // made 0600
  if (!file.open()) return false;
  if (file.write(bytes) != bytes.size() || !file.flush() || ::fsync(file.handle()) != 0) return false;
  // link() never replaces: a file that appeared meanwhile stays the one used.
  const bool linked = ::link(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(target).constData()) == 0;
  return linked || errno == EEXIST;
}

}  // namespace

bool makeOwnFolder(const QString& folder) {
  const QString path = withoutSeparator(folder);
  if (QFileInfo(path).isDir()) return true;
  const QString parent = QFileInfo(path).path();
  if (parent != path && !makeOwnFolder(parent)) return false;
  return ::mkdir(QFile::encodeName(path).constData(), 0700) == 0 || errno == EEXIST;
}

QString shippedSettingsPath(const QString& programFolder) {
  return QDir::cleanPath(programFolder + QStringLiteral("../share/talvenor/") + kSettingsFileName);
}

Places decide(const QString& programFolder, const QString& configHome, const QString& dataHome) {
  const QString program = withSeparator(programFolder);
  const QString perUserSettings = withSeparator(configHome) + kFolderName + QLatin1Char('/');
  // The program's folder alone decides, never what the user's folders hold.
  const bool portable =
      QFileInfo::exists(program + kSettingsFileName) || !QFileInfo::exists(shippedSettingsPath(program));
  if (portable) return {Mode::Portable, program, program};
  return {Mode::PerUser, perUserSettings, withSeparator(dataHome) + kFolderName + QLatin1Char('/')};
}

const Places& current() {
  std::optional<Places>& places = decided();
  if (!places) {
    places = decide(programFolder(), QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation),
                    QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
  }
  return *places;
}

QString programFolder() {
  QString folder = chosenProgramFolder();
  if (folder.isEmpty() && QCoreApplication::instance() != nullptr) folder = QCoreApplication::applicationDirPath();
  if (folder.isEmpty()) folder = QDir::currentPath();
  return withSeparator(folder);
}

void useProgramFolder(const QString& folder) {
  chosenProgramFolder() = folder;
  decided().reset();
}

QString settingsFolder() { return current().settingsFolder; }

QString settingsPath() { return settingsFolder() + kSettingsFileName; }

QString logFolderPath() { return current().logParent + kLogFolderName; }

namespace {

// The user's own settings folder, made (0700) with its parents when
// missing, and its Data.ini, made from the shipped default when missing.
// Only a folder and file of the user's alone are used: another user who
// can write the folder above (an XDG_CONFIG_HOME in a shared folder) could
// otherwise have the mail sent with settings of theirs.
SettingsCheck preparePerUserSettings(const QString& folder, const QString& shipped) {
  const QString path = withoutSeparator(folder);
  if (!makeOwnFolder(QFileInfo(path).path())) return {SettingsCheck::State::Missing, {}, {}};
  OwnPlace::Descriptor own;
  QString reason = OwnPlace::openFolder(AT_FDCWD, QFile::encodeName(path), true, true, own);
  if (!reason.isEmpty()) return {SettingsCheck::State::Refused, path, reason};
  const QByteArray name = QFile::encodeName(kSettingsFileName);
  bool exists = false;
  reason = OwnPlace::checkOwnFile(own.get(), name, exists);
  if (!exists && copyShippedSettings(shipped, folder + kSettingsFileName))
    reason = OwnPlace::checkOwnFile(own.get(), name, exists);
  if (!exists) return {SettingsCheck::State::Missing, {}, {}};
  if (!reason.isEmpty()) return {SettingsCheck::State::Refused, folder + kSettingsFileName, reason};
  return {SettingsCheck::State::Ready, {}, {}};
}

}  // namespace

SettingsCheck prepareSettingsFile() {
  const Places& places = current();
  if (places.mode == Mode::PerUser)
    return preparePerUserSettings(places.settingsFolder, shippedSettingsPath(programFolder()));
  const bool exists = QFileInfo::exists(settingsPath());
  return {exists ? SettingsCheck::State::Ready : SettingsCheck::State::Missing, {}, {}};
}

}  // namespace AppPlaces
