// The history's search folds what the mail's character set changes on the
// way to the log and back: a word typed as the user typed it finds the
// mail as the log gives it back.

#include "cp932.h"
#include "iso2022jp.h"
#include "search_folding.h"

#include <QTest>

class TstSearchFolding : public QObject {
  Q_OBJECT

 private slots:
  void roundTripsFoldAlike_data();
  void roundTripsFoldAlike();
  void pairsFoldAlike_data();
  void pairsFoldAlike();
};

void TstSearchFolding::roundTripsFoldAlike_data() {
  QTest::addColumn<QString>("typed");
  for (const char* text : {"Ｗｉ－Ｆｉ切断", "10〜12時", "10～12時", "￢条件", "∥並行", "￠10", "￡5", "A―B", "A—B",
                           "A‐B", "マイナス−1"})
    QTest::newRow(text) << QString::fromUtf8(text);
}

// Through the program's own encoders: the text as it comes back from each
// character set folds to what the typed text folds to.
void TstSearchFolding::roundTripsFoldAlike() {
  QFETCH(QString, typed);
  const QString folded = SearchFolding::fold(typed);
  const QString fromShiftJis = Cp932::toUnicode(Cp932::fromUnicode(typed));
  QCOMPARE(SearchFolding::fold(fromShiftJis), folded);
  const std::optional<QByteArray> iso = Iso2022Jp::encode(typed);
  if (iso) QCOMPARE(SearchFolding::fold(Iso2022Jp::decode(*iso)), folded);
}

void TstSearchFolding::pairsFoldAlike_data() {
  QTest::addColumn<QString>("one");
  QTest::addColumn<QString>("other");
  QTest::newRow("full-width hyphen-minus, minus sign") << QStringLiteral("Ｗｉ－Ｆｉ") << QStringLiteral("Ｗｉ−Ｆｉ");
  QTest::newRow("typed in ASCII") << QStringLiteral("wi-fi") << QStringLiteral("Ｗｉ−Ｆｉ");
  QTest::newRow("hyphen, en dash, em dash, bar") << QStringLiteral("a-b-c-d-e") << QStringLiteral("a‐b–c—d―e");
  QTest::newRow("wave dash, full-width tilde") << QStringLiteral("〜") << QStringLiteral("～");
  QTest::newRow("not signs") << QStringLiteral("￢∥￠￡") << QStringLiteral("¬‖¢£");
  QTest::newRow("width and case as before") << QStringLiteral("ｶﾞｲﾄﾞ REPORT") << QStringLiteral("ガイド ｒｅｐｏｒｔ");
}

void TstSearchFolding::pairsFoldAlike() {
  QFETCH(QString, one);
  QFETCH(QString, other);
  QCOMPARE(SearchFolding::fold(one), SearchFolding::fold(other));
}

QTEST_MAIN(TstSearchFolding)
#include "tst_search_folding.moc"
