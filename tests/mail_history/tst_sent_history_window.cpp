// The 送信履歴 window over a log folder: its rows and texts, the search,
// reuse in the main window and deleting, and how it is opened.
#include "find_child.h"
#include "fake_socket.h"
#include "settings_window.h"
#include "logged_mail.h"
#include "scripted_message_boxes.h"
#include "sent_history_opener.h"
#include "sent_history_window.h"
#include "settings_window_opener.h"
#include "main_window.h"
#include "temp_app_folder.h"
#include "write_log.h"

#include <QApplication>
#include <QComboBox>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

using Charset = MailSettings::Charset;

namespace {

const QString kEmpty = QStringLiteral("送信ログはまだありません。");

struct LogFolder {
  TempAppFolder app;
  QString path = MailLog::logFolderPath();

  // A mail as the program logs it, sent at the given minute of 17 May 2024.
  QString add(const QString& day, const QString& name, const QString& subject, const QString& body,
              Charset charset, int minute, const QString& to = QStringLiteral("hanako@docomo.ne.jp")) {
    LoggedMail::Typed typed;
    typed.subject = subject;
    typed.body = body;
    typed.to = to;
    typed.date = typed.date.addSecs(minute * 60);
    const QString file = path + QLatin1Char('/') + day + QLatin1Char('/') + name;
    LoggedMail::write(file, LoggedMail::bytes(typed, charset));
    return file;
  }

  // Every file under the folder with its bytes and time.
  QMap<QString, QPair<QByteArray, QDateTime>> snapshot() const {
    QMap<QString, QPair<QByteArray, QDateTime>> files;
    for (QDirIterator it(path, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
      const QString file = it.next();
      QFile f(file);
      f.open(QIODevice::ReadOnly);
      files.insert(file, {f.readAll(), it.fileInfo().lastModified()});
    }
    return files;
  }
};

QStringList shownColumn(QWidget& window, int column) {
  QStringList texts;
  const QAbstractItemModel* model = child<QTreeView>(window, "mailList")->model();
  for (int row = 0; row < model->rowCount(); ++row) texts << model->index(row, column).data().toString();
  return texts;
}

void waitUntilLoaded(SentHistoryWindow& window) {
  QTRY_VERIFY(!window.index().isLoading());
  QTRY_VERIFY(!window.index().isSearching());
}

void select(QWidget& window, int shownRow) {
  child<QTreeView>(window, "mailList")
      ->setCurrentIndex(child<QTreeView>(window, "mailList")->model()->index(shownRow, 0));
}

int shownRowOf(SentHistoryWindow& window, const QString& subject) {
  return int(shownColumn(window, SentMailListModel::SubjectColumn).indexOf(subject));
}

std::unique_ptr<MainWindow> mainWindow(const TempAppFolder& app) {
  QFile::copy(qEnvironmentVariable("TALVENOR_SOURCE_DIR") + QStringLiteral("/Data.ini"), app.iniPath());
  QFile::setPermissions(app.iniPath(), QFile::ReadOwner | QFile::WriteOwner);
  auto window = std::make_unique<MainWindow>(app.settingsFile(), std::make_unique<FakeSocket>());
  MainWindow* main = window.get();
  QObject::connect(main, &MainWindow::historyRequested, main, [main] { showSentHistory(*main); });
  QObject::connect(main, &MainWindow::settingsRequested, main, [main] { showSettingsWindow(*main); });
  window->showAndLoad();
  return window;
}

// The window the program made through the history module.
QWidget* historyOf(MainWindow& main) {
  return main.findChild<QWidget*>(QStringLiteral("sentHistoryWindow"), Qt::FindDirectChildrenOnly);
}

}  // namespace

class TstSentHistoryWindow : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { useHistoryModuleFileForTesting(QStringLiteral(TALVENOR_HISTORY_MODULE)); }
  void rowsAndTexts();
  void noLogYet();
  void newLogsAppear();
  void search_data();
  void search();
  void composeFillsTheMainWindow();
  void deleteRemovesOneFile();
  void openedByCtrlHAndFromTheSettings();
  void missingModuleIsSaidAndTheProgramGoesOn();
};

