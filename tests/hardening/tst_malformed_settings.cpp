// Whatever a Data.ini holds, the program starts, shows its defaults, and a
// save from the settings window keeps every line the program does not own.
#include "find_child.h"
#include "settings_window.h"
#include "mail_settings.h"
#include "fake_socket.h"
#include "scripted_message_boxes.h"
#include "main_window.h"
#include "temp_app_folder.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTest>

namespace {

// Keys the program writes, by section (names compared in lower case).
bool ownedByProgram(const QByteArray& section, const QByteArray& key) {
  static const QSet<QByteArray> mail = {"to", "from", "server", "pbsmtp", "outlog", "pserver", "user", "pass"};
  static const QSet<QByteArray> addresses = {"0", "1", "2", "3", "4"};
  if (section == "mail") return mail.contains(key);
  if (section == "addrindex") return addresses.contains(key);
  if (section == "addrnum") return key == "num";
  if (section == "carriernum") return key == "defaultnum";
  return false;
}

// The file's lines, endings dropped, leaving out key lines the program owns.
QList<QByteArray> linesNotOwned(const QByteArray& bytes) {
  QList<QByteArray> kept;
  QByteArray section;
  for (QByteArray line : bytes.split('\n')) {
    while (line.endsWith('\r')) line.chop(1);
    const QByteArray trimmed = line.trimmed();
    if (trimmed.startsWith('[')) {
      section = trimmed.mid(1, trimmed.indexOf(']') - 1).trimmed().toLower();
    } else if (const qsizetype equals = line.indexOf('='); equals >= 0 && !trimmed.startsWith(';')) {
      if (ownedByProgram(section, line.left(equals).trimmed().toLower())) continue;
    }
    if (!line.isEmpty()) kept.append(line);
  }
  return kept;
}

bool isSubsequence(const QList<QByteArray>& needles, const QList<QByteArray>& haystack) {
  qsizetype at = 0;
  for (const QByteArray& needle : needles) {
    while (at < haystack.size() && haystack[at] != needle) ++at;
    if (at == haystack.size()) return false;
    ++at;
  }
  return true;
}

}  // namespace

class TestMalformedSettings : public QObject {
  Q_OBJECT

 private slots:
  void startsWithDefaultsAndSaveKeepsForeignLines_data() {
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<int>("carriers");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("counter");
    QTest::addColumn<int>("addresses");
    QTest::addColumn<QString>("recipient");
    QTest::addColumn<bool>("pbsmtp");
    QTest::addColumn<bool>("outlog");
    const QString abc = QStringLiteral("abc");
    const QString none = QString();
    const QString noLimit = QStringLiteral("0/???");
    const QString limit10000 = QStringLiteral("0/10000");
    // clang-format off
    QTest::newRow("empty")                 << "empty.ini"                 << 0 << -1 << noLimit    << 1 << none << false << false;
    QTest::newRow("binary junk")           << "binary_junk.ini"           << 0 << -1 << noLimit    << 1 << none << false << false;
    QTest::newRow("utf-8 byte order mark") << "utf8_bom.ini"              << 3 <<  1 << limit10000 << 1 << abc  << false << false;
    QTest::newRow("LF line endings")       << "lf_only.ini"               << 3 <<  1 << limit10000 << 1 << abc  << false << false;
    QTest::newRow("no carrier sections")   << "no_carrier_sections.ini"   << 0 << -1 << noLimit    << 1 << abc  << false << false;
    QTest::newRow("no MAIL section")       << "no_mail_section.ini"       << 3 <<  1 << limit10000 << 1 << none << false << false;
    QTest::newRow("duplicate sections")    << "duplicate_sections.ini"    << 3 <<  1 << limit10000 << 1 << abc  << false << false;
    QTest::newRow("duplicate keys")        << "duplicate_keys.ini"        << 3 <<  1 << limit10000 << 1 << abc  << false << false;
    QTest::newRow("lines without =")       << "lines_without_equals.ini"  << 3 <<  1 << limit10000 << 1 << none << false << false;
    QTest::newRow("numbers 99999")         << "num_99999.ini"             << 0 << -1 << noLimit    << 1 << none << true  << false;
    QTest::newRow("numbers -5")            << "num_negative.ini"          << 0 << -1 << noLimit    << 1 << none << true  << false;
    QTest::newRow("numbers 1e3")           << "num_exponent.ini"          << 0 << -1 << noLimit    << 1 << none << false << false;
    QTest::newRow("numbers abc")           << "num_abc.ini"               << 0 << -1 << noLimit    << 1 << none << false << false;
    QTest::newRow("bad carrier limit")     << "carrier_limit_bad.ini"     << 2 <<  0 << "0/0"      << 1 << abc  << false << false;
    QTest::newRow("DefaultNum 7 of 3")     << "defaultnum_out_of_range.ini" << 3 << -1 << noLimit  << 1 << abc  << false << false;
    QTest::newRow("AddrNum 9")             << "addrnum_9.ini"             << 3 <<  1 << limit10000 << 5 << "a"  << false << false;
    QTest::newRow("flags yes and 2")       << "flags_odd.ini"             << 3 <<  1 << limit10000 << 1 << none << false << true;
    QTest::newRow("scrambled @")           << "scrambled_at.ini"          << 3 <<  1 << limit10000 << 2 << none << false << false;
    QTest::newRow("scrambled @@1")         << "scrambled_double_at.ini"   << 3 <<  1 << limit10000 << 2 << none << false << false;
    QTest::newRow("scrambled - and @-")    << "scrambled_dash.ini"        << 3 <<  1 << limit10000 << 1 << "1"  << false << false;
    QTest::newRow("scrambled @99999999")   << "scrambled_huge_number.ini" << 3 <<  1 << limit10000 << 1 << none << false << false;
    QTest::newRow("scrambled very long")   << "scrambled_very_long.ini"   << 3 <<  1 << limit10000 << 1 << QString(5000, QLatin1Char('a')) << false << false;
    QTest::newRow("only comments")         << "only_comments.ini"         << 0 << -1 << noLimit    << 1 << none << false << false;
    QTest::newRow("unknown sections")      << "unknown_sections.ini"      << 3 <<  1 << limit10000 << 1 << abc  << false << false;
    QTest::newRow("blanks and letter case")<< "blank_names.ini"           << 2 <<  0 << limit10000 << 1 << none << true  << true;
    QTest::newRow("1 MB line")             << "<1 MB line>"               << 3 <<  1 << limit10000 << 1 << abc  << false << false;
    // clang-format on
  }

