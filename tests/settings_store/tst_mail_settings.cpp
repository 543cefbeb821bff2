// Section MAIL as one value: the keys for sending through a provider read
// with their defaults, and written only when they say something, so a
// Data.ini that never used them is saved byte for byte as before.
#include "data_ini_layout.h"
#include "mail_settings.h"
#include "settings_in_use.h"
#include "password_store.h"
#include "scrambling.h"
#include "temp_app_folder.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using Smtp = MailSettings::SmtpSecurity;
using Pop = MailSettings::PopSecurity;

namespace {

const QString kBase = QStringLiteral("[MAIL]\nTo=\nFrom=\nServer=\nPBSMTP=False\nOUTLOG=False\npServer=\nUSER=\nPASS=\n");

// Which value of MailSettings a row of oneValue reads.
enum class Value { Charset, PopInterval, ReplyTimeout };

int valueOf(const MailSettings& settings, Value value) {
  switch (value) {
    case Value::Charset: return int(settings.charset);
    case Value::PopInterval: return settings.popIntervalMinutes;
    case Value::ReplyTimeout: return settings.replyTimeoutSeconds;
  }
  return -1;
}

}  // namespace

Q_DECLARE_METATYPE(Value)

class TstMailSettings : public QObject {
  Q_OBJECT

 private slots:
  void reads_data();
  void reads();
  void oneValue_data();
  void oneValue();
  void savingWithoutNewKeysChangesNothing();
  void savingWritesWhatIsNotDefault();
  void savingKeepsKeysTheFileHas();
  void savedFileMode_data();
  void savedFileMode();
  void linkIsNotWrittenThrough();
};

void TstMailSettings::reads_data() {
  QTest::addColumn<QString>("lines");
  QTest::addColumn<int>("smtpSecurity");
  QTest::addColumn<int>("smtpPort");
  QTest::addColumn<bool>("smtpAuth");
  QTest::addColumn<int>("popSecurity");
  QTest::addColumn<int>("popPort");

  QTest::newRow("absent") << QString() << int(Smtp::None) << 25 << false << int(Pop::None) << 110;
  QTest::newRow("STARTTLS, its port") << QStringLiteral("SmtpSecurity=STARTTLS\nSmtpAuth=True\n")
                                      << int(Smtp::StartTls) << 587 << true << int(Pop::None) << 110;
  QTest::newRow("SSL both, any case") << QStringLiteral("SmtpSecurity=ssl\nPopSecurity=Ssl\n") << int(Smtp::Ssl)
                                      << 465 << false << int(Pop::Ssl) << 995;
  QTest::newRow("STLS keeps 110") << QStringLiteral("PopSecurity=STLS\n") << int(Smtp::None) << 25 << false
                                  << int(Pop::Stls) << 110;
  QTest::newRow("ports given") << QStringLiteral("SmtpSecurity=STARTTLS\nSmtpPort=2525\nPopPort=1110\n")
                               << int(Smtp::StartTls) << 2525 << false << int(Pop::None) << 1110;
  QTest::newRow("unknown and bad values")
      << QStringLiteral("SmtpSecurity=TLS\nSmtpPort=70000\nSmtpAuth=maybe\nPopSecurity=x\nPopPort=-1\n")
      << int(Smtp::None) << 25 << false << int(Pop::None) << 110;
  QTest::newRow("port zero or empty") << QStringLiteral("SmtpSecurity=SSL\nSmtpPort=0\nPopPort=\n") << int(Smtp::Ssl)
                                      << 465 << false << int(Pop::None) << 110;
}

void TstMailSettings::reads() {
  QFETCH(QString, lines);
  QFETCH(int, smtpSecurity);
  QFETCH(int, smtpPort);
  QFETCH(bool, smtpAuth);
  QFETCH(int, popSecurity);
  QFETCH(int, popPort);
  TempAppFolder folder;
  folder.writeIni(kBase + lines + QStringLiteral("SmtpUser=") + Scrambling::scramble(QStringLiteral("taro")) +
                  QStringLiteral("\n"));

  const MailSettings settings = SettingsInUse::mailSettings();
  QCOMPARE(int(settings.smtpSecurity), smtpSecurity);
  QCOMPARE(int(settings.smtpPort), smtpPort);
  QCOMPARE(settings.smtpAuth, smtpAuth);
  QCOMPARE(settings.smtpUser, QStringLiteral("taro"));
  QCOMPARE(int(settings.popSecurity), popSecurity);
  QCOMPARE(int(settings.popPort), popPort);
}