void TstSentHistoryWindow::rowsAndTexts() {
  LogFolder log;
  log.add(QStringLiteral("20240517"), QStringLiteral("会議.eml"), QStringLiteral("会議"),
          QStringLiteral("明日は十時から。\n以上"), Charset::ShiftJis, 3);
  log.add(QStringLiteral("20240517"), QStringLiteral("会議(1).eml"), QStringLiteral("会議"),
          QStringLiteral("二通目"), Charset::Iso2022Jp, 4);
  log.add(QStringLiteral("20240517"), QStringLiteral("絵文字.eml"), QStringLiteral("絵文字 🎉"),
          QStringLiteral("🎉"), Charset::Utf8, 5, QStringLiteral("jiro@softbank.ne.jp"));
  for (int i = 0; i < 100; ++i)
    log.add(QStringLiteral("20240516"), QStringLiteral("お知らせ(%1).eml").arg(i), QStringLiteral("お知らせ%1").arg(i),
            QStringLiteral("本文%1").arg(i), Charset(i % 3), -1440 + i);
  LoggedMail::write(log.path + QStringLiteral("/20240517/空.eml"), QByteArray());
  LoggedMail::write(log.path + QStringLiteral("/20240517/メモ.eml"), "買い物リスト\nたまご\n");
  LoggedMail::write(log.path + QStringLiteral("/20240517/readme.txt"), "Date: x\r\n\r\n");
  const auto before = log.snapshot();

  SentHistoryWindow window(log.path);
  window.show();
  waitUntilLoaded(window);

  QCOMPARE(child<QTreeView>(window, "mailList")->model()->rowCount(), 103);
  QCOMPARE(shownColumn(window, SentMailListModel::SubjectColumn).mid(0, 4),
           (QStringList{QStringLiteral("絵文字 🎉"), QStringLiteral("会議"), QStringLiteral("会議"),
                        QStringLiteral("お知らせ99")}));
  QCOMPARE(shownColumn(window, SentMailListModel::SubjectColumn).last(), QStringLiteral("お知らせ0"));
  const QDateTime sent = QDateTime(QDate(2024, 5, 17), QTime(9, 35), Qt::OffsetFromUTC, 9 * 3600).toLocalTime();
  QCOMPARE(shownColumn(window, SentMailListModel::DateColumn).first(), sent.toString(u"yyyy/MM/dd HH:mm"));
  QCOMPARE(shownColumn(window, SentMailListModel::RecipientColumn).first(), QStringLiteral("jiro@softbank.ne.jp"));
  QVERIFY(child<QLabel>(window, "unreadableNote")->isVisible());
  QCOMPARE(child<QLabel>(window, "unreadableNote")->text(), QStringLiteral("読み込めなかったファイル: 2 件"));
  QVERIFY(!child<QLabel>(window, "emptyNote")->isVisible());

  select(window, 2);  // the Shift_JIS mail
  QCOMPARE(child<QLineEdit>(window, "shownTo")->text(), QStringLiteral("hanako@docomo.ne.jp"));
  QCOMPARE(child<QLineEdit>(window, "shownFrom")->text(), QStringLiteral("taro@example.jp"));
  QCOMPARE(child<QLineEdit>(window, "shownSubject")->text(), QStringLiteral("会議"));
  QCOMPARE(child<QPlainTextEdit>(window, "shownBody")->toPlainText(), QStringLiteral("明日は十時から。\n以上"));
  QVERIFY(child<QPlainTextEdit>(window, "shownBody")->isReadOnly());
  QVERIFY(child<QLineEdit>(window, "shownSubject")->isReadOnly());

  QCOMPARE(log.snapshot(), before);  // reading changes nothing
}

void TstSentHistoryWindow::noLogYet() {
  LogFolder log;
  SentHistoryWindow window(log.path);
  window.show();
  waitUntilLoaded(window);
  QVERIFY(child<QLabel>(window, "emptyNote")->isVisible());
  QCOMPARE(child<QLabel>(window, "emptyNote")->text(), kEmpty);
  QVERIFY(!child<QLabel>(window, "unreadableNote")->isVisible());
  QVERIFY(!QFileInfo::exists(log.path));
}

