// The SMTP details dialog: the port follows the encryption while it is a
// default, wrong entries keep the dialog open with a box, and SMTP AUTH
// without encryption is warned about.
#include "find_child.h"
#include "scripted_message_boxes.h"
#include "smtp_details_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using Security = MailSettings::SmtpSecurity;

class TstSmtpDetailsDialog : public QObject {
  Q_OBJECT

 private slots:
  void portFollowsEncryption();
  void wrongEntriesKeepItOpen_data();
  void wrongEntriesKeepItOpen();
  void authInClearWarns();
  void unusualPortAsks_data();
  void unusualPortAsks();
  void passwordStoreChoice_data();
  void passwordStoreChoice();
};

void TstSmtpDetailsDialog::portFollowsEncryption() {
  ScriptedMessageBoxes boxes;
  SmtpDetailsDialog dialog(SmtpDetails{}, false);
  QCOMPARE(child<QLineEdit>(dialog, "portBox")->text(), QStringLiteral("25"));
  child<QComboBox>(dialog, "encryptionBox")->setCurrentIndex(1);
  QCOMPARE(child<QLineEdit>(dialog, "portBox")->text(), QStringLiteral("587"));
  child<QComboBox>(dialog, "encryptionBox")->setCurrentIndex(2);
  QCOMPARE(child<QLineEdit>(dialog, "portBox")->text(), QStringLiteral("465"));
  child<QLineEdit>(dialog, "portBox")->setText(QStringLiteral("2465"));
  child<QComboBox>(dialog, "encryptionBox")->setCurrentIndex(1);
  QCOMPARE(child<QLineEdit>(dialog, "portBox")->text(), QStringLiteral("2465"));  // the user's own port stays

  child<QCheckBox>(dialog, "authBox")->setChecked(true);
  child<QLineEdit>(dialog, "userBox")->setText(QStringLiteral("taro@example.jp"));
  child<QLineEdit>(dialog, "passwordBox")->setText(QStringLiteral("app password"));
  QCOMPARE(child<QComboBox>(dialog, "charsetBox")->currentText(), QStringLiteral("Shift_JIS（従来どおり）"));
  child<QComboBox>(dialog, "charsetBox")->setCurrentIndex(2);
  child<QPushButton>(dialog, "okButton")->click();
  QCOMPARE(dialog.result(), int(QDialog::Accepted));
  const SmtpDetails details = dialog.details();
  QCOMPARE(details.security, Security::StartTls);
  QCOMPARE(details.port, std::uint16_t(2465));
  QVERIFY(details.auth);
  QCOMPARE(details.user, QStringLiteral("taro@example.jp"));
  QCOMPARE(details.password, QStringLiteral("app password"));
  QCOMPARE(details.charset, MailSettings::Charset::Utf8);
  QCOMPARE(child<QLineEdit>(dialog, "passwordBox")->echoMode(), QLineEdit::Password);
  QCOMPARE(boxes.count(), 0);
}

void TstSmtpDetailsDialog::wrongEntriesKeepItOpen_data() {
  QTest::addColumn<QString>("port");
  QTest::addColumn<QString>("user");
  QTest::addColumn<QString>("box");
  const QString badPort = QStringLiteral("ポート番号は 1 から 65535 までの整数で入力してください。");
  QTest::newRow("port 0") << QStringLiteral("0") << QStringLiteral("taro") << badPort;
  QTest::newRow("port 65536") << QStringLiteral("65536") << QStringLiteral("taro") << badPort;
  QTest::newRow("port with letters") << QStringLiteral("58a") << QStringLiteral("taro") << badPort;
  QTest::newRow("no port") << QString() << QStringLiteral("taro") << badPort;
  QTest::newRow("AUTH without a user") << QStringLiteral("587") << QStringLiteral("  ")
                                       << QStringLiteral("SMTP 認証のユーザ名を入力してください。");
}

void TstSmtpDetailsDialog::wrongEntriesKeepItOpen() {
  QFETCH(QString, port);
  QFETCH(QString, user);
  QFETCH(QString, box);
  SmtpDetails start;
  start.security = Security::StartTls;
  start.port = 587;
  start.auth = true;
  SmtpDetailsDialog dialog(start, false);
  dialog.show();
  child<QLineEdit>(dialog, "portBox")->setText(port);
  child<QLineEdit>(dialog, "userBox")->setText(user);
  ScriptedMessageBoxes boxes;
  child<QPushButton>(dialog, "okButton")->click();
  QCOMPARE(boxes.texts(), QStringList{box});
  QVERIFY(dialog.isVisible());
  QCOMPARE(dialog.result(), 0);
}

