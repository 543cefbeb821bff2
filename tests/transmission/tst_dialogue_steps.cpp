// The SMTP dialogue and the POP login read as their tables: replies fed
// one at a time, the state each ends in and the line it sent last, with
// no network under them.
#include "fake_socket.h"
#include "outgoing_mail.h"
#include "pop_login.h"
#include "scripted_message_boxes.h"
#include "server_link.h"
#include "smtp_dialogue.h"

#include <QTest>

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

struct Line {
  FakeSocket socket;
  ServerLink server{socket};
  QString lastReply;
  ScriptedMessageBoxes boxes;
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
  SmtpDialogue dialogue(line.server, line.lastReply);
  OutgoingMail mail{QStringLiteral("hanako@example.jp"), QStringLiteral("taro@example.jp"), QStringLiteral("件名"),
                    QStringLiteral("本文"), SmtpLogin{}};

  for (const QString& reply : replies) dialogue.step(SmtpReply(reply), mail, false);

  QCOMPARE(dialogue.state(), state);
  QVERIFY(lastLine(line.socket.sent).startsWith(lastSent));
  QCOMPARE(line.server.isOpen(), open);
  QCOMPARE(line.boxes.count(), open ? 0 : 1);
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
  PopLogin login(line.server, line.lastReply);

  Outcome outcome = Outcome::Waiting;
  for (const QString& reply : replies)
    outcome = login.step(PopReply(reply), false, QStringLiteral("taro"), QStringLiteral("secret"));

  QCOMPARE(login.state(), state);
  QCOMPARE(outcome, lastOutcome);
  QCOMPARE(lastLine(line.socket.sent), lastSent);
  QCOMPARE(line.server.isOpen(), outcome != Outcome::Refused);
}

QTEST_GUILESS_MAIN(TstDialogueSteps)
#include "tst_dialogue_steps.moc"
