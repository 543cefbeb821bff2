#include "cp932.h"

#include <QTest>

// CP932 conversion as the program's boundaries see it.
class TstCp932 : public QObject {
  Q_OBJECT

 private slots:
  void byteCount_data();
  void byteCount();
  void conversion_data();
  void conversion();
  void charCode_data();
  void charCode();
  void charFromCodeOutOfRange();
  void byteCountMatchesConversionOverTheBmp();
};

void TstCp932::byteCount_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<qsizetype>("bytes");
  QTest::newRow("empty") << QString() << qsizetype(0);
  QTest::newRow("half-width") << QStringLiteral("abc 123") << qsizetype(7);
  QTest::newRow("full-width") << QStringLiteral("あいう漢字") << qsizetype(10);
  QTest::newRow("half-width katakana") << QStringLiteral("\uFF71\uFF72\uFF9F") << qsizetype(3);
  QTest::newRow("LF") << QStringLiteral("a\nb") << qsizetype(3);
  QTest::newRow("CR LF") << QStringLiteral("a\r\nb") << qsizetype(4);
  QTest::newRow("mixed") << QStringLiteral("件名: テスト\r\nＯＫ") << qsizetype(6 + 6 + 2 + 4);
  QTest::newRow("unmappable e-acute") << QStringLiteral("caf\u00E9") << qsizetype(4);
  QTest::newRow("fallback yen sign") << QStringLiteral("\u00A5100") << qsizetype(4);
  QTest::newRow("fallback wave dash") << QStringLiteral("\u301C") << qsizetype(2);
  QTest::newRow("surrogate pair") << QStringLiteral("a\U0001F600b") << qsizetype(3);
  QTest::newRow("lone surrogates") << (QStringLiteral("a") + QChar(0xD83D) + QStringLiteral("b") + QChar(0xDE00))
                                   << qsizetype(4);
}

void TstCp932::byteCount() {
  QFETCH(QString, text);
  QFETCH(qsizetype, bytes);
  for (const auto counting : {Cp932::Counting::Table, Cp932::Counting::Conversion})
    QCOMPARE(Cp932::byteCount(text, counting), bytes);
  QCOMPARE(Cp932::fromUnicode(text).size(), bytes);
}

void TstCp932::conversion_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QString>("back");
  QTest::newRow("ascii") << QStringLiteral("Hello, world\\~") << QByteArray("Hello, world\\~")
                         << QStringLiteral("Hello, world\\~");
  QTest::newRow("hiragana") << QStringLiteral("あ") << QByteArray("\x82\xA0") << QStringLiteral("あ");
  QTest::newRow("kanji and kana") << QStringLiteral("送信テスト\uFF71") << QByteArray("\x91\x97\x90\x4D\x83\x65\x83\x58\x83\x67\xB1")
                                  << QStringLiteral("送信テスト\uFF71");
  QTest::newRow("NEC special") << QStringLiteral("①") << QByteArray("\x87\x40") << QStringLiteral("①");
  QTest::newRow("emoji becomes ?") << QStringLiteral("x\U0001F600y") << QByteArray("x?y") << QStringLiteral("x?y");
  QTest::newRow("e-acute becomes ?") << QStringLiteral("\u00E9") << QByteArray("?") << QStringLiteral("?");
  QTest::newRow("hangul becomes ?") << QStringLiteral("\uD55C") << QByteArray("?") << QStringLiteral("?");
  QTest::newRow("yen sign close match") << QStringLiteral("\u00A5") << QByteArray("\x5C") << QStringLiteral("\\");
  QTest::newRow("wave dash close match") << QStringLiteral("\u301C") << QByteArray("\x81\x60")
                                         << QStringLiteral("\uFF5E");
}

void TstCp932::conversion() {
  QFETCH(QString, text);
  QFETCH(QByteArray, bytes);
  QFETCH(QString, back);
  QCOMPARE(Cp932::fromUnicode(text), bytes);
  QCOMPARE(Cp932::toUnicode(bytes), back);
}

void TstCp932::charCode_data() {
  QTest::addColumn<QChar>("character");
  QTest::addColumn<int>("code");
  QTest::newRow("a") << QChar(u'a') << 97;
  QTest::newRow("NUL") << QChar(u'\0') << 0;
  QTest::newRow("half-width katakana") << QChar(0xFF71) << 0xB1;
  QTest::newRow("hiragana a") << QChar(0x3042) << -32096;
  QTest::newRow("ideographic space") << QChar(0x3000) << int(std::int16_t(0x8140));
  QTest::newRow("last user-defined") << QChar(0xE757) << int(std::int16_t(0xF9FC));
  QTest::newRow("unmappable") << QChar(0x00E9) << 63;
  QTest::newRow("lone surrogate") << QChar(0xD800) << 63;
  QTest::newRow("close match") << QChar(0x00A5) << 0x5C;
}

void TstCp932::charCode() {
  QFETCH(QChar, character);
  QFETCH(int, code);
  QCOMPARE(int(Cp932::charCode(character)), code);
  // The way back gives the character (the close match's own character for
  // the yen sign, "?" for the unmappable ones).
  const QString back = Cp932::charFromCode(code);
  QCOMPARE(back, Cp932::toUnicode(Cp932::fromUnicode(QString(character))));
  // The unsigned form of a two-byte code names the same character.
  if (code < 0) QCOMPARE(Cp932::charFromCode(code + 65536), back);
}

void TstCp932::charFromCodeOutOfRange() {
  QVERIFY(Cp932::charFromCode(-32769).isEmpty());
  QVERIFY(Cp932::charFromCode(65536).isEmpty());
}

// The table behind byteCount agrees with a real conversion for every BMP unit.
void TstCp932::byteCountMatchesConversionOverTheBmp() {
  QString all;
  for (char32_t u = 1; u < 0x10000; ++u) {
    if (u >= 0xD800 && u <= 0xDFFF) continue;
    const QChar c(static_cast<char16_t>(u));
    const qsizetype one = Cp932::byteCount(QStringView(&c, 1), Cp932::Counting::Table);
    const qsizetype expected = Cp932::fromUnicode(QStringView(&c, 1)).size();
    if (one != expected) QFAIL(qPrintable(QStringLiteral("U+%1: %2 instead of %3").arg(uint(u), 4, 16, QLatin1Char('0')).arg(one).arg(expected)));
    all.append(c);
  }
  QCOMPARE(Cp932::byteCount(all, Cp932::Counting::Table), Cp932::fromUnicode(all).size());
}

QTEST_APPLESS_MAIN(TstCp932)
#include "tst_cp932.moc"
