#include "find_child.h"
#include "main_window.h"

#include "settings_in_use.h"
#include "mail_settings.h"
#include "cp932.h"
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

Q_DECLARE_METATYPE(MessageBox::Answer)

namespace {

const QString kWarning = QStringLiteral("文字数が制限を越えています。");
const QString kUnsentQuestion = QStringLiteral("送信していない題名・本文があります。終了してもよろしいですか？");
const QString kSendingQuestion = QStringLiteral("送信中です。中止して終了しますか？");

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
  auto window = std::make_unique<MainWindow>(SettingsFile::inUse(), std::make_unique<FakeSocket>());
  window->move(200, 100);
  window->showAndLoad();
  window->activateWindow();
  if (!QTest::qWaitForWindowActive(window.get())) qWarning("main window not active");
  return window;
}

// The window's controls, found by their names.
QLabel* carrierCaption(const MainWindow& window) { return child<QLabel>(window, "carrierCaption"); }
QComboBox* carrierBox(const MainWindow& window) { return child<QComboBox>(window, "carrierBox"); }
QLabel* recipientCaption(const MainWindow& window) { return child<QLabel>(window, "recipientCaption"); }
QComboBox* recipientBox(const MainWindow& window) { return child<QComboBox>(window, "recipientBox"); }
QLabel* subjectCaption(const MainWindow& window) { return child<QLabel>(window, "subjectCaption"); }
QLabel* subjectCounter(const MainWindow& window) { return child<QLabel>(window, "subjectCounter"); }
QLineEdit* subjectEdit(const MainWindow& window) { return child<QLineEdit>(window, "subjectEdit"); }
QLabel* bodyCaption(const MainWindow& window) { return child<QLabel>(window, "bodyCaption"); }
QLabel* bodyCounter(const MainWindow& window) { return child<QLabel>(window, "bodyCounter"); }
QPlainTextEdit* bodyEdit(const MainWindow& window) { return child<QPlainTextEdit>(window, "bodyEdit"); }
QPushButton* sendButton(const MainWindow& window) { return child<QPushButton>(window, "sendButton"); }
QPushButton* copyButton(const MainWindow& window) { return child<QPushButton>(window, "copyButton"); }
QPushButton* settingsButton(const MainWindow& window) { return child<QPushButton>(window, "settingsButton"); }
QPushButton* closeButton(const MainWindow& window) { return child<QPushButton>(window, "closeButton"); }

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
  void closingAsksWhatWouldBeLost_data();
  void closingAsksWhatWouldBeLost();
  void sendTakesTheTextsAsTyped();
  void returnPressesTheFocusedButton();
  void ctrlReturnSendsFromAnyBox_data();
  void ctrlReturnSendsFromAnyBox();

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
  const QByteArray stored = folder_->iniBytes();
  auto window = loadWindow();

  QCOMPARE(window->windowTitle(), QStringLiteral("Talvenor"));
  QCOMPARE(items(carrierBox(*window)), QStringList({QStringLiteral("docomo"), QString(), QStringLiteral("SoftBank")}));
  QCOMPARE(carrierBox(*window)->currentIndex(), -1);
  QCOMPARE(carrierBox(*window)->currentText(), QStringLiteral("キャリア選択"));
  QCOMPARE(bodyCounter(*window)->text(), QStringLiteral("0/???"));
  QCOMPARE(subjectCounter(*window)->text(), QStringLiteral("0"));

  // AddrNum 0: only entry 0; the recipient shown is MAIL/To, in no entry.
  QCOMPARE(items(recipientBox(*window)), QStringList({QStringLiteral("first@example.jp")}));
  QCOMPARE(recipientBox(*window)->currentText(), QStringLiteral("other@example.jp"));
  // Loading writes nothing back.
  QCOMPARE(folder_->iniBytes(), stored);

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
  QCOMPARE(QApplication::focusWidget(), carrierBox(*window));
  QVERIFY(boxes.shown().isEmpty());

  // The look: window, boxes and buttons in their own colours.
  subjectEdit(*window)->setText(QStringLiteral("打ち合わせ"));
  bodyEdit(*window)->setPlainText(QStringLiteral("明日の会議は10時からです。\nよろしくお願いします。"));
  QTest::qWait(0);
  const QImage image = window->grab().toImage();
  QCOMPARE(image.pixelColor(2, 2), QColor(130, 176, 204));
  const QPoint inBody = bodyEdit(*window)->mapTo(window.get(), QPoint(20, bodyEdit(*window)->height() - 12));
  QCOMPARE(image.pixelColor(inBody), QColor(236, 251, 251));
  const QPoint inButton = closeButton(*window)->mapTo(window.get(), QPoint(6, closeButton(*window)->height() / 2));
  const QColor button = image.pixelColor(inButton);
  QVERIFY2(qAbs(button.red() - 197) < 16 && qAbs(button.green() - 221) < 16 && qAbs(button.blue() - 228) < 16,
           qPrintable(button.name()));
  QCOMPARE(bodyEdit(*window)->font().families().value(0), QStringLiteral("ＭＳ ゴシック"));
  // Without the Windows font, Debian's Japanese monospace font stands in.
  const QString family = QFontInfo(bodyEdit(*window)->font()).family();
  QVERIFY2(family == QStringLiteral("ＭＳ ゴシック") || family == QStringLiteral("Noto Sans Mono CJK JP"),
           qPrintable(family));

  const QString dir = qEnvironmentVariable("TALVENOR_BUILD_DIR") + QStringLiteral("/screenshots");
  QVERIFY(QDir().mkpath(dir));
  QVERIFY(image.save(dir + QStringLiteral("/main_window.png")));
}

