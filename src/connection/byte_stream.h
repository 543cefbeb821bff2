#pragma once

#include "delete_when_idle.h"

#include <QByteArray>
#include <QObject>

// One connected byte stream, plain or encrypted, as the socket control
// uses it.
class ByteStream : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;

  // Queues the bytes and sends what the connection takes now.
  virtual void send(const QByteArray& bytes) = 0;

  // The most the receiver takes from here on (each received() counts
  // against it) until it says again. At 0 the stream stops reading: the
  // connection's buffers fill and TCP holds the server back, and the end of
  // the stream is told only after the bytes before it. A new stream reads
  // nothing until told.
  virtual void setReadLimit(qsizetype bytes) = 0;

  // Lets go of the stream: nothing more is signalled; bytes still unsent go
  // out before the connection is closed, and the object then deletes itself
  // (never under a function of its own still on the stack).
  virtual void release() = 0;

 signals:
  void received(const QByteArray& bytes);
  // The stream has ended: 0 when the server closed it, else the errno.
  void ended(int errnum);

 protected:
  // Held by every function that signals or is called back by the socket.
  DeleteWhenIdle lifetime_{*this};
};
