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
  using QObject::QObject;
  ~SocketControl() override = default;

  // Returns at once; the outcome arrives later as an event.
  virtual void Connect(const QString& host, std::uint16_t port) = 0;
  // The same, encrypted from the first byte: the connect event comes once
  // the server's certificate verified for host.
  virtual void ConnectTls(const QString& host, std::uint16_t port) = 0;
  // Encrypts the open connection from here on (after the server agreed);
  // tlsReadyEvent follows once the certificate verified, else errorEvent.
  virtual void StartTls() = 0;
  // Releases the connection; raises no close event, and nothing more of
  // that connection is delivered.
  virtual void Close() = 0;
  // 0 when no connection is open or pending.
  virtual int State() const = 0;
  // The bytes go out whole and in order.
  virtual void SendData(const QByteArray& bytes) = 0;
  // Every byte received and not yet taken. The unread amount is bounded:
  // past the bound reading pauses, and what a handler leaves unread beyond
  // it is dropped (no reply that long is ever taken).
  virtual QByteArray GetData() = 0;

 signals:
  void connectEvent();
  // Bytes have arrived (not necessarily a whole reply).
  void dataArrivalEvent(std::int32_t bytesTotal);
  void closeEvent();
  void tlsReadyEvent();
  void errorEvent(std::int16_t number, const QString& description);
};
