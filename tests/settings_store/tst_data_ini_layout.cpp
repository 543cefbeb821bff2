#include "cp932.h"
#include "data_ini_layout.h"
#include "settings_in_use.h"
#include "temp_app_folder.h"

#include <QTest>
#include <algorithm>

using namespace DataIni;

class TstDataIniLayout : public QObject {
  Q_OBJECT

 private slots:
  void valueForms_data();
  void valueForms();
  void typedReads_data();
  void typedReads();
  void scrambledAndFlagKeys();
  void shippedDataIni();
};

// "none" stands for a missing or malformed value.
void TstDataIniLayout::valueForms_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("int16");
  QTest::addColumn<QString>("int32");
  QTest::addColumn<QString>("flag");

  QTest::newRow("zero") << "0" << "0" << "0" << "false";
  QTest::newRow("blanks around") << "  12 " << "12" << "12" << "true";
  QTest::newRow("minus one") << "-1" << "-1" << "-1" << "true";
  QTest::newRow("plus sign") << "+5" << "5" << "5" << "true";
  QTest::newRow("minus zero") << "-00" << "0" << "0" << "false";
  QTest::newRow("int16 top") << "32767" << "32767" << "32767" << "true";
  QTest::newRow("int16 bottom") << "-32768" << "-32768" << "-32768" << "true";
  QTest::newRow("above int16") << "32768" << "none" << "32768" << "true";
  QTest::newRow("99999") << "99999" << "none" << "99999" << "true";
  QTest::newRow("int32 top") << "2147483647" << "none" << "2147483647" << "true";
  QTest::newRow("above int32") << "2147483648" << "none" << "none" << "true";
  QTest::newRow("int32 bottom") << "-2147483648" << "none" << "-2147483648" << "true";
  QTest::newRow("huge number") << "000000000000000000000000000001" << "1" << "1" << "true";
  QTest::newRow("exponent") << "1e3" << "none" << "none" << "none";
  QTest::newRow("decimal point") << "1.0" << "none" << "none" << "none";
  QTest::newRow("hexadecimal") << "0x10" << "none" << "none" << "none";
  QTest::newRow("letters") << "abc" << "none" << "none" << "none";
  QTest::newRow("sign alone") << "-" << "none" << "none" << "none";
  QTest::newRow("full-width digits") << QStringLiteral("１２") << "none" << "none" << "none";
  QTest::newRow("empty") << "" << "none" << "none" << "none";
  QTest::newRow("blank") << "  " << "none" << "none" << "none";
  QTest::newRow("True") << "True" << "none" << "none" << "true";
  QTest::newRow("TRUE") << "TRUE" << "none" << "none" << "true";
  QTest::newRow("false") << "false" << "none" << "none" << "false";
  QTest::newRow("yes") << "yes" << "none" << "none" << "none";
}

void TstDataIniLayout::valueForms() {
  QFETCH(QString, text);
  QFETCH(QString, int16);
  QFETCH(QString, int32);
  QFETCH(QString, flag);
  const auto i16 = parseInt16(text);
  QCOMPARE(i16 ? QString::number(*i16) : QStringLiteral("none"), int16);
  const auto i32 = parseInt32(text);
  QCOMPARE(i32 ? QString::number(*i32) : QStringLiteral("none"), int32);
  const auto f = parseFlag(text);
  QCOMPARE(f ? (*f ? QStringLiteral("true") : QStringLiteral("false")) : QStringLiteral("none"), flag);
}

