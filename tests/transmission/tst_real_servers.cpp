// Sending through the program's own code to real servers on ports 25
// (aiosmtpd) and 110 (Dovecot). Run by tests/servers/run_real_servers.sh
// inside a private network namespace; skipped when started without it.

#include "cp932.h"
#include "mail_transmission.h"
#include "sending_side.h"
#include "send_boxes.h"
#include "mail_settings.h"
#include "scripted_message_boxes.h"
#include "temp_app_folder.h"
#include "tcp_socket_control.h"
#include "write_log.h"

#include <QDir>
#include <QFile>
#include <QHostInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace {

const QString kFrom = QStringLiteral("taro@talvenor.test");
const QString kTo = QStringLiteral("hanako@talvenor.test");
const QString kCompleted = QStringLiteral("送信が完了しました。\r\n\r\n題名と本文をクリアしますか？");

QString spool() { return qEnvironmentVariable("TALVENOR_SMTP_SPOOL"); }

QStringList spooledMails() {
  QStringList mails;
  for (const QString& name : QDir(spool()).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
    if (QFileInfo::exists(spool() + QLatin1Char('/') + name + QStringLiteral("/envelope.json"))) mails << name;
  return mails;
}

QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int popLogins() {
  return int(readFile(qEnvironmentVariable("TALVENOR_POP_LOG")).count("Login: user=<"));
}

// Mail to the test servers on the standard ports, POP login from the
// environment, logging on.
MailSettings realServers() {
  MailSettings settings;
  settings.from = kFrom;
  settings.smtpServer = QStringLiteral("localhost");
  settings.popServer = QStringLiteral("127.0.0.1");
  settings.popUser = qEnvironmentVariable("TALVENOR_POP_USER");
  settings.popPassword = qEnvironmentVariable("TALVENOR_POP_PASS");
  settings.keepLog = true;
  return settings;
}

// The program's send button, with the boxes answered from a script.
struct Sender {
  TempAppFolder folder;
  ScriptedMessageBoxes boxes;
  MailSettings settings = realServers();
  TcpSocketControl socket;
  MailTransmission mail{socket};
  SendBoxes sendBoxes{mail, settings, passwordsInUse()};

  void send(const QString& to, const QString& subject, const QString& body) {
    sendBoxes.send(to, subject, body);
  }
};

}  // namespace

class TstRealServers : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();

  void mailArrivesAsSent();
  void mimeMailReadsAsTyped_data();
  void mimeMailReadsAsTyped();
  void longLinesArriveWhole_data();
  void longLinesArriveWhole();
  void popBeforeSmtpLogsInFirst();
  void agedPopLoginIsDoneAgain();
  void wrongPopPassword();
  void refusedRecipient();
  void popTest();
  void nameLookupErrors_data();
  void nameLookupErrors();
};

void TstRealServers::initTestCase() {
  if (spool().isEmpty())
    QSKIP("needs the servers of tests/servers/run_real_servers.sh (run it under unshare --net)");
}

void TstRealServers::init() {}

