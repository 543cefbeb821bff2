#pragma once

#include "byte_stream.h"

#include <QString>
#include <cstdint>
#include <functional>

// A byte stream that encrypts a connected TCP descriptor: the handshake
// starts at once, the server's certificate must verify for the name the
// user gave, and nothing is passed on before it did. There is no way to
// accept a certificate that does not verify.
class EncryptedStream : public ByteStream {
  Q_OBJECT

 public:
  using ByteStream::ByteStream;

  // Makes the stream for a descriptor, the name its certificate must carry
  // and its parent: the socket control's choice of TLS implementation.
  using Maker = std::function<EncryptedStream*(int descriptor, const QString& serverName, QObject* parent)>;

 signals:
  // The handshake is done and the certificate verified.
  void encrypted();
  // No encrypted connection came about: a TlsError number and why.
  void failed(std::int16_t number, const QString& reason);
};