// A small file with three carriers; each row sets (or, with a null text,
// leaves out) CarrierNum/Num, DefaultNum, AddrNum/Num, MAIL/PBSMTP and
// CarrierData/1.
void TstDataIniLayout::typedReads_data() {
  QTest::addColumn<QString>("num");
  QTest::addColumn<QString>("defaultNum");
  QTest::addColumn<QString>("addrNumText");
  QTest::addColumn<QString>("pbsmtp");
  QTest::addColumn<QString>("limit");
  QTest::addColumn<int>("carriers");
  QTest::addColumn<int>("chosen");
  QTest::addColumn<int>("addresses");
  QTest::addColumn<bool>("flag");
  QTest::addColumn<int>("limitRead");

  const QString none;
  QTest::newRow("well-formed") << "2" << "1" << "3" << "True" << "2500" << 3 << 1 << 3 << true << 2500;
  QTest::newRow("Num missing") << none << "0" << "0" << "False" << "1" << 0 << -1 << 0 << false << 1;
  QTest::newRow("Num abc") << "abc" << "0" << "0" << "False" << "1" << 0 << -1 << 0 << false << 1;
  QTest::newRow("Num 99999") << "99999" << "0" << "0" << "False" << "1" << 0 << -1 << 0 << false << 1;
  QTest::newRow("Num -5") << "-5" << "-1" << "0" << "False" << "1" << 0 << -1 << 0 << false << 1;
  QTest::newRow("Num -1") << "-1" << "0" << "0" << "False" << "1" << 0 << -1 << 0 << false << 1;
  QTest::newRow("Num 1e3") << "1e3" << "0" << "0" << "False" << "1" << 0 << -1 << 0 << false << 1;
  QTest::newRow("Num 0") << "0" << "0" << "0" << "False" << "1" << 1 << 0 << 0 << false << 1;
  QTest::newRow("DefaultNum last carrier") << "2" << "2" << "0" << "False" << "1" << 3 << 2 << 0 << false << 1;
  QTest::newRow("DefaultNum above n") << "2" << "3" << "0" << "False" << "1" << 3 << -1 << 0 << false << 1;
  QTest::newRow("DefaultNum -2") << "2" << "-2" << "0" << "False" << "1" << 3 << -1 << 0 << false << 1;
  QTest::newRow("DefaultNum missing") << "2" << none << "0" << "False" << "1" << 3 << -1 << 0 << false << 1;
  QTest::newRow("DefaultNum x") << "2" << "x" << "0" << "False" << "1" << 3 << -1 << 0 << false << 1;
  QTest::newRow("AddrNum 9") << "2" << "0" << "9" << "False" << "1" << 3 << 0 << 4 << false << 1;
  QTest::newRow("AddrNum -3") << "2" << "0" << "-3" << "False" << "1" << 3 << 0 << 0 << false << 1;
  QTest::newRow("AddrNum missing") << "2" << "0" << none << "False" << "1" << 3 << 0 << 0 << false << 1;
  QTest::newRow("AddrNum abc") << "2" << "0" << "abc" << "False" << "1" << 3 << 0 << 0 << false << 1;
  QTest::newRow("flag TRUE") << "2" << "0" << "0" << "TRUE" << "1" << 3 << 0 << 0 << true << 1;
  QTest::newRow("flag true") << "2" << "0" << "0" << "true" << "1" << 3 << 0 << 0 << true << 1;
  QTest::newRow("flag 1") << "2" << "0" << "0" << "1" << "1" << 3 << 0 << 0 << true << 1;
  QTest::newRow("flag -1") << "2" << "0" << "0" << "-1" << "1" << 3 << 0 << 0 << true << 1;
  QTest::newRow("flag 0") << "2" << "0" << "0" << "0" << "1" << 3 << 0 << 0 << false << 1;
  QTest::newRow("flag yes") << "2" << "0" << "0" << "yes" << "1" << 3 << 0 << 0 << false << 1;
  QTest::newRow("flag missing") << "2" << "0" << "0" << none << "1" << 3 << 0 << 0 << false << 1;
  QTest::newRow("limit abc") << "2" << "0" << "0" << "False" << "abc" << 3 << 0 << 0 << false << 0;
  QTest::newRow("limit 1e3") << "2" << "0" << "0" << "False" << "1e3" << 3 << 0 << 0 << false << 0;
  QTest::newRow("limit missing") << "2" << "0" << "0" << "False" << none << 3 << 0 << 0 << false << 0;
}

void TstDataIniLayout::typedReads() {
  QFETCH(QString, num);
  QFETCH(QString, defaultNum);
  QFETCH(QString, addrNumText);
  QFETCH(QString, pbsmtp);
  QFETCH(QString, limit);
  QFETCH(int, carriers);
  QFETCH(int, chosen);
  QFETCH(int, addresses);
  QFETCH(bool, flag);
  QFETCH(int, limitRead);

  auto line = [](const char* key, const QString& value) {
    return value.isNull() ? QString() : QString::fromLatin1(key) + u'=' + value + u'\n';
  };
  TempAppFolder folder;
  folder.writeIni(QStringLiteral("[CarrierNum]\n") + line("Num", num) + line("DefaultNum", defaultNum) +
                  QStringLiteral("[CarrierIndex]\n0=docomo\n2=SoftBank\n[CarrierData]\n0=10000\n") +
                  line("1", limit) + QStringLiteral("[AddrNum]\n") + line("Num", addrNumText) +
                  QStringLiteral("[MAIL]\n") + line("PBSMTP", pbsmtp));

  const IniDocument ini = folder.settingsFile().read();
  QCOMPARE(carrierCount(ini), carriers);
  QCOMPARE(defaultCarrier(ini), chosen);
  QCOMPARE(addrNum(ini), addresses);
  QCOMPARE(readFlag(ini, Section::MAIL, Key::PBSMTP), flag);
  QCOMPARE(carrierLimit(ini, 1), limitRead);
  QCOMPARE(carrierName(ini, 0), QStringLiteral("docomo"));
  QCOMPARE(carrierName(ini, 1), QString());
}

