// The sent-mail log: folders per day, the choice of the file name, append
// mode and CP932 content, subjects that must not become a file, and links,
// FIFOs and other users' folders and files that must not be written to.

#include "cp932.h"
#include "temp_app_folder.h"
#include "write_log.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

enum class Hostile {
  LogFolderLink,
  DayFolderLink,
  LastNameLink,
  LastNameFifo,
  LastNameFifoWithReader,
  LastNameHardLink,
  LogFolderOthersCanWrite,
  DayFolderGroupCanWrite,
  LogFolderOfAnotherUser,
  DayFolderOfAnotherUser,
  LastNameOfAnotherUser,
};
Q_DECLARE_METATYPE(Hostile)

namespace {

const QDateTime kNow(QDate(2004, 3, 22), QTime(9, 30, 15));
const QString kMessage = QStringLiteral(
    "Date:Mon, 22 Mar 2004 09:30:15 +0900\r\nFrom:taro@example.jp\r\nTO:hanako@example.jp\r\n"
    "X-Mailer: Talvenor 2.1.0 by harbex7\r\nSUBJECT:会議\r\n\r\n明日の会議は十時からです。");

QString dayFolder() { return MailLog::logFolderPath() + QStringLiteral("/20040322/"); }

// The mail text in the code page, as the Shift-JIS mail hands it over.
MailLog::LogResult writeLog(const QString& text, const QString& subject, const QDateTime& now) {
  return MailLog::writeLog(MailLog::placeInUse(), Cp932::fromUnicode(text), subject, now);
}

void touch(const QString& name) {
  QFile file(dayFolder() + name);
  QVERIFY(file.open(QIODevice::WriteOnly));
}

QByteArray contents(const QString& name) {
  QFile file(dayFolder() + name);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// Every file under the program's folder except Data.ini, relative to it.
QStringList allFiles(const TempAppFolder& folder) {
  QStringList files;
  QDirIterator it(folder.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
  while (it.hasNext()) files << QDir(folder.path()).relativeFilePath(it.next());
  files.removeAll(QStringLiteral("Data.ini"));
  files.sort();
  return files;
}

int mode(const QString& path) {
  struct stat status {};
  return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 07777) : -1;
}

// root and everything under it as lstat sees it, with the bytes of plain
// files: equal snapshots mean nothing was made, changed or written through.
QStringList snapshot(const QString& root) {
  QStringList entries;
  const auto describe = [&entries](const QString& path) {
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0) return;
    QString entry = QStringLiteral("%1 mode %2 uid %3 size %4 mtime %5.%6")
                        .arg(path)
                        .arg(status.st_mode, 0, 8)
                        .arg(status.st_uid)
                        .arg(status.st_size)
                        .arg(status.st_mtim.tv_sec)
                        .arg(status.st_mtim.tv_nsec);
    QFile file(path);
    if (S_ISREG(status.st_mode) && file.open(QIODevice::ReadOnly)) entry += QLatin1Char(' ') + file.readAll().toHex();
    entries << entry;
  };
  describe(root);
  QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) describe(it.next());
  entries.sort();
  return entries;
}

// The day folder with every name for "会議" taken but the last, the
// time-stamped one the mail would join.
void takeAllNumbers() {
  QVERIFY(QDir().mkpath(dayFolder()));
  touch(QStringLiteral("会議.eml"));
  for (int n = 1; n <= 512; ++n) touch(QStringLiteral("会議(%1).eml").arg(n));
}

const QString kLastName = QStringLiteral("会議(93015).eml");
constexpr uid_t kAnotherUser = 65534;  // nobody

}  // namespace

class TstWriteLog : public QObject {
  Q_OBJECT

 private slots:
  void firstMailCreatesTheFolders();
  void fileName_data();
  void fileName();
  void appendsToAnExistingFile();
  void everySubjectGetsAFile_data();
  void everySubjectGetsAFile();
  void unwritableLogIsReported();
  void newFoldersAndFilesArePrivate();
  void logFolderTakenByAFile();
  void existingFoldersKeepTheirModes();
  void hostileThingsAreRefused_data();
  void hostileThingsAreRefused();
  void aLinkHoldingANameIsPassedBy_data();
  void aLinkHoldingANameIsPassedBy();
};

