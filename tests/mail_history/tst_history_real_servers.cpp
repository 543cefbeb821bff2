// Mails sent through the program's own send path to the real aiosmtpd,
// logged, and shown in the 送信履歴 window exactly as they were typed.
// Run by tests/servers/run_real_servers.sh inside a private network
// namespace; skipped when started without it.

#include "find_child.h"
#include "mail_settings.h"
#include "mail_transmission.h"
#include "send_boxes.h"
#include "scripted_message_boxes.h"
#include "sent_history_window.h"
#include "keyring_of_the_build.h"
#include "temp_app_folder.h"
#include "tcp_socket_control.h"
#include "write_log.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTreeView>

using Charset = MailSettings::Charset;

class TstHistoryRealServers : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void sentMailShowsAsTyped_data();
  void sentMailShowsAsTyped();
};

void TstHistoryRealServers::initTestCase() {
  if (qEnvironmentVariableIsEmpty("TALVENOR_SMTP_SPOOL"))
    QSKIP("needs the servers of tests/servers/run_real_servers.sh (run it under unshare --net)");
}

void TstHistoryRealServers::sentMailShowsAsTyped_data() {
  QTest::addColumn<Charset>("charset");
  QTest::addColumn<QString>("subject");
  QTest::addColumn<QString>("body");  // as the box holds it
  const QString body = QStringLiteral(".\n明日の会議は十時から、第２会議室です。\n\n..二つ\n最後の行\n");
  QTest::newRow("Shift_JIS") << Charset::ShiftJis << QStringLiteral("会議のお知らせ ｶﾞｲﾄﾞ ㈱") << body;
  QTest::newRow("ISO-2022-JP") << Charset::Iso2022Jp << QStringLiteral("明日の会議は十時からです").repeated(5) << body;
  QTest::newRow("ISO-2022-JP asked, UTF-8 sent") << Charset::Iso2022Jp << QStringLiteral("①㈱髙")
                                                << QStringLiteral("①㈱髙\nｶﾀｶﾅ 😀");
  QTest::newRow("UTF-8") << Charset::Utf8 << QStringLiteral("Straße 🎉 会議") << body + QStringLiteral("😀");
}

void TstHistoryRealServers::sentMailShowsAsTyped() {
  QFETCH(Charset, charset);
  QFETCH(QString, subject);
  QFETCH(QString, body);
  TempAppFolder folder;
  ScriptedMessageBoxes boxes;
  MailSettings settings;
  settings.from = QStringLiteral("taro@talvenor.test");
  settings.smtpServer = QStringLiteral("localhost");
  settings.keepLog = true;
  settings.charset = charset;
  TcpSocketControl socket;
  MailTransmission mail(socket);
  SendBoxes sendBoxes(mail, settings, passwordsInUse());

  QString sent = body;
  sent.replace(QLatin1Char('\n'), QLatin1String("\r\n"));  // as the send button passes the box on
  sendBoxes.send(QStringLiteral("hanako@talvenor.test"), subject, sent);
  QTRY_COMPARE(boxes.count(), 2);  // the confirmation, then the completion
  QVERIFY2(boxes.texts().last().startsWith(QStringLiteral("送信が完了しました。")), qPrintable(boxes.texts().last()));

  SentHistoryWindow window(MailLog::logFolderPath());
  window.show();
  QTRY_VERIFY(!window.index().isLoading());
  QCOMPARE(child<QTreeView>(window, "mailList")->model()->rowCount(), 1);
  QCOMPARE(child<QTreeView>(window, "mailList")->model()->index(0, SentMailListModel::SubjectColumn).data().toString(),
           subject);
  child<QTreeView>(window, "mailList")->setCurrentIndex(child<QTreeView>(window, "mailList")->model()->index(0, 0));
  QCOMPARE(child<QLineEdit>(window, "shownTo")->text(), QStringLiteral("hanako@talvenor.test"));
  QCOMPARE(child<QLineEdit>(window, "shownFrom")->text(), QStringLiteral("taro@talvenor.test"));
  QCOMPARE(child<QLineEdit>(window, "shownSubject")->text(), subject);
  QCOMPARE(child<QPlainTextEdit>(window, "shownBody")->toPlainText(), body);
  QVERIFY(!child<QLabel>(window, "unreadableNote")->isVisible());
}

QTEST_MAIN(TstHistoryRealServers)
#include "tst_history_real_servers.moc"
