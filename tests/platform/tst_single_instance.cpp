// One running instance per executable: a later start raises the first and
// ends; a crashed first instance never blocks later starts; another user
// holding the name first cannot lift the guard.
#include "single_instance.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUuid>
#include <QWidget>

#include <csignal>
#include <optional>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
QString uniqueKey() { return QStringLiteral("talvenor-test-") + QUuid::createUuid().toString(QUuid::Id128); }

bool serverAnswers(const QString& name, bool abstract = true) {
  QLocalSocket socket;
  if (abstract) socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
  socket.connectToServer(name);
  return socket.waitForConnected(200);
}

bool runsAsRoot() { return ::geteuid() == 0; }

// Sets an environment variable while it lives.
class EnvironmentVariable {
 public:
  EnvironmentVariable(const char* name, const QByteArray& value)
      : name_(name), wasSet_(qEnvironmentVariableIsSet(name)), previous_(qgetenv(name)) {
    qputenv(name, value);
  }
  ~EnvironmentVariable() {
    if (wasSet_) qputenv(name_, previous_);
    else qunsetenv(name_);
  }

 private:
  const char* name_;
  bool wasSet_;
  QByteArray previous_;
};

// A runtime folder of the test's own, private as a login session's is.
class RuntimeFolder {
 public:
  RuntimeFolder() : variable_("XDG_RUNTIME_DIR", QFile::encodeName(dir_.path())) {
    QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  QString path() const { return dir_.path(); }
  QString file(const QString& name) const { return dir_.filePath(name); }

 private:
  QTemporaryDir dir_;
  EnvironmentVariable variable_;
};

// A process of another user (nobody) that binds the abstract name before
// us, as anyone on the machine may. Becoming that user needs root.
class Squatter {
 public:
  Squatter(const QString& key, bool listens) {
    const QByteArray name = key.toUtf8();
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      // Raw system calls only: the child is a copy of one thread.
      ::close(ready[0]);
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      const uid_t nobody = 65534;
      char held = 0;
      if (::syscall(SYS_setgroups, 0, nullptr) == 0 && ::syscall(SYS_setresgid, nobody, nobody, nobody) == 0 &&
          ::syscall(SYS_setresuid, nobody, nobody, nobody) == 0) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + 1, name.constData(), size_t(name.size()));
        const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(name.size()));
        const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (socket >= 0 && ::bind(socket, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            (!listens || ::listen(socket, 16) == 0))
          held = 1;
      }
      if (::write(ready[1], &held, 1) != 1) ::_exit(1);
      for (;;) ::pause();
    }
    ::close(ready[1]);
    char held = 0;
    holds_ = pid_ > 0 && ::read(ready[0], &held, 1) == 1 && held == 1;
    ::close(ready[0]);
  }
  ~Squatter() { leave(); }
  Squatter(const Squatter&) = delete;
  Squatter& operator=(const Squatter&) = delete;

  bool holds() const { return holds_; }
  void leave() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  bool holds_ = false;
};
}  // namespace

class TestSingleInstance : public QObject {
  Q_OBJECT

