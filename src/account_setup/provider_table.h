#pragma once

#include "client_config.h"

#include <QString>

struct EmailAddressParts;

// The program's own table of well-known providers, providers.xml: beside
// the program in portable mode, <prefix>/share/talvenor/providers.xml when
// installed.
namespace ProviderTable {

inline const QString kFileName = QStringLiteral("providers.xml");

// The table a program in programFolder reads (the first that exists of the
// two places), or empty when it has none.
QString path(const QString& programFolder);

// The entry for the address's domain from the table at path; nothing (and
// no refusal) when the domain is not in it or the table is missing.
ClientConfig::Reading lookUp(const QString& path, const EmailAddressParts& address);

}  // namespace ProviderTable
