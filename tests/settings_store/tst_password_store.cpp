// The passwords in the desktop keyring, against a real Secret Service
// (gnome-keyring-daemon on a private session bus, see with_keyring.sh), and
// what happens where there is none.
#include "data_ini_layout.h"
#include "fake_socket.h"
#include "keyring.h"
#include "keyring_of_the_build.h"
#include "mail_settings.h"
#include "mail_transmission.h"
#include "send_boxes.h"
#include "send_report.h"
#include "send_texts.h"
#include "settings_in_use.h"
#include "password_store.h"
#include "scripted_message_boxes.h"
#include "scrambling.h"
#include "temp_app_folder.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFile>
#include <QTest>

using Which = PasswordStore::Which;
using Store = MailSettings::PasswordStore;

namespace {

const QString kBase = QStringLiteral("[MAIL]\nTo=\nFrom=\nServer=\nPBSMTP=True\nOUTLOG=False\npServer=\nUSER=\n");

bool keyringRuns() { return qEnvironmentVariableIntValue("TALVENOR_KEYRING") == 1; }

QString fetched(const MailSettings& settings, Which which) {
  KeyringTrouble trouble;
  return passwordsInUse().fetch(settings, which, trouble).value_or(
      QStringLiteral("<none: %1>").arg(SendReport::keyringWords(trouble)));
}

// Saves as the settings window does: keyring, Data.ini, then what left it.
bool save(const MailSettings& settings, Store before) {
  if (passwordsInUse().keepInKeyring(settings)) return false;
  SettingsInUse::writeMailSettings(settings);
  passwordsInUse().leaveKeyring(settings, before);
  return true;
}

}  // namespace

