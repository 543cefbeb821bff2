#include "cp932.h"
#include "app_places.h"
#include "settings_file.h"
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

class TstSettingsFile : public QObject {
  Q_OBJECT

 private slots:
  void rules_data();
  void rules();
  void writesLeaveEveryOtherByte();
  void readOnlyFileRefusesWrite();
  void readOnlyOrMissingFolderRefusesWrite();
  void writeKeepsPermissionsAndLeavesNoTemporaryFile();
  void megabyteLine();
  void updateIsOneWrite();
  void programFolder_data();
  void programFolder();
};

// One read or write against a small file. For a write, the file afterwards
// must be the old one with `before` replaced by `after` (appended when
// `before` is empty) and nothing else changed; a read changes nothing.
void TstSettingsFile::rules_data() {
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

void TstSettingsFile::rules() {
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
    QVERIFY(folder.settingsFile().write(section, key, value));
    if (before.isEmpty()) {
      expectedFile.append(after);
    } else {
      QCOMPARE(file.count(before), 1);
      expectedFile.replace(before, after);
    }
  }
  QCOMPARE(folder.settingsFile().read().value(section, key), expected);
  QCOMPARE(folder.iniBytes(), expectedFile);
  QCOMPARE(QFile::exists(folder.iniPath()), exists || write);
}

// A user's file with comments, blank lines and keys of its own: the writes
// of a settings save touch their lines only.
void TstSettingsFile::writesLeaveEveryOtherByte() {
  TempAppFolder folder;
  folder.writeIniBytes(fixture(QStringLiteral("commented.ini")));
  QVERIFY(folder.settingsFile().write(QStringLiteral("CarrierNum"), QStringLiteral("DefaultNum"), QStringLiteral("-1")));
  QVERIFY(folder.settingsFile().write(QStringLiteral("MAIL"), QStringLiteral("To"), QStringLiteral("@001@101@201")));
  QVERIFY(folder.settingsFile().write(QStringLiteral("AddrIndex"), QStringLiteral(" 1"), QStringLiteral("@001")));
  QVERIFY(folder.settingsFile().write(QStringLiteral("MAIL"), QStringLiteral("OUTLOG"), QStringLiteral("True")));
  QCOMPARE(folder.iniBytes(), fixture(QStringLiteral("commented_after.ini")));
}

void TstSettingsFile::readOnlyFileRefusesWrite() {
  TempAppFolder folder;
  const QByteArray original = fixture(QStringLiteral("commented.ini"));
  folder.writeIniBytes(original);
  QVERIFY(QFile::setPermissions(folder.iniPath(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));

  QVERIFY(!folder.settingsFile().write(QStringLiteral("CarrierNum"), QStringLiteral("DefaultNum"), QStringLiteral("2")));
  QVERIFY(!folder.settingsFile().write(QStringLiteral("MAIL"), QStringLiteral("New"), QStringLiteral("x")));
  QCOMPARE(folder.iniBytes(), original);
  QCOMPARE(folder.settingsFile().read().value(QStringLiteral("CarrierNum"), QStringLiteral("DefaultNum")), QStringLiteral("0"));
  QFile::setPermissions(folder.iniPath(), QFile::ReadOwner | QFile::WriteOwner);
}

void TstSettingsFile::readOnlyOrMissingFolderRefusesWrite() {
  {
    // The program's folder has gone: nothing is created anywhere.
    TempAppFolder folder;
    const QString gone = folder.path() + QStringLiteral("gone/");
    QVERIFY(!SettingsFile(gone).write(QStringLiteral("MAIL"), QStringLiteral("To"), QStringLiteral("x")));
    QVERIFY(!QFileInfo::exists(gone));
  }

  if (geteuid() == 0) QSKIP("running as root, which may write into a read-only folder");
  TempAppFolder folder;
  const QByteArray original = fixture(QStringLiteral("commented.ini"));
  folder.writeIniBytes(original);
  const QString dir = QDir::cleanPath(folder.path());
  QVERIFY(QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner));
  const bool written =
      folder.settingsFile().write(QStringLiteral("CarrierNum"), QStringLiteral("DefaultNum"), QStringLiteral("2"));
  QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  QVERIFY(!written);
  QCOMPARE(folder.iniBytes(), original);
}

