// Sending through a provider, against real servers of
// tests/servers/run_real_servers.sh: STARTTLS, TLS from the first byte,
// SMTP AUTH, POP over STLS and TLS. Each refusal checks its box, that no
// mail arrived, that no log was written, and that the password never
// crossed the wire in clear.
#include "mail_settings.h"
#include "mail_transmission.h"
#include "password_store.h"
#include "scripted_message_boxes.h"
#include "temp_app_folder.h"
#include "winsock.h"
#include "write_log.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSslConfiguration>
#include <QTest>

using Smtp = MailSettings::SmtpSecurity;
using Pop = MailSettings::PopSecurity;

namespace {

const QString kCompleted = QStringLiteral("送信が完了しました。\r\n\r\n題名と本文をクリアしますか？");
const QString kPassword = QStringLiteral("secret");

QString secureSpool(int port) {
  return qEnvironmentVariable("TALVENOR_SECURE_SPOOL") + QLatin1Char('/') + QString::number(port);
}

QStringList mailsAt(int port) {
  QStringList mails;
  for (const QString& name : QDir(secureSpool(port)).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
    if (QFileInfo::exists(secureSpool(port) + QLatin1Char('/') + name + QStringLiteral("/envelope.json")))
      mails << name;
  return mails;
}

QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Everything the program sent to that port, as it crossed the wire.
QByteArray captured(int port) {
  return readFile(qEnvironmentVariable("TALVENOR_CAPTURES") + QLatin1Char('/') + QString::number(port));
}

struct Sender {
  TempAppFolder folder;
  ScriptedMessageBoxes boxes;
  MailSettings settings;
  Winsock winsock;
  MailTransmission mail{winsock, settings};

  Sender() {
    settings.from = QStringLiteral("taro@talvenor.test");
    settings.smtpServer = QStringLiteral("localhost");
    settings.popServer = QStringLiteral("localhost");
    settings.popUser = QStringLiteral("taro");
    settings.popPassword = kPassword;
    settings.keepLog = true;
  }
  void send() {
    mail.CmdMail_Click(QStringLiteral("hanako@talvenor.test"), QStringLiteral("件名"), QStringLiteral("本文"));
  }
};

}  // namespace

class TstSecureServers : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void smtp_data();
  void smtp();
  void certificateNames_data();
  void certificateNames();
  void utf8GoesAsEightBitWhereOffered();
  void popBeforeSmtp_data();
  void popBeforeSmtp();
  void passwordsFromTheKeyring();
};

void TstSecureServers::initTestCase() {
  if (qEnvironmentVariableIsEmpty("TALVENOR_TEST_CA"))
    QSKIP("needs the servers of tests/servers/run_real_servers.sh (run it under unshare --net)");
  // The test CA is trusted as a system certificate would be: through Qt's
  // TLS configuration, not through anything of the program's.
  QSslConfiguration config = QSslConfiguration::defaultConfiguration();
  config.addCaCertificates(qEnvironmentVariable("TALVENOR_TEST_CA"));
  QSslConfiguration::setDefaultConfiguration(config);
}

void TstSecureServers::smtp_data() {
  QTest::addColumn<int>("security");
  QTest::addColumn<int>("port");
  QTest::addColumn<bool>("auth");
  QTest::addColumn<QString>("password");
  QTest::addColumn<QString>("box");  // the box after the confirmation: its start
  QTest::addColumn<bool>("arrives");

  const QString certificate = QStringLiteral("サーバの証明書を確認できませんでした");
  const QString handshake = QStringLiteral("暗号化通信（TLS）を開始できませんでした。");
  QTest::newRow("STARTTLS and PLAIN") << int(Smtp::StartTls) << 587 << true << kPassword << kCompleted << true;
  QTest::newRow("SSL and LOGIN") << int(Smtp::Ssl) << 465 << true << kPassword << kCompleted << true;
  QTest::newRow("CRAM-MD5 in clear") << int(Smtp::None) << 2525 << true << kPassword << kCompleted << true;
  QTest::newRow("wrong password") << int(Smtp::StartTls) << 587 << true << QStringLiteral("wrong")
                                  << QStringLiteral("SMTP 認証に失敗しました。") << false;
  QTest::newRow("STARTTLS not offered") << int(Smtp::StartTls) << 25 << false << kPassword
                                        << QStringLiteral("SMTPサーバが暗号化（STARTTLS）に対応していません。") << false;
  QTest::newRow("AUTH not offered") << int(Smtp::None) << 25 << true << kPassword
                                    << QStringLiteral("SMTPサーバが SMTP 認証に対応していません。") << false;
  QTest::newRow("only PLAIN in clear") << int(Smtp::None) << 2526 << true << kPassword
                                       << QStringLiteral("暗号化されていない接続で使える認証方式") << false;
  QTest::newRow("certificate for another name") << int(Smtp::Ssl) << 4651 << true << kPassword << certificate << false;
  QTest::newRow("expired certificate") << int(Smtp::Ssl) << 4652 << true << kPassword << certificate << false;
  QTest::newRow("unknown CA") << int(Smtp::Ssl) << 4653 << true << kPassword << certificate << false;
  QTest::newRow("closed during the handshake") << int(Smtp::Ssl) << 4654 << true << kPassword << handshake << false;
  QTest::newRow("no TLS reply") << int(Smtp::Ssl) << 25 << true << kPassword << handshake << false;
}

