// A qt.conf someone put in the program's folder would have Qt load its
// plugins from wherever it says; the program keeps Qt's own paths.
#include "single_instance.h"

#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {
bool instanceAnswers(const QString& key) {
  QLocalSocket socket;
  socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
  socket.connectToServer(key);
  return socket.waitForConnected(200);
}
}  // namespace

class TestPlantedQtConf : public QObject {
  Q_OBJECT

 private slots:
  void programFolderQtConfIsNotRead() {
    QTemporaryDir folder;
    const QString exe = folder.filePath(QStringLiteral("talvenor"));
    QVERIFY(QFile::copy(QStringLiteral(TALVENOR_EXECUTABLE), exe));
    QVERIFY(QFile::copy(qEnvironmentVariable("TALVENOR_SOURCE_DIR") + QStringLiteral("/Data.ini"),
                        folder.filePath(QStringLiteral("Data.ini"))));
    // Plugins from an empty folder: the program could not even open a window.
    QFile conf(folder.filePath(QStringLiteral("qt.conf")));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("[Paths]\nPlugins=" + QFile::encodeName(folder.filePath(QStringLiteral("planted"))) + "\n");
    conf.close();

    QProcess program;
    program.start(exe, {});
    QVERIFY(program.waitForStarted());
    const QString key = SingleInstance::instanceKeyFor(exe);
    QTRY_VERIFY_WITH_TIMEOUT(instanceAnswers(key) || program.state() != QProcess::Running, 20000);
    QCOMPARE(program.state(), QProcess::Running);
    program.kill();
    program.waitForFinished();
  }
};

QTEST_GUILESS_MAIN(TestPlantedQtConf)
#include "tst_planted_qt_conf.moc"