void TstDataIniLayout::scrambledAndFlagKeys() {
  TempAppFolder folder;
  folder.writeIni(QStringLiteral("[MAIL]\nServer=mail.example.jp\nOUTLOG=False\n"));

  IniDocument ini = folder.settingsFile().read();
  QCOMPARE(readScrambled(ini, Section::MAIL, Key::From), QString());
  QCOMPARE(readScrambled(ini, Section::MAIL, Key::Server), QStringLiteral("1"));  // plain text is no stored form

  writeScrambled(ini, Section::MAIL, Key::USER, QStringLiteral("abc"));
  writeScrambled(ini, Section::AddrIndex, indexKey(0), QStringLiteral("山田@example.jp"));
  writeFlag(ini, Section::MAIL, Key::OUTLOG, true);
  QCOMPARE(ini.value(Section::MAIL, Key::USER), QStringLiteral("@001@101@201"));
  QCOMPARE(readScrambled(ini, Section::MAIL, Key::USER), QStringLiteral("abc"));
  QCOMPARE(readScrambled(ini, Section::AddrIndex, QStringLiteral(" 0")), QStringLiteral("山田@example.jp"));
  QCOMPARE(ini.value(Section::MAIL, Key::OUTLOG), QStringLiteral("True"));
  QVERIFY(readFlag(ini, Section::MAIL, Key::OUTLOG));
}

// The Data.ini that ships with the program: CP932 with CR LF, comments any
// terminal can show, a carrier table with limits and one entry without,
// mail that arrives readable, and nothing the user must fill.
void TstDataIniLayout::shippedDataIni() {
  TempAppFolder folder;
  folder.copyFixture(QStringLiteral("../Data.ini"));
  const QByteArray bytes = folder.iniBytes();
  QVERIFY(!bytes.isEmpty());
  QVERIFY(bytes.endsWith("\r\n"));
  QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
  QCOMPARE(Cp932::fromUnicode(Cp932::toUnicode(bytes)), bytes);
  QVERIFY(!Cp932::toUnicode(bytes).contains(QChar(0xFFFD)));

  QStringList sections;
  for (const QByteArray& line : bytes.split('\n')) {
    if (line.startsWith('[')) sections << QString::fromLatin1(line.trimmed());
    if (line.startsWith(';'))
      QVERIFY2(std::all_of(line.begin(), line.end(), [](char c) { return c > 0 && c < 0x7f; }), line.constData());
  }
  QCOMPARE(sections, (QStringList{"[CarrierNum]", "[CarrierIndex]", "[CarrierData]", "[AddrNum]", "[MAIL]"}));

  const IniDocument ini = folder.settingsFile().read();
  QVERIFY(carrierCount(ini) >= 4);
  int unlimited = 0;
  for (int i = 0; i < carrierCount(ini); ++i) {
    QVERIFY(!carrierName(ini, i).isEmpty());
    const auto limit = parseInt32(ini.value(Section::CarrierData, indexKey(i)));
    QVERIFY(limit && *limit >= 0);
    if (*limit == 0) ++unlimited;
  }
  QCOMPARE(unlimited, 1);
  QCOMPARE(carrierName(ini, carrierCount(ini) - 1), QStringLiteral("制限なし"));
  QVERIFY(defaultCarrier(ini) >= -1 && defaultCarrier(ini) < carrierCount(ini));
  QCOMPARE(ini.value(Section::AddrNum, Key::Num), QStringLiteral("0"));
  QCOMPARE(ini.value(Section::MAIL, Key::PBSMTP), QStringLiteral("False"));
  QCOMPARE(ini.value(Section::MAIL, Key::OUTLOG), QStringLiteral("False"));
  QCOMPARE(ini.value(Section::MAIL, Key::To), QString());
  QCOMPARE(ini.value(Section::MAIL, Key::Charset), QStringLiteral("ISO-2022-JP"));
}

QTEST_GUILESS_MAIN(TstDataIniLayout)
#include "tst_data_ini_layout.moc"
