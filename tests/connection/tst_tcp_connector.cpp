// Opening a connection: addresses tried in order, the last failure
// reported, and an attempt given up leaving nothing open behind.
#include "tcp_connector.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

class TstTcpConnector : public QObject {
  Q_OBJECT

 private slots:
  void triesAddressesInOrder_data();
  void triesAddressesInOrder();
  void givingUpClosesTheAttempt();
  void addressWrittenOut_data();
  void addressWrittenOut();
};

namespace {

// Every 127/8 address reaches this machine; only 127.0.0.1 has a listener.
const QHostAddress kListening(QStringLiteral("127.0.0.1"));
const QHostAddress kNobody(QStringLiteral("127.0.0.2"));
const QHostAddress kNobodyEither(QStringLiteral("127.0.0.3"));

}  // namespace

void TstTcpConnector::triesAddressesInOrder_data() {
  QTest::addColumn<QList<QHostAddress>>("addresses");
  QTest::addColumn<int>("error");  // 0: connected
  QTest::newRow("first answers") << QList<QHostAddress>{kListening, kNobody} << 0;
  QTest::newRow("second answers") << QList<QHostAddress>{kNobody, kListening} << 0;
  QTest::newRow("none answers") << QList<QHostAddress>{kNobody, kNobodyEither} << 10061;
}

void TstTcpConnector::triesAddressesInOrder() {
  QFETCH(QList<QHostAddress>, addresses);
  QFETCH(int, error);
  QTcpServer server;
  QVERIFY(server.listen(kListening));
  TcpConnector connector;
  QSignalSpy connected(&connector, &TcpConnector::connected);
  QSignalSpy failed(&connector, &TcpConnector::failed);

  connector.start(addresses, server.serverPort());

  QTRY_COMPARE(connected.count() + failed.count(), 1);
  if (error == 0) {
    QTRY_VERIFY(server.hasPendingConnections());
    const int descriptor = connected.first().first().toInt();
    QTcpSocket socket;
    QVERIFY(socket.setSocketDescriptor(descriptor));
    QCOMPARE(socket.peerPort(), server.serverPort());
  } else {
    QCOMPARE(failed.first().first().value<std::int16_t>(), std::int16_t(error));
  }
  // Nothing further comes: a second outcome, should one follow, ends this
  // wait at once and fails the comparison below.
  (void)QTest::qWaitFor([&] { return connected.count() + failed.count() != 1; }, 50);
  QCOMPARE(connected.count() + failed.count(), 1);
}

void TstTcpConnector::addressWrittenOut_data() {
  QTest::addColumn<QString>("host");
  QTest::addColumn<QString>("listening");
  QTest::newRow("IPv4") << QStringLiteral("127.0.0.1") << QStringLiteral("127.0.0.1");
  QTest::newRow("IPv6") << QStringLiteral("::1") << QStringLiteral("::1");
  QTest::newRow("IPv6 in brackets, as in a URL") << QStringLiteral("[::1]") << QStringLiteral("::1");
}

// A server given as an address is reached at that address, without a
// look-up that would not find it.
void TstTcpConnector::addressWrittenOut() {
  QFETCH(QString, host);
  QFETCH(QString, listening);
  QTcpServer server;
  QVERIFY(server.listen(QHostAddress(listening)));
  TcpConnector connector;
  QSignalSpy connected(&connector, &TcpConnector::connected);
  QSignalSpy failed(&connector, &TcpConnector::failed);

  connector.start(host, server.serverPort());

  QTRY_COMPARE(connected.count() + failed.count(), 1);
  QCOMPARE(connected.count(), 1);
  QTRY_VERIFY(server.hasPendingConnections());
  QTcpSocket socket;
  QVERIFY(socket.setSocketDescriptor(connected.first().first().toInt()));
  QCOMPARE(socket.peerAddress(), QHostAddress(listening));
}

// Given up before it was settled: no signal, and the server sees the
// half-made connection closed (its descriptor did not stay open).
void TstTcpConnector::givingUpClosesTheAttempt() {
  QTcpServer server;
  QVERIFY(server.listen(kListening));
  auto* connector = new TcpConnector;
  QSignalSpy connected(connector, &TcpConnector::connected);
  connector->start({kListening}, server.serverPort());
  delete connector;

  QVERIFY(server.waitForNewConnection(5000));
  QTcpSocket* peer = server.nextPendingConnection();
  QTRY_COMPARE(peer->state(), QAbstractSocket::UnconnectedState);
  QCOMPARE(connected.count(), 0);
}

QTEST_GUILESS_MAIN(TstTcpConnector)
#include "tst_tcp_connector.moc"
