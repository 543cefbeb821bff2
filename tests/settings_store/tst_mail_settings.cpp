// Section MAIL as one value: the keys for sending through a provider read
// with their defaults, and written only when they say something, so a
// Data.ini that never used them is saved byte for byte as before.
#include "data_ini_layout.h"
#include "mail_settings.h"
#include "mod_ini.h"
#include "sec_code.h"
#include "temp_app_folder.h"

#include <QTest>

using Smtp = MailSettings::SmtpSecurity;
using Pop = MailSettings::PopSecurity;

namespace {

const QString kBase = QStringLiteral("[MAIL]\nTo=\nFrom=\nServer=\nPBSMTP=False\nOUTLOG=False\npServer=\nUSER=\nPASS=\n");

}  // namespace

class TstMailSettings : public QObject {
  Q_OBJECT

 private slots:
  void reads_data();
  void reads();
  void charset_data();
  void charset();
  void replyTimeout_data();
  void replyTimeout();
  void popInterval_data();
  void popInterval();
  void savingWithoutNewKeysChangesNothing();
  void savingWritesWhatIsNotDefault();
  void savingKeepsKeysTheFileHas();
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
  folder.writeIni(kBase + lines + QStringLiteral("SmtpUser=") + SecCode::SecEncode(QStringLiteral("taro")) +
                  QStringLiteral("\n"));

  const MailSettings settings = DataIni::readMailSettings();
  QCOMPARE(int(settings.smtpSecurity), smtpSecurity);
  QCOMPARE(int(settings.smtpPort), smtpPort);
  QCOMPARE(settings.smtpAuth, smtpAuth);
  QCOMPARE(settings.smtpUser, QStringLiteral("taro"));
  QCOMPARE(int(settings.popSecurity), popSecurity);
  QCOMPARE(int(settings.popPort), popPort);
}

void TstMailSettings::charset_data() {
  QTest::addColumn<QString>("line");
  QTest::addColumn<int>("charset");
  using C = MailSettings::Charset;
  QTest::newRow("absent") << QString() << int(C::ShiftJis);
  QTest::newRow("Shift_JIS") << QStringLiteral("Charset=Shift_JIS\n") << int(C::ShiftJis);
  QTest::newRow("ISO-2022-JP") << QStringLiteral("Charset=ISO-2022-JP\n") << int(C::Iso2022Jp);
  QTest::newRow("utf-8, any case") << QStringLiteral("Charset=utf-8\n") << int(C::Utf8);
  QTest::newRow("unknown") << QStringLiteral("Charset=EUC-JP\n") << int(C::ShiftJis);
  QTest::newRow("empty") << QStringLiteral("Charset=\n") << int(C::ShiftJis);
}

void TstMailSettings::charset() {
  QFETCH(QString, line);
  QFETCH(int, charset);
  TempAppFolder folder;
  folder.writeIni(kBase + line);
  QCOMPARE(int(DataIni::readMailSettings().charset), charset);
}

void TstMailSettings::popInterval_data() {
  QTest::addColumn<QString>("line");
  QTest::addColumn<int>("minutes");
  QTest::newRow("absent") << QString() << 5;
  QTest::newRow("every send") << QStringLiteral("PopInterval=0\n") << 0;
  QTest::newRow("ten minutes") << QStringLiteral("PopInterval= 10 \n") << 10;
  QTest::newRow("empty") << QStringLiteral("PopInterval=\n") << 5;
  QTest::newRow("negative") << QStringLiteral("PopInterval=-1\n") << 5;
  QTest::newRow("not a number") << QStringLiteral("PopInterval=often\n") << 5;
  QTest::newRow("beyond a week") << QStringLiteral("PopInterval=99999999\n") << 5;
}