void TestMainWindow::startsWithTheLastCarrier() {
  folder_->writeIni(dataIni(QStringLiteral("1")));
  auto window = loadWindow();
  QCOMPARE(carrierBox(*window)->currentIndex(), 1);
  QCOMPARE(bodyCounter(*window)->text(), QStringLiteral("0/500"));
  QTest::keyClick(bodyEdit(*window), Qt::Key_X);
  QCOMPARE(bodyCounter(*window)->text(), QStringLiteral("1/500"));
}

void TestMainWindow::keyboardOrderAndCaptions() {
  auto window = loadWindow();
  const QList<QWidget*> order = {carrierBox(*window),     recipientBox(*window), subjectEdit(*window),
                                 bodyEdit(*window),       sendButton(*window),   copyButton(*window),
                                 settingsButton(*window), closeButton(*window),  carrierBox(*window)};
  for (int i = 1; i < order.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), order.at(i));
  }

  // Assistive technologies announce each box by its caption.
  const std::pair<QLabel*, QWidget*> captions[] = {{carrierCaption(*window), carrierBox(*window)},
                                                   {recipientCaption(*window), recipientBox(*window)},
                                                   {subjectCaption(*window), subjectEdit(*window)},
                                                   {bodyCaption(*window), bodyEdit(*window)}};
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
  bodyEdit(*window)->setPlainText(QString(100, u'a') + QString(10, u'本'));
  QCOMPARE(bodyCounter(*window)->text(), QStringLiteral("120/???"));

  chooseFromList(carrierBox(*window), carrier);
  QCOMPARE(carrierBox(*window)->currentIndex(), carrier);
  QCOMPARE(bodyCounter(*window)->text(), caption);
  QVERIFY(boxes.shown().isEmpty());

  bodyEdit(*window)->moveCursor(QTextCursor::End);
  QTest::keyClick(bodyEdit(*window), Qt::Key_X);
  QCOMPARE(bodyCounter(*window)->text(), captionAfterNextChange);
  QCOMPARE(boxes.count(), warnings);
}

