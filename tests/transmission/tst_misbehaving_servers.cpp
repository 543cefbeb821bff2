// Servers that misbehave in every state of the SMTP and POP dialogues,
// played against the real socket control. Whatever a server does, the
// program shows the right box (or none), reports a completed send only for
// a mail the server accepted, logs nothing else, and the next send goes
// through.

#include "scripted_server.h"
#include "sending_side.h"
#include "write_log.h"

#include <QDirIterator>
#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <vector>

namespace {

using SendingTest::kFrom;
using SendingTest::kTo;
const QString kSubject = QStringLiteral("件名");
const QString kBody = QStringLiteral("本文");

const QString kConfirm = QStringLiteral("メールを送信してよろしいですか？");
const QString kCompleted = QStringLiteral("送信が完了しました。\r\n\r\n題名と本文をクリアしますか？");
const QString kClosedEarly = QStringLiteral("エラーが発生しました。\r\n");
const QString kSmtpError = QStringLiteral("エラーが発生しました\r\n");
const QString kTooLong = QStringLiteral("サーバの応答が長すぎるため、接続を切りました。メールは送信されていません。");
const QString kLoginHint = QStringLiteral("\r\nユーザ名・パスワードを確認してください。");
const QString kReset = QStringLiteral(
    "通信中、エラーが発生しました。\r\n\r\nメールサーバの設定を間違っていませんか？\r\n"
    "もしくはメールサーバが停止している可能性があります。（エラーコード：10054）");
const QString kPopTestOk = QStringLiteral("POPサーバへの接続は成功しました。");

// One step of a dialogue: what the client waits for, what it sent to get
// there, and the server's good reply.
struct Exchange {
  QString waitsFor;
  QStringList client;
  QString reply;
};

const QList<Exchange> kSmtp = {
    {QStringLiteral("the greeting"), {}, QStringLiteral("220 mx ESMTP")},
    {QStringLiteral("the reply to RSET"), {QStringLiteral("C: RSET")}, QStringLiteral("250 Ok")},
    {QStringLiteral("the reply to HELO"), {QStringLiteral("C~ ^HELO \\S+$")}, QStringLiteral("250 mx")},
    {QStringLiteral("the reply to MAIL FROM"), {QStringLiteral("C: MAIL FROM:<") + kFrom + u'>'},
     QStringLiteral("250 Ok")},
    {QStringLiteral("the reply to RCPT TO"), {QStringLiteral("C: RCPT TO:<") + kTo + u'>'}, QStringLiteral("250 Ok")},
    {QStringLiteral("the reply to DATA"), {QStringLiteral("C: DATA")}, QStringLiteral("354 Go ahead")},
    {QStringLiteral("the reply to the mail text"),
     {QStringLiteral("C~ ^Date:"), QStringLiteral("C: From:") + kFrom, QStringLiteral("C: TO:") + kTo,
      QStringLiteral("C: X-Mailer: Talvenor 2.1.0 by harbex7"), QStringLiteral("C: SUBJECT:") + kSubject,
      QStringLiteral("C: "), QStringLiteral("C: ") + kBody, QStringLiteral("C: .")},
     QStringLiteral("250 Ok: queued")},
    {QStringLiteral("the reply to QUIT"), {QStringLiteral("C: QUIT")}, QStringLiteral("221 Bye")},
};

// The last step: after QUIT the client waits for the server's close.
const QList<Exchange> kPop = {
    {QStringLiteral("the greeting"), {}, QStringLiteral("+OK ready")},
    {QStringLiteral("the reply to USER"), {QStringLiteral("C: USER taro")}, QStringLiteral("+OK")},
    {QStringLiteral("the reply to PASS"), {QStringLiteral("C: PASS secret")}, QStringLiteral("+OK")},
    {QStringLiteral("the close after QUIT"), {QStringLiteral("C: QUIT")}, QStringLiteral("+OK bye")},
};

// The server's rows up to the point where the client waits in step k.
QStringList before(const QList<Exchange>& dialogue, qsizetype k) {
  QStringList rows;
  for (qsizetype i = 0; i < k; ++i) rows << dialogue[i].client << QStringLiteral("S: ") + dialogue[i].reply;
  return rows + dialogue[k].client;
}

// The server's rows after its reply in step k, to its close.
QStringList after(const QList<Exchange>& dialogue, qsizetype k) {
  QStringList rows;
  for (qsizetype i = k + 1; i < dialogue.size(); ++i)
    rows << dialogue[i].client << QStringLiteral("S: ") + dialogue[i].reply;
  return rows << QStringLiteral("X:");
}

QStringList whole(const QList<Exchange>& dialogue) {
  return before(dialogue, 0) << QStringLiteral("S: ") + dialogue[0].reply << after(dialogue, 0);
}

// The server's last text the client holds while it waits in step k: the
// reply that brought it there in steps 1 and 2 (after the greeting and the
// first reply), nothing after a step that empties it, nothing before the
// greeting.
QString replyHeldIn(const QList<Exchange>& dialogue, qsizetype k) {
  return k == 1 || k == 2 ? dialogue[k - 1].reply + QStringLiteral("\r\n") : QString();
}

// The box of a close before the mail was accepted: the server's last text,
// or, when it left none, that it closed the connection.
QString closedEarlyBox(const QString& held) {
  return kClosedEarly + (held.isEmpty() ? QStringLiteral("サーバが接続を閉じました。メールは送信されていない可能性があります。") : held);
}

QString bytesRow(const QByteArray& bytes) { return QStringLiteral("B: ") + QString::fromLatin1(bytes.toHex()); }

// Lines no dialogue expects; none begins with "4" or "5", none holds "+OK"
// or "-ERR".
QList<std::pair<const char*, QString>> garbageRows() {
  return {
      {"garbage", bytesRow("#%&! ~^ xyzzy\r\n")},
      {"NUL bytes", bytesRow(QByteArray("\0\0A\0 \0", 6) + "\r\n")},
      {"invalid Shift-JIS", bytesRow("\x81\x7f \xff\xfe \xa0\x81 \xef\x40 \x81\r\n")},
      {"1 MB line", QStringLiteral("S: ") + QString(1 << 20, u'x')},
  };
}

void addRow(const QString& name, const QStringList& smtp, const QStringList& pop, const QStringList& boxes,
            bool completed, bool waits = false, bool thenPopTest = false) {
  QTest::addRow("%s", qPrintable(name)) << smtp << pop << boxes << completed << waits << thenPopTest;
}

// Rows for one dialogue, in every step it has. `finish` completes a row
// whose dialogue went on normally (for POP: the SMTP send that follows).
void addDialogueRows(bool isPop) {
  const QList<Exchange>& dialogue = isPop ? kPop : kSmtp;
  const QString protocol = isPop ? QStringLiteral("POP") : QStringLiteral("SMTP");
  // A row's scripts: the misbehaving dialogue, and the other server's.
  const auto scripts = [isPop](const QStringList& rows, bool goesOn) {
    const QStringList smtpAfterPop = goesOn ? whole(kSmtp) : QStringList();
    return isPop ? std::pair{smtpAfterPop, rows} : std::pair{rows, QStringList()};
  };
  const auto add = [&](const QString& what, qsizetype k, const QStringList& rows, const QStringList& boxes,
                       bool completed) {
    const auto [smtp, pop] = scripts(rows, completed);
    addRow(QStringLiteral("%1 waiting for %2: %3").arg(protocol, dialogue[k].waitsFor, what), smtp, pop, boxes,
           completed);
  };
  // Completion, for a dialogue that goes on after the row's rows.
  const auto goesOn = [&](const QString& what, qsizetype k, const QStringList& rows) {
    add(what, k, before(dialogue, k) + rows + after(dialogue, k), {kCompleted}, true);
  };
  // The server closes while the client waits in step k: an SMTP send is
  // complete only after QUIT; a close after the POP QUIT goes on to SMTP.
  const auto closes = [&](const QString& what, qsizetype k, const QStringList& rows) {
    const bool normalEnd = k == dialogue.size() - 1;
    add(what, k, before(dialogue, k) + rows,
        normalEnd ? QStringList{kCompleted} : QStringList{closedEarlyBox(replyHeldIn(dialogue, k))}, normalEnd);
  };

  for (qsizetype k = 0; k < dialogue.size(); ++k) {
    const bool afterPopQuit = isPop && k == dialogue.size() - 1;
    // SMTP waits for the answer to QUIT: the server has accepted the mail
    // with its 250 to the end of the data, so whatever it does now, the
    // send is complete and logged.
    const bool accepted = !isPop && k == dialogue.size() - 1;
    const QString reply = dialogue[k].reply;
    const QByteArray wire = reply.toLatin1() + "\r\n";
    const QString good = QStringLiteral("S: ") + reply;

    for (qsizetype cut = 1; cut < wire.size(); ++cut)
      goesOn(QStringLiteral("reply split after byte %1").arg(cut), k,
             {bytesRow(wire.left(cut)), QStringLiteral("W:"), bytesRow(wire.mid(cut))});

    for (const auto& [what, row] : garbageRows()) {
      // A reply past 64 KiB ends the send (the answer to the POP QUIT is
      // not read at all).
      if (QLatin1String(what) == QLatin1String("1 MB line") && !afterPopQuit) {
        add(QString::fromLatin1(what), k, before(dialogue, k) << row, {accepted ? kCompleted : kTooLong}, accepted);
        continue;
      }
      // To the greeting and to RSET any reply moves SMTP on; elsewhere it is ignored.
      if (!isPop && k < 2)
        goesOn(QString::fromLatin1(what), k, {row});
      else
        goesOn(QString::fromLatin1(what), k, {row, QStringLiteral("D:"), good});
    }

    closes(QStringLiteral("plain close"), k, {QStringLiteral("X:")});
    closes(QStringLiteral("reply without CR LF, then close"), k, {QStringLiteral("P: ") + reply, QStringLiteral("X:")});
    // Before the greeting the reset comes at once, often before the client
    // has seen its connection made.
    add(QStringLiteral("connection reset"), k, before(dialogue, k) << QStringLiteral("R:"),
        {accepted ? kCompleted : kReset}, accepted);

    for (const bool popTest : {false, true}) {
      const auto [smtp, pop] = scripts(before(dialogue, k), false);
      addRow(QStringLiteral("%1 waiting for %2: server stops answering, then %3")
                 .arg(protocol, dialogue[k].waitsFor,
                      popTest ? QStringLiteral("a POP test") : QStringLiteral("send again")),
             smtp, pop, {}, false, true, popTest);
    }

    if (!isPop) {
      const QString code = reply.left(3);
      goesOn(QStringLiteral("multi-line reply"), k,
             {QStringLiteral("S: %1-first line").arg(code), QStringLiteral("W:"),
              QStringLiteral("S: %1-second line").arg(code), QStringLiteral("W:"), good});
      for (const QString& refusal : {QStringLiteral("451 4.3.0 Try again later"), QStringLiteral("554 5.7.1 Refused")}) {
        if (accepted)
          add(refusal.left(1) + QStringLiteral("xx reply, then close"), k,
              before(dialogue, k) << QStringLiteral("S: ") + refusal << QStringLiteral("X:"), {kCompleted}, true);
        else
          add(refusal.left(1) + QStringLiteral("xx reply"), k, before(dialogue, k) << QStringLiteral("S: ") + refusal,
              {kSmtpError + refusal + QStringLiteral("\r\n")}, false);
      }
    } else {
      for (const QString& refusal : {QStringLiteral("-ERR [AUTH] Authentication failed."),
                                     QStringLiteral("+OK ready -ERR not today")}) {
        const QString what = refusal.startsWith(u'+') ? QStringLiteral("+OK ... -ERR") : QStringLiteral("-ERR");
        if (afterPopQuit)  // the answer to QUIT is not looked at
          add(what, k, before(dialogue, k) << QStringLiteral("S: ") + refusal << QStringLiteral("X:"), {kCompleted},
              true);
        else
          add(what, k, before(dialogue, k) << QStringLiteral("S: ") + refusal,
              {kClosedEarly + refusal + QStringLiteral("\r\n") + kLoginHint}, false);
      }
    }
  }

  // The greeting, and at once the close, before the client's first command.
  add(QStringLiteral("greeting, then an immediate close"), 1,
      {QStringLiteral("S: ") + dialogue[0].reply, QStringLiteral("X:")},
      {kClosedEarly + dialogue[0].reply + QStringLiteral("\r\n")}, false);
}

// The program's side, logging, and fresh scripted servers for ports 25 and
// 110 on every call of serve().
struct Fixture : SendingTest::SendingSide {
  Fixture() { settings.keepLog = true; }

