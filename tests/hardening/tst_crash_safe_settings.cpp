// Data.ini is never left half-written: not when the writer is killed at a
// random moment, and not when the disk is full; and a killed writer never
// leaves a copy of the password readable by others.
#include "settings_in_use.h"
#include "temp_app_folder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <csignal>

namespace {
constexpr int kKeys = 20;

QString initialIni() {
  QString text = QStringLiteral("; 設定ファイル\n[CarrierNum]\nNum=0\n[MAIL]\n");
  for (int i = 0; i < kKeys; ++i) text += QStringLiteral("k%1=old%1\n").arg(i);
  text += QStringLiteral("PASS=secret\n");
  text += QStringLiteral("[Other]\nkeep=me\n");
  return text;
}
}  // namespace

class TestCrashSafeSettings : public QObject {
  Q_OBJECT

 private slots:
  void killedWriterLeavesCompleteFile() {
    TempAppFolder folder;
    folder.writeIni(initialIni());
    const QByteArray initialBytes = folder.iniBytes();
    constexpr QFileDevice::Permissions kOthers = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                 QFileDevice::ReadOther | QFileDevice::WriteOther;
    const QRegularExpression valueForm(QStringLiteral("^(old%1|new%1-\\d+)$"));
    const int rounds = 300;
    for (int round = 0; round < rounds; ++round) {
      QProcess child;
      child.start(QStringLiteral(INI_WRITER_CHILD), {folder.path(), QString::number(kKeys)});
      QVERIFY(child.waitForStarted());
      QThread::usleep(QRandomGenerator::global()->bounded(2000, 30000));
      ::kill(pid_t(child.processId()), SIGKILL);
      QVERIFY(child.waitForFinished());

      const QByteArray bytes = folder.iniBytes();
      // The file holds a password: whatever the writer left, new file or
      // temporary one, no one else can read it.
      const QDir dir(folder.path());
      for (const QString& name : dir.entryList({QStringLiteral("Data.ini*")}, QDir::Files | QDir::Hidden)) {
        if (name == QStringLiteral("Data.ini") && bytes == initialBytes) continue;
        QVERIFY2((QFile(dir.filePath(name)).permissions() & kOthers) == 0, qPrintable(name));
      }
      QVERIFY2(bytes.startsWith(QByteArrayLiteral("; ")), "the comment line survives");
      QVERIFY2(bytes.endsWith(QByteArrayLiteral("[Other]\r\nkeep=me\r\n")), "the file ends complete");
      QCOMPARE(SettingsInUse::value(QStringLiteral("Other"), QStringLiteral("keep")), QStringLiteral("me"));
      for (int i = 0; i < kKeys; ++i) {
        const QString value = SettingsInUse::value(QStringLiteral("MAIL"), QStringLiteral("k%1").arg(i));
        QVERIFY2(QRegularExpression(valueForm.pattern().arg(i)).match(value).hasMatch(),
                 qPrintable(QStringLiteral("round %1, k%2 = '%3'").arg(round).arg(i).arg(value)));
      }
    }
  }

  // Runs only where the test script gave it a small file system of its own.
  void fullDiskKeepsOldFile() {
    const QString smallDisk = qEnvironmentVariable("TALVENOR_FULL_DISK_DIR");
    if (smallDisk.isEmpty()) QSKIP("needs TALVENOR_FULL_DISK_DIR, a small tmpfs (see run_full_disk.sh)");
    AppPlaces::useProgramFolder(smallDisk + QLatin1Char('/'));
    {
      QFile ini(SettingsFile::inUse().path());
      QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
      ini.write(initialIni().replace(QLatin1String("\n"), QLatin1String("\r\n")).toUtf8());
    }
    const QByteArray before = [] {
      QFile ini(SettingsFile::inUse().path());
      ini.open(QIODevice::ReadOnly);
      return ini.readAll();
    }();
    // Fill the rest of the disk.
    {
      QFile filler(smallDisk + QStringLiteral("/filler"));
      QVERIFY(filler.open(QIODevice::WriteOnly));
      const QByteArray block(4096, 'x');
      while (filler.write(block) == block.size() && filler.flush()) {
      }
    }
    QVERIFY(!SettingsInUse::write(QStringLiteral("MAIL"), QStringLiteral("k0"), QString(8192, QLatin1Char('v'))));
    QFile ini(SettingsFile::inUse().path());
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QCOMPARE(ini.readAll(), before);
    AppPlaces::useProgramFolder(QString());
  }
};

QTEST_GUILESS_MAIN(TestCrashSafeSettings)
#include "tst_crash_safe_settings.moc"
