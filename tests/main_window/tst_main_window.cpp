#include "find_child.h"
#include "main_window.h"

#include "ini_file.h"
#include "mail_settings.h"
#include "fake_socket.h"
#include "scripted_message_boxes.h"
#include "scrambling.h"
#include "temp_app_folder.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {

const QString kWarning = QStringLiteral("文字数が制限を越えています。");

// Three carriers, the second without a name: limits 10, 500 and none.
// The stored recipient is in no entry of the address book.
QString dataIni(const QString& defaultNum, int addrNum = 0) {
  using Scrambling::scramble;
  QString text = QStringLiteral(
                     "; Talvenor settings\n"
                     "[CarrierNum]\n"
                     "Num=2\n"
                     "DefaultNum=%1\n"
                     "[CarrierIndex]\n"
                     "0=docomo\n"
                     "2=SoftBank\n"
                     "[CarrierData]\n"
                     "0=10\n"
                     "1=500\n"
                     "2=0\n"
                     "[AddrNum]\n"
                     "Num=%2\n"
                     "[AddrIndex]\n")
                     .arg(defaultNum)
                     .arg(addrNum);
  const QStringList book = {QStringLiteral("first@example.jp"), QStringLiteral("hanako@docomo.ne.jp"),
                            QStringLiteral("taro@ezweb.ne.jp"), QStringLiteral("jiro@softbank.ne.jp"),
                            QStringLiteral("saburo@example.jp")};
  for (int i = 0; i < book.size(); ++i) text += QStringLiteral("%1=%2\n").arg(i).arg(scramble(book.at(i)));
  text += QStringLiteral("[MAIL]\nTo=%1\nFrom=%2\nServer=%3\nPBSMTP=true\nOUTLOG=False\npServer=%4\nUSER=%5\nPASS=\n")
              .arg(scramble(QStringLiteral("other@example.jp")), scramble(QStringLiteral("me@example.jp")),
                   scramble(QStringLiteral("smtp.example.jp")), scramble(QStringLiteral("pop.example.jp")),
                   scramble(QStringLiteral("ユーザー")));
  return text;
}

std::unique_ptr<MainWindow> loadWindow() {
  auto window = std::make_unique<MainWindow>(std::make_unique<FakeSocket>());
  window->move(200, 100);
  window->showAndLoad();
  window->activateWindow();
  if (!QTest::qWaitForWindowActive(window.get())) qWarning("main window not active");
  return window;
}

QStringList items(const QComboBox* combo) {
  QStringList result;
  for (int i = 0; i < combo->count(); ++i) result.append(combo->itemText(i));
  return result;
}

// Chooses an entry as the user does: opens the list and clicks the entry.
void chooseFromList(QComboBox* combo, int index) {
  combo->showPopup();
  QAbstractItemView* view = combo->view();
  QTRY_VERIFY(view->isVisible());
  const QRect item = view->visualRect(view->model()->index(index, 0));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
  QTRY_VERIFY(!view->isVisible());
}

void sendMove(QWidget* widget, QPoint position, Qt::MouseButtons buttons) {
  QMouseEvent move(QEvent::MouseMove, position, widget->mapToGlobal(position), Qt::NoButton, buttons,
                   Qt::NoModifier);
  QApplication::sendEvent(widget, &move);
}

}  // namespace

class TestMainWindow : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void loadsTheSettings();
  void startsWithTheLastCarrier();
  void keyboardOrderAndCaptions();
  void choosingACarrierShowsItsLimit_data();
  void choosingACarrierShowsItsLimit();
  void typingInTheCarrierBoxChangesNothing();
  void bodyLimitWarnings_data();
  void bodyLimitWarnings();
  void subjectCounterShowsBytesOnly();
  void carrierChoiceComesBackAtNextStart_data();
  void carrierChoiceComesBackAtNextStart();
  void recipientWrittenToBothKeys();
  void onlyALossOfFocusToTheWindowWrites();
  void dragsByTheBareSurface_data();
  void dragsByTheBareSurface();
  void pressesOnControlsDoNotDrag();
  void copiesTheBodyOnly();
  void buttonsForwardToTheirHandlers();
  void returnPressesTheFocusedButton();

 private:
  std::unique_ptr<TempAppFolder> folder_;
};

void TestMainWindow::init() {
  folder_.reset();  // the old folder restores the real one when it goes
  folder_ = std::make_unique<TempAppFolder>();
  folder_->writeIni(dataIni(QStringLiteral("-1")));
}