// Log folder and day folder are made on first need; the content is the
// mail text in CP932 followed by CR LF.
void TstWriteLog::firstMailCreatesTheFolders() {
  TempAppFolder folder;
  QCOMPARE(MailLog::logFolderPath(), folder.path() + QStringLiteral("mailLOG"));

  writeLog(kMessage, QStringLiteral("会議"), kNow);

  QCOMPARE(allFiles(folder), QStringList{QStringLiteral("mailLOG/20040322/会議.eml")});
  QCOMPARE(contents(QStringLiteral("会議.eml")), Cp932::fromUnicode(kMessage) + "\r\n");
}

void TstWriteLog::fileName_data() {
  QTest::addColumn<QString>("subject");
  QTest::addColumn<QStringList>("existing");
  QTest::addColumn<QString>("chosen");

  QStringList upTo511 = {QStringLiteral("会議.eml")};
  for (int n = 1; n <= 511; ++n) upTo511 << QStringLiteral("会議(%1).eml").arg(n);
  QStringList untitledAll = {QStringLiteral("無題.eml")};
  for (int n = 1; n <= 512; ++n) untitledAll << QStringLiteral("無題(%1).eml").arg(n);

  QTest::newRow("plain name") << QStringLiteral("会議") << QStringList() << QStringLiteral("会議.eml");
  QTest::newRow("first free number")
      << QStringLiteral("会議") << QStringList{QStringLiteral("会議.eml"), QStringLiteral("会議(1).eml")}
      << QStringLiteral("会議(2).eml");
  QTest::newRow("a gap is filled")
      << QStringLiteral("会議") << QStringList{QStringLiteral("会議.eml"), QStringLiteral("会議(2).eml")}
      << QStringLiteral("会議(1).eml");
  QTest::newRow("number 512 is the last") << QStringLiteral("会議") << upTo511 << QStringLiteral("会議(512).eml");
  QTest::newRow("all numbers taken: time stamp")
      << QStringLiteral("会議") << upTo511 + QStringList{QStringLiteral("会議(512).eml")}
      << QStringLiteral("会議(93015).eml");
  QTest::newRow("untitled") << QString() << QStringList() << QStringLiteral("無題.eml");
  QTest::newRow("untitled, second of the day")
      << QString() << QStringList{QStringLiteral("無題.eml")} << QStringLiteral("無題(1).eml");
  QTest::newRow("untitled, all numbers taken: plain name again")
      << QString() << untitledAll << QStringLiteral("無題.eml");
  QTest::newRow("a folder of that name does not count as a file")
      << QStringLiteral("会議") << QStringList{QStringLiteral("会議.eml/")} << QStringLiteral("(none)");
  QTest::newRow("CR LF pair already gone from the subject")
      << QStringLiteral("前半後半") << QStringList() << QStringLiteral("前半後半.eml");
}

void TstWriteLog::fileName() {
  QFETCH(QString, subject);
  QFETCH(QStringList, existing);
  QFETCH(QString, chosen);
  TempAppFolder folder;
  QVERIFY(QDir().mkpath(dayFolder()));
  for (const QString& name : existing) {
    if (name.endsWith(QLatin1Char('/')))
      QVERIFY(QDir().mkdir(dayFolder() + name));
    else
      touch(name);
  }

  writeLog(kMessage, subject, kNow);

  QStringList written;
  for (const QString& name : QDir(dayFolder()).entryList(QDir::Files))
    if (!contents(name).isEmpty()) written << name;
  QCOMPARE(written, chosen == QLatin1String("(none)") ? QStringList() : QStringList{chosen});
}

// Append mode: an existing file keeps its text and the new mail follows it;
// a second mail in the same second joins the time-stamped file.
void TstWriteLog::appendsToAnExistingFile() {
  TempAppFolder folder;
  writeLog(QStringLiteral("一通目"), QString(), kNow);
  QFile::rename(dayFolder() + QStringLiteral("無題.eml"), dayFolder() + QStringLiteral("keep"));
  for (int n = 1; n <= 512; ++n) touch(QStringLiteral("無題(%1).eml").arg(n));
  QFile::rename(dayFolder() + QStringLiteral("keep"), dayFolder() + QStringLiteral("無題.eml"));

  writeLog(QStringLiteral("二通目"), QString(), kNow);

  QCOMPARE(contents(QStringLiteral("無題.eml")), Cp932::fromUnicode(QStringLiteral("一通目\r\n二通目\r\n")));
}

