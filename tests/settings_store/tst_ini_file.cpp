#include "cp932.h"
#include "ini_file.h"
#include "temp_app_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>

#include <unistd.h>

namespace {

QByteArray fixture(const QString& name) {
  QFile file(qEnvironmentVariable("TALVENOR_SOURCE_DIR") + QStringLiteral("/tests/settings_store/fixtures/") + name);
  if (!file.open(QIODevice::ReadOnly)) qFatal("fixture %s missing", qPrintable(name));
  return file.readAll();
}

// CP932 bytes of a text written here in UTF-8.
QByteArray sj(const char* utf8) { return Cp932::fromUnicode(QString::fromUtf8(utf8)); }

const QString kLong300 = QStringLiteral("abcdefghij").repeated(30);

}  // namespace

class TstIniFile : public QObject {
  Q_OBJECT

 private slots:
  void rules_data();
  void rules();
  void writesLeaveEveryOtherByte();
  void readOnlyFileRefusesWrite();
  void readOnlyOrMissingFolderRefusesWrite();
  void writeKeepsPermissionsAndLeavesNoTemporaryFile();
  void megabyteLine();
  void readBatchSeesOurWritesOnly();
  void appFolder_data();
  void appFolder();
};

// One read or write against a small file. For a write, the file afterwards
// must be the old one with `before` replaced by `after` (appended when
// `before` is empty) and nothing else changed; a read changes nothing.
void TstIniFile::rules_data() {
  QTest::addColumn<bool>("exists");
  QTest::addColumn<QByteArray>("file");
  QTest::addColumn<QString>("section");
  QTest::addColumn<QString>("key");
  QTest::addColumn<bool>("write");
  QTest::addColumn<QString>("value");
  QTest::addColumn<QString>("expected");
  QTest::addColumn<QByteArray>("before");
  QTest::addColumn<QByteArray>("after");

  const QByteArray rules = fixture(QStringLiteral("rules.ini"));
  const QByteArray lf = fixture(QStringLiteral("lf_only.ini"));
  const QByteArray bom = fixture(QStringLiteral("bom.ini"));
  const QByteArray none;
  auto read = [&](const char* name, const QByteArray& file, const QString& section, const QString& key,
                  const QString& expected) {
    QTest::newRow(name) << !file.isNull() << file << section << key << false << QString() << expected
                        << QByteArray() << QByteArray();
  };
  auto write = [&](const char* name, const QByteArray& file, const QString& section, const QString& key,
                   const QString& value, const QString& expected, const QByteArray& before,
                   const QByteArray& after) {
    QTest::newRow(name) << !file.isNull() << file << section << key << true << value << expected << before
                        << after;
  };

  read("read exact names", rules, "CarrierNum", "Num", "2");
  read("read names in any case", rules, "CARRIERNUM", "nUm", "2");
  read("read section written in lower case", rules, "CarrierIndex", "0", "docomo");
  read("read blanks around key and value", rules, "CarrierNum", "DefaultNum", "1");
  read("read key ' 1' as '1'", rules, "CarrierIndex", " 1", "au");
  read("read key '1' as ' 1 '", rules, "CarrierIndex", "1", "au");
  read("read multi-byte value", rules, "CarrierIndex", "2", QStringLiteral("ソフトバンク"));
  read("read Japanese names", rules, QStringLiteral("日本語"), QStringLiteral("キー"), QStringLiteral("値"));
  read("read trail byte compared exactly", rules, "CarrierIndex", QStringLiteral("ヂ"), "");
  read("read trail byte like a letter", rules, "CarrierIndex", QStringLiteral("ア"), "katakana a");
  read("read value trimmed", rules, "MAIL", "Server", "mail.example.jp");
  read("read 300-byte value whole", rules, "MAIL", "Long", kLong300);
  read("read value holding '='", rules, "MAIL", "Equation", "a=b=c");
  read("read first of two sections", rules, "MAIL", "To", "@001@101@201");
  read("read key only in second section", rules, "MAIL", "Extra", "");
  read("read first of two keys", rules, "Unknown", "Foo", "bar");
  read("read comment is no key", rules, "MAIL", ";Commented", "");
  read("read missing key", rules, "MAIL", "Nothing", "");
  read("read missing section", rules, "Nowhere", "Num", "");
  read("read missing file", none, "CarrierNum", "Num", "");
  read("read behind UTF-8 BOM", bom, "CarrierNum", "Num", "3");

  write("write replaces value", rules, "CarrierNum", "Num", "4", "4", "Num=2\r\n", "Num=4\r\n");
  write("write ' 0' as '0', key as found", rules, "carriernum", "DEFAULTNUM", " 0", "0",
        " DefaultNum = 1 \t\r\n", " DefaultNum =0\r\n");
  write("write new key after last key line", rules, "CarrierIndex", " 3", QStringLiteral("楽天"),
        QStringLiteral("楽天"), sj("ア=katakana a\r\n"), sj("ア=katakana a\r\n3=楽天\r\n"));
  write("write missing section at end", rules, "New", "Key", "v", "v", "", "[New]\r\nKey=v\r\n");
  write("write first of two sections", rules, "MAIL", "To", "x", "x", "To=@001@101@201\r\n", "To=x\r\n");
  write("write new key into first section", rules, "MAIL", "Extra", "y", "y", "Equation=a=b=c\r\n",
        "Equation=a=b=c\r\nExtra=y\r\n");
  write("write first of two keys", rules, "Unknown", "Foo", "qux", "qux", "Foo=bar\r\n", "Foo=qux\r\n");
  write("write multi-byte value", rules, "CarrierIndex", "0", QStringLiteral("楽天モバイル"),
        QStringLiteral("楽天モバイル"), "0=docomo\r\n", sj("0=楽天モバイル\r\n"));
  write("write unmappable as '?'", rules, "MAIL", "Equation", QStringLiteral("caf\u00E9 \U0001F600"),
        "caf? ?", "Equation=a=b=c\r\n", "Equation=caf? ?\r\n");
  write("write long value read back whole", rules, "MAIL", "Server", QString(400, u'z'), QString(400, u'z'),
        "Server=  mail.example.jp  \t\r\n", "Server=" + QByteArray(400, 'z') + "\r\n");
  write("write empty value", rules, "MAIL", "To", "", "", "To=@001@101@201\r\n", "To=\r\n");
  write("write stops at a line break", rules, "MAIL", "To", "a\r\n[X]", "a", "To=@001@101@201\r\n", "To=a\r\n");
  write("write creates missing file", none, "MAIL", "To", "@001", "@001", "", "[MAIL]\r\nTo=@001\r\n");
  write("write LF file keeps LF (new key)", lf, "A", "z", "3", "3", "x=1\n", "x=1\nz=3\n");
  write("write LF file keeps LF (new section)", lf, "C", "w", "4", "4", "", "[C]\nw=4\n");
  write("write after last line without ending", QByteArray("[A]\r\nx=1"), "A", "y", "2", "2", "x=1",
        "x=1\r\ny=2\r\n");
  write("write behind UTF-8 BOM", bom, "CarrierNum", "DefaultNum", "0", "0", "Num=3\r\n",
        "Num=3\r\nDefaultNum=0\r\n");
}