void TestMainWindow::typingInTheCarrierBoxChangesNothing() {
  ScriptedMessageBoxes boxes;
  auto window = loadWindow();
  chooseFromList(carrierBox(*window), 1);
  QCOMPARE(bodyCounter(*window)->text(), QStringLiteral("0/500"));

  // Typing the name of another carrier and pressing Enter is no choice.
  carrierBox(*window)->setFocus();
  carrierBox(*window)->lineEdit()->selectAll();
  QTest::keyClicks(carrierBox(*window), QStringLiteral("docomo"));
  QTest::keyClick(carrierBox(*window), Qt::Key_Return);
  QCOMPARE(carrierBox(*window)->currentIndex(), 1);
  QCOMPARE(carrierBox(*window)->currentText(), QStringLiteral("docomo"));
  QCOMPARE(bodyCounter(*window)->text(), QStringLiteral("0/500"));

  // Nor is any other text, and Enter adds nothing to the list.
  carrierBox(*window)->lineEdit()->selectAll();
  QTest::keyClicks(carrierBox(*window), QStringLiteral("au"));
  QTest::keyClick(carrierBox(*window), Qt::Key_Return);
  QCOMPARE(items(carrierBox(*window)), QStringList({QStringLiteral("docomo"), QString(), QStringLiteral("SoftBank")}));
  QCOMPARE(carrierBox(*window)->currentText(), QStringLiteral("au"));
  QCOMPARE(bodyCounter(*window)->text(), QStringLiteral("0/500"));

  // Leaving the box keeps the carrier last chosen from the list.
  QTest::keyClick(carrierBox(*window), Qt::Key_Tab);
  QCOMPARE(SettingsInUse::value(QStringLiteral("CarrierNum"), QStringLiteral("DefaultNum")), QStringLiteral("1"));
  // The limit counted against is still the chosen carrier's.
  QTest::keyClick(bodyEdit(*window), Qt::Key_X);
  QCOMPARE(bodyCounter(*window)->text(), QStringLiteral("1/500"));
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
  bodyEdit(*window)->setPlainText(startBody);  // no limit yet: no warning
  chooseFromList(carrierBox(*window), carrier);
  bodyEdit(*window)->setFocus();
  bodyEdit(*window)->moveCursor(QTextCursor::End);

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
      QTest::sendKeyEvent(QTest::Click, bodyEdit(*window), Qt::Key_unknown, step.mid(5), Qt::NoModifier);
    else if (step.startsWith(QLatin1String("compose:"))) {
      QInputMethodEvent compose(step.mid(8), {});
      QApplication::sendEvent(bodyEdit(*window), &compose);
    } else if (step.startsWith(QLatin1String("commit:"))) {
      QInputMethodEvent commit;
      commit.setCommitString(step.mid(7));
      QApplication::sendEvent(bodyEdit(*window), &commit);
    } else if (step == QLatin1String("back"))
      QTest::keyClick(bodyEdit(*window), Qt::Key_Backspace);
    else if (step == QLatin1String("enter"))
      QTest::keyClick(bodyEdit(*window), Qt::Key_Return);
    else if (step == QLatin1String("paste"))
      bodyEdit(*window)->paste();
    else if (step == QLatin1String("set"))
      bodyEdit(*window)->setPlainText(long600);
    QCOMPARE(boxes.count(), warned.at(i));
    // The text keeps every byte; the counter follows it.
    QCOMPARE(window->bodyByteCount(), bytes.at(i));
    QVERIFY(bodyCounter(*window)->text().startsWith(QString::number(bytes.at(i)) + u'/'));
  }
  QCOMPARE(bodyCounter(*window)->text(), caption);
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
  chooseFromList(carrierBox(*window), 0);
  subjectEdit(*window)->setFocus();
  QTest::sendKeyEvent(QTest::Click, subjectEdit(*window), Qt::Key_unknown, QStringLiteral("会議"), Qt::NoModifier);
  QTest::keyClicks(subjectEdit(*window), QStringLiteral("ab"));
  QCOMPARE(subjectCounter(*window)->text(), QStringLiteral("6"));
  subjectEdit(*window)->setText(QString(300, u'題'));
  QCOMPARE(subjectCounter(*window)->text(), QStringLiteral("600"));
  subjectEdit(*window)->clear();
  QCOMPARE(subjectCounter(*window)->text(), QStringLiteral("0"));
  // Pasted line breaks become nothing: the counter counts what is sent.
  subjectEdit(*window)->setText(QStringLiteral("会議\r\nのお知らせ\n"));
  QCOMPARE(subjectEdit(*window)->text(), QStringLiteral("会議のお知らせ"));
  QCOMPARE(subjectCounter(*window)->text(), QStringLiteral("14"));
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
    QCOMPARE(carrierBox(*window)->currentIndex(), -1);
    if (choose >= 0) chooseFromList(carrierBox(*window), choose);
    QTest::mouseClick(subjectEdit(*window), Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), subjectEdit(*window));
    QCOMPARE(SettingsInUse::value(QStringLiteral("CarrierNum"), QStringLiteral("DefaultNum")), written);
  }
  auto window = loadWindow();
  QCOMPARE(carrierBox(*window)->currentIndex(), choose);
  QCOMPARE(bodyCounter(*window)->text(), captionAtNextStart);
}

