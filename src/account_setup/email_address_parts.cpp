#include "email_address_parts.h"

#include <QRegularExpression>
#include <QUrl>

namespace {

// A host name of letters, digits and hyphens, at least two labels: what may
// go into a DNS question and a URL without any escaping.
bool isPlainDomain(const QString& domain) {
  static const QRegularExpression pattern(
      QStringLiteral("^(?=.{1,253}$)([a-z0-9]([a-z0-9-]{0,61}[a-z0-9])?\\.)+[a-z0-9]([a-z0-9-]{0,61}[a-z0-9])?$"));
  return pattern.match(domain).hasMatch();
}

}  // namespace

EmailAddressParts EmailAddressParts::parse(const QString& text) {
  EmailAddressParts parts;
  const QString address = text.trimmed();
  const qsizetype at = address.lastIndexOf(QLatin1Char('@'));
  if (at <= 0 || at == address.size() - 1) return parts;
  const QString localPart = address.left(at);
  // A name with blanks or control characters is no address to look up.
  for (const QChar c : localPart)
    if (c.isSpace() || c.unicode() < 0x20 || c == u'<' || c == u'>') return parts;
  const QString domain = QString::fromLatin1(QUrl::toAce(address.mid(at + 1).toLower()));
  if (!isPlainDomain(domain)) return parts;
  parts.address = address;
  parts.localPart = localPart;
  parts.domain = domain;
  return parts;
}

QString EmailAddressParts::withPlaceholdersFilled(QString text) const {
  text.replace(QLatin1String("%EMAILADDRESS%"), address);
  text.replace(QLatin1String("%EMAILLOCALPART%"), localPart);
  text.replace(QLatin1String("%EMAILDOMAIN%"), domain);
  return text;
}
