// The settings window: what it shows on opening, how saving compacts the
// address book and updates the main window and the running settings,
// the two questions before saving, the two switches, the log folder button
// and the POP test run while the window is modal.
#include "find_child.h"
#include "settings_window.h"
#include "smtp_details_dialog.h"

#include "cp932.h"
#include "data_ini_layout.h"
#include "folder_opener.h"
#include "message_box.h"
#include "settings_in_use.h"
#include "keyring_of_the_build.h"
#include "password_store.h"
#include "mail_settings.h"
#include "scripted_message_boxes.h"
#include "scrambling.h"
#include "settings_window_opener.h"
#include "main_window.h"
#include "temp_app_folder.h"
#include "tcp_socket_control.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <map>
#include <memory>

#include <unistd.h>

using MessageBox::Answer;
using MessageBox::Buttons;
using MessageBox::Icon;

namespace {

const QString kBaseIni = QStringLiteral(
    "[CarrierNum]\n"
    "Num=0\n"
    "DefaultNum=0\n"
    "[CarrierIndex]\n"
    "0=docomo\n"
    "[CarrierData]\n"
    "0=0\n"
    "[AddrNum]\n"
    "Num=0\n"
    "[AddrIndex]\n"
    "0=\n"
    "[MAIL]\n"
    "PBSMTP=False\n"
    "OUTLOG=False\n");

const QString kPopTitle = QStringLiteral("POP Before SMTP 設定");
const QString kPopQuestion = QStringLiteral("POP Before SMTP 設定に未入力の項目があります。\r\n未入力のままにしますか？");
const QString kCoreTitle = QStringLiteral("Talvenor設定");
const QString kCoreQuestion = QStringLiteral("基本設定に未入力の項目があります。\r\n未入力のままにしますか？");

using IniSections = QMap<QString, QMap<QString, QString>>;

// Data.ini as it lies on disk: every section and key that is present.
IniSections parseIni(const QByteArray& bytes) {
  IniSections result;
  QString section;
  for (const QString& line : Cp932::toUnicode(bytes).split(QStringLiteral("\r\n"))) {
    if (line.startsWith(u'[') && line.endsWith(u']')) {
      section = line.mid(1, line.size() - 2);
    } else if (const qsizetype eq = line.indexOf(u'='); eq > 0) {
      result[section][line.left(eq)] = line.mid(eq + 1);
    }
  }
  return result;
}

QString stored(const QString& section, const QString& key) {
  return Scrambling::unscramble(SettingsInUse::value(section, key));
}

void store(const QString& section, const QString& key, const QString& text) {
  SettingsInUse::write(section, key, Scrambling::scramble(text));
}

QColor textColour(const QWidget* widget) { return widget->palette().color(QPalette::WindowText); }

// A program folder with Data.ini and a main window with its own socket.
struct Program {
  TempAppFolder folder;
  std::unique_ptr<MainWindow> main;

  explicit Program(const QString& ini = kBaseIni) {
    folder.writeIni(ini);
    main = std::make_unique<MainWindow>(SettingsFile::inUse(), nullptr, keyringOfTheBuild());
  }
  MailSettings& running() { return main->runningSettings(); }
  void setRecipientList(const QStringList& items, const QString& text) {
    child<QComboBox>(*main, "recipientBox")->clear();
    child<QComboBox>(*main, "recipientBox")->addItems(items);
    child<QComboBox>(*main, "recipientBox")->setCurrentText(text);
  }
  QStringList recipientList() const {
    QStringList items;
    for (int i = 0; i < child<QComboBox>(*main, "recipientBox")->count(); ++i)
      items.append(child<QComboBox>(*main, "recipientBox")->itemText(i));
    return items;
  }
};

// The settings window over the program's main window, wired as the program
// wires it: a save updates the main window.
struct SettingsOver : SettingsWindow {
  explicit SettingsOver(MainWindow& main, FolderOpener::Opener openFolder = &FolderOpener::open)
      : SettingsWindow(main.settingsFile(), main.recipientText(), main.runningSettings(), main.sendBoxes(),
                       main.passwords(), nullptr, std::move(openFolder)) {
    QObject::connect(this, &SettingsWindow::saved, &main, &MainWindow::takeSavedSettings);
  }
};

// A POP3 server on a free local port: a greeting, "+OK" to USER, the
// given reply to PASS (an empty one: it hangs up instead), "+OK" to QUIT
// and then it hangs up.
class ScriptedPopServer {
 public:
  QByteArray passReply = "+OK logged in\r\n";
  QStringList received;

  ScriptedPopServer() {
    server_.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
      QTcpSocket* client = server_.nextPendingConnection();
      client->write("+OK POP3 server ready\r\n");
      QObject::connect(client, &QTcpSocket::readyRead, client, [this, client] {
        while (client->canReadLine()) {
          const QByteArray line = client->readLine();
          received.append(Cp932::toUnicode(line));
          if (line.startsWith("USER ")) client->write("+OK\r\n");
          else if (line.startsWith("PASS ")) {
            if (passReply.isEmpty()) client->disconnectFromHost();
            else client->write(passReply);
          }
          else if (line.startsWith("QUIT")) {
            client->write("+OK bye\r\n");
            client->disconnectFromHost();
          }
        }
      });
    });
  }

  quint16 port() const { return server_.serverPort(); }

  bool listening() const { return server_.isListening(); }

 private:
  QTcpServer server_;
};

}  // namespace

class TestSettingsWindow : public QObject {
  Q_OBJECT

  enum PopOutcome { Accepted, Rejected, HungUp };
  enum Closing { CancelClicked, CloseButton, ReturnOnCancel };