void TestMainWindow::recipientWrittenToBothKeys() {
  folder_->writeIni(dataIni(QStringLiteral("-1"), 3));
  auto window = loadWindow();
  const QStringList book = items(recipientBox(*window));
  QCOMPARE(book.size(), 4);

  recipientBox(*window)->setFocus();
  chooseFromList(recipientBox(*window), 3);
  QCOMPARE(recipientBox(*window)->currentText(), QStringLiteral("jiro@softbank.ne.jp"));
  QTest::keyClick(recipientBox(*window), Qt::Key_Tab);

  const QString stored = Scrambling::scramble(QStringLiteral("jiro@softbank.ne.jp"));
  QCOMPARE(SettingsInUse::value(QStringLiteral("MAIL"), QStringLiteral("To")), stored);
  QCOMPARE(SettingsInUse::value(QStringLiteral("AddrIndex"), QStringLiteral("0")), stored);
  QCOMPARE(SettingsInUse::value(QStringLiteral("AddrIndex"), QStringLiteral("3")), stored);
  QCOMPARE(items(recipientBox(*window)), book);  // the list is not touched

  // An emptied box stores the empty value under both keys.
  recipientBox(*window)->setFocus();
  recipientBox(*window)->clearEditText();
  QTest::mouseClick(copyButton(*window), Qt::LeftButton);
  QCOMPARE(SettingsInUse::value(QStringLiteral("MAIL"), QStringLiteral("To")), QString());
  QCOMPARE(SettingsInUse::value(QStringLiteral("AddrIndex"), QStringLiteral("0")), QString());
  QCOMPARE(items(recipientBox(*window)), book);
}

void TestMainWindow::onlyALossOfFocusToTheWindowWrites() {
  folder_->writeIni(dataIni(QStringLiteral("7")));
  auto window = loadWindow();
  int settingsOpened = 0;
  QObject::connect(window.get(), &MainWindow::settingsRequested, [&] { ++settingsOpened; });
  const QByteArray untouched = folder_->iniBytes();
  QCOMPARE(QApplication::focusWidget(), carrierBox(*window));

  // The box's own list opening and closing.
  carrierBox(*window)->showPopup();
  QTRY_VERIFY(carrierBox(*window)->view()->isVisible());
  carrierBox(*window)->hidePopup();
  QTRY_COMPARE(QApplication::focusWidget(), carrierBox(*window));
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
  QCOMPARE(QApplication::focusWidget(), carrierBox(*window));
  QCOMPARE(folder_->iniBytes(), untouched);

  // Clicking a button of the window is a loss of focus.
  QTest::mouseClick(settingsButton(*window), Qt::LeftButton);
  QCOMPARE(settingsOpened, 1);
  QCOMPARE(SettingsInUse::value(QStringLiteral("CarrierNum"), QStringLiteral("DefaultNum")), QStringLiteral("-1"));

  // The same for the recipient box.
  recipientBox(*window)->setFocus();
  QCOMPARE(QApplication::focusWidget(), recipientBox(*window));
  const QByteArray beforeRecipient = folder_->iniBytes();
  recipientBox(*window)->showPopup();
  QTRY_VERIFY(recipientBox(*window)->view()->isVisible());
  recipientBox(*window)->hidePopup();
  QTRY_COMPARE(QApplication::focusWidget(), recipientBox(*window));
  QCOMPARE(folder_->iniBytes(), beforeRecipient);
  recipientBox(*window)->setEditText(QStringLiteral("new@example.jp"));
  QTest::mouseClick(closeButton(*window), Qt::LeftButton);
  QCOMPARE(SettingsInUse::value(QStringLiteral("MAIL"), QStringLiteral("To")),
           Scrambling::scramble(QStringLiteral("new@example.jp")));
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
  sendMove(window.get(), grabbed + delta, button);
  QCOMPARE(window->pos(), start + delta);
  // The window followed: the pointer is over the grabbed point again.
  QTest::mouseRelease(window.get(), button, {}, grabbed);
  QCOMPARE(window->pos(), start + delta);

  // After the release, moving without a button held does nothing.
  sendMove(window.get(), grabbed + QPoint(40, 40), Qt::NoButton);
  QCOMPARE(window->pos(), start + delta);
}