class TstPasswordStore : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    const QByteArray test = QTest::currentTestFunction();
    if (!keyringRuns() && test != "noSecretService" && test != "missingModule")
      QSKIP("needs the keyring of with_keyring.sh");
  }

  void entriesStoredReadAndRemoved() {
    const Keyring keyring = keyringOfTheBuild();
    QVERIFY(keyring.serviceAnswers());
    const QString service = QStringLiteral("Talvenor test");
    QCOMPARE(keyring.write(service, QStringLiteral("PASS"), QStringLiteral("パス word")).status, Keyring::Status::Ok);
    const Keyring::Answer read = keyring.read(service, QStringLiteral("PASS"));
    QCOMPARE(read.status, Keyring::Status::Ok);
    QCOMPARE(read.secret, QStringLiteral("パス word"));
    QCOMPARE(keyring.remove(service, QStringLiteral("PASS")).status, Keyring::Status::Ok);
    QCOMPARE(keyring.read(service, QStringLiteral("PASS")).status, Keyring::Status::NotFound);
  }

  // Into the keyring and out of the file, and back; another installation
  // does not see the entries.
  void passwordsMoveBetweenFileAndKeyring() {
    TempAppFolder folder;
    folder.writeIni(kBase + QStringLiteral("PASS=") + Scrambling::scramble(QStringLiteral("pop secret")) +
                    QStringLiteral("\nSmtpPass=") + Scrambling::scramble(QStringLiteral("app password")) +
                    QStringLiteral("\n"));
    MailSettings settings = SettingsInUse::mailSettings();
    QCOMPARE(settings.passwordStore, Store::File);
    settings.popPassword = fetched(settings, Which::Pop);
    settings.smtpPassword = fetched(settings, Which::Smtp);

    settings.passwordStore = Store::Keyring;
    QVERIFY(save(settings, Store::File));
    QCOMPARE(SettingsInUse::value(DataIni::Section::MAIL, DataIni::Key::PASS), QString());
    QCOMPARE(SettingsInUse::value(DataIni::Section::MAIL, DataIni::Key::SmtpPass), QString());
    QCOMPARE(SettingsInUse::value(DataIni::Section::MAIL, DataIni::Key::PasswordStore), QStringLiteral("Keyring"));
    const MailSettings inKeyring = SettingsInUse::mailSettings();
    QCOMPARE(inKeyring.passwordStore, Store::Keyring);
    QCOMPARE(fetched(inKeyring, Which::Pop), QStringLiteral("pop secret"));
    QCOMPARE(fetched(inKeyring, Which::Smtp), QStringLiteral("app password"));
    {
      TempAppFolder other;
      other.writeIni(kBase + QStringLiteral("PasswordStore=Keyring\n"));
      // Another installation's entry is not there: said as such, never an
      // empty password.
      KeyringTrouble trouble;
      QVERIFY(!passwordsInUse().fetch(SettingsInUse::mailSettings(), Which::Pop, trouble));
      QCOMPARE(trouble.kind, KeyringTrouble::Kind::NotFound);
      QCOMPARE(SendReport::keyringWords(trouble), QStringLiteral("キーリングにパスワードが見つかりません。"));
    }
    AppPlaces::useProgramFolder(folder.path());

    settings.passwordStore = Store::File;
    QVERIFY(save(settings, Store::Keyring));
    QCOMPARE(DataIni::readScrambled(SettingsFile::inUse().read(), DataIni::Section::MAIL, DataIni::Key::PASS), QStringLiteral("pop secret"));
    QCOMPARE(DataIni::readScrambled(SettingsFile::inUse().read(), DataIni::Section::MAIL, DataIni::Key::SmtpPass), QStringLiteral("app password"));
    const PasswordStore passwords = passwordsInUse();
    QCOMPARE(keyringOfTheBuild().read(passwords.keyringService(), QStringLiteral("PASS")).status,
             Keyring::Status::NotFound);
    QCOMPARE(keyringOfTheBuild().read(passwords.keyringService(), QStringLiteral("SmtpPass")).status,
             Keyring::Status::NotFound);
    QCOMPARE(SettingsInUse::value(DataIni::Section::MAIL, DataIni::Key::PasswordStore), QStringLiteral("File"));
  }

  // Last, since nothing here can open the keyring again: a locked keyring
  // gives no password, and the send stops with a box before connecting.
  void lockedKeyringStopsTheSend() {
    TempAppFolder folder;
    folder.writeIni(kBase);
    MailSettings settings = SettingsInUse::mailSettings();
    settings.passwordStore = Store::Keyring;
    settings.popPassword = QStringLiteral("pop secret");
    QVERIFY(save(settings, Store::File));

    QDBusMessage lock = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
        QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("Lock"));
    lock << QVariant::fromValue(QList<QDBusObjectPath>{QDBusObjectPath("/org/freedesktop/secrets/collection/login")});
    QCOMPARE(QDBusConnection::sessionBus().call(lock).type(), QDBusMessage::ReplyMessage);

    MailSettings running = SettingsInUse::mailSettings();
    running.from = QStringLiteral("taro@example.jp");
    running.smtpServer = QStringLiteral("127.0.0.1");
    FakeSocket socket;
    MailTransmission mail(socket);
    SendBoxes sendBoxes(mail, running, passwordsInUse());
    ScriptedMessageBoxes boxes({MessageBox::Answer::Ok});
    sendBoxes.send(QStringLiteral("hanako@example.jp"), QStringLiteral("件名"), QStringLiteral("本文"));
    QCOMPARE(boxes.count(), 2);  // the confirmation, then the keyring's
    QVERIFY(boxes.texts().last().startsWith(QStringLiteral("キーリングからパスワードを読み出せませんでした。")));
    QVERIFY(boxes.texts().last().endsWith(SendTexts::kKeyringAdvice));
    QVERIFY(!socket.isOpen());
    QVERIFY(!mail.busy());
    QCOMPARE(SettingsInUse::value(DataIni::Section::MAIL, DataIni::Key::PASS), QString());
  }

  // No Secret Service at all (run without with_keyring.sh): the keyring is
  // not offered, and a send or save that needs it stops.
  void noSecretService() {
    if (keyringRuns()) QSKIP("runs without a keyring");
    QVERIFY(!keyringOfTheBuild().serviceAnswers());
    TempAppFolder folder;
    folder.writeIni(kBase + QStringLiteral("PasswordStore=Keyring\n"));
    const MailSettings settings = SettingsInUse::mailSettings();
    // The keyring's own words say why.
    KeyringTrouble trouble;
    QVERIFY(!passwordsInUse().fetch(settings, Which::Pop, trouble));
    QCOMPARE(trouble.kind, KeyringTrouble::Kind::Failed);
    QVERIFY(!trouble.words.isEmpty());
    MailSettings toSave = settings;
    toSave.popPassword = QStringLiteral("pop secret");
    const QByteArray before = folder.iniBytes();
    QVERIFY(passwordsInUse().keepInKeyring(toSave));
    QCOMPARE(folder.iniBytes(), before);
  }

  // A program without its keyring module says so, in the user's words.
  void missingModule() {
    TempAppFolder folder;
    folder.writeIni(kBase + QStringLiteral("PasswordStore=Keyring\n"));
    const PasswordStore passwords(SettingsFile::inUse(), Keyring(folder.path() + QStringLiteral("talvenor_keyring.so")));
    KeyringTrouble trouble;
    QVERIFY(!passwords.fetch(SettingsInUse::mailSettings(), Which::Pop, trouble));
    QCOMPARE(trouble.kind, KeyringTrouble::Kind::NoModule);
    QCOMPARE(SendReport::keyringWords(trouble),
             QStringLiteral("キーリングを使う部品（talvenor_keyring.so）を読み込めませんでした。"));
  }
};

QTEST_GUILESS_MAIN(TstPasswordStore)
#include "tst_password_store.moc"
