// The program as `cmake --install` lays it out under a prefix of its own,
// started by a user who has never run it (a HOME of the test's own):
// - the installed executable makes ~/.config/talvenor/Data.ini (0600) from
//   the shipped default, and with a Data.ini beside it uses that one;
// - the whole program, pointed at the installed tree, saves its settings
//   there and logs a mail sent to the real SMTP server under
//   ~/.local/share/talvenor/mailLOG.
// Run by tests/servers/run_real_servers.sh; the parts that send are skipped
// without it.
#include "find_child.h"
#include "app_places.h"
#include "settings_window.h"
#include "start_procedure.h"
#include "settings_in_use.h"
#include "scripted_message_boxes.h"
#include "main_window.h"
#include "mail_settings.h"
#include "settings_file.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUuid>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Waits are for the program to get there, not limits on how fast it does.
constexpr int kPatience = 120000;

QByteArray contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int mode(const QString& path) {
  struct stat status {};
  return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 07777) : -1;
}

// A user who never ran the program: HOME of its own, no XDG folders set.
struct NewUser {
  QTemporaryDir home;
  QString configFolder() const { return home.path() + QStringLiteral("/.config/talvenor"); }
  QString logFolder() const { return home.path() + QStringLiteral("/.local/share/talvenor/mailLOG"); }
  QProcessEnvironment environment() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
    environment.remove(QStringLiteral("XDG_DATA_HOME"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
  }
};

// The installed executable, running until the object goes.
struct RunningProgram {
  QProcess process;
  RunningProgram(const QString& executable, const NewUser& user) {
    process.setProcessEnvironment(user.environment());
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(executable, {});
  }
  ~RunningProgram() {
    process.kill();
    process.waitForFinished();
  }
};

// Tells when a file is opened (the program reading its settings).
class OpenWatch {
 public:
  explicit OpenWatch(const QString& path) : fd_(inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {
    inotify_add_watch(fd_, QFile::encodeName(path).constData(), IN_OPEN);
  }
  ~OpenWatch() { ::close(fd_); }
  bool opened() {
    alignas(inotify_event) char buffer[4096];
    return ::read(fd_, buffer, sizeof buffer) > 0;
  }

 private:
  int fd_;
};

}  // namespace

class TstInstalledProgram : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void firstStartMakesTheUsersSettings();
  void dataIniBesideTheProgramIsUsed();
  void savesAndLogsInTheUsersFolders();
  void commandSendsOverTls();

 private:
  QTemporaryDir prefix_;
  QString bin() const { return prefix_.path() + QStringLiteral("/bin/"); }
  QString shipped() const { return prefix_.path() + QStringLiteral("/share/talvenor/Data.ini"); }
};

void TstInstalledProgram::initTestCase() {
  QProcess install;
  install.setProcessChannelMode(QProcess::ForwardedChannels);
  install.start(QStringLiteral(TALVENOR_CMAKE_COMMAND),
                {QStringLiteral("--install"), qEnvironmentVariable("TALVENOR_BUILD_DIR"), QStringLiteral("--prefix"),
                 prefix_.path()});
  QVERIFY(install.waitForFinished(-1));
  QCOMPARE(install.exitCode(), 0);
  QVERIFY(QFileInfo(bin() + QStringLiteral("talvenor")).isExecutable());
  QVERIFY(QFileInfo(bin() + QStringLiteral("talvenor-send")).isExecutable());
  QVERIFY(QFileInfo::exists(shipped()));
  QVERIFY(!QFileInfo::exists(bin() + QStringLiteral("Data.ini")));
}

void TstInstalledProgram::firstStartMakesTheUsersSettings() {
  NewUser user;
  const QString settings = user.configFolder() + QStringLiteral("/Data.ini");
  RunningProgram program(bin() + QStringLiteral("talvenor"), user);
  QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(settings); }, kPatience));
  QCOMPARE(program.process.state(), QProcess::Running);
  QCOMPARE(contents(settings), contents(shipped()));
  QCOMPARE(mode(settings), 0600);
  QCOMPARE(mode(user.configFolder()), 0700);
  QVERIFY(!QFileInfo::exists(bin() + QStringLiteral("Data.ini")));
}

void TstInstalledProgram::dataIniBesideTheProgramIsUsed() {
  NewUser user;
  const QString beside = bin() + QStringLiteral("Data.ini");
  QVERIFY(QFile::copy(shipped(), beside));
  OpenWatch watch(beside);
  {
    RunningProgram program(bin() + QStringLiteral("talvenor"), user);
    // Once it reads that file its choice is made.
    QVERIFY(QTest::qWaitFor([&] { return watch.opened(); }, kPatience));
    QCOMPARE(program.process.state(), QProcess::Running);
    QVERIFY(!QFileInfo::exists(user.home.path() + QStringLiteral("/.config")));
  }
  QVERIFY(QFile::remove(beside));
}