  void serve(const QStringList& smtpScript, const QStringList& popScript) {
    smtp = add(smtpScript);
    pop = add(popScript);
    settings.smtpPort = smtp->port();
    settings.popPort = pop->port();
  }

  ScriptedServer* add(const QStringList& script) {
    auto& server = servers.emplace_back(std::make_unique<ScriptedServer>(script));
    // "W:" also waits for the client to have its connection.
    server->clientReceived = [this] {
      return socket.state() == SocketControl::State::Connected ? socket.received() : qsizetype(-1);
    };
    server->clientArrivals = [this] { return int(arrivals.count()); };
    return server.get();
  }

  // Every box but the confirmations.
  QStringList shown() const {
    QStringList texts = boxes.texts();
    texts.removeIf([](const QString& text) { return text.startsWith(kConfirm); });
    return texts;
  }

  qsizetype logFiles() const {
    qsizetype count = 0;
    for (QDirIterator it(MailLog::logFolderPath(), QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next())
      ++count;
    return count;
  }

  // The client waits on its open connection, and the server has played
  // every row (the last one the client's command that it waits after).
  bool waitsWithEveryRowPlayed() const {
    const ScriptedServer* server = pop->connections() > 0 ? pop : smtp;
    return socket.state() == SocketControl::State::Connected && server->connections() == 1 &&
           server->remaining().isEmpty();
  }

  std::vector<std::unique_ptr<ScriptedServer>> servers;
  ScriptedServer* smtp = nullptr;
  ScriptedServer* pop = nullptr;
};

#define VERIFY_SCRIPTS_PLAYED(fixture)                                                                     \
  for (const auto& server : (fixture).servers)                                                             \
  QTRY_VERIFY2(server->finished(),                                                                         \
               qPrintable(server->failure() + QStringLiteral(" / left: ") + server->remaining().join(u'|') + \
                          QStringLiteral(" / received: ") + QString::fromLatin1(server->received().left(300))))

}  // namespace

class TstMisbehavingServers : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void misbehavingServer_data();
  void misbehavingServer();
  void noReplyOfAnEarlierConnection_data();
  void noReplyOfAnEarlierConnection();
};

