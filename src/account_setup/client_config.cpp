#include "client_config.h"

#include "email_address_parts.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QStringList>
#include <QXmlStreamReader>
#include <vector>

using Smtp = MailSettings::SmtpSecurity;
using Pop = MailSettings::PopSecurity;

namespace {

// One <incomingServer> or <outgoingServer> as written.
struct ServerEntry {
  bool outgoing = false;
  QString type;
  QString hostname;
  QString port;
  QString socketType;
  QString username;
  QStringList authentication;
};

struct ProviderEntry {
  QStringList domains;
  QString displayName;
  std::vector<ServerEntry> servers;
};

struct Document {
  std::vector<ProviderEntry> providers;
  bool hasOAuth2Block = false;
};

void readServer(QXmlStreamReader& xml, ServerEntry& server) {
  server.type = xml.attributes().value(QLatin1String("type")).toString().toLower();
  while (xml.readNextStartElement()) {
    const QStringView name = xml.name();
    if (name == u"hostname") server.hostname = xml.readElementText().trimmed();
    else if (name == u"port") server.port = xml.readElementText().trimmed();
    else if (name == u"socketType") server.socketType = xml.readElementText().trimmed();
    else if (name == u"username") server.username = xml.readElementText().trimmed();
    else if (name == u"authentication") server.authentication << xml.readElementText().trimmed().toLower();
    else xml.skipCurrentElement();
  }
}

void readProvider(QXmlStreamReader& xml, ProviderEntry& provider) {
  while (xml.readNextStartElement()) {
    const QStringView name = xml.name();
    if (name == u"domain") {
      provider.domains << xml.readElementText().trimmed().toLower();
    } else if (name == u"displayName") {
      provider.displayName = xml.readElementText().trimmed();
    } else if (name == u"incomingServer" || name == u"outgoingServer") {
      ServerEntry server;
      server.outgoing = name == u"outgoingServer";
      readServer(xml, server);
      provider.servers.push_back(server);
    } else {
      xml.skipCurrentElement();
    }
  }
}

// The whole document, or the parser's complaint.
std::optional<Document> parse(const QByteArray& bytes, QString& refusal) {
  QXmlStreamReader xml(bytes);
  Document document;
  if (!xml.readNextStartElement() || xml.name() != u"clientConfig") {
    refusal = QStringLiteral("clientConfig の形式ではありません。");
    return std::nullopt;
  }
  while (xml.readNextStartElement()) {
    if (xml.name() == u"emailProvider") {
      document.providers.emplace_back();
      readProvider(xml, document.providers.back());
    } else {
      if (xml.name() == u"oAuth2") document.hasOAuth2Block = true;
      xml.skipCurrentElement();
    }
  }
  // Reading on to the end catches what follows the root element as well.
  while (!xml.atEnd()) xml.readNext();
  if (xml.hasError()) {
    refusal = QStringLiteral("XML として読めません（%1 行目: %2）。").arg(xml.lineNumber()).arg(xml.errorString());
    return std::nullopt;
  }
  return document;
}

}  // namespace

bool ClientConfig::isUsableHost(const QString& host) {
  static const QRegularExpression name(
      QStringLiteral("^(?=.{1,253}$)([A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?\\.)*[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?$"));
  return name.match(host).hasMatch() || !QHostAddress(host).isNull();
}