// The program's own windows, driven as a user does: the settings window
// gets the sender, the server, the recipient and the log switch; the main
// window sends one mail. The settings file is made at start as above.
void TstInstalledProgram::savesAndLogsInTheUsersFolders() {
  if (qEnvironmentVariableIsEmpty("TALVENOR_SMTP_SPOOL"))
    QSKIP("needs the servers of tests/servers/run_real_servers.sh (run it under unshare --net)");
  NewUser user;
  qputenv("HOME", QFile::encodeName(user.home.path()));
  qunsetenv("XDG_CONFIG_HOME");
  qunsetenv("XDG_DATA_HOME");
  AppPlaces::useProgramFolder(bin());
  ScriptedMessageBoxes boxes;  // every box answered with its default: OK, Yes

  const QString subject = QStringLiteral("インストール版");
  bool sent = false;
  QTimer::singleShot(0, [&] {
    MainWindow* main = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (auto* window = qobject_cast<MainWindow*>(widget)) main = window;
    if (!main) return QCoreApplication::quit();
    QTimer::singleShot(0, [] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* settings = qobject_cast<SettingsWindow*>(widget);
        if (!settings) continue;
        child<QLineEdit>(*settings, "addressEdit0")->setText(QStringLiteral("hanako@talvenor.test"));
        child<QLineEdit>(*settings, "senderEdit")->setText(QStringLiteral("taro@talvenor.test"));
        child<QLineEdit>(*settings, "smtpServerEdit")->setText(QStringLiteral("localhost"));
        child<QCheckBox>(*settings, "keepLogCheck")->setChecked(true);
        child<QPushButton>(*settings, "saveButton")->click();
      }
    });
    child<QPushButton>(*main, "settingsButton")->click();  // returns once the settings window has closed
    child<QLineEdit>(*main, "subjectEdit")->setText(subject);
    child<QPlainTextEdit>(*main, "bodyEdit")->setPlainText(QStringLiteral("インストールした版から送ります。"));
    child<QPushButton>(*main, "sendButton")->click();
    sent = QTest::qWaitFor([&] { return boxes.texts().join(QString()).contains(QStringLiteral("送信が完了しました。")); },
                           kPatience);
    child<QPushButton>(*main, "closeButton")->click();
  });
  int exitCode = -1;
  const auto outcome = StartProcedure::run(QUuid::createUuid().toString(QUuid::Id128), exitCode);
  AppPlaces::useProgramFolder(QString());

  QCOMPARE(outcome, StartProcedure::StartOutcome::MainWindowRan);
  QVERIFY2(sent, qPrintable(boxes.texts().join(QStringLiteral(" | "))));
  const QString settings = user.configFolder() + QStringLiteral("/Data.ini");
  QCOMPARE(mode(settings), 0600);
  QVERIFY(contents(settings).contains("OUTLOG=True"));
  QVERIFY(contents(shipped()).contains("OUTLOG=False"));
  const QString logFile = user.logFolder() + QLatin1Char('/') + QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) +
                          QLatin1Char('/') + subject + QStringLiteral(".eml");
  QVERIFY2(QFileInfo::exists(logFile), qPrintable(logFile));
  QVERIFY(!QFileInfo::exists(bin() + QStringLiteral("mailLOG")));
  QVERIFY(!QFileInfo::exists(bin() + QStringLiteral("Data.ini")));
}

// The installed command sends over TLS from the first byte, trusting the
// certificates SSL_CERT_FILE names.
void TstInstalledProgram::commandSendsOverTls() {
  if (qEnvironmentVariableIsEmpty("TALVENOR_TEST_CA"))
    QSKIP("needs the servers of tests/servers/run_real_servers.sh (run it under unshare --net)");
  QTemporaryDir config;
  const QString settingsPath = config.filePath(QStringLiteral("Data.ini"));
  QVERIFY(QFile::copy(shipped(), settingsPath));
  QVERIFY(QFile::setPermissions(settingsPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
  MailSettings settings;
  settings.from = QStringLiteral("taro@talvenor.test");
  settings.smtpServer = QStringLiteral("localhost");
  settings.smtpSecurity = MailSettings::SmtpSecurity::Ssl;
  settings.smtpPort = 465;
  settings.smtpAuth = true;
  settings.smtpUser = QStringLiteral("taro");
  settings.smtpPassword = QStringLiteral("secret");
  QVERIFY(SettingsFile(config.path()).update([&settings](IniDocument& ini) {
    DataIni::writeMailSettings(ini, settings);
    return true;
  }));

  QProcess command;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("SSL_CERT_FILE"), qEnvironmentVariable("TALVENOR_TEST_CA"));
  command.setProcessEnvironment(environment);
  command.start(bin() + QStringLiteral("talvenor-send"),
                {QStringLiteral("--config"), config.path(), QStringLiteral("--body"), QStringLiteral("インストール版"),
                 QStringLiteral("hanako@talvenor.test")});
  QVERIFY(command.waitForFinished(kPatience));
  QVERIFY2(command.exitStatus() == QProcess::NormalExit && command.exitCode() == 0,
           command.readAllStandardError().constData());
}

QTEST_MAIN(TstInstalledProgram)
#include "tst_installed_program.moc"
