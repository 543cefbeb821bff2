// Data.ini in a folder others can write: whatever they put in its place (a
// link, a hard link, a file of theirs), a save never writes through it and
// never makes a Data.ini out of another file's contents.
#include "settings_in_use.h"
#include "temp_app_folder.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTest>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kMail = QStringLiteral("MAIL");
const QByteArray kSettings = QByteArrayLiteral("[MAIL]\r\nTo=@101\r\n");
const QByteArray kSecret = QByteArrayLiteral("[MAIL]\r\nPASS=the user's other secret\r\n");

QByteArray contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes, mode_t mode) {
  QFile file(path);
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(bytes);
  ::chmod(QFile::encodeName(path).constData(), mode);
}

// What a regular file at the path holds, read without following a link;
// empty for a link or nothing.
QByteArray regularFileAt(const QString& path) {
  const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (descriptor < 0) return QByteArray();
  QFile file;
  if (!file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    ::close(descriptor);
    return QByteArray();
  }
  return file.readAll();
}

}  // namespace

class TestSettingsFileSwaps : public QObject {
  Q_OBJECT

 private slots:
  // Put in Data.ini's place before the save: each is refused, and left as it was.
  void refusedInDataIniPlace_data() {
    QTest::addColumn<QString>("inPlace");
    QTest::newRow("link to a file of ours") << QStringLiteral("link");
    QTest::newRow("hard link to a file of ours") << QStringLiteral("hard link");
    QTest::newRow("another user's file") << QStringLiteral("others");
  }

  void refusedInDataIniPlace() {
    QFETCH(QString, inPlace);
    TempAppFolder folder;
    const QString secret = folder.path() + QStringLiteral("secret");
    writeFile(secret, kSecret, 0600);
    if (inPlace == QLatin1String("link")) {
      QVERIFY(QFile::link(secret, folder.iniPath()));
    } else if (inPlace == QLatin1String("hard link")) {
      QCOMPARE(::link(QFile::encodeName(secret).constData(), QFile::encodeName(folder.iniPath()).constData()), 0);
    } else {
      if (::geteuid() != 0) QSKIP("giving a file to another user needs root");
      writeFile(folder.iniPath(), kSettings, 0644);
      QCOMPARE(::chown(QFile::encodeName(folder.iniPath()).constData(), 65534, 65534), 0);
    }
    struct stat before {};
    QCOMPARE(::lstat(QFile::encodeName(folder.iniPath()).constData(), &before), 0);
    const QByteArray beforeBytes = contents(folder.iniPath());

    QVERIFY(!SettingsInUse::write(kMail, QStringLiteral("To"), QStringLiteral("@202")));

    struct stat after {};
    QCOMPARE(::lstat(QFile::encodeName(folder.iniPath()).constData(), &after), 0);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(contents(folder.iniPath()), beforeBytes);
    QCOMPARE(contents(secret), kSecret);
  }

  // While the program saves again and again, a second thread keeps putting
  // a plain file and then a link to the user's other file in Data.ini's
  // place (a few seconds).
  // No save may write through it, and no Data.ini a save leaves may hold
  // that file's contents.
  void swappedForLinkDuringSaves() {
    TempAppFolder folder;
    const QString secret = folder.path() + QStringLiteral("secret");
    writeFile(secret, kSecret, 0600);
    writeFile(folder.iniPath(), kSettings, 0644);
    const QByteArray link = QFile::encodeName(folder.path() + QStringLiteral("swap"));
    const QByteArray target = QFile::encodeName(secret);
    const QByteArray iniPath = QFile::encodeName(folder.iniPath());

    const QString plain = folder.path() + QStringLiteral("plain");
    const QByteArray plainPath = QFile::encodeName(plain);

    // A plain file, then a link, again and again: a save that looked at
    // the plain file may meet the link when it opens it.
    std::atomic<bool> stop = false;
    std::atomic<int> swaps = 0;
    std::thread swapper([&] {
      while (!stop) {
        writeFile(plain, kSettings, 0644);
        ::rename(plainPath.constData(), iniPath.constData());
        ::unlink(link.constData());
        if (::symlink(target.constData(), link.constData()) == 0 && ::rename(link.constData(), iniPath.constData()) == 0)
          ++swaps;
      }
    });

    int saves = 0;
    int refused = 0;
    bool leaked = false;
    for (QDeadlineTimer deadline(3000); !deadline.hasExpired() && !leaked; ++saves) {
      if (SettingsInUse::write(kMail, QStringLiteral("To"), QString::number(saves)) == 0) ++refused;
      leaked = regularFileAt(folder.iniPath()).contains("other secret");
    }
    stop = true;
    swapper.join();

    QVERIFY2(!leaked, qPrintable(QStringLiteral("after %1 saves").arg(saves)));
    QCOMPARE(contents(secret), kSecret);
    struct stat secretStatus {};
    QCOMPARE(::lstat(target.constData(), &secretStatus), 0);
    QCOMPARE(secretStatus.st_mode & 07777, mode_t(0600));
    // The race was run: links were put in place and met by saves.
    QVERIFY(swaps > 0);
    QVERIFY(refused > 0);
  }
};

QTEST_GUILESS_MAIN(TestSettingsFileSwaps)
#include "tst_settings_file_swaps.moc"
