#pragma once

#include "lookup_step.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// Fetches one clientConfig document over HTTPS: the certificate verified
// as Qt's TLS configuration (the system's store) has it, a redirect
// followed only to another https address (never to http), nothing sent but
// the request, and the answer refused past ClientConfig::kMaxBytes or an
// HTTP status other than 200. Ends with done() exactly once, unless
// aborted; abort() stops it and says nothing more.
class HttpsConfigDownload : public QObject {
  Q_OBJECT

 public:
  HttpsConfigDownload(QNetworkAccessManager& network, const QUrl& url, int timeoutMs, QObject* parent = nullptr);
  ~HttpsConfigDownload() override;

  void abort();

 signals:
  // outcome Found means "an answer came" (body holds it); the others as in
  // LookupStepReport, with detail.
  void done(LookupStepReport::Outcome outcome, const QByteArray& body, const QString& detail);

 private:
  void onRedirected(const QUrl& url);
  void onReadyRead();
  void onFinished();
  void end(LookupStepReport::Outcome outcome, const QString& detail);

  QNetworkReply* reply_ = nullptr;
  QTimer deadline_;
  QByteArray body_;
};