void TestMainWindow::loadsTheSettings() {
  ScriptedMessageBoxes boxes;
  auto window = loadWindow();

  QCOMPARE(window->windowTitle(), QStringLiteral("Talvenor"));
  QCOMPARE(items(child<QComboBox>(*window, "carrierBox")),
           QStringList({QStringLiteral("docomo"), QString(), QStringLiteral("SoftBank")}));
  QCOMPARE(child<QComboBox>(*window, "carrierBox")->currentIndex(), -1);
  QCOMPARE(child<QComboBox>(*window, "carrierBox")->currentText(), QStringLiteral("キャリア選択"));
  QCOMPARE(window->bodyLimit(), 0);
  QCOMPARE(child<QLabel>(*window, "bodyCounter")->text(), QStringLiteral("0/???"));
  QCOMPARE(child<QLabel>(*window, "subjectCounter")->text(), QStringLiteral("0"));

  // AddrNum 0: only entry 0; the recipient shown is MAIL/To, in no entry.
  QCOMPARE(items(child<QComboBox>(*window, "recipientBox")), QStringList({QStringLiteral("first@example.jp")}));
  QCOMPARE(child<QComboBox>(*window, "recipientBox")->currentText(), QStringLiteral("other@example.jp"));
  QVERIFY(window->recipientWhenLeft().isEmpty());

  const MailSettings& running = window->runningSettings();
  QCOMPARE(running.from, QStringLiteral("me@example.jp"));
  QCOMPARE(running.smtpServer, QStringLiteral("smtp.example.jp"));
  QCOMPARE(running.popBeforeSmtp, true);
  QCOMPARE(running.keepLog, false);
  QCOMPARE(running.popServer, QStringLiteral("pop.example.jp"));
  QCOMPARE(running.popUser, QStringLiteral("ユーザー"));
  // The password stays in Data.ini until a login needs it.
  QVERIFY(!running.popPassword);

  QVERIFY(window->isVisible());
  QCOMPARE(QApplication::focusWidget(), child<QComboBox>(*window, "carrierBox"));
  QVERIFY(boxes.shown().isEmpty());

  // The look: window, boxes and buttons in their own colours.
  child<QLineEdit>(*window, "subjectEdit")->setText(QStringLiteral("打ち合わせ"));
  child<QPlainTextEdit>(*window, "bodyEdit")
      ->setPlainText(QStringLiteral("明日の会議は10時からです。\nよろしくお願いします。"));
  QTest::qWait(0);
  const QImage image = window->grab().toImage();
  QCOMPARE(image.pixelColor(2, 2), QColor(130, 176, 204));
  const QPoint inBody =
      child<QPlainTextEdit>(*window, "bodyEdit")
          ->mapTo(window.get(), QPoint(20, child<QPlainTextEdit>(*window, "bodyEdit")->height() - 12));
  QCOMPARE(image.pixelColor(inBody), QColor(236, 251, 251));
  const QPoint inButton =
      child<QPushButton>(*window, "closeButton")
          ->mapTo(window.get(), QPoint(6, child<QPushButton>(*window, "closeButton")->height() / 2));
  const QColor button = image.pixelColor(inButton);
  QVERIFY2(qAbs(button.red() - 197) < 16 && qAbs(button.green() - 221) < 16 && qAbs(button.blue() - 228) < 16,
           qPrintable(button.name()));
  QCOMPARE(child<QPlainTextEdit>(*window, "bodyEdit")->font().families().value(0), QStringLiteral("ＭＳ ゴシック"));
  // Without the Windows font, Debian's Japanese monospace font stands in.
  const QString family = QFontInfo(child<QPlainTextEdit>(*window, "bodyEdit")->font()).family();
  QVERIFY2(family == QStringLiteral("ＭＳ ゴシック") || family == QStringLiteral("Noto Sans Mono CJK JP"),
           qPrintable(family));

  const QString dir = qEnvironmentVariable("TALVENOR_BUILD_DIR") + QStringLiteral("/screenshots");
  QVERIFY(QDir().mkpath(dir));
  QVERIFY(image.save(dir + QStringLiteral("/main_window.png")));
}

void TestMainWindow::startsWithTheLastCarrier() {
  folder_->writeIni(dataIni(QStringLiteral("1")));
  auto window = loadWindow();
  QCOMPARE(child<QComboBox>(*window, "carrierBox")->currentIndex(), 1);
  QCOMPARE(window->bodyLimit(), 500);
  QCOMPARE(child<QLabel>(*window, "bodyCounter")->text(), QStringLiteral("0/500"));
}

