// Where Data.ini and mailLOG are: beside the program when a Data.ini is
// there, else the user's own folders, made from the shipped default.
#include "app_places.h"
#include "settings_in_use.h"
#include "password_store.h"
#include "temp_app_folder.h"
#include "write_log.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

// An installed tree: <root>/prefix/bin holds the program, prefix/share/talvenor
// the shipped default when asked for, and <root>/home the user's folders.
struct InstalledTree {
  QTemporaryDir root;
  QString programFolder() const { return root.path() + QStringLiteral("/prefix/bin/"); }
  QString shipped() const { return root.path() + QStringLiteral("/prefix/share/talvenor/Data.ini"); }
  QString configHome() const { return root.path() + QStringLiteral("/home/config"); }
  QString dataHome() const { return root.path() + QStringLiteral("/home/data"); }

  explicit InstalledTree(bool shipsDefault, bool dataIniBeside) {
    QDir().mkpath(programFolder());
    if (shipsDefault) write(shipped(), "[CarrierNum]\r\nNum=0\r\n");
    if (dataIniBeside) write(programFolder() + QStringLiteral("Data.ini"), "[MAIL]\r\n");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome()));
    AppPlaces::useProgramFolder(programFolder());
  }
  ~InstalledTree() {
    AppPlaces::useProgramFolder(QString());
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_DATA_HOME");
  }
  static void write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
};

QByteArray contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int mode(const QString& path) {
  struct stat status {};
  return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 07777) : -1;
}

}  // namespace

class TstAppPlaces : public QObject {
  Q_OBJECT

 private slots:
  void choice_data();
  void choice();
  void firstStartMakesTheUsersOwnSettings();
  void theUsersSettingsAreNeverReplaced();
  void missingEverywhereIsMissing();
  void logGoesToTheFolderInUse();
};

void TstAppPlaces::choice_data() {
  QTest::addColumn<bool>("shipsDefault");
  QTest::addColumn<bool>("dataIniBeside");
  QTest::addColumn<bool>("portable");
  QTest::newRow("Data.ini beside the program") << true << true << true;
  QTest::newRow("installed") << true << false << false;
  QTest::newRow("neither") << false << false << true;
}

// Every user of the places follows the one choice: the settings file, the
// log folder and the keyring's service name.
void TstAppPlaces::choice() {
  QFETCH(bool, shipsDefault);
  QFETCH(bool, dataIniBeside);
  QFETCH(bool, portable);
  InstalledTree tree(shipsDefault, dataIniBeside);

  const QString settingsFolder = portable ? tree.programFolder() : tree.configHome() + QStringLiteral("/talvenor/");
  const QString logFolder =
      portable ? tree.programFolder() + QStringLiteral("mailLOG") : tree.dataHome() + QStringLiteral("/talvenor/mailLOG");
  QCOMPARE(AppPlaces::current().mode, portable ? AppPlaces::Mode::Portable : AppPlaces::Mode::PerUser);
  QCOMPARE(SettingsFile::inUse().path(), settingsFolder + QStringLiteral("Data.ini"));
  QCOMPARE(MailLog::logFolderPath(), logFolder);
  QCOMPARE(PasswordStore(SettingsFile::inUse(), Keyring()).keyringService(), QStringLiteral("Talvenor ") + settingsFolder);
  // Nothing is made by asking.
  QVERIFY(!QFileInfo::exists(tree.root.path() + QStringLiteral("/home")));
}

void TstAppPlaces::firstStartMakesTheUsersOwnSettings() {
  InstalledTree tree(true, false);
  QVERIFY(AppPlaces::prepareSettingsFile());
  const QString folder = tree.configHome() + QStringLiteral("/talvenor");
  QCOMPARE(mode(folder), 0700);
  QCOMPARE(mode(SettingsFile::inUse().path()), 0600);
  QCOMPARE(contents(SettingsFile::inUse().path()), contents(tree.shipped()));
  QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("Data.ini")});

  // Saving goes to the user's file; the shipped one stays as shipped.
  QVERIFY(SettingsInUse::write(QStringLiteral("MAIL"), QStringLiteral("OUTLOG"), QStringLiteral("True")));
  QCOMPARE(SettingsInUse::value(QStringLiteral("MAIL"), QStringLiteral("OUTLOG")), QStringLiteral("True"));
  QCOMPARE(contents(tree.shipped()), QByteArray("[CarrierNum]\r\nNum=0\r\n"));
}

void TstAppPlaces::theUsersSettingsAreNeverReplaced() {
  InstalledTree tree(true, false);
  InstalledTree::write(tree.configHome() + QStringLiteral("/talvenor/Data.ini"), "[MAIL]\r\nOUTLOG=True\r\n");
  QVERIFY(AppPlaces::prepareSettingsFile());
  QCOMPARE(contents(SettingsFile::inUse().path()), QByteArray("[MAIL]\r\nOUTLOG=True\r\n"));
}

void TstAppPlaces::missingEverywhereIsMissing() {
  InstalledTree tree(false, false);
  QVERIFY(!AppPlaces::prepareSettingsFile());
  QVERIFY(!QFileInfo::exists(tree.root.path() + QStringLiteral("/home")));
}

// Installed, the log's folders are made on the first logged mail, the
// user's alone.
void TstAppPlaces::logGoesToTheFolderInUse() {
  InstalledTree tree(true, false);
  const QDateTime now(QDate(2004, 3, 22), QTime(9, 30, 15));
  const MailLog::LogResult result = MailLog::writeLog(MailLog::placeInUse(), QByteArrayLiteral("SUBJECT:test\r\n\r\nbody"), QStringLiteral("test"), now);
  QVERIFY2(result.written, qPrintable(result.reason));
  QCOMPARE(result.path, tree.dataHome() + QStringLiteral("/talvenor/mailLOG/20040322/test.eml"));
  QCOMPARE(mode(tree.dataHome() + QStringLiteral("/talvenor")), 0700);
  QCOMPARE(mode(tree.dataHome() + QStringLiteral("/talvenor/mailLOG")), 0700);
  QVERIFY(!QFileInfo::exists(tree.programFolder() + QStringLiteral("mailLOG")));
}

QTEST_GUILESS_MAIN(TstAppPlaces)
#include "tst_app_places.moc"