// Byte for byte: the header lines, the CP932 subject and body, every line
// break CR LF, lines of "." and ".x" intact after the server's unstuffing,
// the envelope and the HELO name; the log keeps the body as typed.
void TstRealServers::mailArrivesAsSent() {
  Sender sender;
  const QStringList before = spooledMails();
  const QString subject = QStringLiteral("会議のお知らせ");
  const QString body = QStringLiteral(".\n明日の会議は十時から、第２会議室です。\n.\n..二つ\r\n最後の行");

  sender.send(kTo, subject, body);

  QTRY_COMPARE(sender.boxes.texts().mid(1), QStringList{kCompleted});
  const QStringList mails = spooledMails();
  QCOMPARE(mails.size(), before.size() + 1);
  const QString folder = spool() + QLatin1Char('/') + mails.last() + QLatin1Char('/');

  const QByteArray message = readFile(folder + QStringLiteral("message"));
  const qsizetype dateEnd = message.indexOf("\r\n") + 2;
  QVERIFY2(QRegularExpression(QStringLiteral("^Date:(Mon|Tue|Wed|Thu|Fri|Sat|Sun), [1-9]\\d? "
                                             "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \\d{4} "
                                             "\\d{2}:\\d{2}:\\d{2} [+-]\\d{4}\r\n$"))
               .match(QString::fromLatin1(message.left(dateEnd)))
               .hasMatch(),
           message.left(dateEnd).constData());
  const QByteArray expected = Cp932::fromUnicode(
      QStringLiteral("From:taro@talvenor.test\r\n"
                     "TO:hanako@talvenor.test\r\n"
                     "X-Mailer: Talvenor 2.1.0 by harbex7\r\n"
                     "SUBJECT:会議のお知らせ\r\n"
                     "\r\n"
                     ".\r\n明日の会議は十時から、第２会議室です。\r\n.\r\n..二つ\r\n最後の行\r\n"));
  QCOMPARE(message.mid(dateEnd), expected);

  const QJsonObject envelope = QJsonDocument::fromJson(readFile(folder + QStringLiteral("envelope.json"))).object();
  QCOMPARE(envelope.value(QStringLiteral("mail_from")).toString(), kFrom);
  QCOMPARE(envelope.value(QStringLiteral("rcpt_tos")).toArray(), QJsonArray{kTo});
  const QString host = QHostInfo::localHostName();
  QCOMPARE(envelope.value(QStringLiteral("helo")).toString(), host.isEmpty() ? QStringLiteral("localhost") : host);

  const QString logFile = MailLog::logFolderPath() + QLatin1Char('/') +
                          QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QLatin1Char('/') + subject +
                          QStringLiteral(".eml");
  const QByteArray logged = readFile(logFile);
  QVERIFY2(logged.endsWith(Cp932::fromUnicode(QStringLiteral("\r\n\r\n") + body + QStringLiteral("\r\n"))),
           logged.constData());
  QCOMPARE(logged.left(dateEnd), message.left(dateEnd));
}

void TstRealServers::mimeMailReadsAsTyped_data() {
  QTest::addColumn<int>("charset");
  QTest::addColumn<QString>("subject");
  QTest::addColumn<QString>("body");
  QTest::addColumn<QString>("sentAs");   // the charset the mail declares
  QTest::addColumn<QString>("transfer");

  using C = MailSettings::Charset;
  const QString sixty = QStringLiteral("明日の会議は十時からです").repeated(5);  // 60 full-width characters
  const QString dots = QStringLiteral(".\n明日の会議\n.\n..二つ\n最後の行");
  const QString extensions = QStringLiteral("①㈱髙");
  QTest::newRow("ISO-2022-JP") << int(C::Iso2022Jp) << sixty << dots << QStringLiteral("iso-2022-jp")
                               << QStringLiteral("7bit");
  QTest::newRow("ISO-2022-JP, CP932's own characters go as UTF-8")
      << int(C::Iso2022Jp) << extensions << extensions + QStringLiteral("\nｶﾀｶﾅ") << QStringLiteral("utf-8")
      << QStringLiteral("base64");
  QTest::newRow("UTF-8") << int(C::Utf8) << sixty + extensions << dots + QStringLiteral("😀")
                         << QStringLiteral("utf-8") << QStringLiteral("base64");
  // No break in ISO-2022-JP carries a line past SMTP's limit whole: UTF-8
  // in base64 does.
  QTest::newRow("ISO-2022-JP, a long line") << int(C::Iso2022Jp) << QStringLiteral("長い行")
                                            << QStringLiteral("あ").repeated(1200) << QStringLiteral("utf-8")
                                            << QStringLiteral("base64");
  QTest::newRow("an ASCII subject") << int(C::Utf8) << QStringLiteral("Meeting at 10") << QStringLiteral("ok")
                                    << QStringLiteral("utf-8") << QStringLiteral("base64");
}

