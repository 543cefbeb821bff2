#pragma once

#include "byte_stream.h"

#include <QString>
#include <cstdint>

class QSslSocket;

// A connected TCP descriptor made an encrypted stream by Qt Network's TLS
// (OpenSSL underneath): the handshake starts at once, the server's
// certificate is checked against the system's trust store for the server
// name the user gave, and nothing is passed on before it verified. There
// is no way to accept a certificate that does not verify.
class TlsStream : public ByteStream {
  Q_OBJECT

 public:
  TlsStream(int descriptor, const QString& serverName, QObject* parent = nullptr);
  ~TlsStream() override;

  void send(const QByteArray& bytes) override;
  void release() override;

 signals:
  // The handshake is done and the certificate verified.
  void encrypted();
  // No encrypted connection came about: a TlsError number and why.
  void failed(std::int16_t number, const QString& reason);

 private:
  void onErrorOccurred();

  QSslSocket* socket_;
  QString certificateProblem_;  // set when the certificate did not verify
  bool encrypted_ = false;
  bool released_ = false;
};
