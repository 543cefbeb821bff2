// One running instance per executable: a later start raises the first and
// ends; a crashed first instance never blocks later starts.
#include "single_instance.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUuid>
#include <QWidget>

namespace {
QString uniqueKey() { return QStringLiteral("talvenor-test-") + QUuid::createUuid().toString(QUuid::Id128); }

bool serverAnswers(const QString& key) {
  QLocalSocket socket;
  socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
  socket.connectToServer(key);
  return socket.waitForConnected(200);
}
}  // namespace

class TestSingleInstance : public QObject {
  Q_OBJECT

 private slots:
  void secondInstanceRaisesFirst() {
    const QString key = uniqueKey();
    SingleInstance first(key);
    QVERIFY(first.isFirst());
    int raises = 0;
    first.onRaiseRequest = [&raises] { ++raises; };

    SingleInstance second(key);
    QVERIFY(!second.isFirst());
    QVERIFY(second.askFirstToRaise());
    QTRY_COMPARE(raises, 1);
  }

  void nameIsFreedWhenFirstEnds() {
    const QString key = uniqueKey();
    { SingleInstance first(key); QVERIFY(first.isFirst()); }
    SingleInstance next(key);
    QVERIFY(next.isFirst());
  }

  void raiseRestoresMinimisedMainWindow() {
    QWidget mainWindow;
    mainWindow.showMinimized();
    QTRY_VERIFY(mainWindow.isMinimized());
    raiseLastActiveWindow(&mainWindow);
    QTRY_VERIFY(!mainWindow.isMinimized());
    QVERIFY(mainWindow.isVisible());
  }

  void raiseTargetsOpenModalWindow() {
    QWidget mainWindow;
    mainWindow.show();
    QDialog settings(&mainWindow);
    bool raisedDialog = false;
    QTimer::singleShot(0, [&] {
      raiseLastActiveWindow(&mainWindow);
      raisedDialog = QApplication::activeModalWidget() == &settings && settings.isVisible();
      settings.accept();
    });
    settings.exec();
    QVERIFY(raisedDialog);
  }

  // The real program, copied into a folder of its own so its instance name
  // is this test's alone.
  void realProgramRunsOnceAndSurvivesACrash() {
    QTemporaryDir folder;
    const QString exe = folder.filePath(QStringLiteral("talvenor"));
    QVERIFY(QFile::copy(QStringLiteral(TALVENOR_EXECUTABLE), exe));
    QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(QFile::copy(qEnvironmentVariable("TALVENOR_SOURCE_DIR") + QStringLiteral("/Data.ini"),
                        folder.filePath(QStringLiteral("Data.ini"))));
    const QString key = SingleInstance::instanceKeyFor(exe);

    QProcess first;
    first.start(exe);
    QVERIFY(first.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(serverAnswers(key), 20000);

    // The second start ends at once, without looking at Data.ini.
    QFile::rename(folder.filePath(QStringLiteral("Data.ini")), folder.filePath(QStringLiteral("Data.ini.away")));
    QProcess second;
    second.start(exe);
    QVERIFY(second.waitForFinished(20000));
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);
    QFile::rename(folder.filePath(QStringLiteral("Data.ini.away")), folder.filePath(QStringLiteral("Data.ini")));

    // A first instance that crashed must not block the next start.
    first.kill();
    QVERIFY(first.waitForFinished());
    QProcess third;
    third.start(exe);
    QVERIFY(third.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(serverAnswers(key), 20000);
    QCOMPARE(third.state(), QProcess::Running);
    third.kill();
    third.waitForFinished();
  }
};

QTEST_MAIN(TestSingleInstance)
#include "tst_single_instance.moc"
