#pragma once

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

  // Lets go of the stream: nothing more is signalled; bytes still unsent go
  // out before the connection is closed, and the object then deletes itself.
  virtual void release() = 0;

 signals:
  void received(const QByteArray& bytes);
  // The stream has ended: 0 when the server closed it, else the errno.
  void ended(int errnum);
};