void TstWriteLog::everySubjectGetsAFile_data() {
  QTest::addColumn<QString>("subject");
  QTest::addColumn<QString>("file");
  QTest::newRow("question mark") << QStringLiteral("元気?") << QStringLiteral("元気？.eml");
  QTest::newRow("vertical bar") << QStringLiteral("a|b") << QStringLiteral("a｜b.eml");
  QTest::newRow("slash stays in the folder") << QStringLiteral("../../escape") << QStringLiteral("..／..／escape.eml");
  QTest::newRow("backslash") << QStringLiteral("..\\escape") << QStringLiteral("..＼escape.eml");
  QTest::newRow("colon") << QStringLiteral("Re: 会議") << QStringLiteral("Re： 会議.eml");
  QTest::newRow("star") << QStringLiteral("*") << QStringLiteral("＊.eml");
  QTest::newRow("quote and angle brackets") << QStringLiteral("\"<x>\"") << QStringLiteral("＂＜x＞＂.eml");
  QTest::newRow("lone CR left in the subject") << QStringLiteral("a\rb") << QStringLiteral("ab.eml");
  QTest::newRow("tab") << QStringLiteral("a\tb") << QStringLiteral("ab.eml");
  QTest::newRow("only control characters") << QStringLiteral("\t\r") << QStringLiteral("無題.eml");
  QTest::newRow("dot") << QStringLiteral(".") << QStringLiteral("..eml");
  QTest::newRow("two dots") << QStringLiteral("..") << QStringLiteral("...eml");
  // 84 full-width characters are 252 bytes in UTF-8: with ".eml" one too many.
  QTest::newRow("84 full-width") << QString(84, QChar(0x4F1A)) << QString(83, QChar(0x4F1A)) + QStringLiteral(".eml");
  QTest::newRow("200 full-width") << QString(200, QChar(0x4F1A)) << QString(83, QChar(0x4F1A)) + QStringLiteral(".eml");
  QTest::newRow("a pair of surrogates is not split")
      << QString(125, u'a') + QStringLiteral("😀").repeated(40) << QString(125, u'a') + QStringLiteral("😀").repeated(31) + QStringLiteral(".eml");
}

// Every subject gets a file inside the day folder, named as near to the
// subject as a file name can be.
void TstWriteLog::everySubjectGetsAFile() {
  QFETCH(QString, subject);
  QFETCH(QString, file);
  TempAppFolder folder;

  const MailLog::LogResult result = MailLog::writeLog(MailLog::placeInUse(), kMessage.toUtf8(), subject, kNow);

  QVERIFY(result.written);
  QCOMPARE(allFiles(folder), QStringList{QStringLiteral("mailLOG/20040322/") + file});
  QCOMPARE(result.path, dayFolder() + file);
}

// A log that cannot be written (here a folder stands where the file would
// go): the result says where and why.
void TstWriteLog::unwritableLogIsReported() {
  TempAppFolder folder;
  QVERIFY(QDir().mkpath(dayFolder() + QStringLiteral("会議.eml")));

  const MailLog::LogResult result = MailLog::writeLog(MailLog::placeInUse(), "text", QStringLiteral("会議"), kNow);

  QVERIFY(!result.written);
  QCOMPARE(result.path, dayFolder() + QStringLiteral("会議.eml"));
  QVERIFY(!result.reason.isEmpty());
}

// Folders and files the log makes are the user's alone; one that exists
// keeps its mode.
void TstWriteLog::newFoldersAndFilesArePrivate() {
  TempAppFolder folder;
  writeLog(kMessage, QStringLiteral("会議"), kNow);
  QCOMPARE(mode(MailLog::logFolderPath()), 0700);
  QCOMPARE(mode(dayFolder()), 0700);
  QCOMPARE(mode(dayFolder() + QStringLiteral("会議.eml")), 0600);

  QVERIFY(::chmod(QFile::encodeName(dayFolder() + QStringLiteral("会議.eml")).constData(), 0640) == 0);
  writeLog(kMessage, QStringLiteral("会議"), kNow.addSecs(1));
  QCOMPARE(mode(dayFolder() + QStringLiteral("会議(1).eml")), 0600);
  QCOMPARE(mode(dayFolder() + QStringLiteral("会議.eml")), 0640);
}

// A file named like the log folder: no folder, no file, and the reason.
void TstWriteLog::logFolderTakenByAFile() {
  TempAppFolder folder;
  QFile blocker(MailLog::logFolderPath());
  QVERIFY(blocker.open(QIODevice::WriteOnly));
  blocker.close();

  const MailLog::LogResult result = writeLog(kMessage, QStringLiteral("会議"), kNow);

  QCOMPARE(allFiles(folder), QStringList{QStringLiteral("mailLOG")});
  QVERIFY(!result.written);
  QCOMPARE(result.path, MailLog::logFolderPath());
  QCOMPARE(result.reason, QStringLiteral("フォルダではありません"));
}

