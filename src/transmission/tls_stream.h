#pragma once

#include "encrypted_stream.h"

#include <QString>
#include <cstdint>

class QSslSocket;

// A connected TCP descriptor made an encrypted stream by Qt Network's TLS
// (OpenSSL underneath), the window's: the server's certificate is checked
// against the system's trust store (and Qt's default configuration) for the
// server name the user gave, the name by CertificateName's stricter rule as
// well. Qt's own buffer of decrypted bytes is bounded, so that while the
// receiver has no room a flooding server is held back by TCP rather than
// filling memory.
class TlsStream : public EncryptedStream {
  Q_OBJECT

 public:
  TlsStream(int descriptor, const QString& serverName, QObject* parent = nullptr);
  ~TlsStream() override;

  void send(const QByteArray& bytes) override;
  void setReadLimit(qsizetype bytes) override;
  void release() override;

 private:
  void onErrorOccurred();
  void transcribeSession() const;
  void passOn();
  void end(int errnum);

  QSslSocket* socket_;
  QString certificateProblem_;  // set when the certificate did not verify
  qsizetype room_ = 0;  // what the receiver still takes
  int endedWith_ = -1;  // how the stream ended, once it has
  bool endTold_ = false;  // told only after the decrypted bytes before it
  bool encrypted_ = false;
  bool released_ = false;
  bool passOnPosted_ = false;
};
