// The engine on its own: no window, no box. Each ending of a send against a
// scripted server is reported once, as a kind with the server's words, or
// as a sent mail with its log.

#include "mail_settings.h"
#include "mail_transmission.h"
#include "scripted_server.h"
#include "temp_app_folder.h"
#include "tcp_socket_control.h"

#include <QSignalSpy>
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

class TstSendOutcomes : public QObject {
  Q_OBJECT

 private slots:
  void failures_data();
  void failures();
  void sentWithItsLog();
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
  engine.send(settings, kTo, QStringLiteral("件名"), QStringLiteral("本文"));

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

  engine.send(settings, kTo, QStringLiteral("件名"), QStringLiteral("本文"));

  QTRY_COMPARE(sent.count(), 1);
  const auto log = sent.first().first().value<MailLog::LogResult>();
  QVERIFY(log.written);
  QVERIFY(QFileInfo(log.path).isFile());
  QCOMPARE(failed.count(), 0);
  QTRY_VERIFY2(server.finished(), qPrintable(server.failure()));
}

QTEST_GUILESS_MAIN(TstSendOutcomes)
#include "tst_send_outcomes.moc"