// What a receiving mail program reads (Python's email package) is what was
// typed: subject, body, every character.
void TstRealServers::mimeMailReadsAsTyped() {
  QFETCH(int, charset);
  QFETCH(QString, subject);
  QFETCH(QString, body);
  QFETCH(QString, sentAs);
  QFETCH(QString, transfer);
  Sender sender;
  sender.settings.charset = MailSettings::Charset(charset);
  const QStringList before = spooledMails();

  sender.send(kTo, subject, body);

  QTRY_COMPARE(sender.boxes.texts().mid(1), QStringList{kCompleted});
  const QStringList mails = spooledMails();
  QCOMPARE(mails.size(), before.size() + 1);
  const QString message = spool() + QLatin1Char('/') + mails.last() + QStringLiteral("/message");
  const QByteArray raw = readFile(message);
  for (const QByteArray& line : raw.split('\n')) QVERIFY(line.size() <= 998 + 1);
  // The subject's lines, folded, each under 76 characters.
  bool inSubject = false;
  for (const QByteArray& line : raw.left(raw.indexOf("\r\n\r\n")).split('\n')) {
    inSubject = line.startsWith("SUBJECT:") || (inSubject && line.startsWith(' '));
    if (inSubject) QVERIFY2(line.size() < 76 + 1, line.constData());
  }

  QProcess parser;
  parser.start(QStringLiteral("/usr/bin/python3"),
               {qEnvironmentVariable("TALVENOR_SOURCE_DIR") + QStringLiteral("/tests/servers/parse_mail.py"), message});
  QVERIFY(parser.waitForFinished(30000));
  const QJsonObject read = QJsonDocument::fromJson(parser.readAllStandardOutput()).object();
  QCOMPARE(read.value(QStringLiteral("subject")).toString(), subject);
  // Line breaks as "\n" both sides; 7bit text ends with the break before ".".
  QString received = read.value(QStringLiteral("body")).toString().replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  if (received.endsWith(u'\n')) received.chop(1);
  QCOMPARE(received, body);
  QCOMPARE(read.value(QStringLiteral("charset")).toString(), sentAs);
  QCOMPARE(read.value(QStringLiteral("transfer")).toString(), transfer);
  QVERIFY(read.value(QStringLiteral("message_id")).toString().endsWith(QStringLiteral("@talvenor.test>")));
  // The log is the mail as it was sent.
  const QString logFile = MailLog::logFolderPath() + QLatin1Char('/') +
                          QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QLatin1Char('/') + subject +
                          QStringLiteral(".eml");
  QVERIFY(readFile(logFile).contains(raw.mid(raw.indexOf("\r\n\r\n"))));
}

void TstRealServers::longLinesArriveWhole_data() {
  QTest::addColumn<QString>("body");
  const QString wide = QStringLiteral("あ");
  QTest::newRow("999 ASCII") << QString(999, u'a');
  QTest::newRow("3000 ASCII") << QString(3000, u'a');
  QTest::newRow("500 full-width") << wide.repeated(500);
  QTest::newRow("5000 full-width") << wide.repeated(5000);
  QTest::newRow("a break inside a double-byte character") << QString(997, u'a') + wide.repeated(600);
  QTest::newRow("a line beginning with a full stop after a break") << QString(998, u'a') + QStringLiteral(".end");
}

// A strict server takes long paragraphs: no line passes 998 octets, and
// the body with the inserted breaks taken out is the typed body.
void TstRealServers::longLinesArriveWhole() {
  QFETCH(QString, body);
  Sender sender;
  const QStringList before = spooledMails();

  sender.send(kTo, QStringLiteral("長い行"), body);

  QTRY_COMPARE(sender.boxes.texts().mid(1), QStringList{kCompleted});
  const QStringList mails = spooledMails();
  QCOMPARE(mails.size(), before.size() + 1);
  const QByteArray message = readFile(spool() + QLatin1Char('/') + mails.last() + QStringLiteral("/message"));
  for (const QByteArray& line : message.split('\n')) QVERIFY(line.size() <= 998 + 1);
  QByteArray received = message.mid(message.indexOf("\r\n\r\n") + 4);
  received.chop(2);  // the line break before the terminating "."
  QCOMPARE(Cp932::toUnicode(received.replace("\r\n", "")), body);
}

// With POP before SMTP the POP login is done before the SMTP server hears
// HELO.
void TstRealServers::popBeforeSmtpLogsInFirst() {
  Sender sender;
  sender.settings.popBeforeSmtp = true;
  const int loginsBefore = popLogins();
  const QStringList before = spooledMails();

  sender.send(kTo, QStringLiteral("POP"), QStringLiteral("本文"));

  QTRY_COMPARE(sender.boxes.texts().mid(1), QStringList{kCompleted});
  const QStringList mails = spooledMails();
  QCOMPARE(mails.size(), before.size() + 1);
  const QJsonObject envelope = QJsonDocument::fromJson(
      readFile(spool() + QLatin1Char('/') + mails.last() + QStringLiteral("/envelope.json"))).object();
  QCOMPARE(envelope.value(QStringLiteral("pop_logins_at_helo")).toInt(), loginsBefore + 1);
  QVERIFY(SendingTest::goesStraightToSmtp(sender.mail, sender.settings));
}

