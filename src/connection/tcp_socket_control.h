#pragma once

#include "socket_control.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <deque>
#include <utility>

class ByteStream;
class TcpConnector;

// The socket control of the window and of the command: one TCP client
// connection (opened by a TcpConnector, carried by a TcpStream, or by a
// TlsStream once encrypted), with the operations and the events the mail dialogues
// rely on.
//
// - Bytes cross the socket as they are; framing and the code page belong
//   to the dialogues.
// - Events are queued and delivered one at a time on the user-interface
//   thread: while a handler runs (also while a message box it opened is on
//   the screen) later events wait, in order.
// - bytesArrived is raised for every piece of data that arrives; by the time
//   it is delivered an earlier handler may have taken the bytes, and then
//   it is dropped.
// - At most kMaxUnread bytes are held that no handler has taken (also while
//   a box is on the screen); beyond that nothing more is read from the
//   connection until readAll(), and TCP holds the server back. Only bytes a
//   handler had its arrival for and left are read past: what comes beyond
//   the bound then is dropped.
// - A close by the server raises closedByPeer only; a reset raises
//   errorOccurred 10054.
// - After the program's own close() nothing more of that connection is
//   delivered; the next connectToHost starts with a new socket.
// - Failures carry the Windows Sockets error numbers (11001 host not found,
//   11004 name without an address record, 10061 refused, 10060 timed out,
//   10049 address not available, 10054 reset, ...).
class TcpSocketControl : public SocketControl {
  Q_OBJECT

 public:
  // More than the longest reply the dialogues accept, so that a reply too
  // long is still seen as one in what a handler takes at once.
  static constexpr qsizetype kMaxUnread = 128 * 1024;

  explicit TcpSocketControl(QObject* parent = nullptr);
  ~TcpSocketControl() override;

  void connectToHost(const QString& host, std::uint16_t port) override;
  void connectToHostEncrypted(const QString& host, std::uint16_t port) override;
  void startTls() override;
  void close() override;
  State state() const override;
  void write(const QByteArray& bytes) override;
  QByteArray readAll() override;

  // Bytes received and not yet read.
  qsizetype bytesAvailable() const { return received_.size(); }

 private:
  struct Event {
    enum class Kind { Connected, BytesArrived, ClosedByPeer, Error, TlsReady };
    explicit Event(Kind k, std::int16_t n = 0, QString d = QString())
        : kind(k), number(n), description(std::move(d)) {}
    Kind kind;
    std::int16_t number;
    QString description;
  };

  void open(const QString& host, std::uint16_t port, bool tlsFromStart);
  void enqueue(Event event);
  void deliverEvents();
  void dropSocket();
  void raiseError(std::int16_t number, const QString& description);

  void onConnectorConnected(int descriptor);
  void encrypt(int descriptor, Event::Kind whenVerified);
  void takeStream(ByteStream* stream);
  void onReceived(const QByteArray& bytes);
  void readPastWhatIsLeft();
  void onEnded(int errnum);

  TcpConnector* connector_ = nullptr;  // while the connection is being opened
  ByteStream* stream_ = nullptr;       // once it stands
  QString host_;                       // the name the certificate must carry
  bool tlsFromStart_ = false;
  State state_ = State::Closed;
  QByteArray received_;
  std::deque<Event> queue_;
  bool delivering_ = false;
  bool deliveryPosted_ = false;
  bool operating_ = false;  // inside connectToHost: events wait for the event loop
};
