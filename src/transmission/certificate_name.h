#pragma once

#include <QString>

class QSslCertificate;

// Whether a server's certificate names the server the user gave, by RFC
// 6125's rules, which are stricter than Qt's own matching:
// - a name is looked for among the subjectAltName DNS entries, an IP
//   address among the subjectAltName IP entries only;
// - the common name counts only in a certificate without any subjectAltName;
// - "*" is honoured only as the whole left-most label ("*.example.test"),
//   and then stands for exactly one label;
// - upper and lower case are the same, and a final dot is ignored.
// Qt's verification of the chain and of the name still runs before this.
namespace CertificateName {

bool matches(const QSslCertificate& certificate, const QString& serverName);

}  // namespace CertificateName
