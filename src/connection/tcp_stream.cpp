#include "tcp_stream.h"

#include <QSocketNotifier>

#include <algorithm>
#include <utility>
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// What one readiness of the socket reads at most, so that a server that
// floods the connection cannot keep the user interface from its turn.
constexpr qsizetype kReadPerTurn = 1 << 20;
constexpr qsizetype kChunk = 64 * 1024;

}  // namespace

TcpStream::TcpStream(int descriptor, QObject* parent)
    : ByteStream(parent),
      descriptor_(descriptor),
      readable_(new QSocketNotifier(descriptor, QSocketNotifier::Read, this)) {
  readable_->setEnabled(false);  // until the receiver has room
  connect(readable_, &QSocketNotifier::activated, this, &TcpStream::onReadable);
}

// Made only when the system takes less than is sent, which the short lines
// of a mail dialogue hardly ever meet; every notifier made or switched costs
// the event loop a wake-up.
void TcpStream::waitUntilWritable(bool wait) {
  if (!wait) {
    if (writable_) writable_->setEnabled(false);
    return;
  }
  if (!writable_) {
    writable_ = new QSocketNotifier(descriptor_, QSocketNotifier::Write, this);
    connect(writable_, &QSocketNotifier::activated, this, &TcpStream::onWritable);
  }
  writable_->setEnabled(true);
}

TcpStream::~TcpStream() { closeDescriptor(); }

void TcpStream::send(const QByteArray& bytes) {
  const DeleteWhenIdle::Call call(lifetime_);
  if (descriptor_ < 0 || released_) return;
  unsent_ += bytes;
  writeSome();
}

void TcpStream::setReadLimit(qsizetype bytes) {
  room_ = std::max<qsizetype>(bytes, 0);
  if (released_ || ended_ || descriptor_ < 0) return;
  readable_->setEnabled(room_ > 0);
}

void TcpStream::release() {
  released_ = true;
  readable_->setEnabled(false);
  if (unsent_.isEmpty() || descriptor_ < 0) {
    closeDescriptor();
    lifetime_.dispose();
  }
  // Otherwise onWritable finishes the sending and then closes.
}

int TcpStream::takeDescriptor() {
  readable_->setEnabled(false);
  waitUntilWritable(false);
  unsent_.clear();
  released_ = true;
  return std::exchange(descriptor_, -1);
}

void TcpStream::writeSome() {
  while (!unsent_.isEmpty()) {
    const ssize_t n = ::send(descriptor_, unsent_.constData(), size_t(unsent_.size()), MSG_NOSIGNAL);
    if (n > 0) {
      unsent_.remove(0, n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      waitUntilWritable(true);
      return;
    }
    // The connection cannot take more; what is left is lost with it, and
    // the reading side tells how it ended.
    unsent_.clear();
    break;
  }
  waitUntilWritable(false);
  if (released_) {
    closeDescriptor();
    lifetime_.dispose();
  }
}

void TcpStream::onWritable() {
  const DeleteWhenIdle::Call call(lifetime_);
  writeSome();
}

void TcpStream::onReadable() {
  const DeleteWhenIdle::Call call(lifetime_);
  QByteArray data;
  int endedWith = -1;  // -1: still open
  const qsizetype most = std::min(kReadPerTurn, room_);
  while (data.size() < most) {
    const qsizetype at = data.size();
    const qsizetype want = std::min(kChunk, most - at);
    data.resize(at + want);
    const ssize_t n = ::recv(descriptor_, data.data() + at, size_t(want), 0);
    data.resize(at + std::max<ssize_t>(n, 0));
    // A short read has emptied the socket for now; asking again would only
    // hear "would block" (and more data wakes the notifier again).
    if (n > 0 && n < want) break;
    if (n > 0) continue;
    if (n == 0) {
      endedWith = 0;
    } else if (errno == EINTR) {
      continue;
    } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
      endedWith = errno;
    }
    break;
  }
  // Full: what the server sends on waits in the system's buffers. The
  // receiver may make room again while it handles these bytes.
  room_ -= data.size();
  if (room_ == 0 && endedWith < 0) readable_->setEnabled(false);
  if (!data.isEmpty()) {
    emit received(data);
    if (released_ || descriptor_ < 0) return;  // the receiver let go meanwhile
  }
  if (endedWith >= 0) end(endedWith);
}

// A reset that only answered bytes we sent after the server had closed its
// side reports EPIPE; for the dialogue that is still a close by the server.
void TcpStream::end(int errnum) {
  ended_ = true;
  readable_->setEnabled(false);
  waitUntilWritable(false);
  unsent_.clear();
  emit ended(errnum == EPIPE ? 0 : errnum);
}

void TcpStream::closeDescriptor() {
  if (descriptor_ < 0) return;
  readable_->setEnabled(false);
  waitUntilWritable(false);
  ::close(descriptor_);
  descriptor_ = -1;
}
