// The send command, the SMTP and POP dialogues and the connection events,
// driven through the real socket control against scripted servers.

#include "cp932.h"
#include "mail_text.h"
#include "scripted_server.h"
#include "sending_side.h"
#include "write_log.h"

#include <QDir>
#include <QLocale>
#include <QRegularExpression>
#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QTimeZone>
#include <memory>

using Answer = MessageBox::Answer;

namespace {

using SendingTest::kFrom;
using SendingTest::kTo;
const QString kCrLf = QStringLiteral("\r\n");

const QString kCompleted = QStringLiteral("送信が完了しました。\r\n\r\n題名と本文をクリアしますか？");

QString dateRow() {
  return QStringLiteral(
      "C~ ^Date:(Mon|Tue|Wed|Thu|Fri|Sat|Sun), [1-9]\\d? "
      "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \\d{4} \\d{2}:\\d{2}:\\d{2} [+-]\\d{4}$");
}

// The server's side of a send up to its reply to RCPT TO.
QStringList upToRcpt(const QString& to = kTo) {
  return {QStringLiteral("S: 220 mx.example.jp ESMTP"),
          QStringLiteral("C: RSET"),
          QStringLiteral("S: 250 2.0.0 Ok"),
          QStringLiteral("C~ ^HELO \\S+$"),
          QStringLiteral("S: 250 mx.example.jp"),
          QStringLiteral("C: MAIL FROM:<") + kFrom + QLatin1Char('>'),
          QStringLiteral("S: 250 2.1.0 Ok"),
          QStringLiteral("C: RCPT TO:<") + to + QLatin1Char('>')};
}

// From the reply to RCPT TO to the end: the mail text with the given
// subject and body lines as they must arrive.
QStringList fromData(const QString& subject, const QStringList& wireBody, const QString& to = kTo) {
  QStringList rows = {QStringLiteral("S: 250 2.1.5 Ok"),
                      QStringLiteral("C: DATA"),
                      QStringLiteral("S: 354 End data with <CR><LF>.<CR><LF>"),
                      dateRow(),
                      QStringLiteral("C: From:") + kFrom,
                      QStringLiteral("C: TO:") + to,
                      QStringLiteral("C: X-Mailer: Talvenor 2.1.0 by harbex7"),
                      QStringLiteral("C: SUBJECT:") + subject,
                      QStringLiteral("C: ")};
  for (const QString& line : wireBody) rows << QStringLiteral("C: ") + line;
  rows << QStringLiteral("C: .") << QStringLiteral("S: 250 2.0.0 Ok: queued as 1") << QStringLiteral("C: QUIT")
       << QStringLiteral("S: 221 2.0.0 Bye") << QStringLiteral("X:");
  return rows;
}

QStringList normalSend(const QString& subject = QStringLiteral("件名"),
                       const QStringList& wireBody = {QStringLiteral("本文")}, const QString& to = kTo) {
  return upToRcpt(to) + fromData(subject, wireBody, to);
}

QStringList popLogin() {
  return {QStringLiteral("S: +OK Dovecot ready."), QStringLiteral("C: USER taro"),
          QStringLiteral("S: +OK"),                QStringLiteral("C: PASS secret"),
          QStringLiteral("S: +OK Logged in."),     QStringLiteral("C: QUIT"),
          QStringLiteral("S: +OK Logging out."),   QStringLiteral("X:")};
}

// The program's side and up to two scripted servers standing in for ports
// 25 and 110.
struct Rig : SendingTest::SendingSide {
  explicit Rig(const QStringList& smtpScript, const QStringList& popScript = {})
      : smtp(smtpScript), pop(popScript) {
    for (ScriptedServer* server : {&smtp, &pop}) {
      server->clientReceived = [this] { return socket.received(); };
      server->clientArrivals = [this] { return int(arrivals.count()); };
    }
    settings.keepLog = true;
    settings.smtpPort = smtp.port();
    settings.popPort = pop.port();
  }

  QStringList boxTexts() const { return boxes.texts(); }
  QString dayFolder() const {
    return MailLog::logFolderPath() + QLatin1Char('/') + QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
  }
  QStringList logFiles() const { return QDir(dayFolder()).entryList(QDir::Files); }

  ScriptedServer smtp;
  ScriptedServer pop;
};

#define VERIFY_SCRIPT_PLAYED(server) \
  QTRY_VERIFY2((server).finished(),  \
               qPrintable((server).failure() + QStringLiteral(" / left: ") + (server).remaining().join(u'|')))

}  // namespace

class TstMailTransmission : public QObject {
  Q_OBJECT

 private slots:
  void init();

  void replyCompleteness_data();
  void replyCompleteness();
  void dateLine_data();
  void dateLine();
  void longLines_data();
  void longLines();
  void longSubjectIsCut();

  void sendCommandChecks_data();
  void sendCommandChecks();
  void confirmation_data();
  void confirmation();

  void smtpDialogue_data();
  void smtpDialogue();
  void completedSend_data();
  void completedSend();
  void eventsWaitForTheRunningHandler();
  void nextSendStartsAfresh_data();
  void nextSendStartsAfresh();
  void sendsTheMailAsConfirmed();
  void charactersThatWouldBeLostAsk_data();
  void charactersThatWouldBeLostAsk();
  void logThatCannotBeWrittenIsReported();
  void blanksAroundServerNamesAndSender();

  void popBeforeSmtp();
  void popLoginAgainWhenAged();
  void transcriptHidesThePassword();
  void popLoginFails_data();
  void popLoginFails();
  void popTest_data();
  void popTest();

  void socketErrors_data();
  void socketErrors();
  void sendDuringAPopTest();
  void oversizedReplies();
  void serverThatDoesNotAnswer_data();
  void serverThatDoesNotAnswer();
  void controlCharactersInSettings_data();
  void controlCharactersInSettings();
};

void TstMailTransmission::init() {}

// ------------------------------------------------------------ small pieces

void TstMailTransmission::replyCompleteness_data() {
  QTest::addColumn<QByteArray>("data");
  QTest::addColumn<bool>("complete");
  QTest::newRow("one line") << QByteArray("220 ready\r\n") << true;
  QTest::newRow("no line break yet") << QByteArray("220 rea") << false;
  QTest::newRow("CR without LF") << QByteArray("220 ready\r") << false;
  QTest::newRow("continuation line") << QByteArray("250-mx.example.jp\r\n") << false;
  QTest::newRow("continuation then last line") << QByteArray("250-mx\r\n250-SIZE\r\n250 8BITMIME\r\n") << true;
  QTest::newRow("last line still coming") << QByteArray("250-mx\r\n250 8BIT") << false;
  QTest::newRow("POP reply") << QByteArray("+OK Dovecot ready.\r\n") << true;
  QTest::newRow("LF only") << QByteArray("220 ready\n") << true;
  QTest::newRow("nothing") << QByteArray() << false;
}

void TstMailTransmission::replyCompleteness() {
  QFETCH(QByteArray, data);
  QFETCH(bool, complete);
  QCOMPARE(ReplyReader::endsWithWholeReply(data), complete);
}