void TestMainWindow::keyboardOrderAndCaptions() {
  auto window = loadWindow();
  const QList<QWidget*> order = {
      child<QComboBox>(*window, "carrierBox"),       child<QComboBox>(*window, "recipientBox"),
      child<QLineEdit>(*window, "subjectEdit"),      child<QPlainTextEdit>(*window, "bodyEdit"),
      child<QPushButton>(*window, "sendButton"),     child<QPushButton>(*window, "copyButton"),
      child<QPushButton>(*window, "settingsButton"), child<QPushButton>(*window, "closeButton"),
      child<QComboBox>(*window, "carrierBox")};
  for (int i = 1; i < order.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), order.at(i));
  }

  // Assistive technologies announce each box by its caption.
  const std::pair<QLabel*, QWidget*> captions[] = {
      {child<QLabel>(*window, "carrierCaption"), child<QComboBox>(*window, "carrierBox")},
      {child<QLabel>(*window, "recipientCaption"), child<QComboBox>(*window, "recipientBox")},
      {child<QLabel>(*window, "subjectCaption"), child<QLineEdit>(*window, "subjectEdit")},
      {child<QLabel>(*window, "bodyCaption"), child<QPlainTextEdit>(*window, "bodyEdit")}};
  for (const auto& [label, box] : captions) {
    QCOMPARE(label->buddy(), box);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(box);
    QVERIFY(accessible);
    QAccessibleInterface* caption = QAccessible::queryAccessibleInterface(label);
    bool labelled = false;
    for (const auto& relation : accessible->relations(QAccessible::Label)) labelled |= relation.first == caption;
    QVERIFY2(labelled, qPrintable(label->text()));
    // Combo boxes carry their text as the name and the caption as the label.
    if (!box->inherits("QComboBox")) QCOMPARE(accessible->text(QAccessible::Name), label->text());
  }
}

void TestMainWindow::choosingACarrierShowsItsLimit_data() {
  QTest::addColumn<int>("carrier");
  QTest::addColumn<QString>("caption");
  QTest::addColumn<QString>("captionAfterNextChange");
  QTest::addColumn<int>("warnings");
  // A body of 120 bytes: 100 half-width letters, 10 full-width characters.
  QTest::newRow("limit 500") << 1 << "120/500" << "121/500" << 0;
  QTest::newRow("no limit shows 0 until the body changes") << 2 << "120/0" << "121/???" << 0;
  QTest::newRow("smaller limit warns only with the next edit") << 0 << "120/10" << "121/10" << 1;
}

void TestMainWindow::choosingACarrierShowsItsLimit() {
  QFETCH(int, carrier);
  QFETCH(QString, caption);
  QFETCH(QString, captionAfterNextChange);
  QFETCH(int, warnings);
  ScriptedMessageBoxes boxes;
  auto window = loadWindow();
  child<QPlainTextEdit>(*window, "bodyEdit")->setPlainText(QString(100, u'a') + QString(10, u'本'));
  QCOMPARE(child<QLabel>(*window, "bodyCounter")->text(), QStringLiteral("120/???"));

  chooseFromList(child<QComboBox>(*window, "carrierBox"), carrier);
  QCOMPARE(child<QComboBox>(*window, "carrierBox")->currentIndex(), carrier);
  QCOMPARE(child<QLabel>(*window, "bodyCounter")->text(), caption);
  QVERIFY(boxes.shown().isEmpty());

  child<QPlainTextEdit>(*window, "bodyEdit")->moveCursor(QTextCursor::End);
  QTest::keyClick(child<QPlainTextEdit>(*window, "bodyEdit"), Qt::Key_X);
  QCOMPARE(child<QLabel>(*window, "bodyCounter")->text(), captionAfterNextChange);
  QCOMPARE(boxes.count(), warnings);
}