// Charset, PopInterval and SmtpTimeout, each read with its default for
// absent, empty and bad values.
void TstMailSettings::oneValue_data() {
  QTest::addColumn<Value>("value");
  QTest::addColumn<QString>("line");
  QTest::addColumn<int>("expected");
  using C = MailSettings::Charset;
  QTest::newRow("Charset absent") << Value::Charset << QString() << int(C::ShiftJis);
  QTest::newRow("Charset Shift_JIS") << Value::Charset << QStringLiteral("Charset=Shift_JIS\n") << int(C::ShiftJis);
  QTest::newRow("Charset ISO-2022-JP") << Value::Charset << QStringLiteral("Charset=ISO-2022-JP\n") << int(C::Iso2022Jp);
  QTest::newRow("Charset utf-8, any case") << Value::Charset << QStringLiteral("Charset=utf-8\n") << int(C::Utf8);
  QTest::newRow("Charset unknown") << Value::Charset << QStringLiteral("Charset=EUC-JP\n") << int(C::ShiftJis);
  QTest::newRow("Charset empty") << Value::Charset << QStringLiteral("Charset=\n") << int(C::ShiftJis);
  QTest::newRow("PopInterval absent") << Value::PopInterval << QString() << 5;
  QTest::newRow("PopInterval every send") << Value::PopInterval << QStringLiteral("PopInterval=0\n") << 0;
  QTest::newRow("PopInterval ten minutes") << Value::PopInterval << QStringLiteral("PopInterval= 10 \n") << 10;
  QTest::newRow("PopInterval empty") << Value::PopInterval << QStringLiteral("PopInterval=\n") << 5;
  QTest::newRow("PopInterval negative") << Value::PopInterval << QStringLiteral("PopInterval=-1\n") << 5;
  QTest::newRow("PopInterval not a number") << Value::PopInterval << QStringLiteral("PopInterval=often\n") << 5;
  QTest::newRow("PopInterval beyond a week") << Value::PopInterval << QStringLiteral("PopInterval=99999999\n") << 5;
  QTest::newRow("SmtpTimeout absent: RFC limits") << Value::ReplyTimeout << QString() << 0;
  QTest::newRow("SmtpTimeout one second") << Value::ReplyTimeout << QStringLiteral("SmtpTimeout=1\n") << 1;
  QTest::newRow("SmtpTimeout an hour") << Value::ReplyTimeout << QStringLiteral("SmtpTimeout=3600\n") << 3600;
  QTest::newRow("SmtpTimeout zero") << Value::ReplyTimeout << QStringLiteral("SmtpTimeout=0\n") << 0;
  QTest::newRow("SmtpTimeout beyond an hour") << Value::ReplyTimeout << QStringLiteral("SmtpTimeout=3601\n") << 0;
  QTest::newRow("SmtpTimeout not a number") << Value::ReplyTimeout << QStringLiteral("SmtpTimeout=soon\n") << 0;
}

void TstMailSettings::oneValue() {
  QFETCH(Value, value);
  QFETCH(QString, line);
  QFETCH(int, expected);
  TempAppFolder folder;
  folder.writeIni(kBase + line);
  QCOMPARE(valueOf(SettingsInUse::mailSettings(), value), expected);
}

void TstMailSettings::savingWithoutNewKeysChangesNothing() {
  TempAppFolder folder;
  folder.writeIni(kBase);
  const QByteArray before = folder.iniBytes();
  SettingsInUse::writeMailSettings(SettingsInUse::mailSettings());
  QCOMPARE(folder.iniBytes(), before);
}

void TstMailSettings::savingWritesWhatIsNotDefault() {
  TempAppFolder folder;
  folder.writeIni(kBase);
  MailSettings settings = SettingsInUse::mailSettings();
  settings.smtpSecurity = Smtp::StartTls;
  settings.smtpPort = 587;  // its default: not written
  settings.smtpAuth = true;
  settings.smtpUser = QStringLiteral("taro@example.jp");
  settings.smtpPassword = QStringLiteral("app password");
  settings.popPort = 1110;
  SettingsInUse::writeMailSettings(settings);

  QCOMPARE(SettingsInUse::value(DataIni::Section::MAIL, DataIni::Key::SmtpSecurity), QStringLiteral("STARTTLS"));
  QVERIFY(!SettingsInUse::has(DataIni::Section::MAIL, DataIni::Key::SmtpPort));
  QCOMPARE(SettingsInUse::value(DataIni::Section::MAIL, DataIni::Key::SmtpAuth), QStringLiteral("True"));
  QCOMPARE(SettingsInUse::value(DataIni::Section::MAIL, DataIni::Key::SmtpPass),
           Scrambling::scramble(QStringLiteral("app password")));
  QVERIFY(!SettingsInUse::has(DataIni::Section::MAIL, DataIni::Key::PopSecurity));
  QCOMPARE(SettingsInUse::value(DataIni::Section::MAIL, DataIni::Key::PopPort), QStringLiteral("1110"));
  // The passwords stay in the file until a login fetches them.
  const MailSettings read = SettingsInUse::mailSettings();
  KeyringTrouble trouble;
  QCOMPARE(PasswordStore(SettingsFile::inUse(), Keyring()).fetch(read, PasswordStore::Which::Smtp, trouble),
           QStringLiteral("app password"));
  settings.smtpPassword.reset();
  QCOMPARE(read, settings);
}

