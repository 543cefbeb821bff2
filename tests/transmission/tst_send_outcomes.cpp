// The engine on its own: no window, no box. Each ending of a send against a
// scripted server is reported once, as a kind with the server's words, or
// as a sent mail with its log.

#include "mail_settings.h"
#include "mail_transmission.h"
#include "scripted_server.h"
#include "temp_app_folder.h"
#include "tcp_socket_control.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kTo = QStringLiteral("hanako@example.jp");

QStringList upTo(const QString& command) {
  const QStringList all = {QStringLiteral("S: 220 mx ESMTP"), QStringLiteral("C: RSET"), QStringLiteral("S: 250 Ok"),
                           QStringLiteral("C~ ^HELO \\S+$"), QStringLiteral("S: 250 mx"),
                           QStringLiteral("C: MAIL FROM:<taro@example.jp>"), QStringLiteral("S: 250 Ok"),
                           QStringLiteral("C: RCPT TO:<") + kTo + u'>'};
  return all.mid(0, all.indexOf(command) + 1);
}

}  // namespace

Q_DECLARE_METATYPE(SendFailure::Kind)
Q_DECLARE_METATYPE(SendFailure::Setting)
Q_DECLARE_METATYPE(std::optional<QString>)

class TstSendOutcomes : public QObject {
  Q_OBJECT

 private slots:
  void failures_data();
  void failures();
  void sentWithItsLog();
  void passwordThatWouldBreakItsCommand_data();
  void passwordThatWouldBreakItsCommand();
};

void TstSendOutcomes::failures_data() {
  QTest::addColumn<QStringList>("script");
  QTest::addColumn<SendFailure::Kind>("kind");
  QTest::addColumn<QString>("serverText");
  QTest::addColumn<bool>("addressRefused");
  const QString rcpt = QStringLiteral("C: RCPT TO:<") + kTo + u'>';
  QTest::newRow("550 to RCPT TO") << upTo(rcpt) + QStringList{QStringLiteral("S: 550 5.1.1 No such user")}
                                  << SendFailure::Kind::SmtpRefused << QStringLiteral("550 5.1.1 No such user\r\n")
                                  << true;
  QTest::newRow("451 to MAIL FROM")
      << upTo(QStringLiteral("C: MAIL FROM:<taro@example.jp>")) + QStringList{QStringLiteral("S: 451 Try later")}
      << SendFailure::Kind::SmtpRefused << QStringLiteral("451 Try later\r\n") << false;
  QTest::newRow("closed after RSET") << upTo(QStringLiteral("C: RSET")) + QStringList{QStringLiteral("X:")}
                                     << SendFailure::Kind::ClosedEarly << QStringLiteral("220 mx ESMTP\r\n") << false;
}

void TstSendOutcomes::failures() {
  QFETCH(QStringList, script);
  QFETCH(SendFailure::Kind, kind);
  QFETCH(QString, serverText);
  QFETCH(bool, addressRefused);
  TempAppFolder folder;
  ScriptedServer server(script);
  MailSettings settings;
  settings.from = QStringLiteral("taro@example.jp");
  settings.smtpServer = QStringLiteral("127.0.0.1");
  settings.smtpPort = server.port();
  TcpSocketControl socket;
  MailTransmission engine(socket);
  QSignalSpy failed(&engine, &MailTransmission::failed);
  QSignalSpy sent(&engine, &MailTransmission::sent);

  QCOMPARE(MailTransmission::check(settings, kTo, QStringLiteral("件名"), QStringLiteral("本文")).problem,
           SendCheck::Problem::None);
  engine.send(settings, LoginSecrets(), MailLog::placeInUse(), kTo, QStringLiteral("件名"), QStringLiteral("本文"));

  QTRY_COMPARE(failed.count(), 1);
  const auto failure = failed.first().first().value<SendFailure>();
  QCOMPARE(failure.kind, kind);
  QCOMPARE(failure.serverText, serverText);
  QCOMPARE(failure.addressRefused, addressRefused);
  QTRY_VERIFY2(server.finished(), qPrintable(server.failure()));
  QCOMPARE(sent.count(), 0);
  QCOMPARE(failed.count(), 1);
}

