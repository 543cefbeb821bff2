// The SMTP dialogue and the POP login read as their tables: replies fed
// one at a time, the state each ends in and the line it sent last, with
// no network under them.
#include "fake_socket.h"
#include "outgoing_mail.h"
#include "pop_login.h"
#include "server_link.h"
#include "smtp_dialogue.h"
#include "smtp_session_setup.h"

#include <QTest>
#include <vector>

using Smtp = SmtpDialogue::State;
using Pop = PopLogin::State;
using Outcome = PopLogin::Outcome;

Q_DECLARE_METATYPE(Smtp)
Q_DECLARE_METATYPE(Pop)
Q_DECLARE_METATYPE(Outcome)

namespace {

// The last line of what went out, without its CR LF.
QByteArray lastLine(const QByteArray& sent) {
  QByteArray text = sent;
  if (text.endsWith("\r\n")) text.chop(2);
  return text.mid(text.lastIndexOf("\r\n") + 1).trimmed();
}

// Keeps what the dialogues report.
struct Failures : SendFailureSink {
  void report(const SendFailure& failure) override { reported.push_back(failure); }
  qsizetype count() const { return qsizetype(reported.size()); }
  std::vector<SendFailure> reported;
};

struct Line {
  FakeSocket socket;
  ServerLink server{socket};
  QString lastReply;
  Failures failures;
  Line() {
    socket.connectsAtOnce = true;
    server.connect(QStringLiteral("mx.example.jp"), 25);
  }
};

const QStringList kToQuit = {QStringLiteral("220 mx"), QStringLiteral("250 reset"), QStringLiteral("250 hello"),
                             QStringLiteral("250 sender ok"), QStringLiteral("250 recipient ok"),
                             QStringLiteral("354 go ahead"), QStringLiteral("250 queued")};

}  // namespace

class TstDialogueSteps : public QObject {
  Q_OBJECT

 private slots:
  void smtpSteps_data();
  void smtpSteps();
  void popSteps_data();
  void popSteps();
  void sessionSetup_data();
  void sessionSetup();
  void cramMd5Response();
};

void TstDialogueSteps::smtpSteps_data() {
  QTest::addColumn<QStringList>("replies");
  QTest::addColumn<Smtp>("state");
  QTest::addColumn<QByteArray>("lastSent");
  QTest::addColumn<bool>("open");

  QTest::newRow("greeting") << kToQuit.mid(0, 1) << Smtp::AwaitRset << QByteArray("RSET") << true;
  QTest::newRow("any reply to RSET") << QStringList{QStringLiteral("220 mx"), QStringLiteral("999 odd")}
                                     << Smtp::AwaitHelo << QByteArray("HELO") << true;
  QTest::newRow("250 to HELO") << kToQuit.mid(0, 3) << Smtp::AwaitMailFrom
                               << QByteArray("MAIL FROM:<taro@example.jp>") << true;
  QTest::newRow("other reply to HELO waits") << kToQuit.mid(0, 2) + QStringList{QStringLiteral("251 hm")}
                                             << Smtp::AwaitHelo << QByteArray("HELO") << true;
  QTest::newRow("250 to MAIL FROM") << kToQuit.mid(0, 4) << Smtp::AwaitRcptTo
                                    << QByteArray("RCPT TO:<hanako@example.jp>") << true;
  QTest::newRow("250 to RCPT TO") << kToQuit.mid(0, 5) << Smtp::AwaitDataGoAhead << QByteArray("DATA") << true;
  QTest::newRow("354 to DATA") << kToQuit.mid(0, 6) << Smtp::AwaitDataAccepted << QByteArray(".") << true;
  QTest::newRow("250 to the mail") << kToQuit << Smtp::AwaitQuit << QByteArray("QUIT") << true;
  QTest::newRow("221 to QUIT") << kToQuit + QStringList{QStringLiteral("221 bye")} << Smtp::AwaitQuit
                               << QByteArray("QUIT") << true;
  QTest::newRow("5xx closes") << kToQuit.mid(0, 4) + QStringList{QStringLiteral("550 no such user")}
                              << Smtp::AwaitGreeting << QByteArray("RCPT TO:<hanako@example.jp>") << false;
  QTest::newRow("4xx closes") << QStringList{QStringLiteral("421 busy")} << Smtp::AwaitGreeting << QByteArray()
                              << false;
}

void TstDialogueSteps::smtpSteps() {
  QFETCH(QStringList, replies);
  QFETCH(Smtp, state);
  QFETCH(QByteArray, lastSent);
  QFETCH(bool, open);
  Line line;
  SmtpDialogue dialogue(line.server, line.lastReply, line.failures);
  OutgoingMail mail{QStringLiteral("hanako@example.jp"), QStringLiteral("taro@example.jp"), QStringLiteral("件名"),
                    QStringLiteral("本文"), SmtpLogin{}};

  for (const QString& reply : replies) dialogue.step(SmtpReply(reply), mail, false);

  QCOMPARE(dialogue.state(), state);
  QVERIFY(lastLine(line.socket.sent).startsWith(lastSent));
  QCOMPARE(line.server.isOpen(), open);
  QCOMPARE(line.failures.count(), open ? 0 : 1);
}

