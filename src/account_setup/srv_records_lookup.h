#pragma once

#include "found_account.h"
#include "lookup_step.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

class QDnsLookup;
struct EmailAddressParts;

// Asks DNS for the mail services' SRV records of a domain, all at once:
// _submissions._tcp (SMTP over TLS, RFC 8314), _submission._tcp (SMTP with
// STARTTLS, RFC 6186), _pop3s._tcp and _pop3._tcp. The SMTP server is the
// best record of the first of the two that has one (lowest priority, then
// highest weight); a target of "." says the service is not offered. The
// login name is the whole address, as RFC 6186 leaves it to the client.
// Ends with done() once, unless aborted.
class SrvRecordsLookup : public QObject {
  Q_OBJECT

 public:
  SrvRecordsLookup(const EmailAddressParts& address, int timeoutMs, QObject* parent = nullptr);
  ~SrvRecordsLookup() override;

  void abort();
  // The names asked for a domain, for the report.
  static QString namesAsked(const QString& domain);

 signals:
  void done(LookupStepReport::Outcome outcome, const FoundAccount& account, const QString& detail);

 private:
  void onLookupFinished();
  void compose();

  QString address_;
  QString domain_;
  QList<QDnsLookup*> lookups_;  // _submissions, _submission, _pop3s, _pop3
  int pending_ = 0;
  QTimer deadline_;
};