void TstSecureServers::smtp() {
  QFETCH(int, security);
  QFETCH(int, port);
  QFETCH(bool, auth);
  QFETCH(QString, password);
  QFETCH(QString, box);
  QFETCH(bool, arrives);
  Sender sender;
  sender.settings.smtpSecurity = Smtp(security);
  sender.settings.smtpPort = std::uint16_t(port);
  sender.settings.smtpAuth = auth;
  sender.settings.smtpUser = QStringLiteral("taro");
  sender.settings.smtpPassword = password;
  const QStringList before = mailsAt(port);

  sender.send();

  QTRY_COMPARE_WITH_TIMEOUT(sender.boxes.count(), 2, 20000);
  QVERIFY2(sender.boxes.texts().last().startsWith(box), qPrintable(sender.boxes.texts().last()));
  QTRY_COMPARE(sender.winsock.State(), 0);
  if (arrives) {
    QCOMPARE(mailsAt(port).size(), before.size() + 1);
    const QJsonObject envelope =
        QJsonDocument::fromJson(readFile(secureSpool(port) + QLatin1Char('/') + mailsAt(port).last() +
                                         QStringLiteral("/envelope.json")))
            .object();
    QCOMPARE(envelope.value(QStringLiteral("authenticated")).toBool(), auth);
    QCOMPARE(envelope.value(QStringLiteral("tls")).toBool(), Smtp(security) != Smtp::None);
    QVERIFY(QFileInfo::exists(MailLog::LogFolderPath()));
  } else {
    QCOMPARE(mailsAt(port), before);
    QVERIFY(!QFileInfo::exists(MailLog::LogFolderPath()));
  }
  // Never the password itself, nor the PLAIN and LOGIN forms of it.
  const QByteArray wire = captured(port);
  QVERIFY(!wire.contains(password.toUtf8()));
  QVERIFY(!wire.contains(password.toUtf8().toBase64()));
  QVERIFY(!wire.contains(QByteArray("\0taro\0", 6).append(password.toUtf8()).toBase64()));
}

void TstSecureServers::certificateNames_data() {
  QTest::addColumn<QString>("server");
  QTest::addColumn<int>("port");
  QTest::addColumn<bool>("accepted");
  // The ports of run_real_servers.sh, each with its certificate.
  const int cnElsewhere = 4655, ipInCn = 4656, partialWildcard = 4657, wildcard = 4658, upperCase = 4659,
            cnOnly = 4660;
  const QString mail = QStringLiteral("mail.example.test");
  QTest::newRow("CN names the server, subjectAltName another host") << mail << cnElsewhere << false;
  QTest::newRow("IP address only in the CN") << QStringLiteral("127.0.0.1") << ipInCn << false;
  QTest::newRow("partial wildcard m*.example.test") << mail << partialWildcard << false;
  QTest::newRow("wildcard *.example.test") << mail << wildcard << true;
  QTest::newRow("wildcard, the name typed in upper case") << QStringLiteral("MAIL.Example.TEST") << wildcard << true;
  QTest::newRow("the certificate's name in upper case") << mail << upperCase << true;
  QTest::newRow("CN only, no subjectAltName at all") << mail << cnOnly << true;
  QTest::newRow("address in the subjectAltName") << QStringLiteral("127.0.0.1") << 465 << true;
}

// The certificate must name the server by RFC 6125's rules; one that Qt
// alone would take but that names the server only loosely gets the
// certificate box, and the mail does not go.
void TstSecureServers::certificateNames() {
  QFETCH(QString, server);
  QFETCH(int, port);
  QFETCH(bool, accepted);
  Sender sender;
  sender.settings.smtpServer = server;
  sender.settings.smtpSecurity = Smtp::Ssl;
  sender.settings.smtpPort = std::uint16_t(port);
  const QStringList before = mailsAt(port);

  sender.send();

  QTRY_COMPARE_WITH_TIMEOUT(sender.boxes.count(), 2, 20000);
  const QString box = sender.boxes.texts().last();
  if (accepted) {
    QCOMPARE(box, kCompleted);
    QCOMPARE(mailsAt(port).size(), before.size() + 1);
  } else {
    QVERIFY2(box.startsWith(QStringLiteral("サーバの証明書を確認できませんでした")), qPrintable(box));
    QCOMPARE(mailsAt(port), before);
    QVERIFY(!QFileInfo::exists(MailLog::LogFolderPath()));
  }
  QTRY_COMPARE(sender.winsock.State(), 0);
}

