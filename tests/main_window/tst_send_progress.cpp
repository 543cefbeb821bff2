// A send followed and stopped in the real window, against scripted servers
// on 127.0.0.1 through the real socket control.

#include "find_child.h"
#include "main_window.h"

#include "mail_settings.h"
#include "scripted_message_boxes.h"
#include "scripted_server.h"
#include "tcp_socket_control.h"
#include "temp_app_folder.h"
#include "write_log.h"

#include <QApplication>
#include <QComboBox>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {

const QString kFrom = QStringLiteral("taro@example.jp");
const QString kTo = QStringLiteral("hanako@example.jp");
const QString kSubject = QStringLiteral("件名");
const QString kBody = QStringLiteral("本文");
constexpr int kRestingHeight = 419;

// The SMTP dialogue of a plain send, up to and including what the client
// sends after the reply to its last command.
const QStringList kUpToRcpt = {
    QStringLiteral("S: 220 mx ESMTP"), QStringLiteral("C: RSET"), QStringLiteral("S: 250 Ok"),
    QStringLiteral("C~ ^HELO \\S+$"), QStringLiteral("S: 250 mx"), QStringLiteral("C: MAIL FROM:<") + kFrom + u'>',
    QStringLiteral("S: 250 Ok"), QStringLiteral("C: RCPT TO:<") + kTo + u'>'};
const QStringList kData = {QStringLiteral("S: 250 Ok"), QStringLiteral("C: DATA")};
const QStringList kMailText = {
    QStringLiteral("S: 354 Go ahead"), QStringLiteral("C~ ^Date:"), QStringLiteral("C: From:") + kFrom,
    QStringLiteral("C: TO:") + kTo, QStringLiteral("C~ ^X-Mailer:"), QStringLiteral("C: SUBJECT:") + kSubject,
    QStringLiteral("C: "), QStringLiteral("C: ") + kBody, QStringLiteral("C: ."), QStringLiteral("S: 250 Ok: queued"),
    QStringLiteral("C: QUIT")};

QLabel* sendStatus(const MainWindow& window) { return child<QLabel>(window, "sendStatus"); }
QPushButton* cancelButton(const MainWindow& window) { return child<QPushButton>(window, "cancelButton"); }
QPushButton* sendButton(const MainWindow& window) { return child<QPushButton>(window, "sendButton"); }

// The window with the real socket control, sending to the server on
// 127.0.0.1 without POP or AUTH, logging; the subject and body typed.
std::unique_ptr<MainWindow> sendingWindow(quint16 port) {
  auto window = std::make_unique<MainWindow>(SettingsFile::inUse(), std::make_unique<TcpSocketControl>());
  window->showAndLoad();
  window->activateWindow();
  if (!QTest::qWaitForWindowActive(window.get())) qWarning("main window not active");
  MailSettings& settings = window->runningSettings();
  settings.from = kFrom;
  settings.smtpServer = QStringLiteral("127.0.0.1");
  settings.smtpPort = port;
  settings.popBeforeSmtp = false;
  settings.smtpAuth = false;
  settings.keepLog = true;
  window->recipientBox()->setEditText(kTo);
  window->subjectEdit()->setText(kSubject);
  window->bodyEdit()->setPlainText(kBody);
  return window;
}

qsizetype logFiles() {
  qsizetype count = 0;
  for (QDirIterator it(MailLog::logFolderPath(), QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next())
    ++count;
  return count;
}

// The window between sends: as it always was.
void verifyResting(const MainWindow& window) {
  QVERIFY(!cancelButton(window)->isVisible());
  QVERIFY(!sendStatus(window)->isVisible());
  QCOMPARE(sendStatus(window)->text(), QString());
  QVERIFY(sendButton(window)->isEnabled());
  QCOMPARE(window.height(), kRestingHeight);
}

}  // namespace

class TestSendProgress : public QObject {
  Q_OBJECT

 private slots:
  void stopsTheSend_data();
  void stopsTheSend();
  void noSecondSendWhileOneRuns();
};