void TestMainWindow::typingInTheCarrierBoxChangesNothing() {
  ScriptedMessageBoxes boxes;
  auto window = loadWindow();
  chooseFromList(child<QComboBox>(*window, "carrierBox"), 1);
  QCOMPARE(window->bodyLimit(), 500);

  // Typing the name of another carrier and pressing Enter is no choice.
  child<QComboBox>(*window, "carrierBox")->setFocus();
  child<QComboBox>(*window, "carrierBox")->lineEdit()->selectAll();
  QTest::keyClicks(child<QComboBox>(*window, "carrierBox"), QStringLiteral("docomo"));
  QTest::keyClick(child<QComboBox>(*window, "carrierBox"), Qt::Key_Return);
  QCOMPARE(window->bodyLimit(), 500);
  QCOMPARE(child<QComboBox>(*window, "carrierBox")->currentIndex(), 1);
  QCOMPARE(child<QComboBox>(*window, "carrierBox")->currentText(), QStringLiteral("docomo"));
  QCOMPARE(child<QLabel>(*window, "bodyCounter")->text(), QStringLiteral("0/500"));

  // Nor is any other text, and Enter adds nothing to the list.
  child<QComboBox>(*window, "carrierBox")->lineEdit()->selectAll();
  QTest::keyClicks(child<QComboBox>(*window, "carrierBox"), QStringLiteral("au"));
  QTest::keyClick(child<QComboBox>(*window, "carrierBox"), Qt::Key_Return);
  QCOMPARE(items(child<QComboBox>(*window, "carrierBox")),
           QStringList({QStringLiteral("docomo"), QString(), QStringLiteral("SoftBank")}));
  QCOMPARE(child<QComboBox>(*window, "carrierBox")->currentText(), QStringLiteral("au"));
  QCOMPARE(window->bodyLimit(), 500);

  // Leaving the box keeps the carrier last chosen from the list.
  QTest::keyClick(child<QComboBox>(*window, "carrierBox"), Qt::Key_Tab);
  QCOMPARE(IniFile::read(QStringLiteral("CarrierNum"), QStringLiteral("DefaultNum")), QStringLiteral("1"));
  QCOMPARE(window->bodyLimit(), 500);
  QVERIFY(boxes.shown().isEmpty());
}

// Each step is one change of the body; "warned" is the number of warnings
// shown so far, "bytes" the body's byte count after the step.
void TestMainWindow::bodyLimitWarnings_data() {
  QTest::addColumn<QString>("startBody");
  QTest::addColumn<int>("carrier");
  QTest::addColumn<QStringList>("steps");
  QTest::addColumn<QList<int>>("warned");
  QTest::addColumn<QList<int>>("bytes");
  QTest::addColumn<QString>("caption");

  const QStringList typeEleven = QStringList(11, QStringLiteral("type:a"));
  QTest::newRow("11th byte warns once, back to 10 does not")
      << QString() << 0 << (typeEleven + QStringList{QStringLiteral("back")})
      << QList<int>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1} << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 10}
      << "10/10";
  QTest::newRow("each deletion from 14 down to 11 warns")
      << QStringLiteral("abcdefghijklmn") << 0 << QStringList(4, QStringLiteral("back")) << QList<int>{1, 2, 3, 3}
      << QList<int>{13, 12, 11, 10} << "10/10";
  QTest::newRow("full-width character crossing the limit")
      << QStringLiteral("abcdefghi") << 0 << QStringList{QStringLiteral("type:あ")} << QList<int>{1}
      << QList<int>{11} << "11/10";
  QTest::newRow("a line break counts two")
      << QStringLiteral("abcdefghi") << 0 << QStringList{QStringLiteral("enter")} << QList<int>{1}
      << QList<int>{11} << "11/10";
  QTest::newRow("composing with the input method warns only on commit")
      << QStringLiteral("abcdefghij") << 0
      << QStringList{QStringLiteral("compose:か"), QStringLiteral("compose:かん"), QStringLiteral("commit:漢"),
                     QStringLiteral("compose:じ"), QStringLiteral("commit:字")}
      << QList<int>{0, 0, 1, 1, 2} << QList<int>{10, 10, 12, 12, 14} << "14/10";
  QTest::newRow("a 600-byte paste against 500 warns once")
      << QString() << 1 << QStringList{QStringLiteral("paste")} << QList<int>{1} << QList<int>{600} << "600/500";
  QTest::newRow("set by the program") << QString() << 1 << QStringList{QStringLiteral("set")} << QList<int>{1}
                                      << QList<int>{600} << "600/500";
  QTest::newRow("limit 0 never warns")
      << QString() << 2 << QStringList{QStringLiteral("paste"), QStringLiteral("type:a"), QStringLiteral("back")}
      << QList<int>{0, 0, 0} << QList<int>{600, 601, 600} << "600/???";
}