// After EHLO the server's 8BITMIME lets UTF-8 go unencoded, declared so.
void TstSecureServers::utf8GoesAsEightBitWhereOffered() {
  Sender sender;
  sender.settings.smtpSecurity = Smtp::StartTls;
  sender.settings.smtpPort = 587;
  sender.settings.smtpAuth = true;
  sender.settings.smtpUser = QStringLiteral("taro");
  sender.settings.smtpPassword = kPassword;
  sender.settings.charset = MailSettings::Charset::Utf8;
  const QString body = QStringLiteral("明日の会議😀\n.\n") + QStringLiteral("あ").repeated(600);

  sender.mail.CmdMail_Click(QStringLiteral("hanako@talvenor.test"), QStringLiteral("件名"), body);

  QTRY_COMPARE_WITH_TIMEOUT(sender.boxes.count(), 2, 20000);
  QCOMPARE(sender.boxes.texts().last(), kCompleted);
  const QString message = secureSpool(587) + QLatin1Char('/') + mailsAt(587).last() + QStringLiteral("/message");
  for (const QByteArray& line : readFile(message).split('\n')) QVERIFY(line.size() <= 998 + 1);
  QProcess parser;
  parser.start(QStringLiteral("/usr/bin/python3"),
               {qEnvironmentVariable("TALVENOR_SOURCE_DIR") + QStringLiteral("/tests/servers/parse_mail.py"), message});
  QVERIFY(parser.waitForFinished(30000));
  const QJsonObject read = QJsonDocument::fromJson(parser.readAllStandardOutput()).object();
  QCOMPARE(read.value(QStringLiteral("transfer")).toString(), QStringLiteral("8bit"));
  QCOMPARE(read.value(QStringLiteral("subject")).toString(), QStringLiteral("件名"));
  QString received = read.value(QStringLiteral("body")).toString().replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QCOMPARE(received.remove(u'\n'), QString(body).remove(u'\n'));
}

void TstSecureServers::popBeforeSmtp_data() {
  QTest::addColumn<int>("security");
  QTest::addColumn<int>("port");
  QTest::newRow("STLS") << int(Pop::Stls) << 110;
  QTest::newRow("POP3S") << int(Pop::Ssl) << 995;
}

// The POP login over STLS or TLS, then the mail through the plain server;
// and the settings window's POP test the same way.
void TstSecureServers::popBeforeSmtp() {
  QFETCH(int, security);
  QFETCH(int, port);
  Sender sender;
  sender.settings.popBeforeSmtp = true;
  sender.settings.popSecurity = Pop(security);
  sender.settings.popPort = std::uint16_t(port);

  sender.send();
  QTRY_COMPARE_WITH_TIMEOUT(sender.boxes.count(), 2, 20000);
  QCOMPARE(sender.boxes.texts().last(), kCompleted);

  bool succeeded = false;
  sender.mail.StartPopTest([&succeeded] { succeeded = true; });
  QTRY_COMPARE_WITH_TIMEOUT(sender.boxes.count(), 3, 20000);
  QCOMPARE(sender.boxes.texts().last(), QStringLiteral("POPサーバへの接続は成功しました。"));
  QVERIFY(succeeded);
}

// Both passwords kept in the keyring: fetched from it for the POP login
// over STLS and for SMTP AUTH after STARTTLS.
void TstSecureServers::passwordsFromTheKeyring() {
  if (qEnvironmentVariableIntValue("TALVENOR_KEYRING") != 1) QSKIP("needs the keyring of with_keyring.sh");
  Sender sender;
  sender.settings.passwordStore = MailSettings::PasswordStore::Keyring;
  sender.settings.popBeforeSmtp = true;
  sender.settings.popSecurity = Pop::Stls;
  sender.settings.smtpSecurity = Smtp::StartTls;
  sender.settings.smtpPort = 587;
  sender.settings.smtpAuth = true;
  sender.settings.smtpUser = QStringLiteral("taro");
  sender.settings.smtpPassword = kPassword;
  QString why;
  QVERIFY2(PasswordStore::keepInKeyring(sender.settings, why), qPrintable(why));
  sender.settings.popPassword.reset();
  sender.settings.smtpPassword.reset();
  const QStringList before = mailsAt(587);

  sender.send();
  QTRY_COMPARE_WITH_TIMEOUT(sender.boxes.count(), 2, 20000);
  QCOMPARE(sender.boxes.texts().last(), kCompleted);
  QCOMPARE(mailsAt(587).size(), before.size() + 1);
  QVERIFY(!sender.settings.popPassword && !sender.settings.smtpPassword);
}

QTEST_GUILESS_MAIN(TstSecureServers)
#include "tst_secure_servers.moc"