  void startsWithDefaultsAndSaveKeepsForeignLines() {
    QFETCH(QString, fixture);
    QFETCH(int, carriers);
    QFETCH(int, selected);
    QFETCH(QString, counter);
    QFETCH(int, addresses);
    QFETCH(QString, recipient);
    QFETCH(bool, pbsmtp);
    QFETCH(bool, outlog);

    TempAppFolder folder;
    if (fixture.startsWith(QLatin1Char('<'))) {
      folder.copyFixture(QStringLiteral("hardening/malformed_ini/utf8_bom.ini"));
      folder.writeIniBytes(folder.iniBytes() + "[Junk]\r\nline=" + QByteArray(1 << 20, 'x') + "\r\n");
    } else {
      folder.copyFixture(QStringLiteral("hardening/malformed_ini/") + fixture);
    }
    const QByteArray original = folder.iniBytes();
    ScriptedMessageBoxes boxes;  // every question answered with its default

    MainWindow window(SettingsFile::inUse(), std::make_unique<FakeSocket>());
    window.showAndLoad();
    QCOMPARE(child<QComboBox>(window, "carrierBox")->count(), carriers);
    QCOMPARE(child<QComboBox>(window, "carrierBox")->currentIndex(), selected);
    QCOMPARE(child<QLabel>(window, "bodyCounter")->text(), counter);
    QCOMPARE(child<QComboBox>(window, "recipientBox")->count(), addresses);
    QCOMPARE(child<QComboBox>(window, "recipientBox")->currentText(), recipient);
    QCOMPARE(window.runningSettings().popBeforeSmtp, pbsmtp);
    QCOMPARE(window.runningSettings().keepLog, outlog);
    QCOMPARE(boxes.count(), 0);

    {
      SettingsWindow settings(window.settingsFile(), window.recipientText(), window.runningSettings(), window.sendBoxes(),
                              window.passwords());
      QObject::connect(&settings, &SettingsWindow::saved, &window, &MainWindow::takeSavedSettings);
      child<QPushButton>(settings, "saveButton")->click();
    }
    const QByteArray saved = folder.iniBytes();
    QVERIFY(saved != original);
    QVERIFY2(isSubsequence(linesNotOwned(original), linesNotOwned(saved)), "a line the program does not own was lost");
  }
};

QTEST_MAIN(TestMalformedSettings)
#include "tst_malformed_settings.moc"