void TstDialogueSteps::popSteps_data() {
  QTest::addColumn<QStringList>("replies");
  QTest::addColumn<Pop>("state");
  QTest::addColumn<Outcome>("lastOutcome");
  QTest::addColumn<QByteArray>("lastSent");

  QTest::newRow("greeting") << QStringList{QStringLiteral("+OK ready")} << Pop::AwaitUserAccepted
                            << Outcome::Waiting << QByteArray("USER taro");
  QTest::newRow("user accepted") << QStringList{QStringLiteral("+OK ready"), QStringLiteral("+OK")}
                                 << Pop::AwaitPassAccepted << Outcome::Waiting << QByteArray("PASS secret");
  QTest::newRow("logged in") << QStringList{QStringLiteral("+OK ready"), QStringLiteral("+OK"), QStringLiteral("+OK in")}
                             << Pop::AwaitServerClose << Outcome::LoggedIn << QByteArray("QUIT");
  QTest::newRow("neither +OK nor -ERR waits") << QStringList{QStringLiteral("+OK ready"), QStringLiteral("hm")}
                                              << Pop::AwaitUserAccepted << Outcome::Waiting << QByteArray("USER taro");
  QTest::newRow("-ERR before +OK counts") << QStringList{QStringLiteral("+OK ready -ERR no")} << Pop::AwaitGreeting
                                          << Outcome::Refused << QByteArray();
}

void TstDialogueSteps::popSteps() {
  QFETCH(QStringList, replies);
  QFETCH(Pop, state);
  QFETCH(Outcome, lastOutcome);
  QFETCH(QByteArray, lastSent);
  Line line;
  PopLogin login(line.server, line.lastReply, line.failures);

  Outcome outcome = Outcome::Waiting;
  for (const QString& reply : replies)
    outcome = login.step(PopReply(reply), false, QStringLiteral("taro"), QStringLiteral("secret"));

  QCOMPARE(login.state(), state);
  QCOMPARE(outcome, lastOutcome);
  QCOMPARE(lastLine(line.socket.sent), lastSent);
  QCOMPARE(line.server.isOpen(), outcome != Outcome::Refused);
}

void TstDialogueSteps::sessionSetup_data() {
  QTest::addColumn<int>("security");
  QTest::addColumn<bool>("auth");
  QTest::addColumn<QStringList>("replies");
  QTest::addColumn<int>("handshakeAfter");  // the reply after which the handshake ends; -1: none
  QTest::addColumn<Smtp>("state");
  QTest::addColumn<QByteArray>("sent");     // what the client sent, among other lines
  QTest::addColumn<int>("boxes");

  using S = MailSettings::SmtpSecurity;
  const QString greeting = QStringLiteral("220 mx ESMTP");
  const QString withTls = QStringLiteral("250-mx\r\n250-starttls\r\n250 8BITMIME");
  const QString afterTls = QStringLiteral("250-mx\r\n250-AUTH PLAIN LOGIN\r\n250 8BITMIME");
  const QByteArray plain = "AUTH PLAIN " + QByteArray("\0taro\0secret", 12).toBase64();

  QTest::newRow("STARTTLS, then EHLO again")
      << int(S::StartTls) << false << QStringList{greeting, withTls, QStringLiteral("220 go ahead"), afterTls} << 2
      << Smtp::AwaitMailFrom << QByteArray("STARTTLS\r\nEHLO ") << 0;
  QTest::newRow("STARTTLS and PLAIN")
      << int(S::StartTls) << true
      << QStringList{greeting, withTls, QStringLiteral("220 go ahead"), afterTls, QStringLiteral("235 ok")} << 2
      << Smtp::AwaitMailFrom << plain << 0;
  QTest::newRow("STARTTLS not offered") << int(S::StartTls) << true << QStringList{greeting, afterTls} << -1
                                        << Smtp::AwaitGreeting << QByteArray("EHLO ") << 1;
  QTest::newRow("STARTTLS refused") << int(S::StartTls) << false
                                    << QStringList{greeting, withTls, QStringLiteral("454 not now")} << -1
                                    << Smtp::AwaitGreeting << QByteArray("STARTTLS") << 1;
  QTest::newRow("a reply before the handshake")
      << int(S::StartTls) << false << QStringList{greeting, withTls, QStringLiteral("220 go"), QStringLiteral("250 x")}
      << -1 << Smtp::AwaitGreeting << QByteArray("STARTTLS") << 1;
  QTest::newRow("SSL and LOGIN")
      << int(S::Ssl) << true
      << QStringList{greeting, QStringLiteral("250-mx\r\n250 AUTH LOGIN"), QStringLiteral("334 VXNlcm5hbWU6"),
                     QStringLiteral("334 UGFzc3dvcmQ6"), QStringLiteral("235 ok")}
      << -1 << Smtp::AwaitMailFrom << QByteArray("AUTH LOGIN\r\ndGFybw==\r\nc2VjcmV0\r\n") << 0;
  QTest::newRow("SSL prefers PLAIN to LOGIN")
      << int(S::Ssl) << true << QStringList{greeting, afterTls, QStringLiteral("235 ok")} << -1 << Smtp::AwaitMailFrom
      << plain << 0;
  QTest::newRow("CRAM-MD5 on a plain connection")
      << int(S::None) << true
      << QStringList{greeting, QStringLiteral("250-mx\r\n250 AUTH PLAIN CRAM-MD5"),
                     QStringLiteral("334 ") + QString::fromLatin1(QByteArray("<1896.697170952@mx>").toBase64()),
                     QStringLiteral("235 ok")}
      << -1 << Smtp::AwaitMailFrom << QByteArray("AUTH CRAM-MD5\r\n") << 0;
  QTest::newRow("only PLAIN on a plain connection") << int(S::None) << true << QStringList{greeting, afterTls} << -1
                                                    << Smtp::AwaitGreeting << QByteArray("EHLO ") << 1;
  QTest::newRow("AUTH not offered") << int(S::Ssl) << true << QStringList{greeting, QStringLiteral("250 mx")} << -1
                                    << Smtp::AwaitGreeting << QByteArray("EHLO ") << 1;
  QTest::newRow("wrong password") << int(S::Ssl) << true
                                  << QStringList{greeting, afterTls, QStringLiteral("535 5.7.8 no")} << -1
                                  << Smtp::AwaitGreeting << plain << 1;
  QTest::newRow("SSL alone keeps HELO") << int(S::Ssl) << false << QStringList{greeting, QStringLiteral("250 ok")}
                                        << -1 << Smtp::AwaitHelo << QByteArray("RSET\r\nHELO ") << 0;
}