void TstSendOutcomes::sentWithItsLog() {
  TempAppFolder folder;
  ScriptedServer server(upTo(QStringLiteral("C: RCPT TO:<") + kTo + u'>') +
                        QStringList{QStringLiteral("S: 250 Ok"), QStringLiteral("C: DATA"),
                                    QStringLiteral("S: 354 Go ahead"), QStringLiteral("C~ ^Date:"),
                                    QStringLiteral("C~ ^From:"), QStringLiteral("C~ ^TO:"), QStringLiteral("C~ ^X-Mailer:"),
                                    QStringLiteral("C: SUBJECT:件名"), QStringLiteral("C: "), QStringLiteral("C: 本文"),
                                    QStringLiteral("C: ."), QStringLiteral("S: 250 Ok"), QStringLiteral("C: QUIT"),
                                    QStringLiteral("S: 221 Bye"), QStringLiteral("X:")});
  MailSettings settings;
  settings.from = QStringLiteral("taro@example.jp");
  settings.smtpServer = QStringLiteral("127.0.0.1");
  settings.smtpPort = server.port();
  settings.keepLog = true;
  TcpSocketControl socket;
  MailTransmission engine(socket);
  QSignalSpy failed(&engine, &MailTransmission::failed);
  QSignalSpy sent(&engine, &MailTransmission::sent);

  // The log goes where the caller says, not to the program's folder.
  QTemporaryDir elsewhere;
  const MailLog::LogPlace place{elsewhere.path() + u'/', false};
  engine.send(settings, LoginSecrets(), place, kTo, QStringLiteral("件名"), QStringLiteral("本文"));

  QTRY_COMPARE(sent.count(), 1);
  const auto log = sent.first().first().value<MailLog::LogResult>();
  QVERIFY(log.written);
  QVERIFY(QFileInfo(log.path).isFile());
  QVERIFY2(log.path.startsWith(elsewhere.path() + QStringLiteral("/mailLOG/")), qPrintable(log.path));
  QVERIFY(!QFileInfo::exists(MailLog::logFolderPath()));
  QCOMPARE(failed.count(), 0);
  QTRY_VERIFY2(server.finished(), qPrintable(server.failure()));
}

void TstSendOutcomes::passwordThatWouldBreakItsCommand_data() {
  QTest::addColumn<QString>("smtpPassword");
  QTest::addColumn<std::optional<QString>>("popPassword");
  QTest::addColumn<SendFailure::Setting>("setting");
  QTest::newRow("SMTP AUTH") << QStringLiteral("pass\r\nQUIT") << std::optional<QString>() << SendFailure::Setting::SmtpPassword;
  QTest::newRow("POP login") << QStringLiteral("pass") << std::optional<QString>(QStringLiteral("pass\nQUIT"))
                             << SendFailure::Setting::PopPassword;
}

// Whatever the caller fetched, a password holding a line break never goes
// into a command line: reported before any connection.
void TstSendOutcomes::passwordThatWouldBreakItsCommand() {
  QFETCH(QString, smtpPassword);
  QFETCH(std::optional<QString>, popPassword);
  QFETCH(SendFailure::Setting, setting);
  TempAppFolder folder;
  MailSettings settings;
  settings.from = QStringLiteral("taro@example.jp");
  settings.smtpServer = QStringLiteral("127.0.0.1");
  settings.smtpAuth = true;
  settings.popBeforeSmtp = true;
  TcpSocketControl socket;
  MailTransmission engine(socket);
  QSignalSpy failed(&engine, &MailTransmission::failed);

  engine.send(settings, LoginSecrets{smtpPassword, popPassword}, MailLog::placeInUse(), kTo, QStringLiteral("件名"),
              QStringLiteral("本文"));

  QCOMPARE(failed.count(), 1);
  const auto failure = failed.first().first().value<SendFailure>();
  QCOMPARE(failure.kind, SendFailure::Kind::ControlCharacterInSetting);
  QCOMPARE(failure.setting, setting);
  QVERIFY(!socket.isOpen());
  QVERIFY(!engine.busy());
}

QTEST_GUILESS_MAIN(TstSendOutcomes)
#include "tst_send_outcomes.moc"
