#include "app_places.h"

#include <QCoreApplication>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <optional>

#include <cerrno>
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
  QString path = folder;
  while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
  if (QFileInfo(path).isDir()) return true;
  if (!QDir().mkpath(QFileInfo(path).path())) return false;
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

bool prepareSettingsFile() {
  const Places& places = current();
  const QString path = settingsPath();
  if (QFileInfo::exists(path)) return true;
  if (places.mode == Mode::Portable) return false;
  return makeOwnFolder(places.settingsFolder) && copyShippedSettings(shippedSettingsPath(programFolder()), path);
}

}  // namespace AppPlaces