void TstMisbehavingServers::init() {}

void TstMisbehavingServers::misbehavingServer_data() {
  QTest::addColumn<QStringList>("smtp");
  QTest::addColumn<QStringList>("pop");  // empty: POP before SMTP is off
  QTest::addColumn<QStringList>("boxes");  // shown after the confirmation
  QTest::addColumn<bool>("completed");     // the server accepted the mail
  QTest::addColumn<bool>("waits");         // the dialogue waits after the last row
  QTest::addColumn<bool>("thenPopTest");   // a POP test before the next send
  addDialogueRows(false);
  addDialogueRows(true);
}

void TstMisbehavingServers::misbehavingServer() {
  QFETCH(QStringList, smtp);
  QFETCH(QStringList, pop);
  QFETCH(QStringList, boxes);
  QFETCH(bool, completed);
  QFETCH(bool, waits);
  QFETCH(bool, thenPopTest);
  Fixture fixture;
  fixture.settings.popBeforeSmtp = !pop.isEmpty();
  fixture.serve(smtp, pop);

  fixture.sendBoxes.send(kTo, kSubject, kBody);

  if (!waits) {
    VERIFY_SCRIPTS_PLAYED(fixture);
    QTRY_COMPARE(fixture.shown(), boxes);
    QVERIFY(fixture.idle());
  } else {
    // The dialogue just waits (the time limits are far off).
    QTRY_VERIFY(fixture.waitsWithEveryRowPlayed());
    QCOMPARE(fixture.shown(), QStringList());
  }
  QCOMPARE(fixture.logFiles(), completed ? 1 : 0);

  // The settings window's POP test, or the send button, gives up whatever
  // is open and starts afresh; then a normal send goes through.
  if (thenPopTest) {
    MailSettings& running = fixture.settings;
    running.popBeforeSmtp = true;
    fixture.serve({}, before(kPop, 3));
    // As the settings window asks: a success ends POP before SMTP for the run.
    SendingTest::testPopLogin(fixture.sendBoxes, [&running] {
      running.popBeforeSmtp = false;
      running.popUser.clear();
      running.popPassword = QString();
      running.popServer.clear();
    });
    QTRY_COMPARE(fixture.shown().value(boxes.size()), kPopTestOk);
    QTRY_VERIFY(fixture.idle());
    boxes.append(kPopTestOk);
  }
  boxes.append(kCompleted);
  fixture.serve(whole(kSmtp), fixture.mail.logsInToPopFirst(fixture.settings) ? whole(kPop) : QStringList());
  fixture.sendBoxes.send(kTo, kSubject, kBody);

  VERIFY_SCRIPTS_PLAYED(fixture);
  QTRY_COMPARE(fixture.shown(), boxes);
  QCOMPARE(fixture.logFiles(), completed ? 2 : 1);
  QVERIFY(fixture.idle());
}

