// Sending through a provider, against real servers of
// tests/servers/run_real_servers.sh: STARTTLS, TLS from the first byte,
// SMTP AUTH, POP over STLS and TLS. Each refusal checks its box, that no
// mail arrived, that no log was written, and that the password never
// crossed the wire in clear.
#include "mail_settings.h"
#include "mail_transmission.h"
#include "sending_side.h"
#include "send_boxes.h"
#include "password_store.h"
#include "scripted_message_boxes.h"
#include "keyring_of_the_build.h"
#include "send_report.h"
#include "temp_app_folder.h"
#include "tcp_socket_control.h"
#include "write_log.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>
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
  TcpSocketControl socket;
  MailTransmission mail{socket};
  SendBoxes sendBoxes{mail, settings, passwordsInUse()};

  Sender() {
    settings.from = QStringLiteral("taro@talvenor.test");
    settings.smtpServer = QStringLiteral("localhost");
    settings.popServer = QStringLiteral("localhost");
    settings.popUser = QStringLiteral("taro");
    settings.popPassword = kPassword;
    settings.keepLog = true;
    // Every box stays up a while, so that the server's close of a refused
    // connection arrives while it is on the screen.
    boxes.holdOpenFor(300);
  }
  void send() {
    sendBoxes.send(QStringLiteral("hanako@talvenor.test"), QStringLiteral("件名"), QStringLiteral("本文"));
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
  void greetingNeverComesOnTheTlsPort_data();
  void greetingNeverComesOnTheTlsPort();
  void mailArrivesAsTyped_data();
  void mailArrivesAsTyped();
  void transcript_data();
  void transcript();
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
  QTest::newRow("AUTH offered only after STARTTLS")
      << int(Smtp::None) << 587 << true << kPassword
      << QStringLiteral("SMTPサーバは暗号化（STARTTLS）を始めた後でなければ SMTP 認証を受け付けません。") << false;
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
  QTRY_VERIFY(!sender.socket.isOpen());
  if (arrives) {
    QCOMPARE(mailsAt(port).size(), before.size() + 1);
    const QJsonObject envelope =
        QJsonDocument::fromJson(readFile(secureSpool(port) + QLatin1Char('/') + mailsAt(port).last() +
                                         QStringLiteral("/envelope.json")))
            .object();
    QCOMPARE(envelope.value(QStringLiteral("authenticated")).toBool(), auth);
    QCOMPARE(envelope.value(QStringLiteral("tls")).toBool(), Smtp(security) != Smtp::None);
    QVERIFY(QFileInfo::exists(MailLog::logFolderPath()));
  } else {
    QCOMPARE(mailsAt(port), before);
    QVERIFY(!QFileInfo::exists(MailLog::logFolderPath()));
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
            cnOnly = 4660, uriOnly = 4661, ridOnly = 4662, otherNameOnly = 4663;
  const QString mail = QStringLiteral("mail.example.test");
  QTest::newRow("CN names the server, subjectAltName another host") << mail << cnElsewhere << false;
  QTest::newRow("IP address only in the CN") << QStringLiteral("127.0.0.1") << ipInCn << false;
  QTest::newRow("partial wildcard m*.example.test") << mail << partialWildcard << false;
  QTest::newRow("wildcard *.example.test") << mail << wildcard << true;
  QTest::newRow("wildcard, the name typed in upper case") << QStringLiteral("MAIL.Example.TEST") << wildcard << true;
  QTest::newRow("the certificate's name in upper case") << mail << upperCase << true;
  QTest::newRow("CN only, no subjectAltName at all") << mail << cnOnly << true;
  // Any subjectAltName ends the CN's say, also one Qt does not list.
  QTest::newRow("CN names the server, subjectAltName a URI only") << mail << uriOnly << false;
  QTest::newRow("CN names the server, subjectAltName a registered ID only") << mail << ridOnly << false;
  QTest::newRow("CN names the server, subjectAltName an otherName only") << mail << otherNameOnly << false;
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
    QVERIFY(!QFileInfo::exists(MailLog::logFolderPath()));
  }
  QTRY_VERIFY(!sender.socket.isOpen());
}

// A plain connection to a port that speaks TLS from the first byte hears no
// greeting: the time-limit box says which encryption the port wants.
void TstSecureServers::greetingNeverComesOnTheTlsPort_data() {
  QTest::addColumn<int>("security");
  QTest::newRow("STARTTLS") << int(Smtp::StartTls);
  QTest::newRow("none") << int(Smtp::None);
}

void TstSecureServers::greetingNeverComesOnTheTlsPort() {
  QFETCH(int, security);
  Sender sender;
  sender.settings.smtpSecurity = Smtp(security);
  sender.settings.smtpPort = 465;
  sender.settings.replyTimeoutSeconds = 1;
  sender.send();
  QTRY_COMPARE_WITH_TIMEOUT(sender.boxes.count(), 2, 20000);
  QCOMPARE(sender.boxes.texts().last(),
           QStringLiteral("サーバから時間内に応答がありませんでした。メールは送信されていません。\r\n\r\n"
                          "ポート 465 のサーバは最初から暗号化（SSL/TLS）で通信します。暗号化を SSL/TLS にしてください。"));
}