void TstIniFile::rules() {
  QFETCH(bool, exists);
  QFETCH(QByteArray, file);
  QFETCH(QString, section);
  QFETCH(QString, key);
  QFETCH(bool, write);
  QFETCH(QString, value);
  QFETCH(QString, expected);
  QFETCH(QByteArray, before);
  QFETCH(QByteArray, after);

  TempAppFolder folder;
  if (exists) folder.writeIniBytes(file);

  QByteArray expectedFile = file;
  if (write) {
    QCOMPARE(IniFile::write(section, key, value), 1);
    if (before.isEmpty()) {
      expectedFile.append(after);
    } else {
      QCOMPARE(file.count(before), 1);
      expectedFile.replace(before, after);
    }
  }
  QCOMPARE(IniFile::read(section, key), expected);
  QCOMPARE(folder.iniBytes(), expectedFile);
  QCOMPARE(QFile::exists(folder.iniPath()), exists || write);
}

// A user's file with comments, blank lines and keys of its own: the writes
// of a settings save touch their lines only.
void TstIniFile::writesLeaveEveryOtherByte() {
  TempAppFolder folder;
  folder.writeIniBytes(fixture(QStringLiteral("commented.ini")));
  QCOMPARE(IniFile::write(QStringLiteral("CarrierNum"), QStringLiteral("DefaultNum"), QStringLiteral("-1")), 1);
  QCOMPARE(IniFile::write(QStringLiteral("MAIL"), QStringLiteral("To"), QStringLiteral("@001@101@201")), 1);
  QCOMPARE(IniFile::write(QStringLiteral("AddrIndex"), QStringLiteral(" 1"), QStringLiteral("@001")), 1);
  QCOMPARE(IniFile::write(QStringLiteral("MAIL"), QStringLiteral("OUTLOG"), QStringLiteral("True")), 1);
  QCOMPARE(folder.iniBytes(), fixture(QStringLiteral("commented_after.ini")));
}

