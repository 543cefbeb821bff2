// The keyring module is loaded only by its full name, from the program's own
// folder or the installed library folder beside it, and only when no one
// but the user (or root) could have put it there or changed it.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kPlantedRan = QByteArrayLiteral("planted module ran");

bool setMode(const QString& path, mode_t mode) { return ::chmod(QFile::encodeName(path).constData(), mode) == 0; }

// A program folder of the test's making: the probe copied into
// <root>/bin, its module where the row puts it.
class ProgramFolder {
 public:
  ProgramFolder() : program_(dir_.filePath(QStringLiteral("bin"))) {
    QDir().mkpath(program_);
    QFile::copy(QStringLiteral(KEYRING_MODULE_PROBE), probe());
    setMode(probe(), 0755);
  }
  QString probe() const { return program_ + QStringLiteral("/keyring_module_probe"); }
  QString programFolder() const { return program_; }
  QString installedModuleFolder() const { return dir_.filePath(QStringLiteral("lib/talvenor")); }

  // What the probe prints: the planted module's line once it was loaded.
  QByteArray run() const {
    QProcess process;
    process.start(probe(), {});
    if (!process.waitForFinished(60000)) return QByteArrayLiteral("probe did not end");
    return process.readAllStandardOutput() + process.readAllStandardError();
  }

 private:
  QTemporaryDir dir_;
  QString program_;
};

}  // namespace

class TestKeyringModuleLoading : public QObject {
  Q_OBJECT

 private slots:
  void onlyTrustedModuleIsLoaded_data() {
    QTest::addColumn<bool>("installedLayout");  // lib/talvenor beside bin/, not bin/ itself
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<bool>("othersFile");  // owned by another user
    QTest::addColumn<bool>("asLink");      // a link to a module of ours elsewhere
    QTest::addColumn<bool>("loaded");

    const QString so = QStringLiteral("talvenor_keyring.so");
    const QString bare = QStringLiteral("talvenor_keyring");
    QTest::newRow("beside the program") << false << so << 0755 << 0644 << false << false << true;
    QTest::newRow("installed library folder") << true << so << 0755 << 0644 << false << false << true;
    QTest::newRow("name without suffix") << false << bare << 0755 << 0644 << false << false << false;
    QTest::newRow("name without suffix, folder open to all") << false << bare << 01777 << 0644 << false << false
                                                             << false;
    QTest::newRow("folder open to all") << false << so << 01777 << 0644 << false << false << false;
    QTest::newRow("folder writable by the group") << false << so << 0775 << 0644 << false << false << false;
    QTest::newRow("installed folder open to all") << true << so << 01777 << 0644 << false << false << false;
    QTest::newRow("module writable by others") << false << so << 0755 << 0666 << false << false << false;
    QTest::newRow("module writable by the group") << false << so << 0755 << 0664 << false << false << false;
    QTest::newRow("another user's module") << false << so << 0755 << 0644 << true << false << false;
    QTest::newRow("module a link") << false << so << 0755 << 0644 << false << true << false;
  }

  void onlyTrustedModuleIsLoaded() {
    QFETCH(bool, installedLayout);
    QFETCH(QString, fileName);
    QFETCH(int, folderMode);
    QFETCH(int, fileMode);
    QFETCH(bool, othersFile);
    QFETCH(bool, asLink);
    QFETCH(bool, loaded);
    if (othersFile && ::geteuid() != 0) QSKIP("giving a file to another user needs root");

    ProgramFolder program;
    const QString folder = installedLayout ? program.installedModuleFolder() : program.programFolder();
    QVERIFY(QDir().mkpath(folder));
    const QString module = folder + QLatin1Char('/') + fileName;
    QString planted = module;
    if (asLink) {
      planted = program.programFolder() + QStringLiteral("/../elsewhere.so");
      QVERIFY(QFile::link(planted, module));
    }
    QVERIFY(QFile::copy(QStringLiteral(PLANTED_KEYRING_MODULE), planted));
    QVERIFY(setMode(planted, mode_t(fileMode)));
    if (othersFile) QCOMPARE(::chown(QFile::encodeName(planted).constData(), 65534, 65534), 0);
    QVERIFY(setMode(folder, mode_t(folderMode)));

    const QByteArray output = program.run();
    QCOMPARE(output.contains(kPlantedRan), loaded);
  }
};

QTEST_GUILESS_MAIN(TestKeyringModuleLoading)
#include "tst_keyring_module_loading.moc"