void TestMainWindow::pressesOnControlsDoNotDrag() {
  auto window = loadWindow();
  const QPoint start = window->pos();
  const QList<QWidget*> controls = {subjectCaption(*window), bodyCounter(*window), carrierCaption(*window),
                                    subjectEdit(*window), copyButton(*window)};
  for (QWidget* control : controls) {
    QTest::mousePress(control, Qt::LeftButton);
    sendMove(window.get(), QPoint(50, 50), Qt::LeftButton);
    QTest::mouseRelease(control, Qt::LeftButton);
    QVERIFY2(window->pos() == start, control->metaObject()->className());
  }
}

void TestMainWindow::copiesTheBodyOnly() {
  auto window = loadWindow();
  QClipboard* clipboard = QGuiApplication::clipboard();
  subjectEdit(*window)->setText(QStringLiteral("件名"));
  bodyEdit(*window)->setPlainText(QStringLiteral("一行目\r\n二行目\nthird"));
  QTest::mouseClick(copyButton(*window), Qt::LeftButton);
  QCOMPARE(clipboard->text(), QStringLiteral("一行目\n二行目\nthird"));
  QCOMPARE(bodyEdit(*window)->toPlainText(), QStringLiteral("一行目\n二行目\nthird"));
  QCOMPARE(subjectEdit(*window)->text(), QStringLiteral("件名"));

  bodyEdit(*window)->clear();
  clipboard->setText(QStringLiteral("old"));
  QTest::mouseClick(copyButton(*window), Qt::LeftButton);
  QCOMPARE(clipboard->text(), QString());
}

void TestMainWindow::buttonsForwardToTheirHandlers() {
  ScriptedMessageBoxes boxes({MessageBox::Answer::Ok});
  auto socket = std::make_unique<FakeSocket>();
  FakeSocket* connections = socket.get();
  MainWindow window(SettingsFile::inUse(), std::move(socket));
  window.showAndLoad();
  recipientBox(window)->setEditText(QStringLiteral("hanako@docomo.ne.jp"));
  subjectEdit(window)->setText(QStringLiteral("題"));
  bodyEdit(window)->setPlainText(QStringLiteral("本文\n二行目"));
  QTest::mouseClick(sendButton(window), Qt::LeftButton);
  // The send command asked for confirmation and connected.
  QCOMPARE(boxes.count(), 1);
  QCOMPARE(connections->connects, 1);
  // A send under way shows.
  QCOMPARE(window.cursor().shape(), Qt::BusyCursor);

  // Clearing after a send empties both boxes and their counters follow.
  emit window.sendBoxes().clearSubjectAndBody();
  QCOMPARE(subjectEdit(window)->text(), QString());
  QCOMPARE(subjectCounter(window)->text(), QStringLiteral("0"));
  QCOMPARE(bodyCounter(window)->text(), QStringLiteral("0/???"));

  // Closing while connected asks first; はい drops the connection and the
  // window goes.
  const qsizetype shown = boxes.count();
  boxes.queue(MessageBox::Answer::Yes);
  QTest::mouseClick(closeButton(window), Qt::LeftButton);
  QCOMPARE(boxes.count(), shown + 1);
  QCOMPARE(boxes.texts().last(), kSendingQuestion);
  QCOMPARE(connections->closes, 1);
  QVERIFY(!window.isVisible());
}

