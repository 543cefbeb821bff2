#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>

class QSslCertificate;

// Whether a server's certificate names the server the user gave, by RFC
// 6125's rules, which are stricter than Qt's and OpenSSL's own matching:
// - a name is looked for among the subjectAltName DNS entries, an IP
//   address among the subjectAltName IP entries only;
// - the common name counts only in a certificate without any subjectAltName;
// - "*" is honoured only as the whole left-most label ("*.example.test"),
//   and then stands for exactly one label;
// - upper and lower case are the same, and a final dot is ignored.
// The TLS library's verification of the chain and of the name still runs
// before this.
namespace CertificateName {

// The names a certificate presents, as its TLS library read them.
struct PresentedNames {
  QStringList dnsNames;     // subjectAltName DNS entries
  QStringList addresses;    // subjectAltName IP entries, written out
  QStringList commonNames;  // the subject's CN
  bool anyAlternative = false;  // a subjectAltName, whatever its entries
};

bool matches(const PresentedNames& names, const QString& serverName);
bool matches(const QSslCertificate& certificate, const QString& serverName);

// The server name as the rules compare it: lower case, the final dot gone,
// a name in Japanese as its ASCII form.
QString normalised(const QString& name);
// The address the server name writes out ("[::1]" as well), else a null
// address: the name is a host name.
QHostAddress addressIn(const QString& serverName);

// Why, when the certificate verified but does not name the server.
QString otherHostProblem(const QString& serverName);

}  // namespace CertificateName