void TstMailTransmission::dateLine_data() {
  QTest::addColumn<QDateTime>("now");
  QTest::addColumn<QString>("line");
  QTest::newRow("Japan") << QDateTime(QDate(2004, 3, 22), QTime(14, 5, 9), QTimeZone(9 * 3600))
                         << QStringLiteral("Date:Mon, 22 Mar 2004 14:05:09 +0900\r\n");
  QTest::newRow("morning, one-digit day, west of UTC")
      << QDateTime(QDate(2024, 11, 3), QTime(9, 7, 5), QTimeZone(-(3 * 3600 + 1800)))
      << QStringLiteral("Date:Sun, 3 Nov 2024 09:07:05 -0330\r\n");
  QTest::newRow("UTC") << QDateTime(QDate(2023, 12, 31), QTime(23, 59, 59), QTimeZone::utc())
                       << QStringLiteral("Date:Sun, 31 Dec 2023 23:59:59 +0000\r\n");
}

void TstMailTransmission::dateLine() {
  QFETCH(QDateTime, now);
  QFETCH(QString, line);
  // The names stay English whatever the user's locale.
  const QLocale previous;
  QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
  const QString made = MailText::dateLine(now);
  QLocale::setDefault(previous);
  QCOMPARE(made, line);
}

// ------------------------------------------------------------ send command

void TstMailTransmission::sendCommandChecks_data() {
  QTest::addColumn<QString>("recipient");
  QTest::addColumn<QString>("from");
  QTest::addColumn<QString>("box");  // empty: none

  QTest::newRow("recipient blank") << QStringLiteral("   ") << kFrom << QString();
  QTest::newRow("recipient empty") << QString() << kFrom << QString();
  QTest::newRow("recipient of five characters")
      << QStringLiteral("a@b.c") << kFrom << QStringLiteral("宛先メールアドレスが不正です\r\na@b.c");
  QTest::newRow("recipient without @")
      << QStringLiteral("hanako.example.jp") << kFrom << QStringLiteral("宛先メールアドレスが不正です\r\nhanako.example.jp");
  QTest::newRow("recipient carrying a command")
      << QStringLiteral("a@b.jp>\r\nRCPT TO:<x@y.jp") << kFrom
      << QStringLiteral("宛先メールアドレスが不正です\r\na@b.jp>\r\nRCPT TO:<x@y.jp");
  QTest::newRow("recipient with a tab")
      << QStringLiteral("a@b.jp\t") << kFrom << QStringLiteral("宛先メールアドレスが不正です\r\na@b.jp\t");
  QTest::newRow("recipient the code page cannot hold")
      << QStringLiteral("😀@example.jp") << kFrom << QStringLiteral("宛先メールアドレスに送信できない文字があります：😀\r\n😀@example.jp");
  QTest::newRow("sender the code page cannot hold")
      << kTo << QStringLiteral("taro𠮷@example.jp")
      << QStringLiteral("発信者メールアドレスに送信できない文字があります：𠮷\r\ntaro𠮷@example.jp");
  QTest::newRow("sender too short") << kTo << QStringLiteral("x@y.z") << QStringLiteral("発信者メールアドレスが不正です\r\nx@y.z");
  const QString refused = QStringLiteral("宛先メールアドレスが不正です\r\n");
  for (const QString& address : {QStringLiteral("a@b.jp> NOTIFY=SUCCESS ORCPT=rfc822;x@x.test"),
                                 QStringLiteral("<hanako@example.jp"), QStringLiteral("hanako @example.jp"),
                                 QStringLiteral("hanako@example.jp,x@y.jp"), QStringLiteral("hanako\u3000x@example.jp"),
                                 QStringLiteral("hana") + QChar(u'\0') + QStringLiteral("ko@example.jp")})
    QTest::addRow("recipient %s", qPrintable(QString(address).replace(QChar(u'\0'), QStringLiteral("<NUL>"))))
        << address << kFrom << refused + address;
  QTest::newRow("sender with >") << kTo << QStringLiteral("taro@example.jp>")
                                 << QStringLiteral("発信者メールアドレスが不正です\r\ntaro@example.jp>");
  QTest::newRow("sender carrying a header")
      << kTo << QStringLiteral("taro@example.jp\nBcc: x@y.jp")
      << QStringLiteral("発信者メールアドレスが不正です\r\ntaro@example.jp\nBcc: x@y.jp");
}

void TstMailTransmission::longLines_data() {
  QTest::addColumn<QString>("body");
  QTest::addColumn<QList<int>>("octets");  // of each line after breaking, in CP932
  const QString wide = QStringLiteral("あ");
  QTest::newRow("998 ASCII") << QString(998, u'a') << QList<int>{998};
  QTest::newRow("999 ASCII") << QString(999, u'a') << QList<int>{998, 1};
  QTest::newRow("3000 ASCII") << QString(3000, u'a') << QList<int>{998, 998, 998, 6};
  QTest::newRow("499 full-width") << wide.repeated(499) << QList<int>{998};
  QTest::newRow("500 full-width") << wide.repeated(500) << QList<int>{998, 2};
  QList<int> fiveThousand(10, 998);
  fiveThousand << 20;
  QTest::newRow("5000 full-width") << wide.repeated(5000) << fiveThousand;
  QTest::newRow("break inside a double-byte character") << QString(997, u'a') + wide + wide << QList<int>{997, 4};
  QTest::newRow("the user's own breaks stay") << QStringLiteral("x\r\n") + QString(999, u'a') + QStringLiteral("\ny")
                                              << QList<int>{1, 998, 1, 1};
  QTest::newRow("a pair of surrogates is one character")
      << QString(997, u'a') + QStringLiteral("😀😀") << QList<int>{998, 1};
}

// No line of the mail passes 998 octets, and only breaks are added.
void TstMailTransmission::longLines() {
  QFETCH(QString, body);
  QFETCH(QList<int>, octets);
  const QString broken = MailText::breakLongLines(body);
  QList<int> lengths;
  for (const QString& line : broken.split(QRegularExpression(QStringLiteral("\r\n|\r|\n"))))
    lengths << int(Cp932::byteCount(line, Cp932::Counting::Conversion));
  QCOMPARE(lengths, octets);
  QString joined = broken;
  QString typed = body;
  QCOMPARE(joined.remove(QStringLiteral("\r\n")).remove(u'\n'), typed.remove(QStringLiteral("\r\n")).remove(u'\n'));
}

void TstMailTransmission::longSubjectIsCut() {
  const QString line = MailText::subjectLine(QStringLiteral("件").repeated(600));
  QCOMPARE(line, QStringLiteral("SUBJECT:") + QStringLiteral("件").repeated(495) + kCrLf);
  QCOMPARE(MailText::subjectLine(QStringLiteral("件").repeated(495)), line);
  // One more half-width character still fits; a full-width one would not.
  QCOMPARE(MailText::subjectLine(QStringLiteral("件").repeated(494) + QStringLiteral("ab件")),
           QStringLiteral("SUBJECT:") + QStringLiteral("件").repeated(494) + QStringLiteral("ab") + kCrLf);
}

// A refused or blank address shows its box (or nothing) and changes nothing.
void TstMailTransmission::sendCommandChecks() {
  QFETCH(QString, recipient);
  QFETCH(QString, from);
  QFETCH(QString, box);
  Rig rig({});
  rig.settings.from = from;

  rig.sendBoxes.send(recipient, QStringLiteral("subject"), QStringLiteral("body"));

  QCOMPARE(rig.boxTexts(), box.isEmpty() ? QStringList() : QStringList{box});
  if (!box.isEmpty()) {
    QCOMPARE(rig.boxes.shown().first().buttons, MessageBox::Buttons::Ok);
    QCOMPARE(rig.boxes.shown().first().icon, MessageBox::Icon::None);
    QCOMPARE(rig.boxes.shown().first().title, QString());
  }
  QVERIFY(rig.idle());
  QCOMPARE(rig.smtp.connections(), 0);
}