void TestMainWindow::closingAsksWhatWouldBeLost_data() {
  QTest::addColumn<QString>("subject");
  QTest::addColumn<QString>("body");
  QTest::addColumn<bool>("sent");       // a send completed (the boxes kept) before the close
  QTest::addColumn<bool>("byButton");   // 閉じる, else the window's own close
  QTest::addColumn<bool>("asks");
  QTest::addColumn<MessageBox::Answer>("answer");
  const QString none;
  const QString typed = QStringLiteral("書きかけ");
  using MessageBox::Answer;
  QTest::newRow("empty boxes") << none << none << false << true << false << Answer::No;
  QTest::newRow("subject typed, いいえ") << typed << none << false << true << true << Answer::No;
  QTest::newRow("body typed, はい") << none << typed << false << true << true << Answer::Yes;
  QTest::newRow("window's close, いいえ") << typed << typed << false << false << true << Answer::No;
  QTest::newRow("window's close, はい") << none << typed << false << false << true << Answer::Yes;
  QTest::newRow("right after a completed send") << typed << typed << true << true << false << Answer::No;
}

// Closing with a subject or body that has not been sent asks first;
// いいえ keeps the window (and the texts).
void TestMainWindow::closingAsksWhatWouldBeLost() {
  QFETCH(QString, subject);
  QFETCH(QString, body);
  QFETCH(bool, sent);
  QFETCH(bool, byButton);
  QFETCH(bool, asks);
  QFETCH(MessageBox::Answer, answer);
  ScriptedMessageBoxes boxes;
  auto window = loadWindow();
  subjectEdit(*window)->setText(subject);
  bodyEdit(*window)->setPlainText(body);
  if (sent) {
    boxes.queue(MessageBox::Answer::No);  // keep the subject and body
    emit window->transmission().sent(MailLog::LogResult{true, QString(), QString()});
  }
  const qsizetype before = boxes.count();
  boxes.queue(answer);
  if (byButton)
    QTest::mouseClick(closeButton(*window), Qt::LeftButton);
  else
    window->close();

  QCOMPARE(boxes.count(), before + (asks ? 1 : 0));
  if (asks) {
    const MessageBox::Request& question = boxes.shown().last();
    QCOMPARE(question.text, kUnsentQuestion);
    QCOMPARE(question.buttons, MessageBox::Buttons::YesNo);
    QCOMPARE(question.icon, MessageBox::Icon::Question);
    QCOMPARE(question.defaultButton, MessageBox::Answer::No);
    QCOMPARE(question.title, QString());  // the program's title
  }
  const bool stays = asks && answer == MessageBox::Answer::No;
  QCOMPARE(window->isVisible(), stays);
  QCOMPARE(subjectEdit(*window)->text(), subject);
  QCOMPARE(bodyEdit(*window)->toPlainText(), body);
}

