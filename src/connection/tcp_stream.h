#pragma once

#include "byte_stream.h"

#include <QByteArray>

class QSocketNotifier;

// The byte stream of one connected TCP socket, on the descriptor itself:
// what arrives is passed on as it comes, as far as the receiver has room
// (beyond that it stays in the system's buffers), what is sent goes out at
// once (the rest as soon as the system takes it), and the end of the stream
// is told apart as a close by the server or a failure by its errno.
//
// Kept this plain on purpose: one notifier, armed while the receiver has
// room, no buffering device in between, and the end read straight from
// recv(), where a reset and an orderly close cannot be mistaken for each
// other.
class TcpStream : public ByteStream {
  Q_OBJECT

 public:
  // Takes over a connected, non-blocking descriptor.
  explicit TcpStream(int descriptor, QObject* parent = nullptr);
  ~TcpStream() override;

  void send(const QByteArray& bytes) override;
  void setReadLimit(qsizetype bytes) override;
  void release() override;

  // Hands the descriptor over (to be encrypted) and lets go of it without
  // closing; -1 when the stream has ended. Nothing more is signalled.
  int takeDescriptor();

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
  qsizetype room_ = 0;  // what the receiver still takes
  bool released_ = false;
  bool ended_ = false;
};
