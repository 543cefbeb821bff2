// The on-screen message box: buttons, default button, title, and what
// closing it without a button counts as.
#include "message_box.h"
#include "message_box_screen.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using MessageBox::Answer;
using MessageBox::Buttons;
using MessageBox::Icon;

class TestMessageBox : public QObject {
  Q_OBJECT

 private:
  // Runs f on the box as soon as it is on the screen.
  static void whenShown(std::function<void(QMessageBox*)> f) {
    QTimer::singleShot(0, [f] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      QVERIFY(box);
      f(box);
    });
  }

 private slots:
  void initTestCase() { MessageBox::setResponder(MessageBox::screenResponder()); }

  void escapeAnswers_data() {
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("expected");
    QTest::newRow("ok only") << int(Buttons::Ok) << int(Answer::Ok);
    QTest::newRow("ok cancel") << int(Buttons::OkCancel) << int(Answer::Cancel);
    QTest::newRow("yes no") << int(Buttons::YesNo) << int(Answer::No);
  }
  void escapeAnswers() {
    QFETCH(int, buttons);
    QFETCH(int, expected);
    whenShown([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
    QCOMPARE(int(MessageBox::show(QStringLiteral("本文"), Buttons(buttons))), expected);
  }

  void closeButtonCountsAsNo() {
    whenShown([](QMessageBox* box) { box->close(); });
    QCOMPARE(MessageBox::show(QStringLiteral("題名と本文をクリアしますか？"), Buttons::YesNo, Icon::Question),
             Answer::No);
  }

  void titleTextAndDefaultButton() {
    QString title, text;
    QString defaultText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    whenShown([&](QMessageBox* box) {
      title = box->windowTitle();
      text = box->text();
      icon = box->icon();
      defaultText = box->defaultButton() ? box->defaultButton()->text() : QString();
      QTest::keyClick(box, Qt::Key_Return);
    });
    const Answer answer = MessageBox::show(QStringLiteral("一行目\r\n<b>二行目</b>"), Buttons::OkCancel, Icon::Question);
    QCOMPARE(answer, Answer::Ok);  // Enter takes the default, the first button
    QCOMPARE(title, QStringLiteral("Talvenor210"));
    QCOMPARE(text, QStringLiteral("一行目\n<b>二行目</b>"));
    QCOMPARE(icon, QMessageBox::Question);
    QVERIFY(!defaultText.isEmpty());
  }

  // A box raised while no window of the program is active (the connection's
  // boxes, while the user works elsewhere) still belongs to its window.
  void ownerIsTheProgramsWindow() {
    QWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(MessageBox::ownerWindow(), &window);
    window.hide();
    QCOMPARE(MessageBox::ownerWindow(), nullptr);
  }

  void explicitTitle() {
    QString title;
    whenShown([&](QMessageBox* box) {
      title = box->windowTitle();
      QTest::keyClick(box, Qt::Key_Return);
    });
    QCOMPARE(MessageBox::show(QStringLiteral("x"), Buttons::YesNo, Icon::None, QStringLiteral("Talvenor設定")),
             Answer::Yes);
    QCOMPARE(title, QStringLiteral("Talvenor設定"));
  }
};

QTEST_MAIN(TestMessageBox)
#include "tst_message_box.moc"