// The send takes the boxes' texts as they were when it was confirmed; the
// mail text breaks the body's lines with CR LF, as the headers do.
void TestMainWindow::sendTakesTheTextsAsTyped() {
  ScriptedMessageBoxes boxes({MessageBox::Answer::Ok});
  auto socket = std::make_unique<FakeSocket>();
  FakeSocket* server = socket.get();
  server->connectsAtOnce = true;
  MainWindow window(SettingsFile::inUse(), std::move(socket));
  window.showAndLoad();
  recipientBox(window)->setEditText(QStringLiteral("hanako@docomo.ne.jp"));
  subjectEdit(window)->setText(QStringLiteral("題"));
  bodyEdit(window)->setPlainText(QStringLiteral("本文\n二行目"));
  QTest::mouseClick(sendButton(window), Qt::LeftButton);
  bodyEdit(window)->setPlainText(QStringLiteral("後から"));

  // The POP login first (PBSMTP is on), then SMTP up to the end of the mail text.
  for (const char* reply : {"+OK ready\r\n", "+OK\r\n", "+OK\r\n"}) server->arrive(reply);
  server->serverCloses();
  QCOMPARE(server->lastHost, QStringLiteral("smtp.example.jp"));
  for (const char* reply : {"220 mx\r\n", "250 Ok\r\n", "250 mx\r\n", "250 Ok\r\n", "250 Ok\r\n", "354 Go\r\n"})
    server->arrive(reply);
  QVERIFY2(server->sent.contains("\r\nRCPT TO:<hanako@docomo.ne.jp>\r\n"), server->sent.constData());
  QVERIFY2(server->sent.endsWith(Cp932::fromUnicode(QStringLiteral("\r\nSUBJECT:題\r\n\r\n本文\r\n二行目\r\n.\r\n"))),
           server->sent.constData());
}

// Return and Enter press the focused button, as Space does.
void TestMainWindow::returnPressesTheFocusedButton() {
  ScriptedMessageBoxes boxes;
  auto window = loadWindow();
  int opened = 0;
  QObject::connect(window.get(), &MainWindow::settingsRequested, [&opened] { ++opened; });
  bodyEdit(*window)->setPlainText(QStringLiteral("本文"));
  settingsButton(*window)->setFocus();
  QTest::keyClick(settingsButton(*window), Qt::Key_Return);
  QCOMPARE(opened, 1);
  QTest::keyClick(settingsButton(*window), Qt::Key_Enter, Qt::KeypadModifier);
  QCOMPARE(opened, 2);
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->setText(QStringLiteral("old"));
  copyButton(*window)->setFocus();
  QTest::keyClick(copyButton(*window), Qt::Key_Return);
  QCOMPARE(clipboard->text(), QStringLiteral("本文"));
  // Typed in the subject box, Return presses nothing.
  subjectEdit(*window)->setFocus();
  QTest::keyClick(subjectEdit(*window), Qt::Key_Return);
  QCOMPARE(opened, 2);
  QVERIFY(boxes.shown().isEmpty());
}

void TestMainWindow::ctrlReturnSendsFromAnyBox_data() {
  QTest::addColumn<QString>("box");
  QTest::addColumn<bool>("keypad");
  for (const char* box : {"carrierBox", "recipientBox", "subjectEdit", "bodyEdit"})
    QTest::addRow("%s", box) << QString::fromLatin1(box) << false;
  QTest::newRow("bodyEdit, keypad Enter") << QStringLiteral("bodyEdit") << true;
}

// Ctrl+Return asks the confirmation of メール送信 and sends; the body gets
// no line break from it.
void TestMainWindow::ctrlReturnSendsFromAnyBox() {
  QFETCH(QString, box);
  QFETCH(bool, keypad);
  ScriptedMessageBoxes boxes({MessageBox::Answer::Ok});
  auto socket = std::make_unique<FakeSocket>();
  FakeSocket* connections = socket.get();
  MainWindow window(SettingsFile::inUse(), std::move(socket));
  window.showAndLoad();
  window.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&window));
  recipientBox(window)->setEditText(QStringLiteral("hanako@docomo.ne.jp"));
  bodyEdit(window)->setPlainText(QStringLiteral("本文"));
  QWidget* focused = child<QWidget>(window, box);
  focused->setFocus();
  QTRY_VERIFY(focused->hasFocus());
  if (keypad)
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
  else
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return, Qt::ControlModifier);
  QCOMPARE(boxes.count(), 1);
  QVERIFY(boxes.texts().first().startsWith(QStringLiteral("メールを送信してよろしいですか？")));
  QCOMPARE(connections->connects, 1);
  QCOMPARE(bodyEdit(window)->toPlainText(), QStringLiteral("本文"));

  // A second Ctrl+Return while the send runs neither asks nor connects.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return, Qt::ControlModifier);
  QCOMPARE(boxes.count(), 1);
  QCOMPARE(connections->connects, 1);
}

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
