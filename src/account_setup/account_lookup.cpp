#include "account_lookup.h"

#include "client_config.h"
#include "https_config_download.h"
#include "provider_table.h"
#include "srv_records_lookup.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QUrl>

using Step = LookupStepReport::Step;
using Outcome = LookupStepReport::Outcome;

AccountLookup::AccountLookup(QObject* parent, const QString& providerTablePath)
    : QObject(parent), tablePath_(providerTablePath) {
  totalDeadline_.setSingleShot(true);
  connect(&totalDeadline_, &QTimer::timeout, this, [this] {
    end(nullptr, QStringLiteral("%1 秒以内に設定が見つかりませんでした。").arg(kTotalTimeoutMs / 1000));
  });
}

// The download goes before the network access it runs on.
AccountLookup::~AccountLookup() {
  totalDeadline_.stop();
  delete std::exchange(download_, nullptr);
  delete std::exchange(dns_, nullptr);
  delete std::exchange(network_, nullptr);
}

void AccountLookup::start(const QString& address) {
  cancel();
  ++run_;
  address_ = EmailAddressParts::parse(address);
  running_ = true;
  if (!address_.isValid()) {
    // Nothing is asked of anyone for an address without a usable domain.
    const quint64 run = run_;
    QMetaObject::invokeMethod(this, [this, run] {
      if (run == run_ && running_) end(nullptr, QStringLiteral("差出人のメールアドレスが正しくありません。"));
    }, Qt::QueuedConnection);
    return;
  }
  totalDeadline_.start(kTotalTimeoutMs);
  runStep(Step::ProviderTable);
}

void AccountLookup::cancel() {
  stopWork();
  running_ = false;
}

void AccountLookup::stopWork() {
  totalDeadline_.stop();
  if (download_) std::exchange(download_, nullptr)->deleteLater();
  if (dns_) std::exchange(dns_, nullptr)->deleteLater();
  if (network_) std::exchange(network_, nullptr)->deleteLater();
}

// Each step begins from the event loop, never inside the caller.
void AccountLookup::runStep(Step step) {
  const quint64 run = run_;
  QMetaObject::invokeMethod(this, [this, run, step] {
    if (run != run_ || !running_) return;
    switch (step) {
      case Step::ProviderTable: lookInTable(); break;
      case Step::AutoconfigHost: {
        QUrl url(QStringLiteral("https://autoconfig.%1/mail/config-v1.1.xml").arg(address_.domain));
        // Every character but the unreserved ones escaped: "+" stays a plus.
        url.setQuery(QStringLiteral("emailaddress=") + QString::fromLatin1(QUrl::toPercentEncoding(address_.address)),
                     QUrl::StrictMode);
        download(step, url);
        break;
      }
      case Step::WellKnown:
        download(step, QUrl(QStringLiteral("https://%1/.well-known/autoconfig/mail/config-v1.1.xml").arg(address_.domain)));
        break;
      case Step::DnsSrv: askDns(); break;
    }
  }, Qt::QueuedConnection);
}

void AccountLookup::lookInTable() {
  const QString path = tablePath_.isEmpty() ? ProviderTable::path(QCoreApplication::applicationDirPath()) : tablePath_;
  const quint64 run = run_;
  emit stepStarted(Step::ProviderTable, path);
  if (run != run_ || !running_) return;  // cancelled from the report
  const ClientConfig::Reading reading = ProviderTable::lookUp(path, address_);
  LookupStepReport report{Step::ProviderTable, Outcome::NothingThere, path, reading.refusal};
  if (reading.account) report.outcome = Outcome::Found;
  else if (!reading.refusal.isEmpty()) report.outcome = Outcome::Refused;
  finishStep(report, reading.account ? &*reading.account : nullptr);
}

void AccountLookup::download(Step step, const QUrl& url) {
  const QString asked = url.toString();
  const quint64 run = run_;
  emit stepStarted(step, asked);
  if (run != run_ || !running_) return;
  if (!network_) {
    network_ = new QNetworkAccessManager(this);
    // Nothing of an earlier answer (a cached page, a cookie) plays a part.
    network_->setCookieJar(nullptr);
  }
  download_ = new HttpsConfigDownload(*network_, url, kStepTimeoutMs, this);
  connect(download_, &HttpsConfigDownload::done, this,
          [this, step, asked](Outcome outcome, const QByteArray& body, const QString& detail) {
            onDownloaded(step, asked, outcome, body, detail);
          });
}

void AccountLookup::onDownloaded(Step step, const QString& asked, Outcome outcome, const QByteArray& body,
                                 const QString& detail) {
  if (download_) std::exchange(download_, nullptr)->deleteLater();
  LookupStepReport report{step, outcome, asked, detail};
  if (outcome != Outcome::Found) {
    finishStep(report, nullptr);
    return;
  }
  ClientConfig::Reading reading = ClientConfig::read(body, address_, false);
  if (!reading.account) {
    report.outcome = reading.refusal.isEmpty() ? Outcome::NothingThere : Outcome::Refused;
    report.detail = reading.refusal;
    finishStep(report, nullptr);
    return;
  }
  reading.account->source = step == Step::AutoconfigHost ? FoundAccount::Source::AutoconfigHost
                                                         : FoundAccount::Source::WellKnown;
  reading.account->sourceDetail = asked;
  finishStep(report, &*reading.account);
}

void AccountLookup::askDns() {
  const QString asked = SrvRecordsLookup::namesAsked(address_.domain);
  const quint64 run = run_;
  emit stepStarted(Step::DnsSrv, asked);
  if (run != run_ || !running_) return;
  dns_ = new SrvRecordsLookup(address_, kStepTimeoutMs, this);
  connect(dns_, &SrvRecordsLookup::done, this,
          [this, asked](Outcome outcome, const FoundAccount& account, const QString& detail) {
            if (dns_) std::exchange(dns_, nullptr)->deleteLater();
            finishStep({Step::DnsSrv, outcome, asked, detail}, outcome == Outcome::Found ? &account : nullptr);
          });
}

void AccountLookup::finishStep(const LookupStepReport& report, const FoundAccount* account) {
  const quint64 run = run_;
  emit stepFinished(report);
  if (run != run_ || !running_) return;  // cancelled or restarted from the report
  if (account) {
    end(account, QString());
    return;
  }
  if (report.step == Step::DnsSrv) {
    end(nullptr, QStringLiteral("このアドレスの設定は見つかりませんでした。"));
    return;
  }
  runStep(static_cast<Step>(static_cast<int>(report.step) + 1));
}

void AccountLookup::end(const FoundAccount* account, const QString& reason) {
  const FoundAccount result = account ? *account : FoundAccount();
  stopWork();
  running_ = false;
  if (account) emit found(result);
  else emit notFound(reason);
}