void TestMainWindow::bodyLimitWarnings() {
  QFETCH(QString, startBody);
  QFETCH(int, carrier);
  QFETCH(QStringList, steps);
  QFETCH(QList<int>, warned);
  QFETCH(QList<int>, bytes);
  QFETCH(QString, caption);

  ScriptedMessageBoxes boxes;
  auto window = loadWindow();
  child<QPlainTextEdit>(*window, "bodyEdit")->setPlainText(startBody);  // no limit yet: no warning
  chooseFromList(child<QComboBox>(*window, "carrierBox"), carrier);
  child<QPlainTextEdit>(*window, "bodyEdit")->setFocus();
  child<QPlainTextEdit>(*window, "bodyEdit")->moveCursor(QTextCursor::End);

  // 600 bytes over several lines: 250 full-width, 90 half-width, 5 breaks.
  QString long600;
  for (int line = 0; line < 6; ++line) {
    long600 += QString(line < 5 ? 42 : 40, u'漢') + QString(15, u'x');
    if (line < 5) long600 += u'\n';
  }
  QGuiApplication::clipboard()->setText(long600);

  for (int i = 0; i < steps.size(); ++i) {
    const QString& step = steps.at(i);
    if (step.startsWith(QLatin1String("type:")))
      QTest::sendKeyEvent(QTest::Click, child<QPlainTextEdit>(*window, "bodyEdit"), Qt::Key_unknown, step.mid(5),
                          Qt::NoModifier);
    else if (step.startsWith(QLatin1String("compose:"))) {
      QInputMethodEvent compose(step.mid(8), {});
      QApplication::sendEvent(child<QPlainTextEdit>(*window, "bodyEdit"), &compose);
    } else if (step.startsWith(QLatin1String("commit:"))) {
      QInputMethodEvent commit;
      commit.setCommitString(step.mid(7));
      QApplication::sendEvent(child<QPlainTextEdit>(*window, "bodyEdit"), &commit);
    } else if (step == QLatin1String("back"))
      QTest::keyClick(child<QPlainTextEdit>(*window, "bodyEdit"), Qt::Key_Backspace);
    else if (step == QLatin1String("enter"))
      QTest::keyClick(child<QPlainTextEdit>(*window, "bodyEdit"), Qt::Key_Return);
    else if (step == QLatin1String("paste"))
      child<QPlainTextEdit>(*window, "bodyEdit")->paste();
    else if (step == QLatin1String("set"))
      child<QPlainTextEdit>(*window, "bodyEdit")->setPlainText(long600);
    QCOMPARE(boxes.count(), warned.at(i));
    // The text keeps every byte; the counter follows it.
    QCOMPARE(window->bodyByteCount(), bytes.at(i));
    QVERIFY(child<QLabel>(*window, "bodyCounter")->text().startsWith(QString::number(bytes.at(i)) + u'/'));
  }
  QCOMPARE(child<QLabel>(*window, "bodyCounter")->text(), caption);
  for (const MessageBox::Request& box : boxes.shown()) {
    QCOMPARE(box.text, kWarning);
    QCOMPARE(box.buttons, MessageBox::Buttons::Ok);
    QCOMPARE(box.icon, MessageBox::Icon::None);
    QVERIFY(box.title.isEmpty());  // the application title
  }
}

void TestMainWindow::subjectCounterShowsBytesOnly() {
  ScriptedMessageBoxes boxes;
  auto window = loadWindow();
  chooseFromList(child<QComboBox>(*window, "carrierBox"), 0);
  child<QLineEdit>(*window, "subjectEdit")->setFocus();
  QTest::sendKeyEvent(QTest::Click, child<QLineEdit>(*window, "subjectEdit"), Qt::Key_unknown, QStringLiteral("会議"),
                      Qt::NoModifier);
  QTest::keyClicks(child<QLineEdit>(*window, "subjectEdit"), QStringLiteral("ab"));
  QCOMPARE(child<QLabel>(*window, "subjectCounter")->text(), QStringLiteral("6"));
  child<QLineEdit>(*window, "subjectEdit")->setText(QString(300, u'題'));
  QCOMPARE(child<QLabel>(*window, "subjectCounter")->text(), QStringLiteral("600"));
  child<QLineEdit>(*window, "subjectEdit")->clear();
  QCOMPARE(child<QLabel>(*window, "subjectCounter")->text(), QStringLiteral("0"));
  // Pasted line breaks become nothing: the counter counts what is sent.
  child<QLineEdit>(*window, "subjectEdit")->setText(QStringLiteral("会議\r\nのお知らせ\n"));
  QCOMPARE(child<QLineEdit>(*window, "subjectEdit")->text(), QStringLiteral("会議のお知らせ"));
  QCOMPARE(child<QLabel>(*window, "subjectCounter")->text(), QStringLiteral("14"));
  QVERIFY(boxes.shown().isEmpty());
}