// Mails the program logs while the window is open come into the list,
// also when the log folder itself is made only then.
void TstSentHistoryWindow::newLogsAppear() {
  LogFolder log;
  SentHistoryWindow window(log.path);
  window.show();
  waitUntilLoaded(window);

  QVERIFY(MailLog::writeLog(MailLog::placeInUse(), LoggedMail::bytes({.subject = QStringLiteral("一通目"), .body = {}}, Charset::ShiftJis).chopped(2),
                            QStringLiteral("一通目"))
              .written);
  QTRY_COMPARE(shownColumn(window, SentMailListModel::SubjectColumn), QStringList{QStringLiteral("一通目")});
  QTRY_VERIFY(!child<QLabel>(window, "emptyNote")->isVisible());

  QVERIFY(MailLog::writeLog(MailLog::placeInUse(), LoggedMail::bytes({.subject = QStringLiteral("二通目"), .body = {}}, Charset::Utf8).chopped(2),
                            QStringLiteral("二通目"))
              .written);
  QTRY_COMPARE(child<QTreeView>(window, "mailList")->model()->rowCount(), 2);
}

void TstSentHistoryWindow::search_data() {
  QTest::addColumn<QString>("word");
  QTest::addColumn<QStringList>("subjects");
  const QString meeting = QStringLiteral("Weekly Meeting");
  const QString report = QStringLiteral("ＲＥＰＯＲＴ提出");
  const QString guide = QStringLiteral("ｶﾞｲﾄﾞ");
  const QString plain = QStringLiteral("連絡");
  QTest::newRow("ASCII, other case") << QStringLiteral("MEETING") << QStringList{meeting};
  QTest::newRow("full-width for half-width") << QStringLiteral("ｍｅｅｔｉｎｇ") << QStringList{meeting};
  QTest::newRow("half-width for full-width") << QStringLiteral("report") << QStringList{report};
  QTest::newRow("katakana, full-width for half-width") << QStringLiteral("ガイド") << QStringList{guide};
  QTest::newRow("katakana, half-width for half-width") << QStringLiteral("ｶﾞｲ") << QStringList{guide};
  QTest::newRow("Japanese in subjects and bodies") << QStringLiteral("提出") << QStringList{plain, report};
  QTest::newRow("a word only in one body") << QStringLiteral("合言葉") << QStringList{plain};
  QTest::newRow("recipient") << QStringLiteral("SOFTBANK") << QStringList{guide};
  QTest::newRow("nothing") << QStringLiteral("見つからない") << QStringList{};
  QTest::newRow("blank") << QStringLiteral("  ") << QStringList{plain, guide, report, meeting};
}

void TstSentHistoryWindow::search() {
  QFETCH(QString, word);
  QFETCH(QStringList, subjects);
  LogFolder log;
  log.add(QStringLiteral("20240517"), QStringLiteral("a.eml"), QStringLiteral("Weekly Meeting"),
          QStringLiteral("Agenda attached."), Charset::Utf8, 1);
  log.add(QStringLiteral("20240517"), QStringLiteral("b.eml"), QStringLiteral("ＲＥＰＯＲＴ提出"),
          QStringLiteral("よろしく"), Charset::Iso2022Jp, 2);
  log.add(QStringLiteral("20240517"), QStringLiteral("c.eml"), QStringLiteral("ｶﾞｲﾄﾞ"), QStringLiteral("案内"),
          Charset::ShiftJis, 3, QStringLiteral("jiro@softbank.ne.jp"));
  log.add(QStringLiteral("20240517"), QStringLiteral("d.eml"), QStringLiteral("連絡"),
          QStringLiteral("書類は提出済み。\n合言葉は山と川。"), Charset::ShiftJis, 4);

  SentHistoryWindow window(log.path);
  window.show();
  waitUntilLoaded(window);
  QTest::keyClicks(child<QLineEdit>(window, "searchBox"),
                   QStringLiteral("x"));  // a word before, replaced as the user types on
  waitUntilLoaded(window);
  child<QLineEdit>(window, "searchBox")->setText(word);
  waitUntilLoaded(window);
  QCOMPARE(shownColumn(window, SentMailListModel::SubjectColumn), subjects);

  child<QLineEdit>(window, "searchBox")->clear();
  QCOMPARE(child<QTreeView>(window, "mailList")->model()->rowCount(), 4);
}