// EHLO, STARTTLS and AUTH in front of MAIL FROM; whatever the server does,
// the password itself never crosses the connection.
void TstDialogueSteps::sessionSetup() {
  QFETCH(int, security);
  QFETCH(bool, auth);
  QFETCH(QStringList, replies);
  QFETCH(int, handshakeAfter);
  QFETCH(Smtp, state);
  QFETCH(QByteArray, sent);
  QFETCH(int, boxes);
  Line line;
  SmtpDialogue dialogue(line.server, line.lastReply, line.failures);
  OutgoingMail mail{QStringLiteral("hanako@example.jp"), QStringLiteral("taro@example.jp"), QStringLiteral("件名"),
                    QStringLiteral("本文"),
                    SmtpLogin{MailSettings::SmtpSecurity(security), auth, QStringLiteral("taro"),
                              QStringLiteral("secret")}};
  const bool ssl = MailSettings::SmtpSecurity(security) == MailSettings::SmtpSecurity::Ssl;

  for (qsizetype i = 0; i < replies.size(); ++i) {
    if (!line.server.isOpen()) break;
    dialogue.step(SmtpReply(replies[i]), mail, ssl);
    if (i == handshakeAfter) {
      QCOMPARE(line.socket.tlsStarts, 1);
      dialogue.tlsReady(mail);
    }
  }

  QCOMPARE(dialogue.state(), state);
  QVERIFY2(line.socket.sent.contains(sent), line.socket.sent.constData());
  QCOMPARE(line.failures.count(), boxes);
  QCOMPARE(line.server.isOpen(), boxes == 0);
  QVERIFY(!line.socket.sent.contains("secret"));
  if (state == Smtp::AwaitMailFrom && auth) QVERIFY(mail.login.password.isEmpty());  // wiped once sent
}

// RFC 2195's own example of CRAM-MD5.
void TstDialogueSteps::cramMd5Response() {
  Line line;
  SmtpSessionSetup setup(line.server, line.failures);
  SmtpLogin login{MailSettings::SmtpSecurity::None, true, QStringLiteral("tim"), QStringLiteral("tanstaaftanstaaf")};
  setup.begin(false);
  setup.step(SmtpReply(QStringLiteral("250-mx\r\n250 AUTH CRAM-MD5")), login);
  line.socket.sent.clear();
  setup.step(SmtpReply(QStringLiteral("334 PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+")), login);
  QCOMPARE(line.socket.sent, QByteArray("dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw\r\n"));
}

QTEST_GUILESS_MAIN(TstDialogueSteps)
#include "tst_dialogue_steps.moc"
