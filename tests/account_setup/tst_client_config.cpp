// The clientConfig reader: what it takes from an answer, what it refuses
// and why; and the program's own provider table, entry by entry.
#include "client_config.h"
#include "email_address_parts.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

using Smtp = MailSettings::SmtpSecurity;
using Pop = MailSettings::PopSecurity;

namespace {

// One provider for example.jp; smtp is the <outgoingServer>'s inside.
QByteArray document(const QString& smtp, const QString& extra = QString()) {
  return QStringLiteral(
             "<?xml version=\"1.0\"?><clientConfig version=\"1.1\"><emailProvider id=\"example.jp\">"
             "<domain>example.jp</domain><displayName>Example</displayName>"
             "<incomingServer type=\"pop3\"><hostname>pop.%EMAILDOMAIN%</hostname><port>995</port>"
             "<socketType>SSL</socketType><username>%EMAILLOCALPART%</username></incomingServer>"
             "<outgoingServer type=\"smtp\">%1</outgoingServer></emailProvider>%2</clientConfig>")
      .arg(smtp, extra)
      .toUtf8();
}

QString smtp(const QString& host, const QString& port, const QString& socket, const QString& auth = "password-cleartext") {
  return QStringLiteral("<hostname>%1</hostname><port>%2</port><socketType>%3</socketType>"
                        "<username>%EMAILADDRESS%</username><authentication>%4</authentication>")
      .arg(host, port, socket, auth);
}

const EmailAddressParts kTaro = EmailAddressParts::parse(QStringLiteral(" taro+jp@Example.JP "));

}  // namespace

class TstClientConfig : public QObject {
  Q_OBJECT

 private slots:
  void takesTheServers_data();
  void takesTheServers();
  void refuses_data();
  void refuses();
  void addressParts_data();
  void addressParts();
  void providerTable_data();
  void providerTable();
};

void TstClientConfig::takesTheServers_data() {
  QTest::addColumn<QByteArray>("xml");
  QTest::addColumn<int>("security");
  QTest::addColumn<bool>("auth");
  QTest::addColumn<bool>("oauth2Only");
  QTest::newRow("STARTTLS, password") << document(smtp("smtp.%EMAILDOMAIN%", "587", "STARTTLS")) << int(Smtp::StartTls) << true << false;
  QTest::newRow("SSL, case of socketType") << document(smtp("smtp.example.jp", "465", "ssl")) << int(Smtp::Ssl) << true << false;
  QTest::newRow("plain, no login") << document(smtp("smtp.example.jp", "25", "plain", "none")) << int(Smtp::None) << false << false;
  QTest::newRow("OAuth2 only") << document(smtp("smtp.example.jp", "587", "STARTTLS", "OAuth2")) << int(Smtp::StartTls) << true << true;
  QTest::newRow("OAuth2 and a password") << document(smtp("smtp.example.jp", "587", "STARTTLS", "OAuth2</authentication><authentication>password-cleartext"))
                                         << int(Smtp::StartTls) << true << false;
  QTest::newRow("oAuth2 block, no method named") << document(smtp("smtp.example.jp", "587", "STARTTLS", "NTLM</authentication><authentication>OAuth2"), "<oAuth2><issuer>x</issuer></oAuth2>")
                                                 << int(Smtp::StartTls) << true << true;
}

void TstClientConfig::takesTheServers() {
  QFETCH(QByteArray, xml);
  QFETCH(int, security);
  QFETCH(bool, auth);
  QFETCH(bool, oauth2Only);
  const ClientConfig::Reading reading = ClientConfig::read(xml, kTaro, true);
  QVERIFY2(reading.account, qPrintable(reading.refusal));
  QCOMPARE(reading.account->smtpServer.startsWith(QStringLiteral("smtp.example.jp")), true);
  QCOMPARE(int(reading.account->smtpSecurity), security);
  QCOMPARE(reading.account->smtpAuth, auth);
  QCOMPARE(reading.account->oauth2Only, oauth2Only);
  QCOMPARE(reading.account->smtpUser, QStringLiteral("taro+jp@Example.JP"));
  QCOMPARE(reading.account->smtpUserForm, QStringLiteral("%EMAILADDRESS%"));
  QVERIFY(reading.account->hasPop);
  QCOMPARE(reading.account->popServer, QStringLiteral("pop.example.jp"));
  QCOMPARE(reading.account->popUser, QStringLiteral("taro+jp"));
  QCOMPARE(int(reading.account->popSecurity), int(Pop::Ssl));
  QCOMPARE(reading.account->providerName, QStringLiteral("Example"));
}

