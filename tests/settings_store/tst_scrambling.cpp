#include "cp932.h"
#include "scrambling.h"

#include <QTest>

class TstScrambling : public QObject {
  Q_OBJECT

 private slots:
  void vectors_data();
  void vectors();
  void everyCodePageCharacterComesBack();
};

// Rows with `encodes` check SecEncode(text) == stored; every row checks
// SecDecode(stored) == decoded.
void TstScrambling::vectors_data() {
  QTest::addColumn<bool>("encodes");
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("stored");
  QTest::addColumn<QString>("decoded");

  auto both = [](const char* name, const QString& text, const QString& stored, const QString& decoded) {
    QTest::newRow(name) << true << text << stored << decoded;
  };
  auto decode = [](const char* name, const QString& stored, const QString& decoded) {
    QTest::newRow(name) << false << QString() << stored << decoded;
  };

  both("empty", QString(), QString(), QString());
  both("abc", "abc", "@001@101@201", "abc");
  both("blank", " ", "@53", " ");
  both("hiragana (minus sign last)", QStringLiteral("あ"), "@39023-", QStringLiteral("あ"));
  both("mixed text keeps its order", QStringLiteral("aあ1\uFF71漢"), "@001@39023-@25@081@41003-",
       QStringLiteral("aあ1\uFF71漢"));
  both("address", "taro@example.jp", "@911@001@711@411@76@401@321@001@211@511@111@401@94@901@511",
       "taro@example.jp");
  both("unmappable becomes ?", QStringLiteral("\u00E9"), "@66", "?");
  both("character beyond the BMP becomes one ?", QStringLiteral("a\U0001F600"), "@001@66", "a?");
  both("yen sign takes its close match", QStringLiteral("\u00A5"), "@59", "\\");
  both("long text", QString(100000, u'a'), QStringLiteral("@001").repeated(100000), QString(100000, u'a'));

  decode("text before the first @ is never read", "xyz@001", "a");
  decode("plain host name gives 1", "mail.example.jp", "1");
  decode("minus alone has no @ and gives 1", "-", "1");
  decode("leading zeros of a group", "@00100", "a");
  decode("highest code", "@83556", Cp932::charFromCode(65535));
  decode("lowest code", "@56723-", Cp932::charFromCode(-32768));

  decode("ill-formed: @ alone", "@", "");
  decode("ill-formed: @@", "@@", "");
  decode("ill-formed: ends with @", "@001@", "");
  decode("ill-formed: two @ in front", "@@001", "");
  decode("ill-formed: two @ inside", "@001@@101", "");
  decode("ill-formed: letter in group", "@0a1", "");
  decode("ill-formed: blank in group", "@00 1", "");
  decode("ill-formed: decimal point", "@0.1", "");
  decode("ill-formed: minus alone in group", "@-", "");
  decode("ill-formed: two minus signs", "@1--", "");
  decode("ill-formed: minus inside", "@5-5", "");
  decode("ill-formed: plus sign", "@1+", "");
  decode("ill-formed: above 65535", "@93556", "");
  decode("ill-formed: below -32768", "@66723-", "");
  decode("ill-formed: huge number", "@99999999", "");
  decode("ill-formed: very long group", "@" + QString(1000000, u'9'), "");
  decode("ill-formed: long value ending with @", QStringLiteral("@001").repeated(50000) + u'@', "");
}

void TstScrambling::vectors() {
  QFETCH(bool, encodes);
  QFETCH(QString, text);
  QFETCH(QString, stored);
  QFETCH(QString, decoded);
  if (encodes) QCOMPARE(Scrambling::scramble(text), stored);
  QCOMPARE(Scrambling::unscramble(stored), decoded);
}

// Every character the code page holds (one or two bytes) survives the
// round trip, in order.
void TstScrambling::everyCodePageCharacterComesBack() {
  QString text;
  for (char32_t u = 1; u < 0x10000; ++u) {
    if (u >= 0xD800 && u <= 0xDFFF) continue;
    const QString c(QChar(static_cast<char16_t>(u)));
    if (Cp932::toUnicode(Cp932::fromUnicode(c)) == c) text += c;
  }
  QVERIFY(text.size() > 7000);
  const QString stored = Scrambling::scramble(text);
  for (const QChar c : stored) QVERIFY(c.isDigit() || c == u'-' || c == u'@');
  QCOMPARE(Scrambling::unscramble(stored), text);
}

QTEST_APPLESS_MAIN(TstScrambling)
#include "tst_scrambling.moc"