void TstSettingsFile::writeKeepsPermissionsAndLeavesNoTemporaryFile() {
  TempAppFolder folder;
  folder.writeIniBytes(fixture(QStringLiteral("commented.ini")));
  const auto permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
  QVERIFY(QFile::setPermissions(folder.iniPath(), permissions));
  QVERIFY(folder.settingsFile().write(QStringLiteral("MAIL"), QStringLiteral("To"), QStringLiteral("@53")));
  const QFileDevice::Permissions modeBits = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                           QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                           QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
  QCOMPARE(QFile::permissions(folder.iniPath()) & modeBits, QFileDevice::Permissions(permissions));
  QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{AppPlaces::kSettingsFileName});
}

void TstSettingsFile::megabyteLine() {
  TempAppFolder folder;
  const QByteArray big(1 << 20, 'x');
  folder.writeIniBytes("[A]\r\nbig=" + big + "\r\nk=v\r\n" + big + "\r\n");
  QCOMPARE(folder.settingsFile().read().value(QStringLiteral("A"), QStringLiteral("big")).size(), big.size());
  QCOMPARE(folder.settingsFile().read().value(QStringLiteral("A"), QStringLiteral("k")), QStringLiteral("v"));
  QVERIFY(folder.settingsFile().write(QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("w")));
  QCOMPARE(folder.iniBytes(), "[A]\r\nbig=" + big + "\r\nk=w\r\n" + big + "\r\n");
}

// A save changes many keys in one update: the file is replaced once, with
// the same bytes as writing them one by one; a change that gives up, or a
// file that cannot be read, writes nothing at all.
void TstSettingsFile::updateIsOneWrite() {
  TempAppFolder folder;
  const QByteArray original = fixture(QStringLiteral("commented.ini"));
  folder.writeIniBytes(original);
  const SettingsFile file = folder.settingsFile();
  const auto setAll = [](IniDocument& ini) {
    return ini.set(QStringLiteral("CarrierNum"), QStringLiteral("DefaultNum"), QStringLiteral("-1")) &&
           ini.set(QStringLiteral("MAIL"), QStringLiteral("To"), QStringLiteral("@001@101@201")) &&
           ini.set(QStringLiteral("AddrIndex"), QStringLiteral(" 1"), QStringLiteral("@001")) &&
           ini.set(QStringLiteral("MAIL"), QStringLiteral("OUTLOG"), QStringLiteral("True"));
  };
  QVERIFY(!file.update([&](IniDocument& ini) { return setAll(ini) && false; }));
  QCOMPARE(folder.iniBytes(), original);
  QVERIFY(!file.update([&](IniDocument& ini) { return setAll(ini) && ini.set(QStringLiteral("MAIL"), QString(), QStringLiteral("x")); }));
  QCOMPARE(folder.iniBytes(), original);

  QVERIFY(file.update(setAll));
  QCOMPARE(folder.iniBytes(), fixture(QStringLiteral("commented_after.ini")));
}

void TstSettingsFile::programFolder_data() {
  QTest::addColumn<QString>("folder");
  QTest::addColumn<QString>("expected");
  QTest::newRow("root") << "/" << "/";
  QTest::newRow("without separator") << "/opt/talvenor" << "/opt/talvenor/";
  QTest::newRow("with separator") << "/opt/talvenor/" << "/opt/talvenor/";
  QTest::newRow("the program's own") << QString() << QCoreApplication::applicationDirPath() + u'/';
}

void TstSettingsFile::programFolder() {
  QFETCH(QString, folder);
  QFETCH(QString, expected);
  AppPlaces::useProgramFolder(folder);
  QCOMPARE(AppPlaces::programFolder(), expected);
  QCOMPARE(SettingsFile::inUse().path(), expected + QStringLiteral("Data.ini"));
  QCOMPARE(SettingsFile(folder.isEmpty() ? expected : folder).path(), expected + QStringLiteral("Data.ini"));
  AppPlaces::useProgramFolder(QString());
}

QTEST_GUILESS_MAIN(TstSettingsFile)
#include "tst_settings_file.moc"
