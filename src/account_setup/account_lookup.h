#pragma once

#include "email_address_parts.h"
#include "found_account.h"
#include "lookup_step.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QNetworkAccessManager;
class HttpsConfigDownload;
class SrvRecordsLookup;

// Finds the sending settings for a mail address, asking in this order and
// stopping at the first usable answer:
//   1. the program's own table of providers (providers.xml);
//   2. https://autoconfig.<domain>/mail/config-v1.1.xml?emailaddress=<address>;
//   3. https://<domain>/.well-known/autoconfig/mail/config-v1.1.xml;
//   4. DNS SRV records (_submissions, _submission, _pop3s, _pop3).
// Only the address's domain goes out: to that domain's own servers and to
// DNS (the first URL carries the address, to the domain's own server).
// Each step is bounded to kStepTimeoutMs, the whole to kTotalTimeoutMs. An
// answer refused (too large, malformed, values out of range, a redirect to
// http) is reported and the next step asked.
//
// Runs on the event loop without blocking; cancel() or destroying the
// object stops everything at any moment. Exactly one of found() and
// notFound() ends each start() unless cancelled. Delete it from one of its
// own signals only with deleteLater().
class AccountLookup : public QObject {
  Q_OBJECT

 public:
  static constexpr int kStepTimeoutMs = 5000;
  static constexpr int kTotalTimeoutMs = 15000;

  // providerTablePath: the table to read first; empty: the one beside the
  // program or installed with it (ProviderTable::path).
  explicit AccountLookup(QObject* parent = nullptr, const QString& providerTablePath = QString());
  ~AccountLookup() override;

  void start(const QString& address);
  void cancel();
  bool isRunning() const { return running_; }

 signals:
  void stepStarted(LookupStepReport::Step step, const QString& asked);
  void stepFinished(const LookupStepReport& report);
  void found(const FoundAccount& account);
  // Nothing usable found; why, in words for the user.
  void notFound(const QString& reason);

 private:
  void runStep(LookupStepReport::Step step);
  void lookInTable();
  void download(LookupStepReport::Step step, const QUrl& url);
  void onDownloaded(LookupStepReport::Step step, const QString& asked, LookupStepReport::Outcome outcome,
                    const QByteArray& body, const QString& detail);
  void askDns();
  void finishStep(const LookupStepReport& report, const FoundAccount* account);
  void stopWork();
  void end(const FoundAccount* account, const QString& reason);

  QString tablePath_;
  EmailAddressParts address_;
  QNetworkAccessManager* network_ = nullptr;
  HttpsConfigDownload* download_ = nullptr;
  SrvRecordsLookup* dns_ = nullptr;
  QTimer totalDeadline_;
  bool running_ = false;
  quint64 run_ = 0;  // which start() a queued step belongs to
};