void TestMainWindow::carrierChoiceComesBackAtNextStart_data() {
  QTest::addColumn<QString>("storedDefault");
  QTest::addColumn<int>("choose");
  QTest::addColumn<QString>("written");
  QTest::addColumn<QString>("captionAtNextStart");
  QTest::newRow("nothing selected writes -1") << "9" << -1 << "-1" << "0/???";
  QTest::newRow("malformed, nothing selected") << "x" << -1 << "-1" << "0/???";
  QTest::newRow("chosen carrier") << "-1" << 2 << "2" << "0/0";
}

void TestMainWindow::carrierChoiceComesBackAtNextStart() {
  QFETCH(QString, storedDefault);
  QFETCH(int, choose);
  QFETCH(QString, written);
  QFETCH(QString, captionAtNextStart);
  folder_->writeIni(dataIni(storedDefault));
  {
    auto window = loadWindow();
    QCOMPARE(child<QComboBox>(*window, "carrierBox")->currentIndex(), -1);
    if (choose >= 0) chooseFromList(child<QComboBox>(*window, "carrierBox"), choose);
    QTest::mouseClick(child<QLineEdit>(*window, "subjectEdit"), Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), child<QLineEdit>(*window, "subjectEdit"));
    QCOMPARE(IniFile::read(QStringLiteral("CarrierNum"), QStringLiteral("DefaultNum")), written);
  }
  auto window = loadWindow();
  QCOMPARE(child<QComboBox>(*window, "carrierBox")->currentIndex(), choose);
  QCOMPARE(child<QLabel>(*window, "bodyCounter")->text(), captionAtNextStart);
}

void TestMainWindow::recipientWrittenToBothKeys() {
  folder_->writeIni(dataIni(QStringLiteral("-1"), 3));
  auto window = loadWindow();
  const QStringList book = items(child<QComboBox>(*window, "recipientBox"));
  QCOMPARE(book.size(), 4);

  child<QComboBox>(*window, "recipientBox")->setFocus();
  chooseFromList(child<QComboBox>(*window, "recipientBox"), 3);
  QCOMPARE(child<QComboBox>(*window, "recipientBox")->currentText(), QStringLiteral("jiro@softbank.ne.jp"));
  QTest::keyClick(child<QComboBox>(*window, "recipientBox"), Qt::Key_Tab);

  const QString stored = Scrambling::scramble(QStringLiteral("jiro@softbank.ne.jp"));
  QCOMPARE(IniFile::read(QStringLiteral("MAIL"), QStringLiteral("To")), stored);
  QCOMPARE(IniFile::read(QStringLiteral("AddrIndex"), QStringLiteral("0")), stored);
  QCOMPARE(IniFile::read(QStringLiteral("AddrIndex"), QStringLiteral("3")), stored);
  QCOMPARE(window->recipientWhenLeft(), QStringLiteral("jiro@softbank.ne.jp"));
  QCOMPARE(items(child<QComboBox>(*window, "recipientBox")), book);  // the list is not touched

  // An emptied box stores the empty value under both keys.
  child<QComboBox>(*window, "recipientBox")->setFocus();
  child<QComboBox>(*window, "recipientBox")->clearEditText();
  QTest::mouseClick(child<QPushButton>(*window, "copyButton"), Qt::LeftButton);
  QCOMPARE(IniFile::read(QStringLiteral("MAIL"), QStringLiteral("To")), QString());
  QCOMPARE(IniFile::read(QStringLiteral("AddrIndex"), QStringLiteral("0")), QString());
  QVERIFY(window->recipientWhenLeft().isEmpty());
  QCOMPARE(items(child<QComboBox>(*window, "recipientBox")), book);
}