void TstMisbehavingServers::noReplyOfAnEarlierConnection_data() {
  QTest::addColumn<QStringList>("firstPop");   // empty: the first send goes straight to SMTP
  QTest::addColumn<QStringList>("secondPop");  // the POP login of the second send, if any
  const QStringList none;
  QTest::newRow("after a completed send") << none << none;
  QTest::newRow("after a completed send with POP before SMTP") << whole(kPop) << none;
  QTest::newRow("after the POP login of the same send") << whole(kPop) << whole(kPop);
}

// A completed send, then an SMTP server that closes without a greeting: the
// box says the server closed the connection, with nothing of an earlier
// connection's replies (the 221 to the last QUIT, the POP server's +OK).
void TstMisbehavingServers::noReplyOfAnEarlierConnection() {
  QFETCH(QStringList, firstPop);
  QFETCH(QStringList, secondPop);
  Fixture fixture;
  fixture.settings.popBeforeSmtp = !firstPop.isEmpty();
  fixture.serve(whole(kSmtp), firstPop);
  fixture.sendBoxes.send(kTo, kSubject, kBody);
  VERIFY_SCRIPTS_PLAYED(fixture);
  QTRY_COMPARE(fixture.shown(), QStringList{kCompleted});

  if (!secondPop.isEmpty()) fixture.settings.popIntervalMinutes = 0;  // the login has aged: POP again
  fixture.serve({QStringLiteral("X:")}, secondPop);
  QCOMPARE(fixture.mail.logsInToPopFirst(fixture.settings), !secondPop.isEmpty());
  fixture.sendBoxes.send(kTo, kSubject, kBody);
  VERIFY_SCRIPTS_PLAYED(fixture);
  QTRY_COMPARE(fixture.shown(), (QStringList{kCompleted, closedEarlyBox(QString())}));
  QVERIFY(!fixture.shown().last().contains(QStringLiteral("221")));
  QVERIFY(!fixture.shown().last().contains(QStringLiteral("+OK")));
  QVERIFY(fixture.idle());
}

QTEST_GUILESS_MAIN(TstMisbehavingServers)
#include "tst_misbehaving_servers.moc"