// Log folders of an older version, made with the user's umask, are used as
// they are.
void TstWriteLog::existingFoldersKeepTheirModes() {
  TempAppFolder folder;
  QVERIFY(QDir().mkpath(dayFolder()));
  QVERIFY(::chmod(QFile::encodeName(MailLog::logFolderPath()).constData(), 0755) == 0);
  QVERIFY(::chmod(QFile::encodeName(dayFolder()).constData(), 0750) == 0);

  QVERIFY(writeLog(kMessage, QStringLiteral("会議"), kNow).written);

  QCOMPARE(mode(MailLog::logFolderPath()), 0755);
  QCOMPARE(mode(dayFolder()), 0750);
  QCOMPARE(mode(dayFolder() + QStringLiteral("会議.eml")), 0600);
}

void TstWriteLog::hostileThingsAreRefused_data() {
  QTest::addColumn<Hostile>("hostile");
  QTest::addColumn<QString>("path");  // the one reported, under the program's folder
  QTest::addColumn<QString>("reason");
  const QString log = QStringLiteral("mailLOG");
  const QString day = QStringLiteral("mailLOG/20040322");
  const QString last = day + QLatin1Char('/') + kLastName;
  const QString folderIsLink = QStringLiteral("フォルダがシンボリックリンクです");
  const QString othersCanWrite = QStringLiteral("他のユーザーが書き込めるフォルダです");
  const QString otherOwner = QStringLiteral("所有者が異なります");
  const QString notRegular = QStringLiteral("通常のファイルではありません");

  QTest::newRow("log folder is a link") << Hostile::LogFolderLink << log << folderIsLink;
  QTest::newRow("day folder is a link") << Hostile::DayFolderLink << day << folderIsLink;
  QTest::newRow("last name is a link")
      << Hostile::LastNameLink << last << QStringLiteral("ファイルがシンボリックリンクです");
  QTest::newRow("last name is a FIFO") << Hostile::LastNameFifo << last << notRegular;
  QTest::newRow("last name is a FIFO with a reader") << Hostile::LastNameFifoWithReader << last << notRegular;
  QTest::newRow("last name is a hard link")
      << Hostile::LastNameHardLink << last << QStringLiteral("ハードリンクされたファイルです");
  QTest::newRow("log folder others can write") << Hostile::LogFolderOthersCanWrite << log << othersCanWrite;
  QTest::newRow("day folder the group can write") << Hostile::DayFolderGroupCanWrite << day << othersCanWrite;
  QTest::newRow("log folder of another user") << Hostile::LogFolderOfAnotherUser << log << otherOwner;
  QTest::newRow("day folder of another user") << Hostile::DayFolderOfAnotherUser << day << otherOwner;
  QTest::newRow("last name of another user") << Hostile::LastNameOfAnotherUser << last << otherOwner;
}

