#include "body_counter.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTest>
#include <QTextCursor>

class TestBodyCounter : public QObject {
  Q_OBJECT

 private slots:
  void byteCount_data();
  void byteCount();
  void trackerFollowsEveryKindOfEdit();
};

void TestBodyCounter::byteCount_data() {
  QTest::addColumn<QString>("body");
  QTest::addColumn<qsizetype>("bytes");
  QTest::newRow("empty") << QString() << qsizetype(0);
  QTest::newRow("half-width letter") << QStringLiteral("a") << qsizetype(1);
  QTest::newRow("full-width character") << QStringLiteral("あ") << qsizetype(2);
  QTest::newRow("full-width letter") << QStringLiteral("Ａ") << qsizetype(2);
  QTest::newRow("half-width katakana") << QStringLiteral("ｱｲｳ") << qsizetype(3);
  QTest::newRow("line break counts as CR LF") << QStringLiteral("ab\nc") << qsizetype(5);
  QTest::newRow("only line breaks") << QStringLiteral("\n\n") << qsizetype(4);
  QTest::newRow("mixed") << QStringLiteral("今日はOK\nｶﾅ。") << qsizetype(6 + 2 + 2 + 2 + 2);
  QTest::newRow("unmappable becomes one ?") << QStringLiteral("a\U0001F600b") << qsizetype(3);
}

void TestBodyCounter::byteCount() {
  QFETCH(QString, body);
  QFETCH(qsizetype, bytes);
  QCOMPARE(BodyCounter::bodyByteCount(body), bytes);
}

// Random edits of every kind the box sees (typing, deleting, replacing a
// selection, multi-line pastes, undo and redo, the program setting or
// clearing the text): after each, the kept text and count must be those of
// the box's whole text, and a change is reported exactly when the text
// differs from before.
void TestBodyCounter::trackerFollowsEveryKindOfEdit() {
  QPlainTextEdit edit;
  BodyByteTracker tracker(edit.document());
  QRandomGenerator random(20240611);
  const QStringList pieces = {QStringLiteral("a"),         QStringLiteral("あ"),
                              QStringLiteral("ｶ"),         QStringLiteral("漢字"),
                              QStringLiteral("\n"),        QStringLiteral("\r\n"),
                              QStringLiteral("x\ny\nz"),   QStringLiteral("\U0001F600"),
                              QString(QChar(QChar::Nbsp)), QStringLiteral("Meeting 10:00\n会議室"),
                              QString(QChar(QChar::LineSeparator))};
  auto randomText = [&] {
    QString text;
    const int parts = int(random.bounded(1, 6));
    for (int i = 0; i < parts; ++i) text += pieces.at(int(random.bounded(qsizetype(pieces.size()))));
    return text;
  };

  QString previous;
  for (int step = 0; step < 1500; ++step) {
    QTextCursor cursor(edit.document());
    const int end = edit.document()->characterCount() - 1;
    const int a = int(random.bounded(end + 1));
    const int b = int(random.bounded(end + 1));
    switch (random.bounded(10)) {
      case 0:
      case 1:
      case 2:
        cursor.setPosition(a);
        cursor.insertText(randomText());
        break;
      case 3:
      case 4:
        cursor.setPosition(a);
        cursor.setPosition(b, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        break;
      case 5:
        cursor.setPosition(a);
        cursor.setPosition(b, QTextCursor::KeepAnchor);
        cursor.insertText(randomText());
        break;
      case 6:
        edit.undo();
        break;
      case 7:
        edit.redo();
        break;
      case 8:
        if (random.bounded(8) == 0)
          edit.clear();
        else
          edit.appendPlainText(randomText());
        break;
      case 9:
        if (random.bounded(6) == 0) edit.setPlainText(randomText() + randomText());
        break;
    }
    const QString plain = edit.toPlainText();
    QCOMPARE(tracker.text(), plain);
    QCOMPARE(tracker.count(), BodyCounter::bodyByteCount(plain));
    QCOMPARE(tracker.takeChanged(), plain != previous);
    previous = plain;
  }
}

QTEST_MAIN(TestBodyCounter)
#include "tst_body_counter.moc"
