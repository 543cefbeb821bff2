#pragma once

#include <QByteArray>
#include <QObject>

class QSocketNotifier;

// The byte stream of one connected TCP socket, on the descriptor itself:
// what arrives is passed on as it comes, what is sent goes out at once (the
// rest as soon as the system takes it), and the end of the stream is told
// apart as a close by the server or a failure by its errno.
//
// Kept this plain on purpose: one notifier that stays armed, no buffering
// device in between, and the end read straight from recv(), where a reset
// and an orderly close cannot be mistaken for each other.
class TcpStream : public QObject {
  Q_OBJECT

 public:
  // Takes over a connected, non-blocking descriptor.
  explicit TcpStream(int descriptor, QObject* parent = nullptr);
  ~TcpStream() override;

  // Queues the bytes and sends what the system takes now.
  void send(const QByteArray& bytes);

  // Lets go of the stream: nothing more is signalled; bytes still unsent go
  // out before the descriptor is closed, and the object then deletes itself.
  void release();

 signals:
  void received(const QByteArray& bytes);
  // The stream has ended: 0 when the server closed it, else the errno.
  void ended(int errnum);

 private:
  void onReadable();
  void onWritable();
  void writeSome();
  void waitUntilWritable(bool wait);
  void end(int errnum);
  void closeDescriptor();

  int descriptor_;
  QSocketNotifier* readable_;
  QSocketNotifier* writable_ = nullptr;
  QByteArray unsent_;
  bool released_ = false;
};
