#include "certificate_name.h"

#include <QHostAddress>
#include <QSslCertificate>
#include <QSslCertificateExtension>
#include <QStringList>
#include <QUrl>

#include <algorithm>

namespace CertificateName {

QString normalised(const QString& name) {
  QString plain = name.trimmed();
  if (plain.endsWith(u'.')) plain.chop(1);
  const QByteArray ace = QUrl::toAce(plain);
  return ace.isEmpty() ? plain.toLower() : QString::fromLatin1(ace).toLower();
}

QHostAddress addressIn(const QString& serverName) {
  QString bare = serverName.trimmed();
  if (bare.startsWith(u'[') && bare.endsWith(u']')) bare = bare.mid(1, bare.size() - 2);
  return QHostAddress(bare);
}

namespace {

bool patternMatches(const QString& presented, const QString& reference) {
  const QString pattern = normalised(presented);
  if (pattern.isEmpty() || reference.isEmpty() || reference.contains(u'*')) return false;
  if (!pattern.contains(u'*')) return pattern == reference;
  // Only "*." in front, with at least two labels after it, and no other "*".
  if (!pattern.startsWith(QLatin1String("*.")) || pattern.count(u'*') != 1) return false;
  const QString suffix = pattern.mid(1);  // ".example.test"
  if (suffix.count(u'.') < 2) return false;
  if (!reference.endsWith(suffix)) return false;
  const qsizetype labelLength = reference.size() - suffix.size();
  return labelLength > 0 && !QStringView(reference).left(labelLength).contains(u'.');
}

}  // namespace

bool matches(const PresentedNames& names, const QString& serverName) {
  const QHostAddress address = addressIn(serverName);
  if (!address.isNull()) {
    for (const QString& entry : names.addresses)
      if (QHostAddress(entry).isEqual(address, QHostAddress::ConvertV4MappedToIPv4)) return true;
    return false;
  }

  const QString reference = normalised(serverName);
  const QStringList& presented = names.anyAlternative ? names.dnsNames : names.commonNames;
  for (const QString& name : presented)
    if (patternMatches(name, reference)) return true;
  return false;
}

bool matches(const QSslCertificate& certificate, const QString& serverName) {
  const auto alternatives = certificate.subjectAlternativeNames();
  PresentedNames names;
  names.dnsNames = alternatives.values(QSsl::DnsEntry);
  names.addresses = alternatives.values(QSsl::IpAddressEntry);
  names.commonNames = certificate.subjectInfo(QSslCertificate::CommonName);
  // Qt lists only DNS, IP and e-mail entries: a subjectAltName of URIs,
  // directory names, registered IDs or other names alone still ends the
  // common name's say (RFC 6125 6.4.4).
  const auto extensions = certificate.extensions();
  names.anyAlternative = std::any_of(extensions.begin(), extensions.end(), [](const QSslCertificateExtension& e) {
    return e.oid() == QLatin1String("2.5.29.17");
  });
  return matches(names, serverName);
}

QString otherHostProblem(const QString& serverName) {
  return QStringLiteral("証明書のサーバ名が「%1」と一致しません。").arg(serverName);
}

}  // namespace CertificateName