void TstIniFile::readOnlyFileRefusesWrite() {
  TempAppFolder folder;
  const QByteArray original = fixture(QStringLiteral("commented.ini"));
  folder.writeIniBytes(original);
  QVERIFY(QFile::setPermissions(folder.iniPath(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));

  QCOMPARE(IniFile::write(QStringLiteral("CarrierNum"), QStringLiteral("DefaultNum"), QStringLiteral("2")), 0);
  QCOMPARE(IniFile::write(QStringLiteral("MAIL"), QStringLiteral("New"), QStringLiteral("x")), 0);
  QCOMPARE(folder.iniBytes(), original);
  QCOMPARE(IniFile::read(QStringLiteral("CarrierNum"), QStringLiteral("DefaultNum")), QStringLiteral("0"));
  QFile::setPermissions(folder.iniPath(), QFile::ReadOwner | QFile::WriteOwner);
}

void TstIniFile::readOnlyOrMissingFolderRefusesWrite() {
  {
    // The program's folder has gone: nothing is created anywhere.
    TempAppFolder folder;
    const QString gone = folder.path() + QStringLiteral("gone/");
    IniFile::setAppFolderForTesting(gone);
    QCOMPARE(IniFile::write(QStringLiteral("MAIL"), QStringLiteral("To"), QStringLiteral("x")), 0);
    QVERIFY(!QFileInfo::exists(gone));
  }

  if (geteuid() == 0) QSKIP("running as root, which may write into a read-only folder");
  TempAppFolder folder;
  const QByteArray original = fixture(QStringLiteral("commented.ini"));
  folder.writeIniBytes(original);
  const QString dir = QDir::cleanPath(folder.path());
  QVERIFY(QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner));
  const auto written = IniFile::write(QStringLiteral("CarrierNum"), QStringLiteral("DefaultNum"), QStringLiteral("2"));
  QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  QCOMPARE(written, 0);
  QCOMPARE(folder.iniBytes(), original);
}

void TstIniFile::writeKeepsPermissionsAndLeavesNoTemporaryFile() {
  TempAppFolder folder;
  folder.writeIniBytes(fixture(QStringLiteral("commented.ini")));
  const auto permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
  QVERIFY(QFile::setPermissions(folder.iniPath(), permissions));
  QCOMPARE(IniFile::write(QStringLiteral("MAIL"), QStringLiteral("To"), QStringLiteral("@53")), 1);
  const QFileDevice::Permissions modeBits = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                           QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                           QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
  QCOMPARE(QFile::permissions(folder.iniPath()) & modeBits, QFileDevice::Permissions(permissions));
  QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{IniFile::kFileName});
}

void TstIniFile::megabyteLine() {
  TempAppFolder folder;
  const QByteArray big(1 << 20, 'x');
  folder.writeIniBytes("[A]\r\nbig=" + big + "\r\nk=v\r\n" + big + "\r\n");
  QCOMPARE(IniFile::read(QStringLiteral("A"), QStringLiteral("big")).size(), big.size());
  QCOMPARE(IniFile::read(QStringLiteral("A"), QStringLiteral("k")), QStringLiteral("v"));
  QCOMPARE(IniFile::write(QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("w")), 1);
  QCOMPARE(folder.iniBytes(), "[A]\r\nbig=" + big + "\r\nk=w\r\n" + big + "\r\n");
}

// Reads in a batch share one read of the file: a change made behind the
// program's back meanwhile is not seen until the batch ends, but a write of
// the program's own is seen at once.
void TstIniFile::readBatchSeesOurWritesOnly() {
  TempAppFolder folder;
  folder.writeIni(QStringLiteral("[MAIL]\nOUTLOG=False\nFrom=a\n"));
  const QString mail = QStringLiteral("MAIL");
  {
    const IniFile::ReadBatch batch;
    QCOMPARE(IniFile::read(mail, QStringLiteral("OUTLOG")), QStringLiteral("False"));
    folder.writeIni(QStringLiteral("[MAIL]\nOUTLOG=True\nFrom=b\n"));
    QCOMPARE(IniFile::read(mail, QStringLiteral("From")), QStringLiteral("a"));
    QCOMPARE(IniFile::write(mail, QStringLiteral("To"), QStringLiteral("c")), 1);
    QCOMPARE(IniFile::read(mail, QStringLiteral("To")), QStringLiteral("c"));
    QCOMPARE(IniFile::read(mail, QStringLiteral("From")), QStringLiteral("b"));
    folder.writeIni(QStringLiteral("[MAIL]\nFrom=d\n"));
  }
  QCOMPARE(IniFile::read(mail, QStringLiteral("From")), QStringLiteral("d"));
}

void TstIniFile::appFolder_data() {
  QTest::addColumn<QString>("folder");
  QTest::addColumn<QString>("expected");
  QTest::newRow("root") << "/" << "/";
  QTest::newRow("without separator") << "/opt/talvenor" << "/opt/talvenor/";
  QTest::newRow("with separator") << "/opt/talvenor/" << "/opt/talvenor/";
  QTest::newRow("the program's own") << QString() << QCoreApplication::applicationDirPath() + u'/';
}

void TstIniFile::appFolder() {
  QFETCH(QString, folder);
  QFETCH(QString, expected);
  IniFile::setAppFolderForTesting(folder);
  QCOMPARE(IniFile::AppFolder(), expected);
  QCOMPARE(IniFile::SettingsPath(), expected + QStringLiteral("Data.ini"));
  IniFile::setAppFolderForTesting(QString());
}

QTEST_GUILESS_MAIN(TstIniFile)
#include "tst_ini_file.moc"
