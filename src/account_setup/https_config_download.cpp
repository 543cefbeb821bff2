#include "https_config_download.h"

#include "client_config.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

using Outcome = LookupStepReport::Outcome;

HttpsConfigDownload::HttpsConfigDownload(QNetworkAccessManager& network, const QUrl& url, int timeoutMs,
                                         QObject* parent)
    : QObject(parent) {
  QNetworkRequest request(url);
  // Every redirect is looked at before it is followed (onRedirected).
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
  request.setMaximumRedirectsAllowed(3);
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
  request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
  request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
  request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
  request.setTransferTimeout(timeoutMs);
  reply_ = network.get(request);
  reply_->setParent(this);
  connect(reply_, &QNetworkReply::redirected, this, &HttpsConfigDownload::onRedirected);
  connect(reply_, &QNetworkReply::readyRead, this, &HttpsConfigDownload::onReadyRead);
  connect(reply_, &QNetworkReply::finished, this, &HttpsConfigDownload::onFinished);
  deadline_.setSingleShot(true);
  connect(&deadline_, &QTimer::timeout, this, [this] { end(Outcome::TimedOut, QStringLiteral("時間内に応答がありませんでした。")); });
  deadline_.start(timeoutMs);
}

HttpsConfigDownload::~HttpsConfigDownload() { abort(); }

void HttpsConfigDownload::abort() {
  deadline_.stop();
  if (!reply_) return;
  QNetworkReply* reply = std::exchange(reply_, nullptr);
  reply->disconnect(this);
  reply->abort();
  reply->deleteLater();
}

void HttpsConfigDownload::onRedirected(const QUrl& url) {
  if (url.scheme() != u"https") {
    end(Outcome::Refused, QStringLiteral("暗号化されていないアドレス（%1）への転送は受け付けません。").arg(url.toString()));
    return;
  }
  emit reply_->redirectAllowed();
}

void HttpsConfigDownload::onReadyRead() {
  const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
  if (body_.size() + reply_->bytesAvailable() > ClientConfig::kMaxBytes ||
      (length.isValid() && length.toLongLong() > ClientConfig::kMaxBytes)) {
    end(Outcome::Refused, QStringLiteral("応答が大きすぎます（64 KiB を超えています）。"));
    return;
  }
  body_ += reply_->readAll();
}

void HttpsConfigDownload::onFinished() {
  const QNetworkReply::NetworkError error = reply_->error();
  const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  if (status != 0) {  // the server answered
    if (status == 404 || status == 410) {
      end(Outcome::NothingThere, QString());
    } else if (status != 200 || error != QNetworkReply::NoError) {
      end(Outcome::Refused, QStringLiteral("HTTP の応答コード %1 は使えません。").arg(status));
    } else {
      onReadyRead();
      if (reply_) end(Outcome::Found, QString());  // else refused as too large
    }
    return;
  }
  switch (error) {
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::ConnectionRefusedError:
      end(Outcome::NothingThere, QString());
      return;
    case QNetworkReply::SslHandshakeFailedError:
      end(Outcome::Failed, QStringLiteral("サーバの証明書を確認できませんでした（%1）。").arg(reply_->errorString()));
      return;
    default:
      end(Outcome::Failed, reply_->errorString());
      return;
  }
}

void HttpsConfigDownload::end(Outcome outcome, const QString& detail) {
  const QByteArray body = outcome == Outcome::Found ? body_ : QByteArray();
  abort();
  emit done(outcome, body, detail);
}
