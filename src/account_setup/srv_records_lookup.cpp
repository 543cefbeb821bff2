#include "srv_records_lookup.h"

#include "client_config.h"
#include "email_address_parts.h"

#include <QDnsLookup>
#include <QStringList>
#include <algorithm>
#include <optional>

using Outcome = LookupStepReport::Outcome;

namespace {

const QStringList kServices = {QStringLiteral("_submissions._tcp."), QStringLiteral("_submission._tcp."),
                               QStringLiteral("_pop3s._tcp."), QStringLiteral("_pop3._tcp.")};

// The record to use of a finished lookup: lowest priority, then highest
// weight; none when there is none or the service is declared absent (".").
std::optional<QDnsServiceRecord> bestRecord(const QDnsLookup* lookup) {
  if (!lookup || lookup->error() != QDnsLookup::NoError) return std::nullopt;
  QList<QDnsServiceRecord> records = lookup->serviceRecords();
  if (records.isEmpty()) return std::nullopt;
  std::stable_sort(records.begin(), records.end(), [](const QDnsServiceRecord& a, const QDnsServiceRecord& b) {
    return a.priority() != b.priority() ? a.priority() < b.priority() : a.weight() > b.weight();
  });
  const QDnsServiceRecord& best = records.first();
  QString target = best.target();
  if (target.endsWith(QLatin1Char('.'))) target.chop(1);
  if (target.isEmpty() || best.port() == 0) return std::nullopt;
  return best;
}

QString targetOf(const QDnsServiceRecord& record) {
  QString target = record.target();
  if (target.endsWith(QLatin1Char('.'))) target.chop(1);
  return target;
}

}  // namespace

SrvRecordsLookup::SrvRecordsLookup(const EmailAddressParts& address, int timeoutMs, QObject* parent)
    : QObject(parent), address_(address.address), domain_(address.domain) {
  for (const QString& service : kServices) {
    auto* lookup = new QDnsLookup(QDnsLookup::SRV, service + domain_, this);
    connect(lookup, &QDnsLookup::finished, this, &SrvRecordsLookup::onLookupFinished);
    lookups_ << lookup;
  }
  pending_ = static_cast<int>(lookups_.size());
  for (QDnsLookup* lookup : lookups_) lookup->lookup();
  deadline_.setSingleShot(true);
  connect(&deadline_, &QTimer::timeout, this, [this] {
    abort();
    emit done(Outcome::TimedOut, FoundAccount(), QStringLiteral("時間内に DNS の応答がありませんでした。"));
  });
  deadline_.start(timeoutMs);
}

SrvRecordsLookup::~SrvRecordsLookup() { abort(); }

void SrvRecordsLookup::abort() {
  deadline_.stop();
  for (QDnsLookup* lookup : std::exchange(lookups_, {})) {
    lookup->disconnect(this);
    lookup->abort();
    lookup->deleteLater();
  }
  pending_ = 0;
}

QString SrvRecordsLookup::namesAsked(const QString& domain) {
  QStringList names;
  for (const QString& service : kServices) names << service + domain;
  return names.join(QStringLiteral(", "));
}

void SrvRecordsLookup::onLookupFinished() {
  if (--pending_ == 0) compose();
}

void SrvRecordsLookup::compose() {
  FoundAccount account;
  account.source = FoundAccount::Source::DnsSrv;
  const std::optional<QDnsServiceRecord> submissions = bestRecord(lookups_.value(0));
  const std::optional<QDnsServiceRecord> submission = bestRecord(lookups_.value(1));
  const std::optional<QDnsServiceRecord> pop3s = bestRecord(lookups_.value(2));
  const std::optional<QDnsServiceRecord> pop3 = bestRecord(lookups_.value(3));
  const bool tls = submissions.has_value();
  const std::optional<QDnsServiceRecord> smtp = tls ? submissions : submission;
  abort();
  if (!smtp) {
    emit done(Outcome::NothingThere, account, QString());
    return;
  }
  account.sourceDetail = (tls ? kServices[0] : kServices[1]) + domain_;
  if (!ClientConfig::isUsableHost(targetOf(*smtp))) {
    emit done(Outcome::Refused, account, QStringLiteral("SRV レコードの送信サーバ名「%1」は使えません。").arg(targetOf(*smtp)));
    return;
  }
  account.smtpServer = targetOf(*smtp);
  account.smtpPort = smtp->port();
  account.smtpSecurity = tls ? MailSettings::SmtpSecurity::Ssl : MailSettings::SmtpSecurity::StartTls;
  account.smtpAuth = true;
  account.smtpUserForm = QStringLiteral("%EMAILADDRESS%");
  account.smtpUser = address_;
  if (const std::optional<QDnsServiceRecord> pop = pop3s ? pop3s : pop3) {
    account.hasPop = true;
    account.popServer = targetOf(*pop);
    account.popPort = pop->port();
    // Over _pop3 the password is still protected: STLS (RFC 8314 asks for it).
    account.popSecurity = pop3s ? MailSettings::PopSecurity::Ssl : MailSettings::PopSecurity::Stls;
    account.popUser = address_;
  }
  emit done(Outcome::Found, account, QString());
}
