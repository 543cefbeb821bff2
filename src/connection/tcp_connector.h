#pragma once

#include "delete_when_idle.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>

class QHostInfo;
class QSocketNotifier;

// Opens one TCP connection for the socket control: looks the host up, then
// tries its addresses in order, each with a non-blocking connect of its own,
// and hands the connected descriptor over.
//
// The connect is ours rather than QTcpSocket's because QTcpSocket, when the
// server resets the connection before the socket has seen it established,
// takes the failed check for "not yet" and quietly connects again on the
// same socket, again and again; the send would wait forever with no box.
class TcpConnector : public QObject {
  Q_OBJECT

 public:
  explicit TcpConnector(QObject* parent = nullptr);
  // An unfinished attempt is given up: its descriptor is closed and nothing
  // more is signalled.
  ~TcpConnector() override;

  // Starts the attempt; the outcome comes as one signal, later or (for an
  // address written out that fails at once) right away.
  void start(const QString& host, std::uint16_t port);
  // Starts with the addresses a name was looked up to, tried in this order.
  void start(const QList<QHostAddress>& addresses, std::uint16_t port);

  // Gives the attempt up (nothing more is signalled) and deletes the
  // connector once none of its functions is on the stack: safe from inside
  // its own signals.
  void dispose();

  // The Windows Sockets number for a connect() failure's errno.
  static std::int16_t ErrorNumber(int errnum);

 signals:
  // The name is looked up; connecting has begun.
  void connecting();
  // The receiver owns the descriptor from here on.
  void connected(int descriptor);
  void failed(std::int16_t number, const QString& description);

 private:
  void onLookedUp(const QHostInfo& info);
  void tryNextAddress();
  void onWritable();
  void onAddressTimedOut();
  void finishAddress(int errnum);
  void stopWaiting();
  void giveUp();
  void classifyLookupFailure();

  QString host_;
  std::uint16_t port_ = 0;
  int lookupId_ = -1;
  QList<QHostAddress> addresses_;
  int descriptor_ = -1;
  QSocketNotifier* writable_ = nullptr;
  QTimer addressTimer_;  // moves on from an address that does not answer
  int lastError_ = 0;
  DeleteWhenIdle lifetime_{*this};
};