 private slots:
  void secondInstanceRaisesFirst() {
    const QString key = uniqueKey();
    SingleInstance first(key);
    QVERIFY(first.isFirst());
    int raises = 0;
    QObject::connect(&first, &SingleInstance::raiseRequested, [&raises] { ++raises; });

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

  void squattedNameMovesGuardToPrivateFolder_data() {
    QTest::addColumn<bool>("squatterListens");
    QTest::newRow("squatter listens") << true;
    QTest::newRow("squatter only binds") << false;
  }

  void squattedNameMovesGuardToPrivateFolder() {
    QFETCH(bool, squatterListens);
    if (!runsAsRoot()) QSKIP("running a process as another user needs root");
    RuntimeFolder runtime;
    const QString key = uniqueKey();
    Squatter squatter(key, squatterListens);
    QVERIFY(squatter.holds());

    SingleInstance first(key);
    QVERIFY(first.isFirst());
    QVERIFY(serverAnswers(runtime.file(key), false));
    int raises = 0;
    QObject::connect(&first, &SingleInstance::raiseRequested, [&raises] { ++raises; });

    SingleInstance second(key);
    QVERIFY(!second.isFirst());
    QVERIFY(second.askFirstToRaise());
    QTRY_COMPARE(raises, 1);

    // The name coming free does not let a start run beside the first.
    squatter.leave();
    SingleInstance third(key);
    QVERIFY(!third.isFirst());
    QVERIFY(third.askFirstToRaise());
    QTRY_COMPARE(raises, 2);
  }

  // A runtime folder others could enter is not used; the guard goes to a
  // private folder under the temporary folder, Qt's usual one or else ours.
  // When ours is a link someone put there, or open to others, the guard
  // goes to our folder in the user's cache, leaving the other untouched;
  // only when that one is taken too does the start go on without a guard,
  // and it says so in the transcript.
  void unsafeRuntimeFolderIsPassedOver_data() {
    QTest::addColumn<bool>("usualFolderTaken");
    QTest::addColumn<QString>("ownFolderBefore");
    QTest::addColumn<bool>("cacheFolderTaken");
    QTest::addColumn<QString>("guardFolder");  // relative to the temporary folder; empty: none
    const QString own = QStringLiteral("talvenor-%1").arg(::geteuid());
    const QString cache = QStringLiteral("cache/") + own;
    QTest::newRow("usual folder") << false << QString() << false << QStringLiteral("runtime-root");
    QTest::newRow("own folder") << true << QString() << false << own;
    QTest::newRow("own folder a link") << true << QStringLiteral("link") << false << cache;
    QTest::newRow("own folder open to others") << true << QStringLiteral("open") << false << cache;
    QTest::newRow("own folder another user's") << true << QStringLiteral("others") << false << cache;
    QTest::newRow("own and cache folders taken") << true << QStringLiteral("link") << true << QString();
  }

  void unsafeRuntimeFolderIsPassedOver() {
    QFETCH(bool, usualFolderTaken);
    QFETCH(QString, ownFolderBefore);
    QFETCH(bool, cacheFolderTaken);
    QFETCH(QString, guardFolder);
    if (!runsAsRoot()) QSKIP("running a process as another user needs root");
    const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    const QFile::Permissions openToOthers = ownerOnly | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    QTemporaryDir temporary;
    EnvironmentVariable tmpdir("TMPDIR", QFile::encodeName(temporary.path()));
    EnvironmentVariable cacheHome("XDG_CACHE_HOME", QFile::encodeName(temporary.filePath(QStringLiteral("cache"))));
    const QString unsafe = temporary.filePath(QStringLiteral("runtime"));
    QVERIFY(QDir().mkdir(unsafe, openToOthers));
    EnvironmentVariable runtime("XDG_RUNTIME_DIR", QFile::encodeName(unsafe));
    if (usualFolderTaken) {
      const QString usual = temporary.filePath(QStringLiteral("runtime-root"));
      QVERIFY(QDir().mkdir(usual, ownerOnly));
      QCOMPARE(::chown(QFile::encodeName(usual).constData(), 65534, 65534), 0);
    }
    const QString own = temporary.filePath(QStringLiteral("talvenor-%1").arg(::geteuid()));
    // What the start must leave untouched: the folder behind the link, or the one not ours.
    QString untouched = own;
    if (ownFolderBefore == QLatin1String("link")) {
      untouched = temporary.filePath(QStringLiteral("elsewhere"));
      QVERIFY(QDir().mkdir(untouched, ownerOnly));
      QVERIFY(QFile::link(untouched, own));
    } else if (ownFolderBefore == QLatin1String("open")) {
      QVERIFY(QDir().mkdir(own, openToOthers));
    } else if (ownFolderBefore == QLatin1String("others")) {
      QVERIFY(QDir().mkdir(own, ownerOnly));
      QCOMPARE(::chown(QFile::encodeName(own).constData(), 65534, 65534), 0);
    }
    if (cacheFolderTaken) {
      const QString cache = temporary.filePath(QStringLiteral("cache/talvenor-%1").arg(::geteuid()));
      QVERIFY(QDir().mkpath(cache));
      QVERIFY(QFile::setPermissions(cache, openToOthers));
    }
    const QString key = uniqueKey();
    Squatter squatter(key, true);
    QVERIFY(squatter.holds());

    if (guardFolder.isEmpty()) {
      const QRegularExpression unguarded(QStringLiteral("^Another instance of this program may run beside this one"));
      QTest::ignoreMessage(QtWarningMsg, unguarded);
      SingleInstance first(key);
      QVERIFY(first.isFirst());
      QTest::ignoreMessage(QtWarningMsg, unguarded);
      QVERIFY(SingleInstance(key).isFirst());
      QVERIFY(QDir(untouched).isEmpty(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot));
      return;
    }
    SingleInstance first(key);
    QVERIFY(first.isFirst());
    if (!ownFolderBefore.isEmpty())
      QVERIFY(QDir(untouched).isEmpty(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot));
    QStringList guards;
    for (QDirIterator it(temporary.path(), QDir::System | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
      if (it.next(), it.fileName() == key) guards << it.filePath();
    }
    QCOMPARE(guards.size(), 1);
    const QString guard = guards.first();
    const QString folderOfGuard = QFileInfo(guard).path();
    QCOMPARE(folderOfGuard, temporary.filePath(guardFolder));
    struct stat folderInfo {};
    QCOMPARE(::lstat(QFile::encodeName(folderOfGuard).constData(), &folderInfo), 0);
    QVERIFY(S_ISDIR(folderInfo.st_mode));
    QCOMPARE(folderInfo.st_uid, ::geteuid());
    QCOMPARE(folderInfo.st_mode & 07777, mode_t(0700));
    QVERIFY(serverAnswers(guard, false));
    int raises = 0;
    QObject::connect(&first, &SingleInstance::raiseRequested, [&raises] { ++raises; });

    SingleInstance second(key);
    QVERIFY(!second.isFirst());
    QVERIFY(second.askFirstToRaise());
    QTRY_COMPARE(raises, 1);
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
  // is this test's alone. With the name held by another user, the first
  // instance listens on a file, which its crash leaves behind.
  void realProgramRunsOnceAndSurvivesACrash_data() {
    QTest::addColumn<bool>("squatted");
    QTest::newRow("name free") << false;
    QTest::newRow("name held by another user") << true;
  }

  void realProgramRunsOnceAndSurvivesACrash() {
    QFETCH(bool, squatted);
    if (squatted && !runsAsRoot()) QSKIP("running a process as another user needs root");
    RuntimeFolder runtime;  // the started programs inherit it
    QTemporaryDir folder;
    const QString exe = folder.filePath(QStringLiteral("talvenor"));
    QVERIFY(QFile::copy(QStringLiteral(TALVENOR_EXECUTABLE), exe));
    QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(QFile::copy(qEnvironmentVariable("TALVENOR_SOURCE_DIR") + QStringLiteral("/Data.ini"),
                        folder.filePath(QStringLiteral("Data.ini"))));
    const QString key = SingleInstance::instanceKeyFor(exe);
    std::optional<Squatter> squatter;
    if (squatted) {
      squatter.emplace(key, true);
      QVERIFY(squatter->holds());
    }
    const QString guard = squatted ? runtime.file(key) : key;

    QProcess first;
    first.start(exe);
    QVERIFY(first.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(serverAnswers(guard, !squatted), 20000);

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
    if (squatted) QVERIFY(QFileInfo::exists(guard) && !serverAnswers(guard, false));
    QProcess third;
    third.start(exe);
    QVERIFY(third.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(serverAnswers(guard, !squatted), 20000);
    QCOMPARE(third.state(), QProcess::Running);
    third.kill();
    third.waitForFinished();
  }
};

QTEST_MAIN(TestSingleInstance)
#include "tst_single_instance.moc"