void TstMailTransmission::confirmation_data() {
  QTest::addColumn<bool>("popBeforeSmtp");
  QTest::addColumn<QString>("text");
  const QString base = QStringLiteral("メールを送信してよろしいですか？\r\n\r\n宛先： a@b.jp\r\n\r\n差出人： ") + kFrom + kCrLf;
  QTest::newRow("SMTP only") << false << base;
  QTest::newRow("POP before SMTP") << true << base + QStringLiteral("\r\n\r\nメール送信に POP Before SMTP を使います。");
}

// Six characters with "@" pass; Cancel sends nothing and captures nothing.
void TstMailTransmission::confirmation() {
  QFETCH(bool, popBeforeSmtp);
  QFETCH(QString, text);
  Rig rig({});
  rig.settings.popBeforeSmtp = popBeforeSmtp;
  rig.boxes.queue(Answer::Cancel);

  rig.sendBoxes.send(QStringLiteral("a@b.jp"), QStringLiteral("subject"), QStringLiteral("body"));

  QCOMPARE(rig.boxTexts(), QStringList{text});
  const MessageBox::Request& shown = rig.boxes.shown().first();
  QCOMPARE(shown.title, QStringLiteral("メール宛先・送信元の確認"));
  QCOMPARE(shown.buttons, MessageBox::Buttons::OkCancel);
  QCOMPARE(shown.icon, MessageBox::Icon::Question);
  QCOMPARE(shown.defaultButton, Answer::Ok);
  QVERIFY(rig.idle());
  QCOMPARE(rig.smtp.connections() + rig.pop.connections(), 0);
}

// ---------------------------------------------------------- SMTP dialogue

void TstMailTransmission::smtpDialogue_data() {
  QTest::addColumn<QString>("recipient");
  QTest::addColumn<QString>("subject");
  QTest::addColumn<QString>("body");
  QTest::addColumn<QStringList>("script");
  QTest::addColumn<QStringList>("boxes");       // after the confirmation
  QTest::addColumn<QByteArray>("wireContains");  // bytes the server must have received
  QTest::addColumn<bool>("logged");

  const QString subject = QStringLiteral("件名");
  const QString body = QStringLiteral("本文");
  const QString smtpError = QStringLiteral("エラーが発生しました\r\n");
  const QString closedEarly = QStringLiteral("エラーが発生しました。\r\n");

  QTest::newRow("normal send") << kTo << subject << body << normalSend() << QStringList{kCompleted}
                               << Cp932::fromUnicode(QStringLiteral("SUBJECT:件名\r\n\r\n本文\r\n.\r\nQUIT\r\n"))
                               << true;
  QTest::newRow("blanks around the recipient are left out")
      << QStringLiteral(" hanako@example.jp　") << subject << body << normalSend(subject, {body}) << QStringList{kCompleted}
      << QByteArray("RCPT TO:<hanako@example.jp>\r\n") << true;
  QTest::newRow("empty subject, body ending with a line break")
      << kTo << QString() << QStringLiteral("line\n") << normalSend(QString(), {QStringLiteral("line"), QString()})
      << QStringList{kCompleted} << QByteArray("SUBJECT:\r\n\r\nline\r\n\r\n.\r\n") << true;

  QTest::newRow("554 greeting") << kTo << subject << body
                                << QStringList{QStringLiteral("S: 554 5.3.2 Service unavailable"), QStringLiteral("X:")}
                                << QStringList{smtpError + QStringLiteral("554 5.3.2 Service unavailable\r\n")}
                                << QByteArray() << false;
  QTest::newRow("5xx to RSET")
      << kTo << subject << body
      << QStringList{QStringLiteral("S: 220 mx ESMTP"), QStringLiteral("C: RSET"), QStringLiteral("S: 502 5.5.1 No")}
      << QStringList{smtpError + QStringLiteral("502 5.5.1 No\r\n")} << QByteArray() << false;
  QTest::newRow("4xx to HELO")
      << kTo << subject << body
      << QStringList{QStringLiteral("S: 220 mx ESMTP"), QStringLiteral("C: RSET"), QStringLiteral("S: 250 Ok"),
                     QStringLiteral("C~ ^HELO \\S+$"), QStringLiteral("S: 421 4.3.2 Shutting down")}
      << QStringList{smtpError + QStringLiteral("421 4.3.2 Shutting down\r\n")} << QByteArray() << false;
  QTest::newRow("550 to RCPT shows the hint")
      << kTo << subject << body
      << upToRcpt() + QStringList{QStringLiteral("S: 550 5.1.1 <hanako@example.jp>: Recipient address rejected")}
      << QStringList{smtpError +
                     QStringLiteral("550 5.1.1 <hanako@example.jp>: Recipient address rejected\r\n\r\n"
                                    "メールアドレスが正しいものか確認してください。")}
      << QByteArray() << false;
  QTest::newRow("251 to RCPT is ignored")
      << kTo << subject << body
      << upToRcpt() + QStringList{QStringLiteral("S: 251 2.1.5 User not local; will forward"), QStringLiteral("D:")} +
             fromData(subject, {body})
      << QStringList{kCompleted} << QByteArray() << true;
  QTest::newRow("replies split across segments")
      << kTo << subject << body
      << QStringList{QStringLiteral("P: 220 mx.exa"), QStringLiteral("W:"), QStringLiteral("P: mple.jp E"),
                     QStringLiteral("W:"), QStringLiteral("S: SMTP"), QStringLiteral("C: RSET"),
                     QStringLiteral("S: 250 Ok"), QStringLiteral("C~ ^HELO \\S+$"), QStringLiteral("P: 2"),
                     QStringLiteral("W:"), QStringLiteral("P: 50 mx"), QStringLiteral("W:"), QStringLiteral("S: "),
                     QStringLiteral("C: MAIL FROM:<") + kFrom + QLatin1Char('>'), QStringLiteral("S: 250 Ok"),
                     QStringLiteral("C: RCPT TO:<") + kTo + QLatin1Char('>')} +
             fromData(subject, {body})
      << QStringList{kCompleted} << QByteArray() << true;
  QTest::newRow("multi-line replies")
      << kTo << subject << body
      << QStringList{QStringLiteral("S: 220-mx.example.jp ESMTP"), QStringLiteral("W:"),
                     QStringLiteral("S: 220-no UCE"), QStringLiteral("W:"), QStringLiteral("S: 220 welcome"),
                     QStringLiteral("C: RSET"), QStringLiteral("S: 250 Ok"), QStringLiteral("C~ ^HELO \\S+$"),
                     QStringLiteral("S: 250-mx.example.jp"), QStringLiteral("S: 250-PIPELINING"), QStringLiteral("W:"),
                     QStringLiteral("S: 250 8BITMIME"), QStringLiteral("C: MAIL FROM:<") + kFrom + QLatin1Char('>'),
                     QStringLiteral("S: 250 Ok"), QStringLiteral("C: RCPT TO:<") + kTo + QLatin1Char('>')} +
             fromData(subject, {body})
      << QStringList{kCompleted} << QByteArray() << true;

  QTest::newRow("greeting with NUL and invalid Shift-JIS bytes")
      << kTo << subject << body
      << QStringList{QStringLiteral("B: 323230200081ff7f20fd6f6b0d0a")} + normalSend().mid(1) << QStringList{kCompleted}
      << QByteArray() << true;
  QTest::newRow("close after the greeting")
      << kTo << subject << body
      << QStringList{QStringLiteral("S: 220 mx ESMTP"), QStringLiteral("C: RSET"), QStringLiteral("X:")}
      << QStringList{closedEarly + QStringLiteral("220 mx ESMTP\r\n")} << QByteArray() << false;
  QTest::newRow("close before the mail is accepted")
      << kTo << subject << body
      << upToRcpt() + fromData(subject, {body}).mid(0, 10) + QStringList{QStringLiteral("C: ."), QStringLiteral("X:")}
      << QStringList{closedEarly + QStringLiteral("サーバが接続を閉じました。メールは送信されていない可能性があります。")}
      << QByteArray() << false;
  QTest::newRow("close after QUIT without 221")
      << kTo << subject << body << normalSend().mid(0, normalSend().size() - 2) + QStringList{QStringLiteral("X:")}
      << QStringList{kCompleted} << QByteArray() << true;

  QTest::newRow("dot-stuffing, first body line included")
      << kTo << subject << QStringLiteral(".\nsecond\n..third\n. x\n.")
      << normalSend(subject, {QStringLiteral(".."), QStringLiteral("second"), QStringLiteral("...third"),
                              QStringLiteral(".. x"), QStringLiteral("..")})
      << QStringList{kCompleted} << QByteArray("\r\n\r\n..\r\nsecond\r\n...third\r\n.. x\r\n..\r\n.\r\n") << true;
  QTest::newRow("every line break becomes CR LF")
      << kTo << subject << QStringLiteral("a\nb\rc\r\nd\n\re")
      << normalSend(subject, {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d"),
                              QString(), QStringLiteral("e")})
      << QStringList{kCompleted} << QByteArray("\r\n\r\na\r\nb\r\nc\r\nd\r\n\r\ne\r\n.\r\n") << true;
  QTest::newRow("line breaks leave the subject")
      << kTo << QStringLiteral("a\r\nBcc: x@y.jp\rb\nc") << body
      << normalSend(QStringLiteral("aBcc: x@y.jpbc"), {body}) << QStringList{kCompleted}
      << QByteArray("SUBJECT:aBcc: x@y.jpbc\r\n\r\n") << true;  // logged as "aBcc： x@y.jpbc.eml"
}

