#pragma once

#include "byte_stream.h"

#include <QString>
#include <cstdint>

class QSslSocket;

// A connected TCP descriptor made an encrypted stream by Qt Network's TLS
// (OpenSSL underneath), for the window and the command alike: the handshake
// starts at once, and nothing is passed on before the server's certificate
// verified. The certificate is checked
// against the system's trust store (and Qt's default configuration) for the
// server name the user gave, the name by CertificateName's stricter rule as
// well. Qt's own buffer of decrypted bytes is bounded, so that while the
// receiver has no room a flooding server is held back by TCP rather than
// filling memory.
class TlsStream : public ByteStream {
  Q_OBJECT

 public:
  TlsStream(int descriptor, const QString& serverName, QObject* parent = nullptr);
  ~TlsStream() override;

  void send(const QByteArray& bytes) override;
  void setReadLimit(qsizetype bytes) override;
  void release() override;

  // Loads the TLS backend (a plugin, and OpenSSL) and the default
  // configuration now rather than at the first handshake, which then starts
  // a few milliseconds sooner. Safe on any thread.
  static void prepare();

 signals:
  // The handshake is done and the certificate verified.
  void encrypted();
  // No encrypted connection came about: a TlsError number and why.
  void failed(std::int16_t number, const QString& reason);

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