// With PopInterval 0 the second send logs in to Dovecot again.
void TstRealServers::agedPopLoginIsDoneAgain() {
  Sender sender;
  sender.settings.popBeforeSmtp = true;
  sender.settings.popIntervalMinutes = 0;
  const int loginsBefore = popLogins();

  sender.send(kTo, QStringLiteral("POP"), QStringLiteral("本文"));
  QTRY_COMPARE(sender.boxes.texts().mid(1), QStringList{kCompleted});
  sender.send(kTo, QStringLiteral("POP"), QStringLiteral("本文"));
  QTRY_COMPARE(sender.boxes.count(), 4);
  QCOMPARE(sender.boxes.texts().last(), kCompleted);
  QTRY_COMPARE(popLogins(), loginsBefore + 2);
}

void TstRealServers::wrongPopPassword() {
  Sender sender;
  sender.settings.popBeforeSmtp = true;
  sender.settings.popPassword = QStringLiteral("wrong");
  const QStringList before = spooledMails();

  sender.send(kTo, QStringLiteral("POP"), QStringLiteral("本文"));

  QTRY_COMPARE(sender.boxes.count(), 2);
  QCOMPARE(sender.boxes.texts().last(),
           QStringLiteral("エラーが発生しました。\r\n-ERR [AUTH] Authentication failed.\r\n\r\n"
                          "ユーザ名・パスワードを確認してください。"));
  QCOMPARE(spooledMails(), before);
  QVERIFY(!SendingTest::goesStraightToSmtp(sender.mail, sender.settings));
}

void TstRealServers::refusedRecipient() {
  Sender sender;
  const QStringList before = spooledMails();

  sender.send(QStringLiteral("nobody@talvenor.test"), QStringLiteral("宛先違い"), QStringLiteral("本文"));

  QTRY_COMPARE(sender.boxes.count(), 2);
  QCOMPARE(sender.boxes.texts().last(),
           QStringLiteral("エラーが発生しました\r\n"
                          "550 5.1.1 <nobody@talvenor.test>: Recipient address rejected: User unknown\r\n\r\n"
                          "メールアドレスが正しいものか確認してください。"));
  QCOMPARE(spooledMails(), before);
  QVERIFY(!QFileInfo::exists(MailLog::logFolderPath()));
  QTRY_VERIFY(!sender.socket.isOpen());
}

void TstRealServers::popTest() {
  Sender sender;
  sender.settings.popBeforeSmtp = true;
  bool succeeded = false;

  SendingTest::testPopLogin(sender.sendBoxes, [&succeeded] { succeeded = true; });

  QTRY_COMPARE(sender.boxes.texts(), QStringList{QStringLiteral("POPサーバへの接続は成功しました。")});
  QVERIFY(succeeded);
  QTRY_VERIFY(SendingTest::idle(sender.socket, sender.mail));
}

void TstRealServers::nameLookupErrors_data() {
  QTest::addColumn<QString>("server");
  QTest::addColumn<QString>("box");
  const QString hints = QStringLiteral(
      "\r\n\r\nメールサーバの設定を間違っていませんか？\r\nもしくはメールサーバが停止している可能性があります。（エラーコード：");
  QTest::newRow("no such name") << QStringLiteral("missing.talvenor.test")
                                << QStringLiteral("ホストが見つかりません。") + hints + QStringLiteral("11001）");
  QTest::newRow("name without an address")
      << QStringLiteral("nodata.talvenor.test")
      << QStringLiteral("名前は有効ですが、要求された型のデータ レコードがありません。") + hints + QStringLiteral("11004）");
}

void TstRealServers::nameLookupErrors() {
  QFETCH(QString, server);
  QFETCH(QString, box);
  if (qEnvironmentVariable("TALVENOR_TEST_DNS") != QLatin1String("1")) QSKIP("needs the test name server");
  Sender sender;
  sender.settings.smtpServer = server;

  sender.send(kTo, QStringLiteral("件名"), QStringLiteral("本文"));

  QTRY_COMPARE(sender.boxes.count(), 2);
  QCOMPARE(sender.boxes.texts().last(), box);
}

QTEST_GUILESS_MAIN(TstRealServers)
#include "tst_real_servers.moc"