// A long paragraph arrives whole, as the receiver's mail program reads it
// (Python's email package): never broken inside a word. UTF-8 goes
// unencoded only where the server takes 8BITMIME and no line passes SMTP's
// limit; ISO-2022-JP, which has no transfer encoding that carries such a
// line, goes as UTF-8 then.
void TstSecureServers::mailArrivesAsTyped_data() {
  QTest::addColumn<int>("charset");
  QTest::addColumn<int>("port");  // 587 offers 8BITMIME, 2527 does not
  QTest::addColumn<QString>("body");
  QTest::addColumn<QString>("arrivesAs");  // charset and transfer encoding
  const QString paragraph =
      QStringLiteral("明日の会議は十時からです。The meeting starts at ten; please bring the report. ").repeated(12);
  QVERIFY(paragraph.size() > 600);
  const QString shortLines = QStringLiteral("明日の会議\n.\n十時から");
  const int iso = int(MailSettings::Charset::Iso2022Jp);
  const int utf8 = int(MailSettings::Charset::Utf8);
  QTest::newRow("ISO-2022-JP, short lines") << iso << 2527 << shortLines << QStringLiteral("iso-2022-jp 7bit");
  QTest::newRow("UTF-8, short lines, 8BITMIME") << utf8 << 587 << shortLines + QStringLiteral("😀")
                                               << QStringLiteral("utf-8 8bit");
  QTest::newRow("UTF-8, short lines") << utf8 << 2527 << shortLines << QStringLiteral("utf-8 base64");
  for (const int port : {587, 2527}) {
    const char* offer = port == 587 ? ", 8BITMIME" : "";
    QTest::addRow("ISO-2022-JP, long paragraph%s", offer)
        << iso << port << shortLines + u'\n' + paragraph << QStringLiteral("utf-8 base64");
    QTest::addRow("UTF-8, long paragraph%s", offer)
        << utf8 << port << paragraph + u'\n' + shortLines << QStringLiteral("utf-8 base64");
  }
}

void TstSecureServers::mailArrivesAsTyped() {
  QFETCH(int, charset);
  QFETCH(int, port);
  QFETCH(QString, body);
  QFETCH(QString, arrivesAs);
  Sender sender;
  if (port == 587) {
    sender.settings.smtpSecurity = Smtp::StartTls;
    sender.settings.smtpAuth = true;
    sender.settings.smtpUser = QStringLiteral("taro");
    sender.settings.smtpPassword = kPassword;
  }
  sender.settings.smtpPort = std::uint16_t(port);
  sender.settings.charset = MailSettings::Charset(charset);

  sender.sendBoxes.send(QStringLiteral("hanako@talvenor.test"), QStringLiteral("件名"), body);

  QTRY_COMPARE_WITH_TIMEOUT(sender.boxes.count(), 2, 20000);
  QCOMPARE(sender.boxes.texts().last(), kCompleted);
  const QString message = secureSpool(port) + QLatin1Char('/') + mailsAt(port).last() + QStringLiteral("/message");
  for (const QByteArray& line : readFile(message).split('\n')) QVERIFY(line.size() <= 998 + 1);
  QProcess parser;
  parser.start(QStringLiteral("/usr/bin/python3"),
               {qEnvironmentVariable("TALVENOR_SOURCE_DIR") + QStringLiteral("/tests/servers/parse_mail.py"), message});
  QVERIFY(parser.waitForFinished(30000));
  const QJsonObject read = QJsonDocument::fromJson(parser.readAllStandardOutput()).object();
  QCOMPARE(read.value(QStringLiteral("charset")).toString() + u' ' + read.value(QStringLiteral("transfer")).toString(),
           arrivesAs);
  QCOMPARE(read.value(QStringLiteral("subject")).toString(), QStringLiteral("件名"));
  QString received = read.value(QStringLiteral("body")).toString().replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  while (received.endsWith(u'\n')) received.chop(1);
  QCOMPARE(received, body);
}

// The transcript support can read: where the program connected, the TLS
// session and the server's certificate, a failed handshake, and the mail
// text as read in the charset it went in.
void TstSecureServers::transcript_data() {
  QTest::addColumn<int>("security");
  QTest::addColumn<int>("port");
  QTest::addColumn<int>("charset");
  QTest::addColumn<QStringList>("expected");  // regular expressions, in this order
  const int iso = int(MailSettings::Charset::Iso2022Jp);
  const int utf8 = int(MailSettings::Charset::Utf8);
  QTest::newRow("STARTTLS, UTF-8 in 8 bits")
      << int(Smtp::StartTls) << 587 << utf8
      << QStringList{QStringLiteral("\\*\\*\\* connect localhost:587$"), QStringLiteral("--> STARTTLS$"),
                     QStringLiteral("\\*\\*\\* TLS handshake$"),
                     QStringLiteral("\\*\\*\\* TLS 1\\.[23], \\S+; certificate: localhost; issuer: .+"),
                     QStringLiteral("--> AUTH PLAIN \\*+$"), QStringLiteral("--> 明日の会議$")};
  QTest::newRow("ISO-2022-JP") << int(Smtp::None) << 2527 << iso
                               << QStringList{QStringLiteral("\\*\\*\\* connect localhost:2527$"),
                                              QStringLiteral("--> 明日の会議$"), QStringLiteral("<-- 221 ")};
  QTest::newRow("unknown CA") << int(Smtp::Ssl) << 4653 << utf8
                              << QStringList{QStringLiteral("\\*\\*\\* connect localhost:4653, TLS from the first byte$"),
                                             QStringLiteral("\\*\\*\\* TLS handshake failed: .+")};
}