// Something another local user placed where the log goes (a link to a
// file or folder of the victim's, a FIFO, a hard link, a folder or file of
// their own, a folder anyone can write): nothing is written, the result
// says where and why, and nothing anywhere is made or changed.
void TstWriteLog::hostileThingsAreRefused() {
  QFETCH(Hostile, hostile);
  QFETCH(QString, path);
  QFETCH(QString, reason);
  const bool anotherUser = hostile == Hostile::LogFolderOfAnotherUser || hostile == Hostile::DayFolderOfAnotherUser ||
                           hostile == Hostile::LastNameOfAnotherUser;
  if (anotherUser && ::geteuid() != 0) QSKIP("giving a file to another user takes root");

  TempAppFolder folder;
  QTemporaryDir victimDir;
  const QString victim = victimDir.filePath(QStringLiteral("victim.txt"));
  {
    QFile file(victim);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("the victim's own text\n");
  }
  const QByteArray log = QFile::encodeName(MailLog::logFolderPath());
  const QByteArray day = QFile::encodeName(dayFolder().chopped(1));
  const QByteArray last = QFile::encodeName(dayFolder() + kLastName);
  int reader = -1;
  switch (hostile) {
    case Hostile::LogFolderLink:
      QVERIFY(::symlink(QFile::encodeName(victimDir.path()).constData(), log.constData()) == 0);
      break;
    case Hostile::DayFolderLink:
      QVERIFY(::mkdir(log.constData(), 0700) == 0);
      QVERIFY(::symlink(QFile::encodeName(victimDir.path()).constData(), day.constData()) == 0);
      break;
    case Hostile::LastNameLink:
      takeAllNumbers();
      QVERIFY(::symlink(QFile::encodeName(victim).constData(), last.constData()) == 0);
      break;
    case Hostile::LastNameFifo:
    case Hostile::LastNameFifoWithReader:
      takeAllNumbers();
      QVERIFY(::mkfifo(last.constData(), 0666) == 0);
      if (hostile == Hostile::LastNameFifoWithReader) QVERIFY((reader = ::open(last.constData(), O_RDONLY | O_NONBLOCK)) >= 0);
      break;
    case Hostile::LastNameHardLink:
      takeAllNumbers();
      QVERIFY(::link(QFile::encodeName(victim).constData(), last.constData()) == 0);
      break;
    case Hostile::LogFolderOthersCanWrite:
      QVERIFY(::mkdir(log.constData(), 0700) == 0 && ::chmod(log.constData(), 0777) == 0);
      break;
    case Hostile::DayFolderGroupCanWrite:
      QVERIFY(::mkdir(log.constData(), 0700) == 0 && ::mkdir(day.constData(), 0700) == 0);
      QVERIFY(::chmod(day.constData(), 0770) == 0);
      break;
    case Hostile::LogFolderOfAnotherUser:
      QVERIFY(::mkdir(log.constData(), 0700) == 0 && ::chown(log.constData(), kAnotherUser, kAnotherUser) == 0);
      break;
    case Hostile::DayFolderOfAnotherUser:
      QVERIFY(::mkdir(log.constData(), 0700) == 0 && ::mkdir(day.constData(), 0700) == 0);
      QVERIFY(::chown(day.constData(), kAnotherUser, kAnotherUser) == 0);
      break;
    case Hostile::LastNameOfAnotherUser: {
      takeAllNumbers();
      QFile file(QFile::decodeName(last));
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write("another user's text\n");
      file.close();
      QVERIFY(::chown(last.constData(), kAnotherUser, kAnotherUser) == 0);
      break;
    }
  }
  const QStringList before = snapshot(folder.path()) + snapshot(victimDir.path());

  const MailLog::LogResult result = writeLog(kMessage, QStringLiteral("会議"), kNow);

  QVERIFY(!result.written);
  QCOMPARE(result.path, folder.path() + path);
  QCOMPARE(result.reason, reason);
  QCOMPARE(snapshot(folder.path()) + snapshot(victimDir.path()), before);
  if (reader >= 0) {
    char byte = 0;
    const ssize_t got = ::read(reader, &byte, 1);
    ::close(reader);
    QCOMPARE(got, ssize_t(0));  // no writer left, nothing sent
  }
}

void TstWriteLog::aLinkHoldingANameIsPassedBy_data() {
  QTest::addColumn<QString>("target");  // in the victim's folder
  QTest::newRow("link to a file") << QStringLiteral("victim.txt");
  QTest::newRow("dangling link") << QStringLiteral("made-through-the-link.txt");
}

// A link standing on a name makes it taken, no more: the mail goes to the
// next free name, and nothing is made or changed where the link points.
void TstWriteLog::aLinkHoldingANameIsPassedBy() {
  QFETCH(QString, target);
  TempAppFolder folder;
  QTemporaryDir victimDir;
  {
    QFile file(victimDir.filePath(QStringLiteral("victim.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("the victim's own text\n");
  }
  QVERIFY(QDir().mkpath(dayFolder()));
  QVERIFY(QFile::link(victimDir.filePath(target), dayFolder() + QStringLiteral("会議.eml")));
  const QStringList victimBefore = snapshot(victimDir.path());

  const MailLog::LogResult result = writeLog(kMessage, QStringLiteral("会議"), kNow);

  QVERIFY(result.written);
  QCOMPARE(result.path, dayFolder() + QStringLiteral("会議(1).eml"));
  QCOMPARE(contents(QStringLiteral("会議(1).eml")), Cp932::fromUnicode(kMessage) + "\r\n");
  QCOMPARE(snapshot(victimDir.path()), victimBefore);
  QVERIFY(QFileInfo(dayFolder() + QStringLiteral("会議.eml")).isSymLink());
}

QTEST_GUILESS_MAIN(TstWriteLog)
#include "tst_write_log.moc"
