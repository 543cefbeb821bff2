// The MIME pieces of the mail text: the subject folded into encoded words
// of whole characters, the headers of each mode, and the fall-back to
// UTF-8 where ISO-2022-JP cannot carry the mail.
#include "mime_text.h"

#include <QRegularExpression>
#include <QTest>

using Charset = MailSettings::Charset;
Q_DECLARE_METATYPE(Charset)

namespace {

// The encoded words of a SUBJECT header, decoded from base64.
QList<QByteArray> wordsOf(const QByteArray& lines) {
  QList<QByteArray> words;
  const QRegularExpression word(QStringLiteral("=\\?([^?]+)\\?B\\?([A-Za-z0-9+/=]*)\\?="));
  for (auto it = word.globalMatch(QString::fromLatin1(lines)); it.hasNext();)
    words << QByteArray::fromBase64(it.next().captured(2).toLatin1());
  return words;
}

}  // namespace

class TstMimeText : public QObject {
  Q_OBJECT

 private slots:
  void subjectFolds_data();
  void subjectFolds();
  void headersOfEachMode_data();
  void headersOfEachMode();
  void messageIdCarriesTheDomain_data();
  void messageIdCarriesTheDomain();
};

void TstMimeText::subjectFolds_data() {
  QTest::addColumn<Charset>("charset");
  QTest::addColumn<QString>("subject");
  const QString sixty = QStringLiteral("明日の会議は十時からです").repeated(5);
  QTest::newRow("ISO-2022-JP, 60 full-width") << Charset::Iso2022Jp << sixty;
  QTest::newRow("UTF-8, 60 full-width") << Charset::Utf8 << sixty;
  QTest::newRow("UTF-8, emoji") << Charset::Utf8 << QStringLiteral("😀").repeated(40);
  QTest::newRow("ISO-2022-JP, mixed") << Charset::Iso2022Jp << QStringLiteral("Re: 会議 (10:00) のお知らせ").repeated(4);
  QTest::newRow("long ASCII") << Charset::Utf8 << QStringLiteral("Meeting ").repeated(30);
}

// Every line under 76 characters; every word whole characters (in
// ISO-2022-JP back in ASCII at its end); the words together the subject.
void TstMimeText::subjectFolds() {
  QFETCH(Charset, charset);
  QFETCH(QString, subject);
  const QByteArray lines = MimeText::subjectLines(subject, charset);
  QVERIFY(lines.startsWith("SUBJECT: =?"));
  QVERIFY(lines.endsWith("?=\r\n"));
  for (const QByteArray& line : lines.chopped(2).split('\n')) QVERIFY2(line.chopped(line.endsWith('\r')).size() < 76, line);
  QString joined;
  for (const QByteArray& word : wordsOf(lines)) {
    if (charset == Charset::Iso2022Jp) {
      // The last shift of the word is back to ASCII.
      const qsizetype lastShift = word.lastIndexOf('\x1b');
      QVERIFY(lastShift < 0 || word.mid(lastShift, 3) == "\x1b(B");
    } else {
      const QString text = QString::fromUtf8(word);
      QVERIFY(!text.contains(QChar::ReplacementCharacter));
      joined += text;
    }
  }
  if (charset == Charset::Utf8) QCOMPARE(joined, subject);
  QCOMPARE(MimeText::subjectLines(QString(), charset), QByteArray("SUBJECT:\r\n"));
}

