// A box shown from inside a connection's handler stays on the screen
// (running its own event loop) while the server closes or resets the
// connection. Whatever ends meanwhile, the program survives the box, shows
// only it, and the next send goes through.

#include "scripted_server.h"
#include "sending_side.h"

#include <QTest>
#include <memory>

namespace {

using SendingTest::kFrom;
using SendingTest::kTo;

const QString kConfirm = QStringLiteral("メールを送信してよろしいですか？");

QStringList smtpUpTo(const QString& lastCommand) {
  const QStringList all = {QStringLiteral("S: 220 mx ESMTP"),
                           QStringLiteral("C: RSET"),
                           QStringLiteral("S: 250 Ok"),
                           QStringLiteral("C~ ^HELO \\S+$"),
                           QStringLiteral("S: 250 mx"),
                           QStringLiteral("C: MAIL FROM:<") + kFrom + u'>',
                           QStringLiteral("S: 250 Ok"),
                           QStringLiteral("C: RCPT TO:<") + kTo + u'>',
                           QStringLiteral("S: 250 Ok"),
                           QStringLiteral("C: DATA")};
  return all.mid(0, all.indexOf(lastCommand) + 1);
}

QStringList wholeSmtp() {
  return smtpUpTo(QStringLiteral("C: DATA")) +
         QStringList{QStringLiteral("S: 354 Go ahead"), QStringLiteral("C~ ^Date:"), QStringLiteral("C~ ."),
                     QStringLiteral("C~ ."),            QStringLiteral("C~ ."),      QStringLiteral("C~ ."),
                     QStringLiteral("C: "),             QStringLiteral("C: 本文"),   QStringLiteral("C: ."),
                     QStringLiteral("S: 250 Ok"),       QStringLiteral("C: QUIT"),   QStringLiteral("S: 221 Bye"),
                     QStringLiteral("X:")};
}

QStringList popUpTo(const QString& lastCommand) {
  const QStringList all = {QStringLiteral("S: +OK ready"), QStringLiteral("C: USER taro"), QStringLiteral("S: +OK"),
                           QStringLiteral("C: PASS secret")};
  return all.mid(0, all.indexOf(lastCommand) + 1);
}

}  // namespace

class TstBoxesOnClosingConnections : public QObject {
  Q_OBJECT

 private slots:
  void boxMeetsTheClose_data();
  void boxMeetsTheClose();
};

void TstBoxesOnClosingConnections::boxMeetsTheClose_data() {
  QTest::addColumn<QStringList>("smtp");
  QTest::addColumn<QStringList>("pop");  // empty: POP before SMTP is off
  QTest::addColumn<bool>("popTest");     // the settings window's POP test, not a send
  QTest::addColumn<QString>("box");      // how the box after the confirmation begins

  const QString smtpError = QStringLiteral("エラーが発生しました\r\n");
  const QString popError = QStringLiteral("エラーが発生しました。\r\n");
  const QString reset = QStringLiteral("通信中、エラーが発生しました。");
  const QStringList close = {QStringLiteral("X:")};
  const QStringList rst = {QStringLiteral("R:")};
  for (const QString& command : {QStringLiteral("C: RSET"), QStringLiteral("C~ ^HELO \\S+$"),
                                 QStringLiteral("C: MAIL FROM:<") + kFrom + u'>',
                                 QStringLiteral("C: RCPT TO:<") + kTo + u'>', QStringLiteral("C: DATA")}) {
    const QString name = command.mid(3).section(u' ', 0, 0).remove(u'^');
    QTest::addRow("SMTP 554 to %s, then close", qPrintable(name))
        << smtpUpTo(command) + QStringList{QStringLiteral("S: 554 5.7.1 Refused")} + close << QStringList() << false
        << smtpError;
    QTest::addRow("SMTP 554 to %s, then reset", qPrintable(name))
        << smtpUpTo(command) + QStringList{QStringLiteral("S: 554 5.7.1 Refused")} + rst << QStringList() << false
        << smtpError;
  }
  QTest::newRow("SMTP reset after the greeting")
      << QStringList{QStringLiteral("S: 220 mx ESMTP"), QStringLiteral("C: RSET"), QStringLiteral("R:")}
      << QStringList() << false << reset;
  for (const bool test : {false, true}) {
    const char* what = test ? "POP test" : "POP before SMTP";
    for (const QString& command : {QStringLiteral("C: USER taro"), QStringLiteral("C: PASS secret")}) {
      QTest::addRow("%s: -ERR to %s, then close", what, qPrintable(command.mid(3)))
          << QStringList() << popUpTo(command) + QStringList{QStringLiteral("S: -ERR [AUTH] Authentication failed.")} + close
          << test << popError;
      QTest::addRow("%s: -ERR to %s, then reset", what, qPrintable(command.mid(3)))
          << QStringList() << popUpTo(command) + QStringList{QStringLiteral("S: -ERR [AUTH] Authentication failed.")} + rst
          << test << popError;
    }
  }
}

void TstBoxesOnClosingConnections::boxMeetsTheClose() {
  QFETCH(QStringList, smtp);
  QFETCH(QStringList, pop);
  QFETCH(bool, popTest);
  QFETCH(QString, box);
  SendingTest::SendingSide side;
  side.boxes.holdOpenFor(200);
  std::vector<std::unique_ptr<ScriptedServer>> servers;
  const auto serve = [&](const QStringList& smtpScript, const QStringList& popScript) {
    servers.push_back(std::make_unique<ScriptedServer>(smtpScript));
    side.settings.smtpPort = servers.back()->port();
    servers.push_back(std::make_unique<ScriptedServer>(popScript));
    side.settings.popPort = servers.back()->port();
  };
  serve(smtp, pop);
  side.settings.popBeforeSmtp = !pop.isEmpty();

  if (popTest)
    SendingTest::testPopLogin(side.sendBoxes, [] {});
  else
    side.sendBoxes.send(kTo, QStringLiteral("件名"), QStringLiteral("本文"));

  QTRY_VERIFY(!side.boxes.texts().filter(QRegularExpression(QStringLiteral("^(?!") + kConfirm + u')')).isEmpty());
  QStringList shown = side.boxes.texts();
  shown.removeIf([&](const QString& text) { return text.startsWith(kConfirm); });
  QCOMPARE(shown.size(), 1);
  QVERIFY2(shown.first().startsWith(box), qPrintable(shown.first()));
  for (const auto& server : servers) QTRY_VERIFY2(server->finished(), qPrintable(server->failure()));
  QTRY_VERIFY(!side.socket.isOpen());

  // The connection's end reached nothing that is gone; the next send works.
  side.boxes.clear();
  side.settings.popBeforeSmtp = false;
  serve(wholeSmtp(), {});
  side.sendBoxes.send(kTo, QStringLiteral("件名"), QStringLiteral("本文"));
  QTRY_COMPARE(side.boxes.count(), 2);
  QVERIFY(side.boxes.texts().last().startsWith(QStringLiteral("送信が完了しました。")));
  for (const auto& server : servers) QTRY_VERIFY2(server->finished(), qPrintable(server->failure()));
}

QTEST_GUILESS_MAIN(TstBoxesOnClosingConnections)
#include "tst_boxes_on_closing_connections.moc"