void TestMainWindow::onlyALossOfFocusToTheWindowWrites() {
  folder_->writeIni(dataIni(QStringLiteral("7")));
  auto window = loadWindow();
  int settingsOpened = 0;
  QObject::connect(window.get(), &MainWindow::settingsRequested, [&] { ++settingsOpened; });
  const QByteArray untouched = folder_->iniBytes();
  QCOMPARE(QApplication::focusWidget(), child<QComboBox>(*window, "carrierBox"));

  // The box's own list opening and closing.
  child<QComboBox>(*window, "carrierBox")->showPopup();
  QTRY_VERIFY(child<QComboBox>(*window, "carrierBox")->view()->isVisible());
  child<QComboBox>(*window, "carrierBox")->hidePopup();
  QTRY_COMPARE(QApplication::focusWidget(), child<QComboBox>(*window, "carrierBox"));
  QCOMPARE(folder_->iniBytes(), untouched);

  // Another window taking over, then giving the focus back.
  QWidget other;
  other.setFocusPolicy(Qt::StrongFocus);
  other.show();
  other.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&other));
  QCOMPARE(folder_->iniBytes(), untouched);
  window->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(window.get()));
  QCOMPARE(QApplication::focusWidget(), child<QComboBox>(*window, "carrierBox"));
  QCOMPARE(folder_->iniBytes(), untouched);

  // Clicking a button of the window is a loss of focus.
  QTest::mouseClick(child<QPushButton>(*window, "settingsButton"), Qt::LeftButton);
  QCOMPARE(settingsOpened, 1);
  QCOMPARE(IniFile::read(QStringLiteral("CarrierNum"), QStringLiteral("DefaultNum")), QStringLiteral("-1"));

  // The same for the recipient box.
  child<QComboBox>(*window, "recipientBox")->setFocus();
  QCOMPARE(QApplication::focusWidget(), child<QComboBox>(*window, "recipientBox"));
  const QByteArray beforeRecipient = folder_->iniBytes();
  child<QComboBox>(*window, "recipientBox")->showPopup();
  QTRY_VERIFY(child<QComboBox>(*window, "recipientBox")->view()->isVisible());
  child<QComboBox>(*window, "recipientBox")->hidePopup();
  QTRY_COMPARE(QApplication::focusWidget(), child<QComboBox>(*window, "recipientBox"));
  QCOMPARE(folder_->iniBytes(), beforeRecipient);
  child<QComboBox>(*window, "recipientBox")->setEditText(QStringLiteral("new@example.jp"));
  QTest::mouseClick(child<QPushButton>(*window, "closeButton"), Qt::LeftButton);
  QCOMPARE(IniFile::read(QStringLiteral("MAIL"), QStringLiteral("To")),
           Scrambling::scramble(QStringLiteral("new@example.jp")));
  QCOMPARE(window->recipientWhenLeft(), QStringLiteral("new@example.jp"));
}

void TestMainWindow::dragsByTheBareSurface_data() {
  QTest::addColumn<Qt::MouseButton>("button");
  QTest::addColumn<QPoint>("delta");
  QTest::newRow("left") << Qt::LeftButton << QPoint(15, 25);
  QTest::newRow("right") << Qt::RightButton << QPoint(-30, 7);
  QTest::newRow("middle") << Qt::MiddleButton << QPoint(4, -12);
  QTest::newRow("no movement") << Qt::LeftButton << QPoint(0, 0);
}

void TestMainWindow::dragsByTheBareSurface() {
  QFETCH(Qt::MouseButton, button);
  QFETCH(QPoint, delta);
  auto window = loadWindow();
  const QPoint grabbed(3, 200);
  QCOMPARE(window->childAt(grabbed), nullptr);
  const QPoint start = window->pos();

  QTest::mousePress(window.get(), button, {}, grabbed);
  QVERIFY(window->isDragging());
  sendMove(window.get(), grabbed + delta, button);
  QCOMPARE(window->pos(), start + delta);
  // The window followed: the pointer is over the grabbed point again.
  QTest::mouseRelease(window.get(), button, {}, grabbed);
  QCOMPARE(window->pos(), start + delta);
  QVERIFY(!window->isDragging());

  // Moving without a button held does nothing.
  sendMove(window.get(), grabbed + QPoint(40, 40), Qt::NoButton);
  QCOMPARE(window->pos(), start + delta);
}

void TestMainWindow::pressesOnControlsDoNotDrag() {
  auto window = loadWindow();
  const QPoint start = window->pos();
  const QList<QWidget*> controls = {child<QLabel>(*window, "subjectCaption"), child<QLabel>(*window, "bodyCounter"),
                                    child<QLabel>(*window, "carrierCaption"), child<QLineEdit>(*window, "subjectEdit"),
                                    child<QPushButton>(*window, "copyButton")};
  for (QWidget* control : controls) {
    QTest::mousePress(control, Qt::LeftButton);
    QVERIFY2(!window->isDragging(), control->metaObject()->className());
    sendMove(window.get(), QPoint(50, 50), Qt::LeftButton);
    QTest::mouseRelease(control, Qt::LeftButton);
    QCOMPARE(window->pos(), start);
  }
}