void TstMailTransmission::smtpDialogue() {
  QFETCH(QString, recipient);
  QFETCH(QString, subject);
  QFETCH(QString, body);
  QFETCH(QStringList, script);
  QFETCH(QStringList, boxes);
  QFETCH(QByteArray, wireContains);
  QFETCH(bool, logged);
  Rig rig(script);

  rig.sendBoxes.send(recipient, subject, body);

  VERIFY_SCRIPT_PLAYED(rig.smtp);
  QTRY_COMPARE(rig.boxTexts().mid(1), boxes);
  for (const MessageBox::Request& shown : rig.boxes.shown().mid(1)) {
    QCOMPARE(shown.title, QString());
    QCOMPARE(shown.icon, shown.text == kCompleted ? MessageBox::Icon::Question : MessageBox::Icon::Exclamation);
  }
  QVERIFY2(rig.smtp.received().contains(wireContains), rig.smtp.received().constData());
  QCOMPARE(rig.logFiles().size(), logged ? 1 : 0);
  QVERIFY(rig.idle());
  QVERIFY(rig.goesStraightToSmtp());
}

void TstMailTransmission::completedSend_data() {
  QTest::addColumn<Answer>("answer");
  QTest::addColumn<bool>("log");
  QTest::newRow("Yes, log on") << Answer::Yes << true;
  QTest::newRow("No, log off") << Answer::No << false;
}