void TstClientConfig::refuses_data() {
  QTest::addColumn<QByteArray>("xml");
  QTest::addColumn<QString>("reason");  // a part of the refusal; empty: nothing there, no refusal
  QTest::newRow("port too large") << document(smtp("smtp.example.jp", "70000", "SSL")) << "1～65535";
  QTest::newRow("port 0") << document(smtp("smtp.example.jp", "0", "SSL")) << "1～65535";
  QTest::newRow("port not a number") << document(smtp("smtp.example.jp", "465a", "SSL")) << "1～65535";
  QTest::newRow("unknown socketType") << document(smtp("smtp.example.jp", "465", "TLS1.3")) << "TLS1.3";
  QTest::newRow("empty hostname") << document(smtp("  ", "465", "SSL")) << "空です";
  QTest::newRow("hostname with blanks") << document(smtp("smtp example.jp", "465", "SSL")) << "使えません";
  QTest::newRow("hostname from a placeholder, unusable") << document(smtp("%EMAILLOCALPART%.example.jp", "465", "SSL")) << "使えません";
  QTest::newRow("no login method the program has") << document(smtp("smtp.example.jp", "465", "SSL", "GSSAPI")) << "ログインの方式";
  QTest::newRow("no SMTP server") << document(QString()).replace("type=\"smtp\"", "type=\"ews\"") << "SMTP";
  QTest::newRow("bad POP port refuses the whole answer")
      << document(smtp("smtp.example.jp", "465", "SSL")).replace("<port>995</port>", "<port>-1</port>") << "受信サーバ";
  QTest::newRow("malformed") << QByteArray("<clientConfig><emailProvider><domain>example.jp</port>") << "XML";
  QTest::newRow("cut short") << document(smtp("smtp.example.jp", "465", "SSL")).left(300) << "XML";
  QTest::newRow("garbage after the root") << document(smtp("smtp.example.jp", "465", "SSL")) + "<more/>" << "XML";
  QTest::newRow("not clientConfig") << QByteArray("<html><body>hello</body></html>") << "clientConfig";
  QTest::newRow("JSON") << QByteArray("{\"smtp\": 1}") << "clientConfig";
  QTest::newRow("another domain only") << document(smtp("smtp.example.jp", "465", "SSL")).replace("<domain>example.jp", "<domain>example.com") << "";
}

void TstClientConfig::refuses() {
  QFETCH(QByteArray, xml);
  QFETCH(QString, reason);
  const ClientConfig::Reading reading = ClientConfig::read(xml, kTaro, true);
  QVERIFY(!reading.account);
  if (reason.isEmpty()) QVERIFY(reading.refusal.isEmpty());
  else QVERIFY2(reading.refusal.contains(reason), qPrintable(reading.refusal));
}

void TstClientConfig::addressParts_data() {
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QString>("domain");  // empty: not an address to look up
  QTest::addColumn<QString>("localPart");
  QTest::newRow("plain") << "taro@example.jp" << "example.jp" << "taro";
  QTest::newRow("upper case, blanks") << "  Taro@EXAMPLE.JP " << "example.jp" << "Taro";
  QTest::newRow("international domain") << "taro@例え.jp" << "xn--r8jz45g.jp" << "taro";
  QTest::newRow("quoted @ in the local part") << "\"a@b\"@example.jp" << "example.jp" << "\"a@b\"";
  QTest::newRow("no @") << "taro.example.jp" << "" << "";
  QTest::newRow("no domain") << "taro@" << "" << "";
  QTest::newRow("one label") << "taro@localhost" << "" << "";
  QTest::newRow("path in the domain") << "taro@example.jp/../x" << "" << "";
  QTest::newRow("query in the domain") << "taro@example.jp?x=1" << "" << "";
  QTest::newRow("blank in the local part") << "ta ro@example.jp" << "" << "";
}

void TstClientConfig::addressParts() {
  QFETCH(QString, typed);
  QFETCH(QString, domain);
  QFETCH(QString, localPart);
  const EmailAddressParts parts = EmailAddressParts::parse(typed);
  QCOMPARE(parts.domain, domain);
  QCOMPARE(parts.isValid(), !domain.isEmpty());
  if (parts.isValid()) QCOMPARE(parts.localPart, localPart);
}

// Every entry of the shipped table says where it was taken from, and gives
// usable settings for each of its domains.
void TstClientConfig::providerTable_data() {
  QTest::addColumn<QString>("domain");
  QFile file(QStringLiteral(TALVENOR_PROVIDER_TABLE));
  QVERIFY(file.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(file.readAll());
  const QRegularExpression entry(QStringLiteral("<!--([^>]*)-->\\s*<emailProvider id=\"([^\"]+)\">(.*?)</emailProvider>"),
                                 QRegularExpression::DotMatchesEverythingOption);
  int entries = 0;
  for (const QRegularExpressionMatch& match : entry.globalMatch(text)) {
    ++entries;
    QVERIFY2(match.captured(1).contains(QStringLiteral("https://")), qPrintable(match.captured(2)));
    const QRegularExpression domainElement(QStringLiteral("<domain>([^<]+)</domain>"));
    for (const QRegularExpressionMatch& domain : domainElement.globalMatch(match.captured(3)))
      QTest::newRow(qPrintable(domain.captured(1))) << domain.captured(1);
  }
  QCOMPARE(entries, int(text.count(QStringLiteral("<emailProvider "))));
}

void TstClientConfig::providerTable() {
  QFETCH(QString, domain);
  QFile file(QStringLiteral(TALVENOR_PROVIDER_TABLE));
  QVERIFY(file.open(QIODevice::ReadOnly));
  const ClientConfig::Reading reading =
      ClientConfig::read(file.readAll(), EmailAddressParts::parse(QStringLiteral("taro@") + domain), true);
  QVERIFY2(reading.account, qPrintable(reading.refusal));
  QVERIFY(reading.account->smtpAuth);
  QVERIFY(reading.account->smtpSecurity != Smtp::None);
  QVERIFY(!reading.account->smtpUser.contains(QLatin1Char('%')));
}

QTEST_GUILESS_MAIN(TstClientConfig)
#include "tst_client_config.moc"