void TestMainWindow::copiesTheBodyOnly() {
  auto window = loadWindow();
  QClipboard* clipboard = QGuiApplication::clipboard();
  child<QLineEdit>(*window, "subjectEdit")->setText(QStringLiteral("件名"));
  child<QPlainTextEdit>(*window, "bodyEdit")->setPlainText(QStringLiteral("一行目\r\n二行目\nthird"));
  QTest::mouseClick(child<QPushButton>(*window, "copyButton"), Qt::LeftButton);
  QCOMPARE(clipboard->text(), QStringLiteral("一行目\n二行目\nthird"));
  QCOMPARE(child<QPlainTextEdit>(*window, "bodyEdit")->toPlainText(), QStringLiteral("一行目\n二行目\nthird"));
  QCOMPARE(child<QLineEdit>(*window, "subjectEdit")->text(), QStringLiteral("件名"));

  child<QPlainTextEdit>(*window, "bodyEdit")->clear();
  clipboard->setText(QStringLiteral("old"));
  QTest::mouseClick(child<QPushButton>(*window, "copyButton"), Qt::LeftButton);
  QCOMPARE(clipboard->text(), QString());
}

void TestMainWindow::buttonsForwardToTheirHandlers() {
  ScriptedMessageBoxes boxes({MessageBox::Answer::Ok});
  auto socket = std::make_unique<FakeSocket>();
  FakeSocket* connections = socket.get();
  MainWindow window(std::move(socket));
  window.showAndLoad();
  child<QComboBox>(window, "recipientBox")->setEditText(QStringLiteral("hanako@docomo.ne.jp"));
  child<QLineEdit>(window, "subjectEdit")->setText(QStringLiteral("題"));
  child<QPlainTextEdit>(window, "bodyEdit")->setPlainText(QStringLiteral("本文\n二行目"));
  QTest::mouseClick(child<QPushButton>(window, "sendButton"), Qt::LeftButton);
  // The send command asked for confirmation, took the texts and connected.
  QCOMPARE(boxes.count(), 1);
  QCOMPARE(window.transmission().mail().recipient, QStringLiteral("hanako@docomo.ne.jp"));
  // The mail text (and its log) breaks lines with CR LF, as the headers do.
  QCOMPARE(window.transmission().mail().body, QStringLiteral("本文\r\n二行目"));
  QCOMPARE(connections->connects, 1);
  // A send under way shows.
  QCOMPARE(window.cursor().shape(), Qt::BusyCursor);

  // Clearing after a send empties both boxes and their counters follow.
  emit window.sendBoxes().clearSubjectAndBody();
  QCOMPARE(child<QLineEdit>(window, "subjectEdit")->text(), QString());
  QCOMPARE(child<QLabel>(window, "subjectCounter")->text(), QStringLiteral("0"));
  QCOMPARE(child<QLabel>(window, "bodyCounter")->text(), QStringLiteral("0/???"));

  // Closing while connected drops the connection and the window goes,
  // without a question.
  const qsizetype shown = boxes.count();
  QTest::mouseClick(child<QPushButton>(window, "closeButton"), Qt::LeftButton);
  QCOMPARE(connections->closes, 1);
  QVERIFY(!window.isVisible());
  QCOMPARE(boxes.count(), shown);
}

// Return and Enter press the focused button, as Space does.
void TestMainWindow::returnPressesTheFocusedButton() {
  ScriptedMessageBoxes boxes;
  auto window = loadWindow();
  int opened = 0;
  QObject::connect(window.get(), &MainWindow::settingsRequested, [&opened] { ++opened; });
  child<QPlainTextEdit>(*window, "bodyEdit")->setPlainText(QStringLiteral("本文"));
  child<QPushButton>(*window, "settingsButton")->setFocus();
  QTest::keyClick(child<QPushButton>(*window, "settingsButton"), Qt::Key_Return);
  QCOMPARE(opened, 1);
  QTest::keyClick(child<QPushButton>(*window, "settingsButton"), Qt::Key_Enter, Qt::KeypadModifier);
  QCOMPARE(opened, 2);
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->setText(QStringLiteral("old"));
  child<QPushButton>(*window, "copyButton")->setFocus();
  QTest::keyClick(child<QPushButton>(*window, "copyButton"), Qt::Key_Return);
  QCOMPARE(clipboard->text(), QStringLiteral("本文"));
  // Typed in the subject box, Return presses nothing.
  child<QLineEdit>(*window, "subjectEdit")->setFocus();
  QTest::keyClick(child<QLineEdit>(*window, "subjectEdit"), Qt::Key_Return);
  QCOMPARE(opened, 2);
  QVERIFY(boxes.shown().isEmpty());
}

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
