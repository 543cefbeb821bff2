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
#include <QProcess>
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
  void settingsNotTheUsersAloneAreRefused_data();
  void settingsNotTheUsersAloneAreRefused();
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
  QVERIFY(AppPlaces::prepareSettingsFile().ready());
  const QString folder = tree.configHome() + QStringLiteral("/talvenor");
  QCOMPARE(mode(folder), 0700);
  QCOMPARE(mode(tree.configHome()), 0700);  // a missing parent is the user's alone too
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
  QVERIFY(AppPlaces::prepareSettingsFile().ready());
  QCOMPARE(contents(SettingsFile::inUse().path()), QByteArray("[MAIL]\r\nOUTLOG=True\r\n"));
}

void TstAppPlaces::missingEverywhereIsMissing() {
  InstalledTree tree(false, false);
  QVERIFY(!AppPlaces::prepareSettingsFile().ready());
  QVERIFY(!QFileInfo::exists(tree.root.path() + QStringLiteral("/home")));
}

// Installed, another local user who can write where the settings are
// looked for (an XDG_CONFIG_HOME in a shared folder, a link in place of the
// folder) must not have the mail sent with settings of theirs: the folder
// and the file must be the user's alone, and stay as they are.
void TstAppPlaces::settingsNotTheUsersAloneAreRefused_data() {
  QTest::addColumn<QString>("change");  // a shell command run in the config home
  QTest::addColumn<QString>("refused");  // relative to the config home
  QTest::addColumn<QString>("reason");
  const QString folder = QStringLiteral("talvenor");
  const QString file = QStringLiteral("talvenor/Data.ini");
  QTest::newRow("folder of another user") << QStringLiteral("chown 65534 talvenor") << folder
                                          << QStringLiteral("所有者が異なります");
  QTest::newRow("folder others can write") << QStringLiteral("chmod 0777 talvenor") << folder
                                           << QStringLiteral("他のユーザーが書き込めるフォルダです");
  QTest::newRow("folder a link to another user's")
      << QStringLiteral("mv talvenor theirs && chown -R 65534 theirs && ln -s theirs talvenor") << folder
      << QStringLiteral("フォルダがシンボリックリンクです");
  QTest::newRow("file of another user") << QStringLiteral("chown 65534 talvenor/Data.ini") << file
                                        << QStringLiteral("所有者が異なります");
  QTest::newRow("file others can write") << QStringLiteral("chmod 0622 talvenor/Data.ini") << file
                                         << QStringLiteral("他のユーザーが書き込めるファイルです");
  QTest::newRow("file a link") << QStringLiteral("mv talvenor/Data.ini theirs.ini && ln -s ../theirs.ini talvenor/Data.ini")
                               << file << QStringLiteral("ファイルがシンボリックリンクです");
}

void TstAppPlaces::settingsNotTheUsersAloneAreRefused() {
  QFETCH(QString, change);
  QFETCH(QString, refused);
  QFETCH(QString, reason);
  InstalledTree tree(true, false);
  InstalledTree::write(tree.configHome() + QStringLiteral("/talvenor/Data.ini"), "[MAIL]\r\nOUTLOG=True\r\n");
  QVERIFY(QFile::setPermissions(tree.configHome() + QStringLiteral("/talvenor"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
  QVERIFY(QFile::setPermissions(tree.configHome() + QStringLiteral("/talvenor/Data.ini"), QFile::ReadOwner | QFile::WriteOwner));
  QProcess shell;
  shell.setWorkingDirectory(tree.configHome());
  shell.start(QStringLiteral("sh"), {QStringLiteral("-ec"), change});
  QVERIFY(shell.waitForFinished(30000));
  QCOMPARE(shell.exitCode(), 0);
  const QStringList before = QDir(tree.configHome()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);

  const AppPlaces::SettingsCheck check = AppPlaces::prepareSettingsFile();

  QCOMPARE(check.state, AppPlaces::SettingsCheck::State::Refused);
  QCOMPARE(check.place, tree.configHome() + u'/' + refused);
  QCOMPARE(check.reason, reason);
  QCOMPARE(QDir(tree.configHome()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System), before);
  QCOMPARE(contents(tree.configHome() + QStringLiteral("/talvenor/Data.ini")), QByteArray("[MAIL]\r\nOUTLOG=True\r\n"));
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