void TstSmtpDetailsDialog::authInClearWarns() {
  ScriptedMessageBoxes boxes;
  SmtpDetailsDialog dialog(SmtpDetails{}, false);
  child<QCheckBox>(dialog, "authBox")->setChecked(true);
  QCOMPARE(boxes.count(), 1);
  QVERIFY(boxes.texts().first().contains(QStringLiteral("CRAM-MD5")));
  child<QComboBox>(dialog, "encryptionBox")->setCurrentIndex(2);
  QCOMPARE(boxes.count(), 1);  // encrypted: nothing to warn about
  child<QComboBox>(dialog, "encryptionBox")->setCurrentIndex(0);
  QCOMPARE(boxes.count(), 2);
}

// 465 without SSL/TLS, or SSL/TLS on 587, asks first; the answer decides.
void TstSmtpDetailsDialog::unusualPortAsks_data() {
  QTest::addColumn<int>("encryption");  // index in the box: なし / STARTTLS / SSL/TLS
  QTest::addColumn<QString>("port");
  QTest::addColumn<QString>("question");  // empty: none
  const QString on465 = QStringLiteral("ポート 465 は通常、暗号化 SSL/TLS（最初から暗号化）で使います。");
  const QString on587 = QStringLiteral("ポート 587 は通常、暗号化 STARTTLS で使います。");
  QTest::newRow("STARTTLS on 465") << 1 << QStringLiteral("465") << on465;
  QTest::newRow("none on 465") << 0 << QStringLiteral("465") << on465;
  QTest::newRow("SSL/TLS on 587") << 2 << QStringLiteral("587") << on587;
  QTest::newRow("SSL/TLS on 465") << 2 << QStringLiteral("465") << QString();
  QTest::newRow("STARTTLS on 587") << 1 << QStringLiteral("587") << QString();
  QTest::newRow("none on 25") << 0 << QStringLiteral("25") << QString();
  QTest::newRow("SSL/TLS on 2465") << 2 << QStringLiteral("2465") << QString();
}

void TstSmtpDetailsDialog::unusualPortAsks() {
  QFETCH(int, encryption);
  QFETCH(QString, port);
  QFETCH(QString, question);
  for (const MessageBox::Answer answer : {MessageBox::Answer::No, MessageBox::Answer::Yes}) {
    SmtpDetailsDialog dialog(SmtpDetails{}, false);
    dialog.show();
    child<QComboBox>(dialog, "encryptionBox")->setCurrentIndex(encryption);
    child<QLineEdit>(dialog, "portBox")->setText(port);
    ScriptedMessageBoxes boxes({answer});
    child<QPushButton>(dialog, "okButton")->click();
    if (question.isEmpty()) {
      QCOMPARE(boxes.count(), 0);
      QCOMPARE(dialog.result(), int(QDialog::Accepted));
      continue;
    }
    QCOMPARE(boxes.texts(), QStringList{question + QStringLiteral("\r\nこの設定のままでよろしいですか？")});
    QCOMPARE(boxes.shown().first().buttons, MessageBox::Buttons::YesNo);
    QCOMPARE(boxes.shown().first().defaultButton, MessageBox::Answer::No);
    QCOMPARE(dialog.result(), answer == MessageBox::Answer::Yes ? int(QDialog::Accepted) : 0);
    if (answer == MessageBox::Answer::Yes) QCOMPARE(dialog.details().port, port.toUShort());
  }
}

// The keyring box shows where a Secret Service answers, and wherever the
// passwords are in the keyring already (so that they can be moved back to
// the file when it no longer answers); hidden, the store the settings had
// stays.
void TstSmtpDetailsDialog::passwordStoreChoice_data() {
  QTest::addColumn<bool>("offered");
  QTest::addColumn<bool>("storedInKeyring");
  QTest::addColumn<bool>("check");
  QTest::addColumn<bool>("keyring");
  QTest::newRow("offered, chosen") << true << false << true << true;
  QTest::newRow("offered, moved back to the file") << true << true << false << false;
  QTest::newRow("not offered keeps the file") << false << false << true << false;
  QTest::newRow("not offered, kept in the keyring") << false << true << true << true;
  QTest::newRow("not offered, moved back to the file") << false << true << false << false;
}

void TstSmtpDetailsDialog::passwordStoreChoice() {
  QFETCH(bool, offered);
  QFETCH(bool, storedInKeyring);
  QFETCH(bool, check);
  QFETCH(bool, keyring);
  SmtpDetails start;
  start.passwordStore = storedInKeyring ? MailSettings::PasswordStore::Keyring : MailSettings::PasswordStore::File;
  SmtpDetailsDialog dialog(start, offered);
  dialog.show();
  QCOMPARE(child<QCheckBox>(dialog, "keyringBox")->isVisible(), offered || storedInKeyring);
  QCOMPARE(child<QCheckBox>(dialog, "keyringBox")->text(), QStringLiteral("パスワードをキーリングに保存する"));
  if (child<QCheckBox>(dialog, "keyringBox")->isVisible()) child<QCheckBox>(dialog, "keyringBox")->setChecked(check);
  QCOMPARE(dialog.details().passwordStore == MailSettings::PasswordStore::Keyring, keyring);
}

QTEST_MAIN(TstSmtpDetailsDialog)
#include "tst_smtp_details_dialog.moc"