 private slots:
  void opening() {
    Program program;
    SettingsOver window(*program.main);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(!child<QLabel>(window, "keyringSilentNote")->isVisible());  // the passwords are in Data.ini

    QCOMPARE(window.windowTitle(), QStringLiteral("Talvenor設定"));
    QTRY_COMPARE(window.focusWidget(), static_cast<QWidget*>(child<QPushButton>(window, "cancelButton")));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    QVERIFY(!(window.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QVERIFY(window.windowFlags() & Qt::WindowCloseButtonHint);
    const QRect screen = window.screen()->geometry();
    QVERIFY(qAbs(window.frameGeometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(window.frameGeometry().center().y() - screen.center().y()) <= 1);

    // Tab order, starting at the button that has the focus; the controls for
    // sending through a provider each follow the box they belong with.
    const QList<QWidget*> expected{
        child<QPushButton>(window, "cancelButton"),      child<QLineEdit>(window, "addressEdit0"),
        child<QLineEdit>(window, "senderEdit"),          child<QLineEdit>(window, "smtpServerEdit"),
        child<QPushButton>(window, "smtpDetailsButton"), child<QLineEdit>(window, "addressEdit1"),
        child<QLineEdit>(window, "addressEdit2"),        child<QLineEdit>(window, "addressEdit3"),
        child<QLineEdit>(window, "addressEdit4"),        child<QCheckBox>(window, "keepLogCheck"),
        child<QPushButton>(window, "openLogButton"),     child<QPushButton>(window, "historyButton"),
        child<QCheckBox>(window, "popBeforeSmtpCheck"),  child<QLineEdit>(window, "popServerEdit"),
        child<QLineEdit>(window, "popUserEdit"),         child<QLineEdit>(window, "popPasswordEdit"),
        child<QComboBox>(window, "popSecurityBox"),      child<QLineEdit>(window, "popPortEdit"),
        child<QPushButton>(window, "popTestButton"),     child<QPushButton>(window, "saveButton")};
    QList<QWidget*> order;
    QWidget* widget = child<QPushButton>(window, "cancelButton");
    do {
      if (widget->focusPolicy() & Qt::TabFocus) order.append(widget);
      widget = widget->nextInFocusChain();
    } while (widget != child<QPushButton>(window, "cancelButton"));
    QCOMPARE(order, expected);

    // The password shows only stars and takes no input-method composition.
    child<QLineEdit>(window, "popPasswordEdit")->setText(QStringLiteral("pässwort"));
    QCOMPARE(child<QLineEdit>(window, "popPasswordEdit")->displayText(), QString(8, u'*'));
    QVERIFY(!child<QLineEdit>(window, "popPasswordEdit")->testAttribute(Qt::WA_InputMethodEnabled));

    // The logs are private to the user (their folder 0700, each file 0600).
    QCOMPARE(child<QLabel>(window, "logWarning")->text(), QStringLiteral("（ログはこのユーザーだけが開けます。）"));
    QVERIFY(child<QLabel>(window, "versionCaption")->text().contains(QLatin1String("Talvenor")));
    QVERIFY(child<QLabel>(window, "versionCaption")->text().contains(QLatin1String("2.1.0")));
    QCOMPARE(child<QLabel>(window, "versionCaption")->font().families().value(0), QStringLiteral("ＭＳ Ｐゴシック"));
    // What is drawn behind the texts, not only what is set.
    const auto backdrop = [](QWidget* widget) {
      const QImage image = widget->grab().toImage();
      return image.pixelColor(image.width() - 1, image.height() / 2);
    };
    const QColor formColour(130, 176, 204);
    QCOMPARE(backdrop(&window), formColour);
    QCOMPARE(backdrop(child<QLabel>(window, "basicsNote")), formColour);
    QCOMPARE(backdrop(child<QCheckBox>(window, "keepLogCheck")), formColour);
    QCOMPARE(backdrop(child<QCheckBox>(window, "popBeforeSmtpCheck")), formColour);
    QCOMPARE(child<QPushButton>(window, "saveButton")->palette().color(QPalette::Button), QColor(197, 221, 228));
  }

  // Loading takes the recipient from the main window, the rest from the
  // file, and re-reads the POP flag; a stored False log flag leaves the
  // running value alone.
  void loading_data() {
    QTest::addColumn<QString>("pbsmtp");
    QTest::addColumn<QString>("outlog");
    QTest::addColumn<bool>("outlogBefore");
    QTest::addColumn<bool>("expectPbsmtp");
    QTest::addColumn<bool>("expectBoxChecked");
    QTest::addColumn<bool>("expectOutlog");
    QTest::newRow("both stored true") << "True" << "True" << false << true << true << true;
    QTest::newRow("stored false keeps running log") << "False" << "False" << true << false << false << true;
    QTest::newRow("ill-formed flags read false") << "yes" << "" << false << false << false << false;
  }
  void loading() {
    QFETCH(QString, pbsmtp);
    QFETCH(QString, outlog);
    QFETCH(bool, outlogBefore);
    QFETCH(bool, expectPbsmtp);
    QFETCH(bool, expectBoxChecked);
    QFETCH(bool, expectOutlog);

    Program program;
    SettingsInUse::write(DataIni::Section::AddrNum, DataIni::Key::Num, QStringLiteral("2"));
    store(DataIni::Section::AddrIndex, QStringLiteral("0"), QStringLiteral("stored@example.jp"));
    store(DataIni::Section::AddrIndex, QStringLiteral("1"), QStringLiteral("book1@example.jp"));
    store(DataIni::Section::AddrIndex, QStringLiteral("2"), QStringLiteral("book2@example.jp"));
    store(DataIni::Section::AddrIndex, QStringLiteral("3"), QStringLiteral("beyond@example.jp"));
    store(DataIni::Section::MAIL, DataIni::Key::To, QStringLiteral("stored@example.jp"));
    store(DataIni::Section::MAIL, DataIni::Key::From, QStringLiteral("me@example.jp"));
    store(DataIni::Section::MAIL, DataIni::Key::Server, QStringLiteral("smtp.example.jp"));
    store(DataIni::Section::MAIL, DataIni::Key::pServer, QStringLiteral("pop.example.jp"));
    store(DataIni::Section::MAIL, DataIni::Key::USER, QStringLiteral("ユーザ"));
    store(DataIni::Section::MAIL, DataIni::Key::PASS, QStringLiteral("secret"));
    SettingsInUse::write(DataIni::Section::MAIL, DataIni::Key::PBSMTP, pbsmtp);
    SettingsInUse::write(DataIni::Section::MAIL, DataIni::Key::OUTLOG, outlog);
    program.setRecipientList({QStringLiteral("stored@example.jp")}, QStringLiteral("typed@example.jp"));
    program.running().popBeforeSmtp = !expectPbsmtp;
    program.running().keepLog = outlogBefore;

    SettingsOver window(*program.main);
    QCOMPARE(child<QLineEdit>(window, "addressEdit0")->text(), QStringLiteral("typed@example.jp"));
    QCOMPARE(child<QLineEdit>(window, "addressEdit1")->text(), QStringLiteral("book1@example.jp"));
    QCOMPARE(child<QLineEdit>(window, "addressEdit2")->text(), QStringLiteral("book2@example.jp"));
    QCOMPARE(child<QLineEdit>(window, "addressEdit3")->text(), QString());
    QCOMPARE(child<QLineEdit>(window, "addressEdit4")->text(), QString());
    QCOMPARE(child<QLineEdit>(window, "senderEdit")->text(), QStringLiteral("me@example.jp"));
    QCOMPARE(child<QLineEdit>(window, "smtpServerEdit")->text(), QStringLiteral("smtp.example.jp"));
    QCOMPARE(child<QLineEdit>(window, "popServerEdit")->text(), QStringLiteral("pop.example.jp"));
    QCOMPARE(child<QLineEdit>(window, "popUserEdit")->text(), QStringLiteral("ユーザ"));
    QCOMPARE(child<QLineEdit>(window, "popPasswordEdit")->text(), QStringLiteral("secret"));

    QCOMPARE(program.running().popBeforeSmtp, expectPbsmtp);
    QCOMPARE(child<QCheckBox>(window, "popBeforeSmtpCheck")->isChecked(), expectPbsmtp);
    QCOMPARE(child<QLineEdit>(window, "popServerEdit")->isEnabled(), expectPbsmtp);
    QCOMPARE(child<QPushButton>(window, "popTestButton")->isEnabled(), expectPbsmtp);
    QCOMPARE(child<QCheckBox>(window, "keepLogCheck")->isChecked(), expectBoxChecked);
    QCOMPARE(program.running().keepLog, expectOutlog);
  }

  // All eight POP controls change together, by program or by click, and
  // the boxes keep their texts; the POP flag itself is left to saving.
  void popLook() {
    Program program;
    SettingsOver window(*program.main);
    const QList<QWidget*> switched{child<QLineEdit>(window, "popServerEdit"), child<QLineEdit>(window, "popUserEdit"),
                                   child<QLineEdit>(window, "popPasswordEdit"),
                                   child<QPushButton>(window, "popTestButton")};
    const QList<QWidget*> coloured{child<QFrame>(window, "popControls"), child<QLabel>(window, "popServerCaption"),
                                   child<QLabel>(window, "popUserCaption"),
                                   child<QLabel>(window, "popPasswordCaption")};
    const QColor enabledColour = QApplication::palette().color(QPalette::ButtonText);
    const QColor disabledColour = QApplication::palette().color(QPalette::Mid);
    QVERIFY(enabledColour != disabledColour);

    auto expectLook = [&](bool enabled) {
      for (QWidget* widget : switched) QCOMPARE(widget->isEnabled(), enabled);
      for (QWidget* widget : coloured) QCOMPARE(textColour(widget), enabled ? enabledColour : disabledColour);
    };
    expectLook(false);

    child<QLineEdit>(window, "popServerEdit")->setText(QStringLiteral("pop.example.jp"));
    child<QCheckBox>(window, "popBeforeSmtpCheck")->click();
    expectLook(true);
    QCOMPARE(program.running().popBeforeSmtp, false);
    child<QCheckBox>(window, "popBeforeSmtpCheck")->setChecked(false);
    expectLook(false);
    child<QCheckBox>(window, "popBeforeSmtpCheck")->setChecked(true);
    expectLook(true);
    QCOMPARE(child<QLineEdit>(window, "popServerEdit")->text(), QStringLiteral("pop.example.jp"));
  }

  void compaction_data() {
    QTest::addColumn<QString>("recipient");
    QTest::addColumn<QStringList>("book");
    QTest::addColumn<QStringList>("entries");  // AddrIndex 1..4 afterwards
    QTest::addColumn<int>("num");

    const QString a = QStringLiteral("a@example.jp"), b = QStringLiteral("b@example.jp"),
                  c = QStringLiteral("c@example.jp"), d = QStringLiteral("d@example.jp");
    QTest::newRow("1 and 3 blank") << "to@example.jp" << QStringList{"", b, "", d} << QStringList{b, d, "", ""} << 2;
    QTest::newRow("all blank") << "to@example.jp" << QStringList{"", "", "", ""} << QStringList{"", "", "", ""} << 0;
    QTest::newRow("all filled") << "to@example.jp" << QStringList{a, b, c, d} << QStringList{a, b, c, d} << 4;
    QTest::newRow("only last") << "to@example.jp" << QStringList{"", "", "", d} << QStringList{d, "", "", ""} << 1;
    QTest::newRow("box of spaces dropped")
        << "to@example.jp" << QStringList{"   ", a, "", b} << QStringList{a, b, "", ""} << 2;
    QTest::newRow("blanks around an entry left out")
        << "to@example.jp" << QStringList{" a@example.jp　", "", "", ""} << QStringList{a, "", "", ""} << 1;
    QTest::newRow("a full-width space alone is blank")
        << "to@example.jp" << QStringList{"", "　", "", ""} << QStringList{"", "", "", ""} << 0;
    QTest::newRow("recipient of spaces") << "   " << QStringList{a, "", "", ""} << QStringList{a, "", "", ""} << 1;
  }
  void compaction() {
    QFETCH(QString, recipient);
    QFETCH(QStringList, book);
    QFETCH(QStringList, entries);
    QFETCH(int, num);

    Program program;
    // A full book before, so that every stale entry would show.
    SettingsInUse::write(DataIni::Section::AddrNum, DataIni::Key::Num, QStringLiteral("4"));
    for (int i = 0; i <= 4; ++i) store(DataIni::Section::AddrIndex, QString::number(i), QStringLiteral("old%1@x.jp").arg(i));
    program.setRecipientList({QStringLiteral("old0@x.jp"), QStringLiteral("old1@x.jp")}, QStringLiteral("old0@x.jp"));
    ScriptedMessageBoxes boxes;

    SettingsOver window(*program.main);
    window.show();
    child<QLineEdit>(window, "addressEdit0")->setText(recipient);
    for (int i = 0; i < 4; ++i) child<QLineEdit>(window, QStringLiteral("addressEdit%1").arg(i + 1))->setText(book[i]);
    child<QLineEdit>(window, "senderEdit")->setText(QStringLiteral("me@example.jp"));
    child<QLineEdit>(window, "smtpServerEdit")->setText(QStringLiteral("smtp.example.jp"));
    child<QPushButton>(window, "saveButton")->click();

    QCOMPARE(boxes.count(), 0);
    QVERIFY(!window.isVisible());
    QCOMPARE(window.result(), int(QDialog::Accepted));

    const IniSections file = parseIni(program.folder.iniBytes());
    QCOMPARE(file[DataIni::Section::AddrNum][DataIni::Key::Num], QString::number(num));
    for (int i = 0; i <= 4; ++i) QVERIFY2(file[DataIni::Section::AddrIndex].contains(QString::number(i)), qPrintable(QString::number(i)));
    const QString storedRecipient = recipient.trimmed();  // the rows' blanks are half-width
    QCOMPARE(stored(DataIni::Section::AddrIndex, QStringLiteral("0")), storedRecipient);
    for (int i = 1; i <= 4; ++i) {
      QCOMPARE(stored(DataIni::Section::AddrIndex, QString::number(i)), entries[i - 1]);
      if (entries[i - 1].isEmpty()) QCOMPARE(file[DataIni::Section::AddrIndex][QString::number(i)], QString());
    }
    QCOMPARE(stored(DataIni::Section::MAIL, DataIni::Key::To), storedRecipient);

    // The main window's list: the recipient, then the book; its text the recipient.
    QCOMPARE(program.recipientList(), QStringList{storedRecipient} + entries.mid(0, num));
    QCOMPARE(child<QComboBox>(*program.main, "recipientBox")->currentText(), storedRecipient);

    // The next opening shows the compacted book.
    SettingsOver again(*program.main);
    for (int i = 1; i <= 4; ++i)
      QCOMPARE(child<QLineEdit>(again, QStringLiteral("addressEdit%1").arg(i))->text(), entries[i - 1]);
  }

  // The POP question comes first and, answered Yes, saves at once; No to
  // either question leaves the window open and the file as it was.
  void questions_data() {
    QTest::addColumn<bool>("popChecked");
    QTest::addColumn<QString>("popServer");  // user name and password the same
    QTest::addColumn<QString>("from");
    QTest::addColumn<QList<Answer>>("answers");
    QTest::addColumn<QStringList>("expectTitles");
    QTest::addColumn<bool>("expectSaved");

    const QString full = QStringLiteral("pop.example.jp");
    const QString me = QStringLiteral("me@example.jp");
    using L = QList<Answer>;
    QTest::newRow("all present") << true << full << me << L{} << QStringList{} << true;
    QTest::newRow("pop missing and core missing, yes")
        << true << "" << "" << L{Answer::Yes} << QStringList{kPopTitle} << true;
    QTest::newRow("pop missing, no") << true << "" << me << L{Answer::No} << QStringList{kPopTitle} << false;
    QTest::newRow("pop of spaces counts missing") << true << "  " << me << L{Answer::No} << QStringList{kPopTitle} << false;
    QTest::newRow("pop unchecked, pop empty") << false << "" << me << L{} << QStringList{} << true;
    QTest::newRow("core missing, yes") << true << full << "" << L{Answer::Yes} << QStringList{kCoreTitle} << true;
    QTest::newRow("core missing, no") << false << "" << "" << L{Answer::No} << QStringList{kCoreTitle} << false;
    QTest::newRow("core of spaces counts filled") << false << full << " " << L{} << QStringList{} << true;
  }
  void questions() {
    QFETCH(bool, popChecked);
    QFETCH(QString, popServer);
    QFETCH(QString, from);
    QFETCH(QList<Answer>, answers);
    QFETCH(QStringList, expectTitles);
    QFETCH(bool, expectSaved);

    Program program;
    program.setRecipientList({}, QStringLiteral("to@example.jp"));
    SettingsOver window(*program.main);
    window.show();
    child<QLineEdit>(window, "senderEdit")->setText(from);
    child<QLineEdit>(window, "smtpServerEdit")->setText(QStringLiteral("smtp.example.jp"));
    child<QCheckBox>(window, "popBeforeSmtpCheck")->setChecked(popChecked);
    child<QLineEdit>(window, "popServerEdit")->setText(popServer);
    child<QLineEdit>(window, "popUserEdit")->setText(popServer);
    child<QLineEdit>(window, "popPasswordEdit")->setText(popServer);
    const QByteArray before = program.folder.iniBytes();

    ScriptedMessageBoxes boxes(answers);
    child<QPushButton>(window, "saveButton")->click();

    QStringList titles;
    for (const MessageBox::Request& request : boxes.shown()) {
      titles.append(request.title);
      QCOMPARE(request.text, request.title == kPopTitle ? kPopQuestion : kCoreQuestion);
      QCOMPARE(request.buttons, Buttons::YesNo);
      QCOMPARE(request.defaultButton, Answer::Yes);
      QCOMPARE(request.icon, Icon::None);
    }
    QCOMPARE(titles, expectTitles);
    QCOMPARE(window.isVisible(), !expectSaved);
    if (!expectSaved) {
      QCOMPARE(program.folder.iniBytes(), before);
      QCOMPARE(child<QLineEdit>(window, "senderEdit")->text(), from);
      return;
    }
    // Addresses and server names are stored without the blanks around them.
    QCOMPARE(stored(DataIni::Section::MAIL, DataIni::Key::From), from.trimmed());
    QCOMPARE(stored(DataIni::Section::MAIL, DataIni::Key::pServer), popServer.trimmed());
    QCOMPARE(stored(DataIni::Section::MAIL, DataIni::Key::USER), popServer);
    QCOMPARE(stored(DataIni::Section::MAIL, DataIni::Key::PASS), popServer);
    QCOMPARE(SettingsInUse::value(DataIni::Section::MAIL, DataIni::Key::PBSMTP), DataIni::flagText(popChecked));
  }

  // The keys for sending through a provider: absent from a file saved
  // without them, written as the details dialog and the POP boxes left them.
  void providerSettings() {
    Program program;
    program.setRecipientList({}, QStringLiteral("to@example.jp"));
    store(DataIni::Section::MAIL, DataIni::Key::From, QStringLiteral("me@example.jp"));
    store(DataIni::Section::MAIL, DataIni::Key::Server, QStringLiteral("smtp.example.jp"));
    const QStringList newKeys{DataIni::Key::SmtpSecurity, DataIni::Key::SmtpPort,    DataIni::Key::SmtpAuth,
                              DataIni::Key::SmtpUser,     DataIni::Key::SmtpPass,    DataIni::Key::PopSecurity,
                              DataIni::Key::PopPort,      DataIni::Key::PopInterval, DataIni::Key::Charset,
                              DataIni::Key::SmtpTimeout};
    ScriptedMessageBoxes boxes;
    {
      SettingsOver window(*program.main);
      window.show();
      child<QPushButton>(window, "saveButton")->click();
    }
    for (const QString& key : newKeys) QVERIFY2(!SettingsInUse::has(DataIni::Section::MAIL, key), qPrintable(key));

    SettingsOver window(*program.main);
    window.show();
    QTimer::singleShot(0, &window, [&window] {
      auto* details = window.findChild<SmtpDetailsDialog*>();
      QVERIFY(details);
      child<QComboBox>(*details, "encryptionBox")->setCurrentIndex(1);  // STARTTLS, port 587
      child<QCheckBox>(*details, "authBox")->setChecked(true);
      child<QLineEdit>(*details, "userBox")->setText(QStringLiteral("me@example.jp"));
      child<QLineEdit>(*details, "passwordBox")->setText(QStringLiteral("app password"));
      child<QComboBox>(*details, "charsetBox")->setCurrentIndex(1);  // ISO-2022-JP
      child<QPushButton>(*details, "okButton")->click();
    });
    child<QPushButton>(window, "smtpDetailsButton")->click();
    child<QComboBox>(window, "popSecurityBox")->setCurrentIndex(2);  // SSL/TLS, port 995
    QCOMPARE(child<QLineEdit>(window, "popPortEdit")->text(), QStringLiteral("995"));

    // A port that is not one keeps the window open and saves nothing.
    child<QLineEdit>(window, "popPortEdit")->setText(QStringLiteral("99999"));
    child<QPushButton>(window, "saveButton")->click();
    QVERIFY(window.isVisible());
    QVERIFY(!SettingsInUse::has(DataIni::Section::MAIL, DataIni::Key::SmtpSecurity));
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("POPのポート番号は 1 から 65535 までの整数で入力してください。")});

    child<QLineEdit>(window, "popPortEdit")->setText(QStringLiteral("995"));
    child<QPushButton>(window, "saveButton")->click();
    QVERIFY(!window.isVisible());
    QCOMPARE(SettingsInUse::value(DataIni::Section::MAIL, DataIni::Key::SmtpSecurity), QStringLiteral("STARTTLS"));
    QVERIFY(!SettingsInUse::has(DataIni::Section::MAIL, DataIni::Key::SmtpPort));
    QCOMPARE(SettingsInUse::value(DataIni::Section::MAIL, DataIni::Key::SmtpAuth), QStringLiteral("True"));
    QCOMPARE(stored(DataIni::Section::MAIL, DataIni::Key::SmtpUser), QStringLiteral("me@example.jp"));
    QCOMPARE(stored(DataIni::Section::MAIL, DataIni::Key::SmtpPass), QStringLiteral("app password"));
    QCOMPARE(SettingsInUse::value(DataIni::Section::MAIL, DataIni::Key::PopSecurity), QStringLiteral("SSL"));
    QCOMPARE(SettingsInUse::value(DataIni::Section::MAIL, DataIni::Key::Charset), QStringLiteral("ISO-2022-JP"));
    QVERIFY(!SettingsInUse::has(DataIni::Section::MAIL, DataIni::Key::PopPort));
    const MailSettings& running = program.running();
    QCOMPARE(running.smtpSecurity, MailSettings::SmtpSecurity::StartTls);
    QCOMPARE(running.smtpPort, std::uint16_t(587));
    KeyringTrouble trouble;
    QCOMPARE(program.main->passwords().fetch(running, PasswordStore::Which::Smtp, trouble),
             QStringLiteral("app password"));
    QCOMPARE(running.popPort, std::uint16_t(995));
  }

  // Passwords kept in a keyring that does not answer (no Secret Service
  // here): the window shows none, and a new one it cannot store there
  // keeps the window open with a box and saves nothing, not even in the file.
  void keyringThatDoesNotAnswer() {
    Program program(kBaseIni + QStringLiteral("PASS=\nPasswordStore=Keyring\n"));
    const QByteArray before = program.folder.iniBytes();
    ScriptedMessageBoxes boxes;
    SettingsOver window(*program.main);
    window.show();
    QCOMPARE(child<QLineEdit>(window, "popPasswordEdit")->text(), QString());
    // The empty field says why, and what to do.
    QVERIFY(child<QLabel>(window, "keyringSilentNote")->isVisible());
    QVERIFY(
        child<QLabel>(window, "keyringSilentNote")->text().startsWith(QStringLiteral("キーリングが応答しないため")));
    QVERIFY(child<QLabel>(window, "keyringSilentNote")->text().contains(QStringLiteral("Data.ini")));
    child<QLineEdit>(window, "addressEdit0")->setText(QStringLiteral("to@example.jp"));
    child<QLineEdit>(window, "senderEdit")->setText(QStringLiteral("me@example.jp"));
    child<QLineEdit>(window, "smtpServerEdit")->setText(QStringLiteral("smtp.example.jp"));
    child<QCheckBox>(window, "popBeforeSmtpCheck")->setChecked(true);
    child<QLineEdit>(window, "popServerEdit")->setText(QStringLiteral("pop.example.jp"));
    child<QLineEdit>(window, "popUserEdit")->setText(QStringLiteral("user"));
    QTest::keyClicks(child<QLineEdit>(window, "popPasswordEdit"), QStringLiteral("new secret"));
    child<QPushButton>(window, "saveButton")->click();
    QVERIFY(window.isVisible());
    QCOMPARE(boxes.count(), 1);
    QVERIFY(boxes.texts().first().startsWith(
        QStringLiteral("パスワードをキーリングに保存できませんでした。設定は保存されていません。")));
    QVERIFY(!boxes.texts().first().contains(QStringLiteral("new secret")));
    QCOMPARE(program.folder.iniBytes(), before);
  }

  // A Data.ini the settings store will not replace (read-only, or a second
  // name of another file) keeps the window open with a box; nothing changes.
  void refusedSettingsFileKeepsTheWindowOpen_data() {
    QTest::addColumn<bool>("hardLinked");
    QTest::newRow("read-only file") << false;
    QTest::newRow("hard-linked file") << true;
  }

  void refusedSettingsFileKeepsTheWindowOpen() {
    QFETCH(bool, hardLinked);
    Program program;
    program.setRecipientList({}, QStringLiteral("to@example.jp"));
    const QByteArray before = program.folder.iniBytes();
    const QString iniPath = program.folder.iniPath();
    const QString secondName = program.folder.path() + QStringLiteral("second-name");
    if (hardLinked)
      QCOMPARE(::link(QFile::encodeName(iniPath).constData(), QFile::encodeName(secondName).constData()), 0);
    else
      QVERIFY(QFile::setPermissions(iniPath, QFile::ReadOwner));
    ScriptedMessageBoxes boxes;
    SettingsOver window(*program.main);
    window.show();
    child<QLineEdit>(window, "senderEdit")->setText(QStringLiteral("me@example.jp"));
    child<QLineEdit>(window, "smtpServerEdit")->setText(QStringLiteral("smtp.example.jp"));
    child<QPushButton>(window, "saveButton")->click();
    QVERIFY(window.isVisible());
    QCOMPARE(boxes.texts(),
             QStringList{QStringLiteral("設定ファイル（Data.ini）に書き込めませんでした。設定は保存されていません。")});
    QCOMPARE(boxes.shown().first().icon, MessageBox::Icon::Exclamation);
    QCOMPARE(program.folder.iniBytes(), before);
    QFile::setPermissions(iniPath, QFile::ReadOwner | QFile::WriteOwner);
  }

  // A character Data.ini cannot hold is named, and nothing is saved.
  void unstorableCharactersKeepTheWindowOpen() {
    Program program;
    program.setRecipientList({}, QStringLiteral("to@example.jp"));
    const QByteArray before = program.folder.iniBytes();
    ScriptedMessageBoxes boxes;
    SettingsOver window(*program.main);
    window.show();
    child<QLineEdit>(window, "senderEdit")->setText(QStringLiteral("me@example.jp"));
    child<QLineEdit>(window, "smtpServerEdit")->setText(QStringLiteral("smtp.𠮷.jp"));
    child<QPushButton>(window, "saveButton")->click();
    QVERIFY(window.isVisible());
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("次の文字は保存できません：𠮷\r\n（SMTPサーバ名）")});
    QCOMPARE(program.folder.iniBytes(), before);
  }

  void valuesThatWouldBreakACommandLine_data() {
    QTest::addColumn<QString>("box");  // the object name of the box, or "SmtpUser" in Data.ini
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("shown");
    const QString address = QStringLiteral("メールアドレスに使えない文字（< > , 空白・改行など）が含まれています。\r\n（");
    const QString control = QStringLiteral("改行などの制御文字は保存できません。\r\n（");
    QTest::newRow("recipient with >") << QStringLiteral("addressEdits0") << QStringLiteral("to@example.jp> NOTIFY=SUCCESS")
                                      << address + QStringLiteral("宛先メールアドレス）");
    QTest::newRow("sender with a space") << QStringLiteral("senderEdit") << QStringLiteral("me @example.jp")
                                         << address + QStringLiteral("差出人メールアドレス）");
    QTest::newRow("book entry with NUL") << QStringLiteral("addressEdits2")
                                         << QStringLiteral("a@example.jp") + QChar(u'\0') + QStringLiteral("x")
                                         << address + QStringLiteral("登録メールアドレス２）");
    QTest::newRow("book entry with a comma") << QStringLiteral("addressEdits4") << QStringLiteral("a@example.jp,b@example.jp")
                                             << address + QStringLiteral("登録メールアドレス４）");
    QTest::newRow("SMTP server with CR LF") << QStringLiteral("smtpServerEdit") << QStringLiteral("smtp.example.jp\r\nx")
                                            << control + QStringLiteral("SMTPサーバ名）");
    QTest::newRow("POP server with LF") << QStringLiteral("popServerEdit") << QStringLiteral("pop.example.jp\nx")
                                        << control + QStringLiteral("POPサーバ名）");
    QTest::newRow("POP user with CR LF") << QStringLiteral("popUserEdit") << QStringLiteral("user\r\nDELE 1")
                                         << control + QStringLiteral("POPユーザ名）");
    QTest::newRow("POP password with CR LF") << QStringLiteral("popPasswordEdit") << QStringLiteral("secret\r\nRSET")
                                             << control + QStringLiteral("POPパスワード）");
    QTest::newRow("SMTP user with CR LF from Data.ini") << QStringLiteral("SmtpUser") << QStringLiteral("taro\r\nRSET")
                                                        << control + QStringLiteral("SMTP 認証のユーザ名）");
  }

  // A value that would end an address or add a command line of its own is
  // named, and nothing is saved.
  void valuesThatWouldBreakACommandLine() {
    QFETCH(QString, box);
    QFETCH(QString, value);
    QFETCH(QString, shown);
    Program program;
    program.setRecipientList({}, QStringLiteral("to@example.jp"));
    if (box == QLatin1String("SmtpUser")) store(DataIni::Section::MAIL, DataIni::Key::SmtpUser, value);
    const QByteArray before = program.folder.iniBytes();
    ScriptedMessageBoxes boxes;
    SettingsOver window(*program.main);
    window.show();
    child<QLineEdit>(window, "senderEdit")->setText(QStringLiteral("me@example.jp"));
    child<QLineEdit>(window, "smtpServerEdit")->setText(QStringLiteral("smtp.example.jp"));
    const std::map<QString, QLineEdit*> boxesByName{
        {QStringLiteral("addressEdits0"), child<QLineEdit>(window, "addressEdit0")},
        {QStringLiteral("addressEdits2"), child<QLineEdit>(window, "addressEdit2")},
        {QStringLiteral("addressEdits4"), child<QLineEdit>(window, "addressEdit4")},
        {QStringLiteral("senderEdit"), child<QLineEdit>(window, "senderEdit")},
        {QStringLiteral("smtpServerEdit"), child<QLineEdit>(window, "smtpServerEdit")},
        {QStringLiteral("popServerEdit"), child<QLineEdit>(window, "popServerEdit")},
        {QStringLiteral("popUserEdit"), child<QLineEdit>(window, "popUserEdit")},
        {QStringLiteral("popPasswordEdit"), child<QLineEdit>(window, "popPasswordEdit")}};
    if (const auto found = boxesByName.find(box); found != boxesByName.end()) found->second->setText(value);
    child<QPushButton>(window, "saveButton")->click();
    QVERIFY(window.isVisible());
    QCOMPARE(boxes.texts(), QStringList{shown});
    QCOMPARE(program.folder.iniBytes(), before);
  }

  // Saving brings the running program up to date at once; cancelling and
  // the close button save nothing.
  void savingUpdatesProgram() {
    Program program;
    program.setRecipientList({QStringLiteral("old@example.jp")}, QStringLiteral("old@example.jp"));
    SettingsOver window(*program.main);
    window.show();
    child<QLineEdit>(window, "addressEdit0")->setText(QStringLiteral("new@example.jp"));
    child<QLineEdit>(window, "senderEdit")->setText(QStringLiteral("me@example.jp"));
    child<QLineEdit>(window, "smtpServerEdit")->setText(QStringLiteral("smtp.example.jp"));
    child<QCheckBox>(window, "popBeforeSmtpCheck")->setChecked(true);
    child<QLineEdit>(window, "popServerEdit")->setText(QStringLiteral("pop.example.jp"));
    child<QLineEdit>(window, "popUserEdit")->setText(QStringLiteral(" user "));
    child<QLineEdit>(window, "popPasswordEdit")->setText(QStringLiteral("パス"));
    ScriptedMessageBoxes boxes;
    child<QPushButton>(window, "saveButton")->click();

    QCOMPARE(boxes.count(), 0);
    QCOMPARE(child<QComboBox>(*program.main, "recipientBox")->currentText(), QStringLiteral("new@example.jp"));
    QCOMPARE(program.recipientList(), QStringList{QStringLiteral("new@example.jp")});
    QCOMPARE(program.running().from, QStringLiteral("me@example.jp"));
    QCOMPARE(program.running().smtpServer, QStringLiteral("smtp.example.jp"));
    QCOMPARE(program.running().popBeforeSmtp, true);
    QCOMPARE(program.running().keepLog, false);
    QCOMPARE(program.running().popServer, QStringLiteral("pop.example.jp"));
    QCOMPARE(program.running().popUser, QStringLiteral(" user "));
    KeyringTrouble trouble;
    QCOMPARE(program.main->passwords().fetch(program.running(), PasswordStore::Which::Pop, trouble),
             QStringLiteral("パス"));
  }

  void closingWithoutSaving_data() {
    QTest::addColumn<int>("closing");
    QTest::newRow("cancel") << int(CancelClicked);
    QTest::newRow("close button") << int(CloseButton);
    // Return presses the button that has the focus, as Space does.
    QTest::newRow("Return on cancel") << int(ReturnOnCancel);
  }
  void closingWithoutSaving() {
    QFETCH(int, closing);
    Program program;
    program.setRecipientList({QStringLiteral("old@example.jp")}, QStringLiteral("old@example.jp"));
    const QByteArray before = program.folder.iniBytes();
    ScriptedMessageBoxes boxes;
    {
      SettingsOver window(*program.main);
      window.show();
      child<QLineEdit>(window, "addressEdit0")->setText(QStringLiteral("new@example.jp"));
      child<QLineEdit>(window, "senderEdit")->setText(QStringLiteral("me@example.jp"));
      child<QCheckBox>(window, "popBeforeSmtpCheck")->setChecked(true);
      if (closing == CloseButton) {
        window.close();
      } else if (closing == ReturnOnCancel) {
        child<QPushButton>(window, "cancelButton")->setFocus();
        QTest::keyClick(&window, Qt::Key_Return);
      } else {
        child<QPushButton>(window, "cancelButton")->click();
      }
      QVERIFY(!window.isVisible());
    }
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(program.folder.iniBytes(), before);
    QCOMPARE(program.recipientList(), QStringList{QStringLiteral("old@example.jp")});
    QCOMPARE(child<QComboBox>(*program.main, "recipientBox")->currentText(), QStringLiteral("old@example.jp"));
    QCOMPARE(program.running().from, QString());
    QCOMPARE(program.running().popBeforeSmtp, false);
  }

  // The log switch acts on the running program at once; saving stores the
  // running value, not the box.
  void logSwitch() {
    Program program;
    program.setRecipientList({}, QStringLiteral("to@example.jp"));
    ScriptedMessageBoxes boxes;
    {
      SettingsOver window(*program.main);
      window.show();
      child<QCheckBox>(window, "keepLogCheck")->click();
      QCOMPARE(program.running().keepLog, true);
      child<QPushButton>(window, "cancelButton")->click();
    }
    QCOMPARE(SettingsInUse::value(DataIni::Section::MAIL, DataIni::Key::OUTLOG), QStringLiteral("False"));
    QCOMPARE(program.running().keepLog, true);

    SettingsOver window(*program.main);
    QCOMPARE(child<QCheckBox>(window, "keepLogCheck")->isChecked(), false);
    QCOMPARE(program.running().keepLog, true);
    child<QLineEdit>(window, "senderEdit")->setText(QStringLiteral("me@example.jp"));
    child<QLineEdit>(window, "smtpServerEdit")->setText(QStringLiteral("smtp.example.jp"));
    window.show();
    child<QPushButton>(window, "saveButton")->click();
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(SettingsInUse::value(DataIni::Section::MAIL, DataIni::Key::OUTLOG), QStringLiteral("True"));
    QCOMPARE(program.running().keepLog, true);
  }

  void logFolder() {
    Program program;
    const QString path = program.folder.path() + QStringLiteral("mailLOG");
    QStringList opened;
    bool desktopOpens = true;
    ScriptedMessageBoxes boxes;
    SettingsOver window(*program.main, [&opened, &desktopOpens](const QString& folder) {
      opened.append(folder);
      return desktopOpens;
    });

    child<QPushButton>(window, "openLogButton")->click();
    QCOMPARE(opened, QStringList());
    QCOMPARE(boxes.count(), 1);
    const MessageBox::Request request = boxes.shown().first();
    QCOMPARE(request.text, QStringLiteral("ログフォルダが見つかりません。\r\n"
                                          "もしくはログフォルダが移動された可能性があります。\r\n"
                                          "\r\n"
                                          "ログフォルダのパス：\r\n") +
                               path);
    QCOMPARE(request.buttons, Buttons::Ok);
    QCOMPARE(request.icon, Icon::Exclamation);
    QCOMPARE(request.title, MessageBox::kApplicationTitle);

    QVERIFY(QDir().mkdir(path));
    child<QPushButton>(window, "openLogButton")->click();
    QCOMPARE(opened, QStringList{path});
    QCOMPARE(boxes.count(), 1);

    // Nothing on the desktop can show a folder: the box gives its path.
    desktopOpens = false;
    child<QPushButton>(window, "openLogButton")->click();
    QCOMPARE(boxes.count(), 2);
    QCOMPARE(boxes.texts().last(),
             QStringLiteral("ログフォルダを開くプログラムが見つかりません。\r\n\r\nログフォルダのパス：\r\n") + path);
  }

  // The POP test runs in the main window's socket events while the settings
  // window is open modally; its outcome is the main window's message box,
  // and it leaves the program-wide POP values as the dialogue ends.
  void popTest_data() {
    QTest::addColumn<QByteArray>("passReply");
    QTest::addColumn<int>("outcome");
    QTest::newRow("accepted") << QByteArray("+OK logged in\r\n") << int(Accepted);
    QTest::newRow("rejected") << QByteArray("-ERR wrong password\r\n") << int(Rejected);
    QTest::newRow("server hangs up") << QByteArray() << int(HungUp);
  }
  void popTest() {
    QFETCH(QByteArray, passReply);
    QFETCH(int, outcome);

    ScriptedPopServer server;
    QVERIFY(server.listening());
    server.passReply = passReply;
    Program program;
    SettingsInUse::write(DataIni::Section::MAIL, DataIni::Key::PBSMTP, QStringLiteral("True"));

    // The test ends with a message box or with the server's close; either
    // way the window is then closed from its own event loop.
    QPointer<SettingsWindow> window;
    bool openWhenEnded = false;
    const auto ended = [&window, &openWhenEnded] {
      openWhenEnded = window && window->isVisible();
      QTimer::singleShot(0, window, [&window] { child<QPushButton>(*window, "cancelButton")->click(); });
    };
    ScriptedMessageBoxes boxes;
    boxes.onShow = [&ended](const MessageBox::Request&) { ended(); };
    QTimer::singleShot(0, [&] {
      window = program.main->findChild<SettingsWindow*>();
      QVERIFY(window);
      QObject::connect(&program.main->transmission().socket(), &SocketControl::closedByPeer, window, ended);
      QVERIFY(child<QPushButton>(*window, "popTestButton")->isEnabled());
      child<QLineEdit>(*window, "popServerEdit")->setText(QStringLiteral("127.0.0.1"));
      child<QLineEdit>(*window, "popUserEdit")->setText(QStringLiteral(" user "));
      child<QLineEdit>(*window, "popPasswordEdit")->setText(QStringLiteral("pass"));
      child<QLineEdit>(*window, "popPortEdit")->setText(QString::number(server.port()));
      child<QPushButton>(*window, "popTestButton")->click();
    });
    showSettingsWindow(*program.main);

    QVERIFY(window.isNull());  // destroyed on closing
    QVERIFY(openWhenEnded);
    QCOMPARE(server.received.mid(0, 2), (QStringList{QStringLiteral("USER  user \r\n"), QStringLiteral("PASS pass\r\n")}));
    if (outcome == Accepted) {
      QCOMPARE(boxes.count(), 1);
      const MessageBox::Request report = boxes.shown().first();
      QCOMPARE(report.text, QStringLiteral("POPサーバへの接続は成功しました。"));
      QCOMPARE(report.title, QStringLiteral("POPサーバの接続テスト"));
      QCOMPARE(report.icon, Icon::None);
      QCOMPARE(program.running().popBeforeSmtp, false);
      QCOMPARE(program.running().popUser, QString());
      QCOMPARE(program.running().popPassword, QString());
      QCOMPARE(program.running().popServer, QString());
    } else {
      if (outcome == Rejected) {
        // The dialogue's own report, with the server's reply in it.
        QCOMPARE(boxes.count(), 1);
        const MessageBox::Request report = boxes.shown().first();
        QVERIFY(report.text.startsWith(QStringLiteral("エラーが発生しました。")));
        QVERIFY(report.text.contains(QStringLiteral("-ERR wrong password")));
        QCOMPARE(report.icon, Icon::Exclamation);
      } else {
        // A close before the login is done ends the test without a word.
        QCOMPARE(boxes.texts(), QStringList());
      }
      QCOMPARE(program.running().popBeforeSmtp, true);
      QCOMPARE(program.running().popUser, QStringLiteral(" user "));
      QCOMPARE(program.running().popPassword, QStringLiteral("pass"));
      QCOMPARE(program.running().popServer, QStringLiteral("127.0.0.1"));
    }
    // The test is over (the engine's tests show that the next send then
    // reports its completion again), and a send with POP before SMTP logs
    // in to POP first.
    QVERIFY(!program.main->transmission().busy());
    QVERIFY(!program.main->transmission().socket().isOpen());
    MailSettings withPop = program.running();
    withPop.popBeforeSmtp = true;
    QVERIFY(program.main->transmission().logsInToPopFirst(withPop));
    // A test does not touch the file.
    QCOMPARE(SettingsInUse::value(DataIni::Section::MAIL, DataIni::Key::PBSMTP), QStringLiteral("True"));
  }
};

QTEST_MAIN(TestSettingsWindow)
#include "tst_settings_window.moc"
