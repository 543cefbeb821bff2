// Log files of every form the program writes, read back as typed.
#include "logged_mail.h"
#include "sent_mail_reader.h"

#include <QTest>

using Charset = MailSettings::Charset;

class TstSentMailReader : public QObject {
  Q_OBJECT

 private slots:
  void readsAsTyped_data();
  void readsAsTyped();
  void foreignForms_data();
  void foreignForms();
  void notMails_data();
  void notMails();
  void headersAloneReadTheSame();
};

void TstSentMailReader::readsAsTyped_data() {
  QTest::addColumn<Charset>("charset");
  QTest::addColumn<bool>("eightBit");
  QTest::addColumn<QString>("subject");
  QTest::addColumn<QString>("body");

  const QString body = QStringLiteral("明日の会議は十時から、第２会議室です。\n.\n\n以上。\n");
  const QString longSubject = QStringLiteral("来週の打ち合わせの件について（再送）").repeated(4);
  QTest::newRow("Shift_JIS") << Charset::ShiftJis << false << QStringLiteral("会議のお知らせ") << body;
  QTest::newRow("Shift_JIS, CP932's own and half-width")
      << Charset::ShiftJis << false << QStringLiteral("㈱髙島屋 ｶﾞｲﾄﾞ ①") << QStringLiteral("～∥－￢ ｱｲｳ\\");
  QTest::newRow("Shift_JIS, blanks around the subject")
      << Charset::ShiftJis << false << QStringLiteral("  前後に空白  ") << QStringLiteral("  字下げ\n");
  QTest::newRow("Shift_JIS, no subject, no body") << Charset::ShiftJis << false << QString() << QString();
  QTest::newRow("ISO-2022-JP") << Charset::Iso2022Jp << false << QStringLiteral("会議のお知らせ") << body;
  QTest::newRow("ISO-2022-JP, folded subject") << Charset::Iso2022Jp << false << longSubject << body;
  QTest::newRow("ISO-2022-JP asked, UTF-8 sent")
      << Charset::Iso2022Jp << false << QStringLiteral("㈱の件") << QStringLiteral("髙橋さん 🎉\n");
  QTest::newRow("UTF-8, base64") << Charset::Utf8 << false << longSubject + QStringLiteral("🎉")
                                 << QStringLiteral("Ünïcödé 한국어 🎉\n二行目");
  QTest::newRow("UTF-8, 8bit") << Charset::Utf8 << true << QStringLiteral("Straße 会議") << body;
  QTest::newRow("UTF-8, no subject") << Charset::Utf8 << false << QString() << QStringLiteral("本文だけ");
}

void TstSentMailReader::readsAsTyped() {
  QFETCH(Charset, charset);
  QFETCH(bool, eightBit);
  QFETCH(QString, subject);
  QFETCH(QString, body);
  LoggedMail::Typed typed;
  typed.subject = subject;
  typed.body = body;

  const SentMailReader::SentMail mail = SentMailReader::parseMail(LoggedMail::bytes(typed, charset, eightBit));

  QVERIFY(mail.isMail);
  QCOMPARE(mail.subject, subject);
  QCOMPARE(mail.body, body);
  QCOMPARE(mail.to, typed.to);
  QCOMPARE(mail.from, typed.from);
  QCOMPARE(mail.date, typed.date);
}

// Forms the program does not write itself but a log may hold.
void TstSentMailReader::foreignForms_data() {
  QTest::addColumn<QByteArray>("file");
  QTest::addColumn<QString>("subject");
  QTest::addColumn<QString>("body");

  const QByteArray head = "Date: Fri, 17 May 2024 09:30:15 +0900\r\nFrom: taro@example.jp\r\nTo: hanako@example.jp\r\n";
  QTest::newRow("UTF-8, quoted-printable, soft break")
      << head + "Subject: =?utf-8?Q?=E4=BC=9A=E8=AD=B0_=E3=81=AE=E4=BB=B6?=\r\nMIME-Version: 1.0\r\n"
                "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
                "=E6=98=8E=E6=97=A5=\r\n=E3=81=AF=E4=BC=91=E3=81=BF\r\n"
      << QStringLiteral("会議 の件") << QStringLiteral("明日は休み");
  QTest::newRow("Shift_JIS declared, base64, LF line breaks")
      << QByteArray(head + "Subject: =?Shift_JIS?B?" + QByteArray("\x89\xef\x8b\x63").toBase64() +
                    "?=\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=Shift_JIS\r\n"
                    "Content-Transfer-Encoding: base64\r\n\r\n" +
                    QByteArray("\x96\x7b\x95\xb6\n").toBase64() + "\r\n")
             .replace("\r\n", "\n")
      << QStringLiteral("会議") << QStringLiteral("本文\n");
}

void TstSentMailReader::foreignForms() {
  QFETCH(QByteArray, file);
  QFETCH(QString, subject);
  QFETCH(QString, body);
  const SentMailReader::SentMail mail = SentMailReader::parseMail(file);
  QVERIFY(mail.isMail);
  QCOMPARE(mail.subject, subject);
  QCOMPARE(mail.body, body);
  QCOMPARE(mail.to, QStringLiteral("hanako@example.jp"));
}

void TstSentMailReader::notMails_data() {
  QTest::addColumn<QByteArray>("file");
  QTest::newRow("empty") << QByteArray();
  QTest::newRow("a line break") << QByteArray("\r\n");
  QTest::newRow("plain text") << QByteArray("買い物リスト\nたまご\n牛乳\n");
  QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
  QTest::newRow("other headers only") << QByteArray("Foo: bar\r\n\r\nbody\r\n");
}

void TstSentMailReader::notMails() {
  QFETCH(QByteArray, file);
  QVERIFY(!SentMailReader::parseMail(file).isMail);
  QVERIFY(!SentMailReader::parseHeaders(file).isMail);
}

// The list reads only the header block: the same fields, no body.
void TstSentMailReader::headersAloneReadTheSame() {
  LoggedMail::Typed typed;
  typed.subject = QStringLiteral("見出し");
  typed.body = QStringLiteral("X\n").repeated(20000);
  for (const Charset charset : {Charset::ShiftJis, Charset::Iso2022Jp, Charset::Utf8}) {
    const QByteArray file = LoggedMail::bytes(typed, charset);
    const SentMailReader::SentMail headers = SentMailReader::parseHeaders(file);
    const SentMailReader::SentMail whole = SentMailReader::parseMail(file);
    QVERIFY(headers.isMail);
    QCOMPARE(headers.subject, whole.subject);
    QCOMPARE(headers.to, whole.to);
    QCOMPARE(headers.date, whole.date);
    QVERIFY(headers.body.isEmpty());
  }
}

QTEST_GUILESS_MAIN(TstSentMailReader)
#include "tst_sent_mail_reader.moc"