void TstMailSettings::savingKeepsKeysTheFileHas() {
  TempAppFolder folder;
  folder.writeIni(kBase + QStringLiteral("SmtpSecurity=SSL\nSmtpAuth=True\nPopPort=995\n"));
  MailSettings settings = SettingsInUse::mailSettings();
  settings.smtpSecurity = Smtp::None;
  settings.smtpPort = 25;
  settings.smtpAuth = false;
  settings.popPort = 110;
  SettingsInUse::writeMailSettings(settings);

  // Back to the defaults, but the keys the user had stay, with their new values.
  QCOMPARE(SettingsInUse::value(DataIni::Section::MAIL, DataIni::Key::SmtpSecurity), QStringLiteral("None"));
  QCOMPARE(SettingsInUse::value(DataIni::Section::MAIL, DataIni::Key::SmtpAuth), QStringLiteral("False"));
  QCOMPARE(SettingsInUse::value(DataIni::Section::MAIL, DataIni::Key::PopPort), QStringLiteral("110"));
  QVERIFY(!SettingsInUse::has(DataIni::Section::MAIL, DataIni::Key::SmtpPort));
}


namespace {
mode_t modeOf(const QString& path) {
  struct stat status {};
  return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : mode_t(-1);
}
}  // namespace

// A Data.ini holding a password is the user's alone from the moment it
// exists; one without keeps what it has.
void TstMailSettings::savedFileMode_data() {
  QTest::addColumn<int>("before");  // -1: no file yet
  QTest::addColumn<QString>("popPassword");
  QTest::addColumn<QString>("smtpPassword");
  QTest::addColumn<int>("after");
  QTest::newRow("no password keeps 0644") << 0644 << QString() << QString() << 0644;
  QTest::newRow("no password keeps 0640") << 0640 << QString() << QString() << 0640;
  QTest::newRow("POP password") << 0644 << QStringLiteral("secret") << QString() << 0600;
  QTest::newRow("SMTP password") << 0664 << QString() << QStringLiteral("app password") << 0600;
  QTest::newRow("new file with a password") << -1 << QStringLiteral("secret") << QString() << 0600;
  QTest::newRow("new file without") << -1 << QString() << QString() << int(0666 & ~[] {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
  }());
}

void TstMailSettings::savedFileMode() {
  QFETCH(int, before);
  QFETCH(QString, popPassword);
  QFETCH(QString, smtpPassword);
  QFETCH(int, after);
  TempAppFolder folder;
  const QString path = SettingsFile::inUse().path();
  if (before >= 0) {
    folder.writeIni(kBase);
    QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(before)) == 0);
  }
  MailSettings settings;
  settings.popPassword = popPassword;
  settings.smtpPassword = smtpPassword;
  SettingsInUse::writeMailSettings(settings);
  QCOMPARE(int(modeOf(path)), after);
  KeyringTrouble trouble;
  QCOMPARE(PasswordStore(SettingsFile::inUse(), Keyring()).fetch(SettingsInUse::mailSettings(), PasswordStore::Which::Pop,
                                                                 trouble),
           popPassword);
}

// Another user who can write the program's folder may put a link where
// Data.ini was: a save must not write the file it points to.
void TstMailSettings::linkIsNotWrittenThrough() {
  TempAppFolder folder;
  QTemporaryDir elsewhere;
  const QString target = elsewhere.filePath(QStringLiteral("victim"));
  {
    QFile victim(target);
    QVERIFY(victim.open(QIODevice::WriteOnly));
    victim.write(kBase.toLatin1());
  }
  QVERIFY(QFile::link(target, SettingsFile::inUse().path()));
  QVERIFY(!SettingsInUse::write(DataIni::Section::MAIL, DataIni::Key::To, QStringLiteral("x")));
  QFile victim(target);
  QVERIFY(victim.open(QIODevice::ReadOnly));
  QCOMPARE(victim.readAll(), kBase.toLatin1());
  QVERIFY(QFileInfo(SettingsFile::inUse().path()).isSymLink());
}

QTEST_GUILESS_MAIN(TstMailSettings)
#include "tst_mail_settings.moc"