void TstMailSettings::replyTimeout_data() {
  QTest::addColumn<QString>("line");
  QTest::addColumn<int>("seconds");  // 0: RFC 5321's limits
  QTest::newRow("absent") << QString() << 0;
  QTest::newRow("one second") << QStringLiteral("SmtpTimeout=1\n") << 1;
  QTest::newRow("an hour") << QStringLiteral("SmtpTimeout=3600\n") << 3600;
  QTest::newRow("zero") << QStringLiteral("SmtpTimeout=0\n") << 0;
  QTest::newRow("beyond an hour") << QStringLiteral("SmtpTimeout=3601\n") << 0;
  QTest::newRow("not a number") << QStringLiteral("SmtpTimeout=soon\n") << 0;
}

void TstMailSettings::replyTimeout() {
  QFETCH(QString, line);
  QFETCH(int, seconds);
  TempAppFolder folder;
  folder.writeIni(kBase + line);
  QCOMPARE(DataIni::readMailSettings().replyTimeoutSeconds, seconds);
}

void TstMailSettings::popInterval() {
  QFETCH(QString, line);
  QFETCH(int, minutes);
  TempAppFolder folder;
  folder.writeIni(kBase + line);
  QCOMPARE(DataIni::readMailSettings().popIntervalMinutes, minutes);
}

void TstMailSettings::savingWithoutNewKeysChangesNothing() {
  TempAppFolder folder;
  folder.writeIni(kBase);
  const QByteArray before = folder.iniBytes();
  DataIni::writeMailSettings(DataIni::readMailSettings());
  QCOMPARE(folder.iniBytes(), before);
}

void TstMailSettings::savingWritesWhatIsNotDefault() {
  TempAppFolder folder;
  folder.writeIni(kBase);
  MailSettings settings = DataIni::readMailSettings();
  settings.smtpSecurity = Smtp::StartTls;
  settings.smtpPort = 587;  // its default: not written
  settings.smtpAuth = true;
  settings.smtpUser = QStringLiteral("taro@example.jp");
  settings.smtpPassword = QStringLiteral("app password");
  settings.popPort = 1110;
  DataIni::writeMailSettings(settings);

  QCOMPARE(ModINI::IniRead(DataIni::Section::MAIL, DataIni::Key::SmtpSecurity), QStringLiteral("STARTTLS"));
  QVERIFY(!ModINI::IniHasKey(DataIni::Section::MAIL, DataIni::Key::SmtpPort));
  QCOMPARE(ModINI::IniRead(DataIni::Section::MAIL, DataIni::Key::SmtpAuth), QStringLiteral("True"));
  QCOMPARE(ModINI::IniRead(DataIni::Section::MAIL, DataIni::Key::SmtpPass),
           SecCode::SecEncode(QStringLiteral("app password")));
  QVERIFY(!ModINI::IniHasKey(DataIni::Section::MAIL, DataIni::Key::PopSecurity));
  QCOMPARE(ModINI::IniRead(DataIni::Section::MAIL, DataIni::Key::PopPort), QStringLiteral("1110"));
  QCOMPARE(DataIni::readMailSettings(), settings);
}

void TstMailSettings::savingKeepsKeysTheFileHas() {
  TempAppFolder folder;
  folder.writeIni(kBase + QStringLiteral("SmtpSecurity=SSL\nSmtpAuth=True\nPopPort=995\n"));
  MailSettings settings = DataIni::readMailSettings();
  settings.smtpSecurity = Smtp::None;
  settings.smtpPort = 25;
  settings.smtpAuth = false;
  settings.popPort = 110;
  DataIni::writeMailSettings(settings);

  // Back to the defaults, but the keys the user had stay, with their new values.
  QCOMPARE(ModINI::IniRead(DataIni::Section::MAIL, DataIni::Key::SmtpSecurity), QStringLiteral("None"));
  QCOMPARE(ModINI::IniRead(DataIni::Section::MAIL, DataIni::Key::SmtpAuth), QStringLiteral("False"));
  QCOMPARE(ModINI::IniRead(DataIni::Section::MAIL, DataIni::Key::PopPort), QStringLiteral("110"));
  QVERIFY(!ModINI::IniHasKey(DataIni::Section::MAIL, DataIni::Key::SmtpPort));
}

QTEST_GUILESS_MAIN(TstMailSettings)
#include "tst_mail_settings.moc"