void TstMimeText::headersOfEachMode_data() {
  QTest::addColumn<Charset>("chosen");
  QTest::addColumn<QString>("body");
  QTest::addColumn<bool>("eightBit");
  QTest::addColumn<QByteArray>("headers");
  QTest::newRow("ISO-2022-JP") << Charset::Iso2022Jp << QStringLiteral("本文") << false
                               << QByteArray("Content-Type: text/plain; charset=ISO-2022-JP\r\n"
                                             "Content-Transfer-Encoding: 7bit\r\n");
  QTest::newRow("ISO-2022-JP cannot carry ㈱") << Charset::Iso2022Jp << QStringLiteral("㈱本文") << false
                                               << QByteArray("Content-Type: text/plain; charset=UTF-8\r\n"
                                                             "Content-Transfer-Encoding: base64\r\n");
  QTest::newRow("UTF-8") << Charset::Utf8 << QStringLiteral("本文") << false
                         << QByteArray("Content-Type: text/plain; charset=UTF-8\r\n"
                                       "Content-Transfer-Encoding: base64\r\n");
  QTest::newRow("UTF-8 to a server with 8BITMIME") << Charset::Utf8 << QStringLiteral("本文") << true
                                                   << QByteArray("Content-Type: text/plain; charset=UTF-8\r\n"
                                                                 "Content-Transfer-Encoding: 8bit\r\n");
  // A line past 998 octets would have to be broken: base64 carries it whole.
  const QString longLine = QStringLiteral("本文").repeated(300);
  QTest::newRow("ISO-2022-JP with a long line") << Charset::Iso2022Jp << longLine << false
                                                << QByteArray("Content-Type: text/plain; charset=UTF-8\r\n"
                                                              "Content-Transfer-Encoding: base64\r\n");
  QTest::newRow("UTF-8 with a long line, 8BITMIME") << Charset::Utf8 << QStringLiteral("a\n") + longLine << true
                                                    << QByteArray("Content-Type: text/plain; charset=UTF-8\r\n"
                                                                  "Content-Transfer-Encoding: base64\r\n");
  // NUL may go in neither 7bit nor 8bit.
  const QString withNul = QStringLiteral("本文") + QChar(u'\0') + QStringLiteral("後");
  QTest::newRow("ISO-2022-JP, a NUL in the body") << Charset::Iso2022Jp << withNul << false
                                                 << QByteArray("Content-Type: text/plain; charset=UTF-8\r\n"
                                                               "Content-Transfer-Encoding: base64\r\n");
  QTest::newRow("UTF-8, a NUL in the body, 8BITMIME") << Charset::Utf8 << withNul << true
                                                      << QByteArray("Content-Type: text/plain; charset=UTF-8\r\n"
                                                                    "Content-Transfer-Encoding: base64\r\n");
  QTest::newRow("ISO-2022-JP, 998 octets") << Charset::Iso2022Jp << QStringLiteral("本").repeated(496) << false
                                           << QByteArray("Content-Type: text/plain; charset=ISO-2022-JP\r\n"
                                                         "Content-Transfer-Encoding: 7bit\r\n");
}

void TstMimeText::headersOfEachMode() {
  QFETCH(Charset, chosen);
  QFETCH(QString, body);
  QFETCH(bool, eightBit);
  QFETCH(QByteArray, headers);
  const MimeText::Composed mail = MimeText::compose(QStringLiteral("件名"), body, chosen, eightBit,
                                                    QStringLiteral("example.jp"));
  QVERIFY(mail.text.contains("\r\nMIME-Version: 1.0\r\n" + headers + "\r\n"));
  QVERIFY(mail.text.contains("\r\nMessage-ID: <"));
  // A body in 7 bits (or base64) has no byte above 127.
  if (!headers.contains("8bit"))
    for (const char c : mail.text) QVERIFY(static_cast<unsigned char>(c) < 0x80);
}

void TstMimeText::messageIdCarriesTheDomain_data() {
  QTest::addColumn<QString>("senderDomain");
  QTest::addColumn<bool>("kept");
  QTest::newRow("plain domain") << QStringLiteral("example.jp") << true;
  QTest::newRow("hyphen and digits") << QStringLiteral("mx-1.example.co.jp") << true;
  QTest::newRow("blank") << QStringLiteral(" ") << false;
  QTest::newRow("Japanese domain") << QStringLiteral("例え.jp") << false;
  QTest::newRow("with >") << QStringLiteral("example.jp> x") << false;
  QTest::newRow("with a space") << QStringLiteral("exa mple.jp") << false;
  QTest::newRow("with NUL") << QStringLiteral("example.jp") + QChar(u'\0') << false;
  QTest::newRow("label beginning with a hyphen") << QStringLiteral("-x.example.jp") << false;
}

// The sender's domain only when it is a plain ASCII host name; otherwise
// the machine's host name or "localhost", never raw bytes of something else.
void TstMimeText::messageIdCarriesTheDomain() {
  QFETCH(QString, senderDomain);
  QFETCH(bool, kept);
  const QByteArray id = MimeText::messageId(senderDomain);
  const QRegularExpressionMatch match =
      QRegularExpression(QStringLiteral("^<[0-9a-f-]{36}@([A-Za-z0-9.-]+)>$")).match(QString::fromLatin1(id));
  QVERIFY2(match.hasMatch(), id.constData());
  if (kept)
    QCOMPARE(match.captured(1), senderDomain);
  else
    QVERIFY(match.captured(1) != senderDomain);
  QVERIFY(MimeText::messageId(senderDomain) != id);
}

QTEST_GUILESS_MAIN(TstMimeText)
#include "tst_mime_text.moc"