void TestSendProgress::stopsTheSend_data() {
  QTest::addColumn<QStringList>("script");  // then the server stalls
  QTest::addColumn<QString>("stage");       // PORT: the server's port
  QTest::addColumn<bool>("quits");          // 中止 says QUIT before it closes
  QTest::addColumn<bool>("accepted");       // the server had taken the mail (and QUIT followed)

  QTest::newRow("silent server") << QStringList() << QStringLiteral("接続中…（127.0.0.1:PORT）") << false << false;
  QTest::newRow("stall after RCPT TO") << kUpToRcpt << QStringLiteral("送信中…") << true << false;
  QTest::newRow("stall after DATA") << kUpToRcpt + kData << QStringLiteral("送信中…") << false << false;
  QTest::newRow("stall after the 250 to the data")
      << kUpToRcpt + kData + kMailText << QStringLiteral("送信中…") << false << true;
}

// 中止 ends the send at once: no box (unless the server had taken the
// mail, which then counts as sent), no log, the texts stay as typed.
void TestSendProgress::stopsTheSend() {
  QFETCH(QStringList, script);
  QFETCH(QString, stage);
  QFETCH(bool, quits);
  QFETCH(bool, accepted);
  TempAppFolder folder;
  // Confirm; after a completed send keep the subject and body.
  ScriptedMessageBoxes boxes({MessageBox::Answer::Ok, MessageBox::Answer::No});
  // After the stall: what the client sends on 中止, then its close.
  QStringList stall{QStringLiteral("A:")};
  if (quits) stall.prepend(QStringLiteral("C: QUIT"));
  ScriptedServer server(script + stall);
  auto window = sendingWindow(server.port());
  verifyResting(*window);

  QTest::mouseClick(sendButton(*window), Qt::LeftButton);
  QTRY_COMPARE(server.remaining(), stall);
  QTRY_COMPARE(sendStatus(*window)->text(), stage.replace(QStringLiteral("PORT"), QString::number(server.port())));
  QVERIFY(sendStatus(*window)->isVisible());
  QVERIFY(cancelButton(*window)->isVisible());
  QVERIFY(cancelButton(*window)->isEnabled());
  QVERIFY(!sendButton(*window)->isEnabled());
  QVERIFY(window->height() > kRestingHeight);

  QTest::mouseClick(cancelButton(*window), Qt::LeftButton);
  verifyResting(*window);
  QTRY_VERIFY2(server.finished(), qPrintable(server.failure()));
  QCOMPARE(server.received().count("QUIT"), (accepted ? 1 : 0) + (quits ? 1 : 0));
  QCOMPARE(boxes.count(), accepted ? 2 : 1);
  QCOMPARE(logFiles(), accepted ? 1 : 0);
  QCOMPARE(window->subjectEdit()->text(), kSubject);
  QCOMPARE(window->bodyEdit()->toPlainText(), kBody);
}

// While a send runs, メール送信 neither asks nor connects again; Escape
// stops the send.
void TestSendProgress::noSecondSendWhileOneRuns() {
  TempAppFolder folder;
  ScriptedMessageBoxes boxes;
  ScriptedServer server({QStringLiteral("A:")});
  auto window = sendingWindow(server.port());
  QTest::mouseClick(sendButton(*window), Qt::LeftButton);
  QTRY_COMPARE(server.connections(), 1);

  // No second confirmation, so no second connection (the server fails a
  // second one while the first is open).
  QTest::mouseClick(sendButton(*window), Qt::LeftButton);
  sendButton(*window)->click();
  QCOMPARE(boxes.count(), 1);

  // 閉じる asks whether to stop the send; いいえ keeps both.
  boxes.queue(MessageBox::Answer::No);
  QTest::mouseClick(child<QPushButton>(*window, "closeButton"), Qt::LeftButton);
  QCOMPARE(boxes.texts().last(), QStringLiteral("送信中です。中止して終了しますか？"));
  QVERIFY(window->isVisible());
  QVERIFY(cancelButton(*window)->isVisible());

  QVERIFY(QApplication::focusWidget());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  verifyResting(*window);
  QTRY_VERIFY2(server.finished(), qPrintable(server.failure()));
  QCOMPARE(boxes.count(), 2);
}

QTEST_MAIN(TestSendProgress)
#include "tst_send_progress.moc"