void TstSentHistoryWindow::composeFillsTheMainWindow() {
  LogFolder log;
  log.add(QStringLiteral("20240517"), QStringLiteral("会議.eml"), QStringLiteral("会議"),
          QStringLiteral("十時から\n第２会議室"), Charset::Iso2022Jp, 1, QStringLiteral("jiro@softbank.ne.jp"));
  ScriptedMessageBoxes boxes;
  auto main = mainWindow(log.app);
  emit main->historyRequested();
  QWidget* history = historyOf(*main);
  QVERIFY(history && history->isVisible());
  QTRY_COMPARE(child<QTreeView>(*history, "mailList")->model()->rowCount(), 1);
  select(*history, 0);

  // Empty boxes: filled without a question; the counters count.
  QTest::mouseClick(child<QPushButton>(*history, "composeButton"), Qt::LeftButton);
  QCOMPARE(boxes.count(), 0);
  QCOMPARE(child<QComboBox>(*main, "recipientBox")->currentText(), QStringLiteral("jiro@softbank.ne.jp"));
  QCOMPARE(child<QLineEdit>(*main, "subjectEdit")->text(), QStringLiteral("会議"));
  QCOMPARE(child<QPlainTextEdit>(*main, "bodyEdit")->toPlainText(), QStringLiteral("十時から\n第２会議室"));
  QCOMPARE(child<QLabel>(*main, "subjectCounter")->text(), QStringLiteral("4"));
  QVERIFY(child<QLabel>(*main, "bodyCounter")->text().contains(QStringLiteral("20")));

  // Text being written: asked first, いいえ keeps it.
  child<QLineEdit>(*main, "subjectEdit")->setText(QStringLiteral("書きかけ"));
  child<QPlainTextEdit>(*main, "bodyEdit")->setPlainText(QStringLiteral("途中"));
  boxes.queue(MessageBox::Answer::No);
  QTest::mouseClick(child<QPushButton>(*history, "composeButton"), Qt::LeftButton);
  QCOMPARE(boxes.count(), 1);
  QCOMPARE(boxes.shown().last().text, QStringLiteral("作成中の題名と本文を、このメールの内容で置き換えますか？"));
  QCOMPARE(boxes.shown().last().defaultButton, MessageBox::Answer::No);
  QCOMPARE(child<QLineEdit>(*main, "subjectEdit")->text(), QStringLiteral("書きかけ"));
  QCOMPARE(child<QPlainTextEdit>(*main, "bodyEdit")->toPlainText(), QStringLiteral("途中"));

  boxes.queue(MessageBox::Answer::Yes);
  QTest::mouseClick(child<QPushButton>(*history, "composeButton"), Qt::LeftButton);
  QCOMPARE(child<QLineEdit>(*main, "subjectEdit")->text(), QStringLiteral("会議"));
  QCOMPARE(child<QPlainTextEdit>(*main, "bodyEdit")->toPlainText(), QStringLiteral("十時から\n第２会議室"));
}

void TstSentHistoryWindow::deleteRemovesOneFile() {
  LogFolder log;
  const QString older = log.add(QStringLiteral("20240516"), QStringLiteral("会議.eml"), QStringLiteral("会議"),
                                QStringLiteral("前日"), Charset::ShiftJis, -1440);
  const QString newer = log.add(QStringLiteral("20240517"), QStringLiteral("会議.eml"), QStringLiteral("会議"),
                                QStringLiteral("当日"), Charset::ShiftJis, 1);
  log.add(QStringLiteral("20240517"), QStringLiteral("他.eml"), QStringLiteral("他"), QString(), Charset::Utf8, 0);
  auto before = log.snapshot();
  ScriptedMessageBoxes boxes;
  SentHistoryWindow window(log.path);
  window.show();
  waitUntilLoaded(window);
  select(window, shownRowOf(window, QStringLiteral("会議")));
  QCOMPARE(window.selectedPath(), newer);

  boxes.queue(MessageBox::Answer::No);
  QTest::mouseClick(child<QPushButton>(window, "deleteButton"), Qt::LeftButton);
  QCOMPARE(boxes.count(), 1);
  QCOMPARE(boxes.shown().last().defaultButton, MessageBox::Answer::No);
  QCOMPARE(boxes.shown().last().buttons, MessageBox::Buttons::YesNo);
  QVERIFY(boxes.shown().last().text.startsWith(QStringLiteral("選択したメールのログファイルを削除しますか？")));
  QCOMPARE(log.snapshot(), before);

  boxes.queue(MessageBox::Answer::Yes);
  QTest::mouseClick(child<QPushButton>(window, "deleteButton"), Qt::LeftButton);
  before.remove(newer);
  QCOMPARE(log.snapshot(), before);
  QVERIFY(QFileInfo::exists(older));
  QCOMPARE(child<QTreeView>(window, "mailList")->model()->rowCount(), 2);
  QCOMPARE(child<QPlainTextEdit>(window, "shownBody")->toPlainText(), QString());

  // A file that holds two mails says so before both go.
  const QString shared = log.path + QStringLiteral("/20240517/他.eml");
  QFile file(shared);
  QVERIFY(file.open(QIODevice::Append));
  file.write(LoggedMail::bytes({.subject = QStringLiteral("他"), .body = {}}, Charset::Utf8));
  file.close();
  select(window, shownRowOf(window, QStringLiteral("他")));
  QCOMPARE(window.selectedPath(), shared);
  boxes.queue(MessageBox::Answer::No);
  QTest::mouseClick(child<QPushButton>(window, "deleteButton"), Qt::LeftButton);
  QVERIFY2(boxes.shown().last().text.endsWith(
               QStringLiteral("このファイルには 2 通のメールが含まれています。すべて削除されます。")),
           qPrintable(boxes.shown().last().text));
  QVERIFY(QFileInfo::exists(shared));
}

