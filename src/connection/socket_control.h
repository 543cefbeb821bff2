#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>

// The operations and events the mail dialogues rely on: one TCP client
// connection at a time, plain or encrypted, bytes in and out, and events
// delivered one at a time on the user-interface thread. What the bytes mean (replies, the
// code page) is the dialogues' business.
class SocketControl : public QObject {
  Q_OBJECT

 public:
  // Where the connection stands.
  enum class State {
    Closed,        // none open or pending
    HostLookup,
    Connecting,
    Connected,
    ClosedByPeer,  // the server has closed; the program has not yet
    Failed,
  };

  using QObject::QObject;
  ~SocketControl() override = default;

  // Returns at once; the outcome arrives later as an event.
  virtual void connectToHost(const QString& host, std::uint16_t port) = 0;
  // The same, encrypted from the first byte: connected comes once
  // the server's certificate verified for host.
  virtual void connectToHostEncrypted(const QString& host, std::uint16_t port) = 0;
  // Encrypts the open connection from here on (after the server agreed);
  // tlsReady follows once the certificate verified, else errorOccurred.
  virtual void startTls() = 0;
  // Releases the connection; raises no closedByPeer, and nothing more of
  // that connection is delivered.
  virtual void close() = 0;
  virtual State state() const = 0;
  // A connection is open or pending (until the program's own close()).
  bool isOpen() const { return state() != State::Closed; }
  // The bytes go out whole and in order.
  virtual void write(const QByteArray& bytes) = 0;
  // Every byte received and not yet taken. The unread amount is bounded:
  // past the bound reading pauses, and what a handler leaves unread beyond
  // it is dropped (no reply that long is ever taken).
  virtual QByteArray readAll() = 0;

 signals:
  void connected();
  // Bytes have arrived (not necessarily a whole reply).
  void bytesArrived(std::int32_t bytesTotal);
  void closedByPeer();
  void tlsReady();
  void errorOccurred(std::int16_t number, const QString& description);
};