namespace {

std::optional<std::uint16_t> portOf(const QString& text) {
  bool ok = false;
  const int port = text.toInt(&ok);
  if (!ok || port < 1 || port > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(port);
}

}  // namespace

namespace {

// How the server takes a login, from its <authentication> values.
struct LoginMethods {
  bool password = false;  // some method with the user's password
  bool oauth2 = false;
  bool none = false;      // no login (or one by address, or POP before SMTP)
  bool usable() const { return password || oauth2 || none; }
};

LoginMethods loginMethods(const QStringList& values) {
  LoginMethods methods;
  // No <authentication> at all: the format's default, a password.
  if (values.isEmpty()) methods.password = true;
  for (const QString& value : values) {
    if (value == u"password-cleartext" || value == u"plain" || value == u"password-encrypted" || value == u"secure")
      methods.password = true;
    else if (value == u"oauth2")
      methods.oauth2 = true;
    else if (value == u"none" || value == u"client-ip-address" || value == u"smtp-after-pop")
      methods.none = true;
  }
  return methods;
}

// The socketType as the program's encryption, or none when unknown.
std::optional<int> securityOf(const QString& socketType, bool outgoing) {
  const QString type = socketType.toUpper();
  if (type == u"PLAIN") return outgoing ? int(Smtp::None) : int(Pop::None);
  if (type == u"STARTTLS") return outgoing ? int(Smtp::StartTls) : int(Pop::Stls);
  if (type == u"SSL") return outgoing ? int(Smtp::Ssl) : int(Pop::Ssl);
  return std::nullopt;
}

// Why the server cannot be taken, or empty when it can.
QString problemOf(const ServerEntry& server, const EmailAddressParts& address) {
  const QString what = server.outgoing ? QStringLiteral("送信サーバ") : QStringLiteral("受信サーバ");
  const QString host = address.withPlaceholdersFilled(server.hostname);
  if (host.isEmpty()) return what + QStringLiteral("の名前が空です。");
  if (!ClientConfig::isUsableHost(host)) return what + QStringLiteral("の名前「%1」は使えません。").arg(host);
  if (!portOf(server.port)) return what + QStringLiteral("のポート番号「%1」は 1～65535 の範囲にありません。").arg(server.port);
  if (!securityOf(server.socketType, server.outgoing))
    return what + QStringLiteral("の暗号化の種類「%1」は分かりません。").arg(server.socketType);
  if (!loginMethods(server.authentication).usable())
    return what + QStringLiteral("にこのプログラムで使えるログインの方式がありません。");
  return QString();
}

void takeSmtp(const ServerEntry& server, const EmailAddressParts& address, bool oauth2Block, FoundAccount& found) {
  const LoginMethods methods = loginMethods(server.authentication);
  found.smtpServer = address.withPlaceholdersFilled(server.hostname);
  found.smtpPort = *portOf(server.port);
  found.smtpSecurity = static_cast<Smtp>(*securityOf(server.socketType, true));
  found.smtpAuth = methods.password || methods.oauth2;
  found.smtpUserForm = server.username.isEmpty() ? QStringLiteral("%EMAILADDRESS%") : server.username;
  found.smtpUser = address.withPlaceholdersFilled(found.smtpUserForm);
  found.oauth2Only = !methods.password && (methods.oauth2 || (oauth2Block && !methods.none));
}

void takePop(const ServerEntry& server, const EmailAddressParts& address, FoundAccount& found) {
  found.hasPop = true;
  found.popServer = address.withPlaceholdersFilled(server.hostname);
  found.popPort = *portOf(server.port);
  found.popSecurity = static_cast<Pop>(*securityOf(server.socketType, false));
  found.popUser = address.withPlaceholdersFilled(server.username.isEmpty() ? QStringLiteral("%EMAILADDRESS%") : server.username);
}

const ProviderEntry* providerFor(const Document& document, const EmailAddressParts& address, bool matchDomain) {
  for (const ProviderEntry& provider : document.providers)
    if (!matchDomain || provider.domains.contains(address.domain)) return &provider;
  return nullptr;
}

}  // namespace

ClientConfig::Reading ClientConfig::read(const QByteArray& xml, const EmailAddressParts& address, bool matchDomain) {
  Reading reading;
  const std::optional<Document> document = parse(xml, reading.refusal);
  if (!document) return reading;
  const ProviderEntry* provider = providerFor(*document, address, matchDomain);
  if (!provider) return reading;  // nothing for this domain: not a refusal

  const ServerEntry* smtp = nullptr;
  const ServerEntry* pop = nullptr;
  for (const ServerEntry& server : provider->servers) {
    if (server.outgoing && server.type == u"smtp" && !smtp) smtp = &server;
    if (!server.outgoing && server.type == u"pop3" && !pop) pop = &server;
  }
  if (!smtp) {
    reading.refusal = QStringLiteral("送信サーバ（SMTP）の設定がありません。");
    return reading;
  }
  for (const ServerEntry* server : {smtp, pop}) {
    if (!server) continue;
    reading.refusal = problemOf(*server, address);
    if (!reading.refusal.isEmpty()) return reading;
  }
  FoundAccount found;
  found.providerName = provider->displayName;
  takeSmtp(*smtp, address, document->hasOAuth2Block, found);
  if (pop) takePop(*pop, address, found);
  reading.account = found;
  return reading;
}
