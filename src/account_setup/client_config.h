#pragma once

#include "found_account.h"

#include <QByteArray>
#include <QString>
#include <optional>

struct EmailAddressParts;

// Reads the clientConfig 1.1 XML of Thunderbird's autoconfiguration (the
// program's provider table, and the answers of a domain's autoconfig
// servers): the first SMTP server and the first POP3 server of the
// provider, with the placeholders filled in. Everything is checked before
// anything is taken: malformed XML, a port outside 1..65535, an unknown
// socketType, an empty or unusable host name, or a server with no login
// method the program has refuses the whole answer, with the reason.
namespace ClientConfig {

// The most an answer from the network may hold; a longer one is refused
// unread (the program's own table may be longer).
inline constexpr qsizetype kMaxBytes = 64 * 1024;

struct Reading {
  std::optional<FoundAccount> account;  // set when usable
  QString refusal;                      // why not, when not (empty: nothing there)
};

// matchDomain: only a provider that lists the address's domain counts (the
// program's own table holds many); otherwise the first provider does.
Reading read(const QByteArray& xml, const EmailAddressParts& address, bool matchDomain);

// A host name (letters, digits, hyphens and dots) or an IP address.
bool isUsableHost(const QString& host);

}  // namespace ClientConfig