void TstSecureServers::transcript() {
  QFETCH(int, security);
  QFETCH(int, port);
  QFETCH(int, charset);
  QFETCH(QStringList, expected);
  static QStringList lines;
  lines.clear();
  QLoggingCategory::setFilterRules(QStringLiteral("talvenor.transcript.debug=true"));
  const QtMessageHandler previous =
      qInstallMessageHandler([](QtMsgType, const QMessageLogContext& context, const QString& message) {
        if (qstrcmp(context.category, "talvenor.transcript") == 0) lines << message;
      });
  {
    Sender sender;
    sender.settings.smtpSecurity = Smtp(security);
    sender.settings.smtpPort = std::uint16_t(port);
    sender.settings.smtpAuth = security != int(Smtp::None);
    sender.settings.smtpUser = QStringLiteral("taro");
    sender.settings.smtpPassword = kPassword;
    sender.settings.charset = MailSettings::Charset(charset);
    sender.sendBoxes.send(QStringLiteral("hanako@talvenor.test"), QStringLiteral("件名"),
                              QStringLiteral("明日の会議"));
    QTRY_COMPARE_WITH_TIMEOUT(sender.boxes.count(), 2, 20000);
  }
  qInstallMessageHandler(previous);
  QLoggingCategory::setFilterRules(QString());

  qsizetype at = 0;
  for (const QString& pattern : expected) {
    const QRegularExpression line(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3} ") + pattern);
    while (at < lines.size() && !line.match(lines[at]).hasMatch()) ++at;
    QVERIFY2(at < lines.size(), qPrintable(pattern + QStringLiteral(" not in order in:\n") + lines.join(u'\n')));
  }
  QVERIFY(!lines.join(u'\n').contains(kPassword));
}

void TstSecureServers::popBeforeSmtp_data() {
  QTest::addColumn<int>("security");
  QTest::addColumn<int>("port");
  QTest::addColumn<QString>("password");
  const QString wrong = QStringLiteral("wrong");
  QTest::newRow("STLS") << int(Pop::Stls) << 110 << kPassword;
  QTest::newRow("POP3S") << int(Pop::Ssl) << 995 << kPassword;
  QTest::newRow("STLS, wrong password") << int(Pop::Stls) << 110 << wrong;
  QTest::newRow("POP3S, wrong password") << int(Pop::Ssl) << 995 << wrong;
}

// The POP login over STLS or TLS, then the mail through the plain server;
// and the settings window's POP test the same way. A refused login stops
// both with the POP error box, and the program goes on.
void TstSecureServers::popBeforeSmtp() {
  QFETCH(int, security);
  QFETCH(int, port);
  QFETCH(QString, password);
  const bool right = password == kPassword;
  const QString refused = QStringLiteral("エラーが発生しました。\r\n-ERR");
  Sender sender;
  sender.settings.popBeforeSmtp = true;
  sender.settings.popSecurity = Pop(security);
  sender.settings.popPort = std::uint16_t(port);
  sender.settings.popPassword = password;

  sender.send();
  QTRY_COMPARE_WITH_TIMEOUT(sender.boxes.count(), 2, 20000);
  if (right)
    QCOMPARE(sender.boxes.texts().last(), kCompleted);
  else
    QVERIFY2(sender.boxes.texts().last().startsWith(refused), qPrintable(sender.boxes.texts().last()));
  QTRY_VERIFY(!sender.socket.isOpen());

  bool succeeded = false;
  sender.settings.popPassword = password;
  SendingTest::testPopLogin(sender.sendBoxes, [&succeeded] { succeeded = true; });
  QTRY_COMPARE_WITH_TIMEOUT(sender.boxes.count(), 3, 20000);
  if (right)
    QCOMPARE(sender.boxes.texts().last(), QStringLiteral("POPサーバへの接続は成功しました。"));
  else
    QVERIFY2(sender.boxes.texts().last().startsWith(refused), qPrintable(sender.boxes.texts().last()));
  QCOMPARE(succeeded, right);
  QTRY_VERIFY(!sender.socket.isOpen());
  // The connection's end, after the box, reaches nothing that is gone.
  QTest::qWait(300);
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
  const std::optional<KeyringTrouble> trouble = passwordsInUse().keepInKeyring(sender.settings);
  QVERIFY2(!trouble, qPrintable(trouble ? SendReport::keyringWords(*trouble) : QString()));
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
