// The connection's byte stream: bytes the system could not take at once
// still go out after the program has let go of the stream, and only then is
// the connection closed.
#include "tcp_stream.h"

#include <QPointer>
#include <QTest>

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

class TstTcpStream : public QObject {
  Q_OBJECT

 private slots:
  void releaseSendsEverythingFirst();
};

void TstTcpStream::releaseSendsEverythingFirst() {
  int ends[2];
  QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, ends), 0);
  const int peer = ends[1];
  // Far more than the socket buffers hold, so most of it waits in the stream.
  QByteArray sent(8 * 1024 * 1024, Qt::Uninitialized);
  for (qsizetype i = 0; i < sent.size(); ++i) sent[i] = char(i * 7 % 251);

  QPointer<TcpStream> stream = new TcpStream(ends[0]);
  stream->send(sent);
  stream->release();
  QVERIFY(stream);  // still sending

  QByteArray got;
  int recvError = 0;
  // Takes all that has arrived; true once the connection is closed (after
  // the last byte) or receiving failed.
  const auto drained = [&] {
    char chunk[65536];
    for (;;) {
      const ssize_t n = ::recv(peer, chunk, sizeof chunk, 0);
      if (n == 0) return true;
      if (n > 0) {
        got.append(chunk, n);
        continue;
      }
      if (errno != EAGAIN && errno != EWOULDBLOCK) recvError = errno;
      return recvError != 0;
    }
  };
  // The event loop runs between tries, so the stream goes on sending.
  QTRY_VERIFY_WITH_TIMEOUT(drained(), 30000);
  QCOMPARE(recvError, 0);
  QCOMPARE(got.size(), sent.size());
  QVERIFY(got == sent);
  QTRY_VERIFY(!stream);  // gone once done
  ::close(peer);
}

QTEST_GUILESS_MAIN(TstTcpStream)
#include "tst_tcp_stream.moc"