void TstSentHistoryWindow::openedByCtrlHAndFromTheSettings() {
  LogFolder log;
  ScriptedMessageBoxes boxes;
  auto main = mainWindow(log.app);
  main->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(main.get()));

  child<QPlainTextEdit>(*main, "bodyEdit")->setFocus();
  QTest::keyClick(child<QPlainTextEdit>(*main, "bodyEdit"), Qt::Key_H, Qt::ControlModifier);
  QVERIFY(historyOf(*main) && historyOf(*main)->isVisible());
  QVERIFY(!historyOf(*main)->isModal());
  QCOMPARE(child<QPlainTextEdit>(*main, "bodyEdit")->toPlainText(),
           QString());  // the key went to the history, not into the body
  historyOf(*main)->close();

  // From the settings window, over it and usable while it is open.
  bool historyShown = false;
  bool historyModal = false;
  QTimer::singleShot(0, [&] {
    auto* settings = qobject_cast<SettingsWindow*>(QApplication::activeModalWidget());
    if (settings == nullptr) return;
    QCOMPARE(child<QPushButton>(*settings, "historyButton")->text(), QStringLiteral("送信履歴..."));
    child<QPushButton>(*settings, "historyButton")->click();
    QWidget* history = historyOf(*main);
    historyShown = history && history->isVisible();
    historyModal = history && history->isModal();
    if (history) history->close();
    settings->reject();
  });
  child<QPushButton>(*main, "settingsButton")->click();
  QVERIFY(historyShown);
  QVERIFY(historyModal);
}

// Without the module the user is told so, the main window stays, and the
// window opens once the module is there.
void TstSentHistoryWindow::missingModuleIsSaidAndTheProgramGoesOn() {
  LogFolder log;
  log.add(QStringLiteral("20240517"), QStringLiteral("会議.eml"), QStringLiteral("会議"), QStringLiteral("本文"),
          Charset::ShiftJis, 1);
  ScriptedMessageBoxes boxes;
  auto main = mainWindow(log.app);
  QTemporaryDir empty;
  useHistoryModuleFileForTesting(empty.filePath(QStringLiteral("talvenor_history.so")));
  emit main->historyRequested();
  QCOMPARE(boxes.count(), 1);
  QCOMPARE(boxes.shown().last().text, QStringLiteral("送信履歴を開く部品（talvenor_history.so）を読み込めませんでした。"));
  QCOMPARE(boxes.shown().last().buttons, MessageBox::Buttons::Ok);
  QVERIFY(historyOf(*main) == nullptr);
  QVERIFY(main->isVisible());

  useHistoryModuleFileForTesting(QStringLiteral(TALVENOR_HISTORY_MODULE));
  emit main->historyRequested();
  QCOMPARE(boxes.count(), 1);
  QVERIFY(historyOf(*main) && historyOf(*main)->isVisible());
  QTRY_COMPARE(shownColumn(*historyOf(*main), SentMailListModel::SubjectColumn), QStringList{QStringLiteral("会議")});
}

QTEST_MAIN(TstSentHistoryWindow)
#include "tst_sent_history_window.moc"