// The log is written before the question; Yes
// asks the window to empty its subject and body boxes, after the question.
void TstMailTransmission::completedSend() {
  QFETCH(Answer, answer);
  QFETCH(bool, log);
  Rig rig(normalSend(QStringLiteral("会議"), {QStringLiteral("本文")}));
  rig.settings.keepLog = log;
  rig.boxes.queue(Answer::Ok);
  rig.boxes.queue(answer);
  QStringList steps;
  rig.boxes.onShow = [&](const MessageBox::Request& request) {
    if (request.text != kCompleted) return;
    steps << QStringLiteral("question, log files %1").arg(rig.logFiles().size());
  };
  QObject::connect(&rig.sendBoxes, &SendBoxes::clearSubjectAndBody, [&] { steps << QStringLiteral("clear"); });

  rig.sendBoxes.send(kTo, QStringLiteral("会議"), QStringLiteral("本文"));

  VERIFY_SCRIPT_PLAYED(rig.smtp);
  QTRY_COMPARE(rig.boxes.count(), 2);
  QStringList expected{QStringLiteral("question, log files %1").arg(log ? 1 : 0)};
  if (answer == Answer::Yes) expected << QStringLiteral("clear");
  QCOMPARE(steps, expected);
  if (log) {
    QCOMPARE(rig.logFiles(), QStringList{QStringLiteral("会議.eml")});
    QFile file(rig.dayFolder() + QStringLiteral("/会議.eml"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = Cp932::toUnicode(file.readAll());
    QVERIFY(text.startsWith(QStringLiteral("Date:")));
    QVERIFY(text.endsWith(QStringLiteral("\r\nSUBJECT:会議\r\n\r\n本文\r\n")));
  } else {
    QVERIFY(!QFileInfo::exists(MailLog::logFolderPath()));
  }
}

// A server that refuses with 554 and hangs up while the error box is still
// on the screen: the close waits behind the box's handler and is dropped
// when that handler closes the connection, so no completion is reported.
void TstMailTransmission::eventsWaitForTheRunningHandler() {
  Rig rig({QStringLiteral("S: 554 5.7.1 Go away"), QStringLiteral("D:"), QStringLiteral("X:")});
  QSignalSpy closes(&rig.socket, &SocketControl::closedByPeer);
  bool closeWaited = false;
  rig.boxes.onShow = [&](const MessageBox::Request& request) {
    if (!request.text.contains(QStringLiteral("554"))) return;
    // The box is on the screen and events go on arriving: wait for the
    // server's close to reach the socket control, then for everything
    // posted up to now to run; the close is not delivered meanwhile.
    bool closeArrived = QTest::qWaitFor([&] { return rig.socket.state() == SocketControl::State::ClosedByPeer; });
    bool settled = false;
    QMetaObject::invokeMethod(&rig.socket, [&] { settled = true; }, Qt::QueuedConnection);
    settled = QTest::qWaitFor([&] { return settled; });
    closeWaited = closeArrived && settled && closes.isEmpty();
  };

  rig.sendBoxes.send(kTo, QStringLiteral("subject"), QStringLiteral("body"));

  VERIFY_SCRIPT_PLAYED(rig.smtp);
  QVERIFY(closeWaited);
  QCOMPARE(rig.boxTexts().mid(1), QStringList{QStringLiteral("エラーが発生しました\r\n554 5.7.1 Go away\r\n")});
  QVERIFY(rig.idle());
  QCOMPARE(closes.count(), 0);
}

void TstMailTransmission::nextSendStartsAfresh_data() {
  QTest::addColumn<QStringList>("firstSend");
  QTest::addColumn<int>("firstBoxes");
  QTest::newRow("after 550 to RCPT")
      << upToRcpt() + QStringList{QStringLiteral("S: 550 5.1.1 Unknown user"), QStringLiteral("A:")} << 1;
  QTest::newRow("after a reset in the dialogue")
      << upToRcpt() + QStringList{QStringLiteral("R:")} << 1;
  QTest::newRow("while the server keeps silent")
      << QStringList{QStringLiteral("S: 220 mx ESMTP"), QStringLiteral("C: RSET"), QStringLiteral("A:")} << 0;
}

// The second send begins with the greeting and a new mail text: one Date
// line, one From line.
void TstMailTransmission::nextSendStartsAfresh() {
  QFETCH(QStringList, firstSend);
  QFETCH(int, firstBoxes);
  Rig rig(firstSend + normalSend());

  rig.sendBoxes.send(kTo, QStringLiteral("件名"), QStringLiteral("本文"));
  if (firstBoxes > 0) {
    QTRY_COMPARE(rig.boxes.count(), 1 + firstBoxes);
    QVERIFY(rig.idle());
  } else {
    QTRY_VERIFY(rig.smtp.received().endsWith("RSET\r\n"));
  }
  rig.sendBoxes.send(kTo, QStringLiteral("件名"), QStringLiteral("本文"));

  VERIFY_SCRIPT_PLAYED(rig.smtp);
  QTRY_COMPARE(rig.boxTexts().last(), kCompleted);
  QCOMPARE(rig.smtp.connections(), 2);
  const QByteArray received = rig.smtp.received();
  QCOMPARE(received.count("Date:"), 1);
  QCOMPARE(received.count("\r\nFrom:"), 1);
}

// ---------------------------------------------------------- POP dialogue

// The first send logs in to the POP server, which closes after QUIT; then
// SMTP. The next send of the run goes straight to SMTP.
// Settings saved or a recipient typed while a mail is on its way change
// the next mail, not this one.
void TstMailTransmission::sendsTheMailAsConfirmed() {
  Rig rig(normalSend());
  rig.sendBoxes.send(kTo, QStringLiteral("件名"), QStringLiteral("本文"));
  rig.settings.from = QStringLiteral("jiro@example.jp");

  VERIFY_SCRIPT_PLAYED(rig.smtp);
  QTRY_COMPARE(rig.boxTexts().last(), kCompleted);
}

// The mail went out; its log could not be written: a box says so, with
// the path and the reason, after the completion report.
void TstMailTransmission::logThatCannotBeWrittenIsReported() {
  Rig rig(normalSend());
  QVERIFY(QDir().mkpath(rig.dayFolder() + QStringLiteral("/件名.eml")));
  rig.sendBoxes.send(kTo, QStringLiteral("件名"), QStringLiteral("本文"));
  QTRY_COMPARE(rig.boxes.count(), 3);
  QCOMPARE(rig.boxTexts()[1], kCompleted);
  QVERIFY(rig.boxTexts()[2].startsWith(QStringLiteral("メールは送信されましたが、送信ログを書き込めませんでした。\r\n\r\n") +
                                       rig.dayFolder() + QStringLiteral("/件名.eml\r\n")));
}

void TstMailTransmission::charactersThatWouldBeLostAsk_data() {
  QTest::addColumn<int>("answer");
  QTest::addColumn<int>("charset");
  QTest::addColumn<bool>("asked");
  QTest::addColumn<bool>("sent");
  using C = MailSettings::Charset;
  QTest::newRow("Shift-JIS, No") << int(Answer::No) << int(C::ShiftJis) << true << false;
  QTest::newRow("Shift-JIS, Yes: sent with ?") << int(Answer::Yes) << int(C::ShiftJis) << true << true;
  QTest::newRow("UTF-8 carries them") << int(Answer::Yes) << int(C::Utf8) << false << true;
}

// Subject and body characters the Shift-JIS mail would send as "?" are
// listed, and the user decides (No unless told otherwise).
void TstMailTransmission::charactersThatWouldBeLostAsk() {
  QFETCH(int, answer);
  QFETCH(int, charset);
  QFETCH(bool, asked);
  QFETCH(bool, sent);
  Rig rig(sent ? QStringList{QStringLiteral("S: 220 mx"), QStringLiteral("C: RSET"), QStringLiteral("X:")}
               : QStringList());
  rig.settings.charset = MailSettings::Charset(charset);
  if (asked) rig.boxes.queue(Answer(answer));

  rig.sendBoxes.send(kTo, QStringLiteral("件名😀"), QStringLiteral("한국어 𠮷"));

  if (asked)
    QCOMPARE(rig.boxTexts().first(),
             QStringLiteral("次の文字は送信できないため「?」になります：\r\n😀한국어𠮷\r\n\r\nこのまま送信しますか？"));
  QCOMPARE(rig.boxes.count(), int(asked) + int(sent));  // and the confirmation when it goes on
  if (asked) QCOMPARE(rig.boxes.shown().first().defaultButton, Answer::No);
  QCOMPARE(rig.socket.isOpen(), sent);
  if (sent) VERIFY_SCRIPT_PLAYED(rig.smtp);
}

// A pasted server name or sender with blanks around it still works.
void TstMailTransmission::blanksAroundServerNamesAndSender() {
  Rig rig(normalSend(), popLogin());
  rig.settings.smtpServer = QStringLiteral(" 127.0.0.1　");
  rig.settings.popServer = QStringLiteral("127.0.0.1 ");
  rig.settings.from = QStringLiteral(" ") + kFrom + QStringLiteral(" ");
  rig.settings.popBeforeSmtp = true;
  rig.sendBoxes.send(kTo, QStringLiteral("件名"), QStringLiteral("本文"));
  VERIFY_SCRIPT_PLAYED(rig.smtp);
  QTRY_COMPARE(rig.boxTexts().last(), kCompleted);
  QVERIFY(rig.boxTexts().first().contains(QStringLiteral("差出人： ") + kFrom + kCrLf));
}

// Every line both ways goes to the transcript, the POP password hidden.
void TstMailTransmission::transcriptHidesThePassword() {
  static QStringList lines;
  lines.clear();
  QLoggingCategory::setFilterRules(QStringLiteral("talvenor.transcript.debug=true"));
  const QtMessageHandler previous =
      qInstallMessageHandler([](QtMsgType, const QMessageLogContext& context, const QString& message) {
        // Each line after the time it was written.
        static const QRegularExpression stamp(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d "));
        if (qstrcmp(context.category, "talvenor.transcript") != 0) return;
        QVERIFY2(stamp.match(message).hasMatch(), qPrintable(message));
        if (!message.contains(QStringLiteral(" *** "))) lines << message.mid(13);
      });
  {
    Rig rig(normalSend(), popLogin());
    rig.settings.popBeforeSmtp = true;
    rig.sendBoxes.send(kTo, QStringLiteral("件名"), QStringLiteral("本文"));
    QTRY_COMPARE(rig.boxes.count(), 2);
  }
  qInstallMessageHandler(previous);
  QLoggingCategory::setFilterRules(QString());

  QCOMPARE(lines.mid(0, 6), (QStringList{QStringLiteral("<-- +OK Dovecot ready."), QStringLiteral("--> USER taro"),
                                         QStringLiteral("<-- +OK"), QStringLiteral("--> PASS ********"),
                                         QStringLiteral("<-- +OK Logged in."), QStringLiteral("--> QUIT")}));
  QVERIFY(lines.contains(QStringLiteral("--> RCPT TO:<") + kTo + QLatin1Char('>')));
  QVERIFY(lines.contains(QStringLiteral("--> SUBJECT:件名")));
  QCOMPARE(lines.last(), QStringLiteral("<-- 221 2.0.0 Bye"));
  QVERIFY(!lines.join(u'\n').contains(QStringLiteral("secret")));
}

// With PopInterval 0 every send logs in again, the confirmation unchanged.
void TstMailTransmission::popLoginAgainWhenAged() {
  Rig rig(normalSend() + normalSend(), popLogin() + popLogin());
  rig.settings.popBeforeSmtp = true;
  rig.settings.popIntervalMinutes = 0;

  rig.sendBoxes.send(kTo, QStringLiteral("件名"), QStringLiteral("本文"));
  QTRY_COMPARE(rig.boxes.count(), 2);
  rig.sendBoxes.send(kTo, QStringLiteral("件名"), QStringLiteral("本文"));
  VERIFY_SCRIPT_PLAYED(rig.smtp);
  VERIFY_SCRIPT_PLAYED(rig.pop);
  QTRY_COMPARE(rig.boxes.count(), 4);
  QCOMPARE(rig.boxTexts().last(), kCompleted);
  QCOMPARE(rig.pop.connections(), 2);
  QCOMPARE(rig.smtp.connections(), 2);
}

void TstMailTransmission::popBeforeSmtp() {
  Rig rig(normalSend() + normalSend(), popLogin());
  rig.settings.popBeforeSmtp = true;

  rig.sendBoxes.send(kTo, QStringLiteral("件名"), QStringLiteral("本文"));
  QTRY_COMPARE(rig.boxes.count(), 2);
  QCOMPARE(rig.boxTexts().last(), kCompleted);
  QVERIFY(rig.goesStraightToSmtp());
  QCOMPARE(rig.pop.connections(), 1);
  QCOMPARE(rig.smtp.connections(), 1);

  rig.sendBoxes.send(kTo, QStringLiteral("件名"), QStringLiteral("本文"));
  VERIFY_SCRIPT_PLAYED(rig.smtp);
  VERIFY_SCRIPT_PLAYED(rig.pop);
  QTRY_COMPARE(rig.boxes.count(), 4);
  QCOMPARE(rig.boxTexts().last(), kCompleted);
  QCOMPARE(rig.pop.connections(), 1);
  QCOMPARE(rig.smtp.connections(), 2);
  QVERIFY(rig.boxTexts().first().endsWith(QStringLiteral("メール送信に POP Before SMTP を使います。")));
}

void TstMailTransmission::popLoginFails_data() {
  QTest::addColumn<QStringList>("script");
  QTest::addColumn<QString>("box");
  QTest::addColumn<bool>("straightToSmtp");  // the next send skips the POP login

  const QString hint = QStringLiteral("\r\nユーザ名・パスワードを確認してください。");
  QTest::newRow("-ERR after +OK in the greeting")
      << QStringList{QStringLiteral("S: +OK ready -ERR not today")}
      << QStringLiteral("エラーが発生しました。\r\n+OK ready -ERR not today\r\n") + hint << false;
  QTest::newRow("wrong password")
      << QStringList{QStringLiteral("S: +OK ready"), QStringLiteral("C: USER taro"), QStringLiteral("S: +OK"),
                     QStringLiteral("C: PASS secret"), QStringLiteral("S: -ERR [AUTH] Authentication failed.")}
      << QStringLiteral("エラーが発生しました。\r\n-ERR [AUTH] Authentication failed.\r\n") + hint << false;
  QTest::newRow("close before the login is done")
      << QStringList{QStringLiteral("S: +OK ready"), QStringLiteral("C: USER taro"), QStringLiteral("X:")}
      << QStringLiteral("エラーが発生しました。\r\n+OK ready\r\n") << false;
}

// A failed login ends the send: its box, no SMTP connection, and the next
// send logs in again. The text of a refusal is not kept: a server that then
// closes at once leaves the box without a server text.
void TstMailTransmission::popLoginFails() {
  QFETCH(QStringList, script);
  QFETCH(QString, box);
  QFETCH(bool, straightToSmtp);
  Rig rig({}, script + QStringList{QStringLiteral("A:"), QStringLiteral("X:")});
  rig.settings.popBeforeSmtp = true;

  rig.sendBoxes.send(kTo, QStringLiteral("件名"), QStringLiteral("本文"));

  QTRY_COMPARE(rig.boxTexts().mid(1), QStringList{box});
  QCOMPARE(rig.boxes.shown().last().icon, MessageBox::Icon::Exclamation);
  QCOMPARE(rig.smtp.connections(), 0);
  QCOMPARE(rig.goesStraightToSmtp(), straightToSmtp);
  QTRY_VERIFY(rig.idle());

  rig.sendBoxes.send(kTo, QStringLiteral("件名"), QStringLiteral("本文"));
  VERIFY_SCRIPT_PLAYED(rig.pop);
  QTRY_COMPARE(rig.boxes.count(), 4);
  QCOMPARE(rig.pop.connections(), 2);
  QCOMPARE(rig.smtp.connections(), 0);
  if (box.contains(QStringLiteral("-ERR")))
    QCOMPARE(rig.boxTexts().last(),
             QStringLiteral("エラーが発生しました。\r\nサーバが接続を閉じました。メールは送信されていない可能性があります。"));
}

void TstMailTransmission::popTest_data() {
  QTest::addColumn<QStringList>("script");
  QTest::addColumn<QString>("box");  // empty: none
  QTest::addColumn<bool>("succeeded");

  QTest::newRow("login succeeds") << popLogin().mid(0, 6) << QStringLiteral("POPサーバへの接続は成功しました。") << true;
  QTest::newRow("login refused")
      << QStringList{QStringLiteral("S: +OK ready"), QStringLiteral("C: USER taro"), QStringLiteral("S: +OK"),
                     QStringLiteral("C: PASS secret"), QStringLiteral("S: -ERR [AUTH] Authentication failed.")}
      << QStringLiteral(
             "エラーが発生しました。\r\n-ERR [AUTH] Authentication failed.\r\n\r\nユーザ名・パスワードを確認してください。")
      << false;
  QTest::newRow("server closes before the login is done")
      << QStringList{QStringLiteral("S: +OK ready"), QStringLiteral("C: USER taro"), QStringLiteral("X:")} << QString()
      << false;
}

// The settings window's test: only a success runs what the window asked
// for (it empties the POP values); whatever the end, the test is over: the
// next send logs in to POP again and reports its completion.
void TstMailTransmission::popTest() {
  QFETCH(QStringList, script);
  QFETCH(QString, box);
  QFETCH(bool, succeeded);
  Rig rig(normalSend(), script + QStringList{QStringLiteral("A:")} + popLogin());
  rig.settings.popBeforeSmtp = true;
  int successesReported = 0;

  SendingTest::testPopLogin(rig.sendBoxes, [&] { ++successesReported; });

  if (!box.isEmpty()) QTRY_COMPARE(rig.boxTexts(), QStringList{box});
  QTRY_VERIFY(rig.idle());
  QCOMPARE(rig.boxes.count(), box.isEmpty() ? 0 : 1);
  if (succeeded) {
    QCOMPARE(rig.boxes.shown().first().title, QStringLiteral("POPサーバの接続テスト"));
    QCOMPARE(rig.boxes.shown().first().icon, MessageBox::Icon::None);
  }
  QCOMPARE(successesReported, succeeded ? 1 : 0);
  QVERIFY(!rig.goesStraightToSmtp());
  QCOMPARE(rig.smtp.connections(), 0);

  rig.sendBoxes.send(kTo, QStringLiteral("件名"), QStringLiteral("本文"));
  VERIFY_SCRIPT_PLAYED(rig.pop);
  VERIFY_SCRIPT_PLAYED(rig.smtp);
  QTRY_COMPARE(rig.boxTexts().last(), kCompleted);
  QCOMPARE(rig.pop.connections(), 2);
}

// ------------------------------------------------------------ socket errors

void TstMailTransmission::socketErrors_data() {
  QTest::addColumn<QString>("server");
  QTest::addColumn<QStringList>("script");  // empty: nothing listens
  QTest::addColumn<QString>("box");

  const QString hints = QStringLiteral(
      "\r\n\r\nメールサーバの設定を間違っていませんか？\r\nもしくはメールサーバが停止している可能性があります。（エラーコード：");
  QTest::newRow("refused") << QStringLiteral("127.0.0.1") << QStringList()
                           << QStringLiteral("接続が強制的に拒絶されました。") + hints + QStringLiteral("10061）");
  QTest::newRow("host not found") << QStringLiteral("no-such-host.invalid") << QStringList()
                                  << QStringLiteral("ホストが見つかりません。") + hints + QStringLiteral("11001）");
  QTest::newRow("address not available")
      << QStringLiteral("0.0.0.0") << QStringList()
      << QStringLiteral("接続先アドレス（SMTP/POPサーバ名）を取得できません。") + hints + QStringLiteral("10049）");
  // The server resets before the program has taken the connection up.
  QTest::newRow("reset on accept")
      << QStringLiteral("127.0.0.1") << QStringList{QStringLiteral("R:")}
      << QStringLiteral("通信中、エラーが発生しました。") + hints + QStringLiteral("10054）");
  QTest::newRow("reset in the dialogue")
      << QStringLiteral("127.0.0.1")
      << QStringList{QStringLiteral("S: 220 mx ESMTP"), QStringLiteral("C: RSET"), QStringLiteral("R:")}
      << QStringLiteral("通信中、エラーが発生しました。") + hints + QStringLiteral("10054）");
}

void TstMailTransmission::socketErrors() {
  QFETCH(QString, server);
  QFETCH(QStringList, script);
  QFETCH(QString, box);
  Rig rig(script);
  if (script.isEmpty()) {
    QTcpServer closed;  // a port that surely has no listener
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    rig.settings.smtpPort = port;
  }
  rig.settings.smtpServer = server;
  // A POP test that the send interrupts is left standing (see
  // sendDuringAPopTest); the error ends it.
  SendingTest::testPopLogin(rig.sendBoxes, [] {});

  rig.sendBoxes.send(kTo, QStringLiteral("件名"), QStringLiteral("本文"));

  QTRY_COMPARE(rig.boxes.count(), 2);
  QCOMPARE(rig.boxTexts().last(), box);
  QCOMPARE(rig.boxes.shown().last().title, QStringLiteral("エラーが発生しました｡"));
  QCOMPARE(rig.boxes.shown().last().icon, MessageBox::Icon::Exclamation);
  QVERIFY(rig.idle());
  if (!script.isEmpty()) VERIFY_SCRIPT_PLAYED(rig.smtp);

  // The next send goes straight to SMTP and reports its completion.
  QVERIFY(rig.goesStraightToSmtp());
  ScriptedServer next(normalSend());
  rig.settings.smtpServer = QStringLiteral("127.0.0.1");
  rig.settings.smtpPort = next.port();
  rig.sendBoxes.send(kTo, QStringLiteral("件名"), QStringLiteral("本文"));
  VERIFY_SCRIPT_PLAYED(next);
  QTRY_COMPARE(rig.boxes.count(), 4);
  QCOMPARE(rig.boxTexts().last(), kCompleted);
}

// A send started while the settings window's POP test waits leaves the test
// standing: the SMTP server's close after the mail ends the test instead of
// reporting the completion (the server has the mail; no log is written).
// The next send reports its completion again.
void TstMailTransmission::sendDuringAPopTest() {
  Rig rig(normalSend() + normalSend(), {QStringLiteral("S: +OK ready"), QStringLiteral("A:")});
  SendingTest::testPopLogin(rig.sendBoxes, [] {});
  QTRY_COMPARE(rig.pop.connections(), 1);

  rig.sendBoxes.send(kTo, QStringLiteral("件名"), QStringLiteral("本文"));
  QTRY_COMPARE(rig.smtp.connections(), 1);
  QTRY_VERIFY(rig.idle());
  QVERIFY(rig.smtp.received().endsWith("QUIT\r\n"));
  QCOMPARE(rig.boxes.count(), 1);
  QCOMPARE(rig.logFiles().size(), 0);

  rig.sendBoxes.send(kTo, QStringLiteral("件名"), QStringLiteral("本文"));
  VERIFY_SCRIPT_PLAYED(rig.smtp);
  VERIFY_SCRIPT_PLAYED(rig.pop);
  QTRY_COMPARE(rig.boxes.count(), 3);
  QCOMPARE(rig.boxTexts().last(), kCompleted);
  QCOMPARE(rig.logFiles().size(), 1);
}

// A reply past 64 KiB ends the send with its own box; a long refusal is
// quoted in the box only to 1 KiB.
void TstMailTransmission::oversizedReplies() {
  {
    Rig rig({QStringLiteral("P: 220 ") + QString(100 * 1024, u'x'), QStringLiteral("A:")});
    rig.sendBoxes.send(kTo, QStringLiteral("件名"), QStringLiteral("本文"));
    QTRY_COMPARE(rig.boxes.count(), 2);
    QCOMPARE(rig.boxTexts().last(),
             QStringLiteral("サーバの応答が長すぎるため、接続を切りました。メールは送信されていません。"));
    QVERIFY(!rig.socket.isOpen());
    QVERIFY(rig.idle());
  }
  {
    Rig rig({QStringLiteral("S: 554 ") + QString(5000, u'y'), QStringLiteral("A:")});
    rig.sendBoxes.send(kTo, QStringLiteral("件名"), QStringLiteral("本文"));
    QTRY_COMPARE(rig.boxes.count(), 2);
    const QString box = rig.boxTexts().last();
    QVERIFY(box.startsWith(QStringLiteral("エラーが発生しました\r\n554 yyy")));
    QVERIFY(box.endsWith(QStringLiteral("…")));
    QVERIFY(box.size() <= 1024 + 16);
    QCOMPARE(rig.logFiles().size(), 0);
  }
}

void TstMailTransmission::serverThatDoesNotAnswer_data() {
  QTest::addColumn<QStringList>("smtp");
  QTest::addColumn<QStringList>("pop");  // empty: POP before SMTP is off
  QTest::addColumn<QString>("box");
  QTest::addColumn<bool>("logged");
  const QString noAnswer = QStringLiteral("サーバから時間内に応答がありませんでした。メールは送信されていません。");
  const QStringList toQuit = normalSend().mid(0, normalSend().size() - 2);  // no 221, no close
  QTest::newRow("no greeting") << QStringList{QStringLiteral("A:")} << QStringList() << noAnswer << false;
  QTest::newRow("no reply to RCPT") << upToRcpt() + QStringList{QStringLiteral("A:")} << QStringList() << noAnswer
                                    << false;
  QTest::newRow("no reply to the end of the data")
      << normalSend().mid(0, normalSend().indexOf(QStringLiteral("C: .")) + 1) + QStringList{QStringLiteral("A:")}
      << QStringList() << noAnswer << false;
  QTest::newRow("no reply to QUIT: the mail was accepted")
      << toQuit + QStringList{QStringLiteral("A:")} << QStringList() << kCompleted << true;
  QTest::newRow("no POP greeting") << QStringList() << QStringList{QStringLiteral("A:")} << noAnswer << false;
  // Replies the dialogue does not expect, 300 a second: they do not buy time.
  QTest::newRow("300 to RCPT, again and again")
      << upToRcpt() + QStringList{QStringLiteral("K: 300 keep waiting")} << QStringList() << noAnswer << false;
  QTest::newRow("POP lines without +OK, again and again")
      << QStringList() << QStringList{QStringLiteral("S: +OK ready"), QStringLiteral("C: USER taro"), QStringLiteral("K: keep waiting")}
      << noAnswer << false;
  QTest::newRow("300 to QUIT, again and again: the mail was accepted")
      << toQuit + QStringList{QStringLiteral("K: 300 keep waiting")} << QStringList() << kCompleted << true;
}

// SmtpTimeout bounds every wait: the connection is closed and the box says
// that nothing was sent; a send under way shows busy until it ends.
void TstMailTransmission::serverThatDoesNotAnswer() {
  QFETCH(QStringList, smtp);
  QFETCH(QStringList, pop);
  QFETCH(QString, box);
  QFETCH(bool, logged);
  Rig rig(smtp, pop);
  rig.settings.replyTimeoutSeconds = 1;
  rig.settings.popBeforeSmtp = !pop.isEmpty();
  QSignalSpy busy(&rig.mail, &MailTransmission::busyChanged);

  rig.sendBoxes.send(kTo, QStringLiteral("件名"), QStringLiteral("本文"));
  QVERIFY(rig.mail.busy());

  QTRY_COMPARE_WITH_TIMEOUT(rig.boxes.count(), 2, 10000);
  QCOMPARE(rig.boxTexts().last(), box);
  QVERIFY(!rig.socket.isOpen());
  QVERIFY(rig.idle());
  QVERIFY(!rig.mail.busy());
  QCOMPARE(busy.count(), 2);
  QCOMPARE(rig.logFiles().size(), logged ? 1 : 0);
  VERIFY_SCRIPT_PLAYED(pop.isEmpty() ? rig.smtp : rig.pop);
}

enum class Setting { SmtpServer, SmtpUser, SmtpPassword, PopServer, PopUser, PopPassword };

void TstMailTransmission::controlCharactersInSettings_data() {
  QTest::addColumn<int>("setting");
  QTest::addColumn<QString>("value");
  QTest::addColumn<bool>("popTest");  // the settings window's POP test instead of a send
  QTest::addColumn<QString>("caption");
  QTest::newRow("SMTP server with CR LF") << int(Setting::SmtpServer) << QStringLiteral("127.0.0.1\r\nx") << false
                                          << QStringLiteral("SMTPサーバ名");
  QTest::newRow("SMTP user with CR LF") << int(Setting::SmtpUser) << QStringLiteral("taro\r\nRSET") << false
                                        << QStringLiteral("SMTP 認証のユーザ名");
  QTest::newRow("SMTP password with LF") << int(Setting::SmtpPassword) << QStringLiteral("secret\nRSET") << false
                                         << QStringLiteral("SMTP 認証のパスワード");
  QTest::newRow("POP server with NUL") << int(Setting::PopServer) << QStringLiteral("127.0.0.1") + QChar(u'\0') << false
                                       << QStringLiteral("POPサーバ名");
  QTest::newRow("POP user with CR LF") << int(Setting::PopUser) << QStringLiteral("taro\r\nDELE 1") << false
                                       << QStringLiteral("POPユーザ名");
  QTest::newRow("POP password with CR LF") << int(Setting::PopPassword) << QStringLiteral("secret\r\nRSET") << false
                                           << QStringLiteral("POPパスワード");
  QTest::newRow("POP test, user with CR LF") << int(Setting::PopUser) << QStringLiteral("taro\r\nDELE 1") << true
                                             << QStringLiteral("POPユーザ名");
  QTest::newRow("POP test, password with CR") << int(Setting::PopPassword) << QStringLiteral("secret\rRSET") << true
                                              << QStringLiteral("POPパスワード");
}

// A Data.ini edited by hand with a line break (or another control
// character) in a value that goes into a command line: a box names the
// setting, and no server is even connected to.
void TstMailTransmission::controlCharactersInSettings() {
  QFETCH(int, setting);
  QFETCH(QString, value);
  QFETCH(bool, popTest);
  QFETCH(QString, caption);
  Rig rig({QStringLiteral("A:")}, {QStringLiteral("A:")});
  rig.settings.popBeforeSmtp = true;
  rig.settings.smtpAuth = true;
  rig.settings.smtpUser = QStringLiteral("taro");
  rig.settings.smtpPassword = QStringLiteral("secret");
  switch (Setting(setting)) {
    case Setting::SmtpServer: rig.settings.smtpServer = value; break;
    case Setting::SmtpUser: rig.settings.smtpUser = value; break;
    case Setting::SmtpPassword: rig.settings.smtpPassword = value; break;
    case Setting::PopServer: rig.settings.popServer = value; break;
    case Setting::PopUser: rig.settings.popUser = value; break;
    case Setting::PopPassword: rig.settings.popPassword = value; break;
  }

  if (popTest)
    SendingTest::testPopLogin(rig.sendBoxes, [] { QFAIL("the POP test went through"); });
  else
    rig.sendBoxes.send(kTo, QStringLiteral("件名"), QStringLiteral("本文"));

  QVERIFY(!rig.boxTexts().isEmpty());
  QCOMPARE(rig.boxTexts().last(),
           QStringLiteral("設定に改行などの制御文字が含まれているため、サーバには接続していません。\r\n（") + caption +
               QStringLiteral("）"));
  QCOMPARE(rig.boxes.shown().last().icon, MessageBox::Icon::Exclamation);
  QVERIFY(!rig.socket.isOpen());
  QVERIFY(!rig.mail.busy());
  QTest::qWait(100);
  QCOMPARE(rig.smtp.connections(), 0);
  QCOMPARE(rig.pop.connections(), 0);
}

QTEST_GUILESS_MAIN(TstMailTransmission)
#include "tst_mail_transmission.moc"
